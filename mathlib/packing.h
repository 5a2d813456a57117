/*
 * Two compact encodings: a unit normal in two bytes, and an angle on a circle
 * of 65536 steps.
 *
 * Both truncate toward zero rather than round, so a value comes back at or just
 * below where it went in (1 degree returns as 0.999755859375).
 *
 * Aliasing: neither routine has an output that can overlap an input.
 */
#ifndef QM_MATHLIB_PACKING_H
#define QM_MATHLIB_PACKING_H

#include "vec3.h"

/* Byte 0: latitude, the angle from +Z. Byte 1: longitude, the angle in the XY
   plane from +X toward +Y, a negative longitude wrapped to 256 + n. One step is
   360/255 degrees. */
typedef unsigned char PackedNormal[2];

/* Packs the unit normal v. A normal along the Z axis packs as (0, 0) pointing
   up and (128, 0) pointing down; the zero vector also gives (128, 0).
   Not-quite-unit input: v[2] is clamped to [-1, 1] before its arc cosine, so
   (0.1, 0, 1.0000001) packs as straight up instead of failing.
   A NaN component stores 0 in each byte it reaches: (1, 0, NaN) packs as (0, 0),
   and a NaN in v[0] or v[1] gives longitude 0. */
void Vec3_PackNormal(const Vec3 v, PackedNormal out);

/* Returns angle (degrees) after a round trip through 16 bits: the step count
   angle * 65536/360, truncated toward zero and taken modulo 65536, times
   360/65536. The result is a multiple of 360/65536 in [0, 360); negative angles
   wrap (-1 gives 359.000244140625), as do angles of 360 or more.
   Far beyond 64-bit step counts the same modulo is taken exactly on the double
   step count (1e30 gives 0, as every double that large is a multiple of 65536).
   NaN and infinities give 0. */
float Angle_Quantize16(float angle);

#endif
