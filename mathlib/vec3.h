/*
 * Vectors, axis-aligned bounds and rounding.
 *
 * A Vec3 is three floats x, y, z. Every routine does its arithmetic in double
 * and rounds to float only where a value is stored into a Vec3 or returned as a
 * float, so results are the same bits on every IEEE platform (as long as the
 * build keeps exact floating point: no -ffast-math, no fused multiply-add).
 *
 * Routines that produce a vector write it to the last argument and return
 * nothing. None allocates, keeps state, checks pointers or reports an error;
 * infinities and NaNs go through the IEEE arithmetic untreated.
 *
 * A bounding box is two caller-owned vectors, boxMin and boxMax:
 *
 *   Vec3 boxMin, boxMax;
 *   Bounds_Clear(boxMin, boxMax);
 *   for (each point p) Bounds_AddPoint(p, boxMin, boxMax);
 *
 * Aliasing (may an output be the same vector as an input?):
 *   Vec3_Normalize     v is changed in place.
 *   Vec3_Cross         no: out must differ from a and from b.
 *   Vec3_Add           yes: out may be a or b.
 *   Vec3_Subtract      yes: out may be a or b.
 *   Vec3_Scale         yes: out may be v.
 *   Vec3_MultiplyAdd   yes: out may be a or b.
 *   Vec3_Negate        v is changed in place.
 *   Vec3_Copy          src and dst may be the same vector.
 *   Bounds_AddPoint    p is only read; boxMin and boxMax change in place.
 */
#ifndef QM_MATHLIB_VEC3_H
#define QM_MATHLIB_VEC3_H

typedef float Vec3[3];

/* The length of v, in double and not rounded to float. */
double Vec3_Length(const Vec3 v);

/* Scales v to unit length in place and returns its former length as a float.
   A zero vector (either sign of zero) is left as it is and 0 is returned. */
float Vec3_Normalize(Vec3 v);

/* 1 if a and b differ by at most 0.001 on every component, else 0. The
   tolerance is absolute; the first component that fails ends the test. A NaN
   difference is never above the tolerance, so a NaN component (or the same
   infinity on both sides) passes. */
int Vec3_Compare(const Vec3 a, const Vec3 b);

/* (a[0]*b[0] + a[1]*b[1]) + a[2]*b[2], in double. */
double Vec3_Dot(const Vec3 a, const Vec3 b);

/* out = a x b. out must be a third vector. */
void Vec3_Cross(const Vec3 a, const Vec3 b, Vec3 out);

/* out = a + b, component by component. */
void Vec3_Add(const Vec3 a, const Vec3 b, Vec3 out);

/* out = a - b, component by component. */
void Vec3_Subtract(const Vec3 a, const Vec3 b, Vec3 out);

/* out = scale * v. */
void Vec3_Scale(const Vec3 v, float scale, Vec3 out);

/* out = a + b * scale, the product taken with the double scale. */
void Vec3_MultiplyAdd(const Vec3 a, double scale, const Vec3 b, Vec3 out);

/* Flips the sign of each component in place: +0 becomes -0. */
void Vec3_Negate(Vec3 v);

/* Copies the three components bit for bit, NaN payloads included. */
void Vec3_Copy(const Vec3 src, Vec3 dst);

/* Empties the box: boxMin = (99999, 99999, 99999), boxMax = -boxMin. These are
   finite sentinels, so a box that never sees a point below 99999 on an axis
   keeps 99999 as its minimum there (and likewise for the maximum). */
void Bounds_Clear(Vec3 boxMin, Vec3 boxMax);

/* Widens the box to hold p. Each axis is tested against both ends, so the first
   point after Bounds_Clear sets both; a point on the boundary changes nothing. */
void Bounds_AddPoint(const Vec3 p, Vec3 boxMin, Vec3 boxMax);

/* floor(x + 0.5) in double, returned as a float: halves round up, so 2.5 gives
   3 and -2.5 gives -2. */
float Float_Round(float x);

#endif
