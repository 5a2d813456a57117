/*
 * Rotations: Euler angles, 3x4 matrices and quaternions.
 *
 * A Mat34 is an affine transform, three rows of four floats stored row by row:
 * element (r, c) is m[4*r + c]. Columns 0-2 hold the linear part, column 3 the
 * translation; the fourth row (0, 0, 0, 1) is implied. Vectors are columns, so
 * a point p maps to M*p.
 *
 * A Quat is x, y, z, w with the scalar w last. Quat_ToMatrix and Quat_Slerp
 * expect unit length and do not renormalise.
 *
 * An angle triple is a Vec3 of rotations about X, Y and Z (components 0, 1, 2).
 * Angles_ToMatrix and Angles_ToMatrixTransposed take degrees; Angles_ToQuat
 * takes radians. Both build Rz * Ry * Rx: rotate about X first, then Y, then Z,
 * with positive angles turning counter-clockwise (+X toward +Y about Z).
 *
 * As in vec3.h, arithmetic is in double, rounded to float where a value is
 * stored; sines and cosines are rounded to float before they are multiplied.
 * A typical use:
 *
 *   Mat34 m;
 *   Angles_ToMatrix(angles, m);
 *   m[3] = x; m[7] = y; m[11] = z;    translation
 *   Vec3_Transform(point, m, moved);
 *
 * Aliasing (may an output be the same object as an input?):
 *   Mat34_Concat            no: out must differ from a and from b.
 *   Vec3_Rotate             no: out must differ from v.
 *   Vec3_RotateTransposed   no: out must differ from v.
 *   Vec3_Transform          no: out must differ from v.
 *   Quat_Slerp              out may be q but must differ from p.
 *   Vec3_ToAngles           yes: out may be v.
 */
#ifndef QM_MATHLIB_ROTATION_H
#define QM_MATHLIB_ROTATION_H

#include "vec3.h"

typedef float Mat34[12];
typedef float Quat[4];

/* Rotation matrix Rz(angles[2]) * Ry(angles[1]) * Rx(angles[0]), angles in
   degrees, with zero translation. Each angle is converted to float radians and
   its sine and cosine rounded to float, so 90 degrees gives cosines of
   -4.371139e-8, not 0. */
void Angles_ToMatrix(const Vec3 angles, Mat34 out);

/* The transpose of Angles_ToMatrix's rotation (its inverse), with zero
   translation. */
void Angles_ToMatrixTransposed(const Vec3 angles, Mat34 out);

/* out = a * b: applying out is applying b, then a. */
void Mat34_Concat(const Mat34 a, const Mat34 b, Mat34 out);

/* out = the 3x3 part of m times v; the translation is ignored. */
void Vec3_Rotate(const Vec3 v, const Mat34 m, Vec3 out);

/* out = the transpose of m's 3x3 part times v: undoes Vec3_Rotate for a pure
   rotation. The translation is ignored. */
void Vec3_RotateTransposed(const Vec3 v, const Mat34 m, Vec3 out);

/* out = m * v with the translation added. */
void Vec3_Transform(const Vec3 v, const Mat34 m, Vec3 out);

/* The quaternion qz * qy * qx of the angles, which are in radians. */
void Angles_ToQuat(const Vec3 angles, Quat out);

/* Writes the rotation of the unit quaternion q into columns 0-2 of out.
   Column 3 (the translation) is left as it was. */
void Quat_ToMatrix(const Quat q, Mat34 out);

/* Spherical interpolation from p (t = 0) to q (t = 1) along the shorter arc.
   To take that arc it may negate the caller's q in place, before
   interpolating. Quaternions nearly opposite (possible only when they are not
   of unit length or not finite) give a quaternion perpendicular to p, with
   out[3] = p[2]. */
void Quat_Slerp(const Quat p, Quat q, float t, Quat out);

/* Turns direction v into out = (-pitch, yaw, 0) in degrees: yaw is the heading
   in the XY plane from +X toward +Y, pitch the elevation above that plane,
   each brought into [0, 360] by adding 360 to a negative value (a value just
   below 0 becomes exactly 360 after rounding). A vertical vector has yaw 0 and
   pitch 90 (up) or 270 (down); the zero vector gives pitch 270. */
void Vec3_ToAngles(const Vec3 v, Vec3 out);

#endif
