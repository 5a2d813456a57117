/*
 * The geometry math library: free, stateless routines on vectors, bounding
 * boxes, 3x4 matrices and quaternions, and two compact encodings.
 *
 *   vec3.h       Vec3 arithmetic, bounding boxes, Float_Round
 *   rotation.h   Mat34 and Quat: Euler angles, transforms, slerp, Vec3_ToAngles
 *   packing.h    Vec3_PackNormal (two bytes) and Angle_Quantize16 (16 bits)
 *
 * Every routine computes in double and rounds to float where it stores, in a
 * fixed order, so its results are reproducible bit for bit. Outputs come last.
 */
#ifndef QM_MATHLIB_H
#define QM_MATHLIB_H

#include "packing.h"
#include "rotation.h"
#include "vec3.h"

#endif
