#include "vec3.h"

#include <cmath>
#include <cstring>

// Convention throughout the library: a float operand is widened with double()
// before it meets another operand, so every product and sum is formed in double,
// and float() marks each place where a result is rounded back.

double Vec3_Length(const Vec3 v) {
  double sum = 0.0;
  for (int i = 0; i < 3; ++i) sum = double(v[i]) * v[i] + sum;
  return std::sqrt(sum);
}

float Vec3_Normalize(Vec3 v) {
  const double length = Vec3_Length(v);
  // Only (+-0, +-0, +-0) gets here: the square of a non-zero float never
  // underflows in double.
  if (length == 0.0) return 0.0f;
  for (int i = 0; i < 3; ++i) v[i] = float(v[i] / length);
  return float(length);
}

int Vec3_Compare(const Vec3 a, const Vec3 b) {
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(double(a[i]) - b[i]) > 0.001) return 0;
  }
  return 1;
}

double Vec3_Dot(const Vec3 a, const Vec3 b) {
  return (double(a[0]) * b[0] + double(a[1]) * b[1]) + double(a[2]) * b[2];
}

void Vec3_Cross(const Vec3 a, const Vec3 b, Vec3 out) {
  out[0] = float(double(a[1]) * b[2] - double(a[2]) * b[1]);
  out[1] = float(double(a[2]) * b[0] - double(a[0]) * b[2]);
  out[2] = float(double(a[0]) * b[1] - double(a[1]) * b[0]);
}

void Vec3_Add(const Vec3 a, const Vec3 b, Vec3 out) {
  for (int i = 0; i < 3; ++i) out[i] = float(double(a[i]) + b[i]);
}

void Vec3_Subtract(const Vec3 a, const Vec3 b, Vec3 out) {
  for (int i = 0; i < 3; ++i) out[i] = float(double(a[i]) - b[i]);
}

void Vec3_Scale(const Vec3 v, float scale, Vec3 out) {
  for (int i = 0; i < 3; ++i) out[i] = float(double(scale) * v[i]);
}

void Vec3_MultiplyAdd(const Vec3 a, double scale, const Vec3 b, Vec3 out) {
  for (int i = 0; i < 3; ++i) out[i] = float(a[i] + b[i] * scale);
}

void Vec3_Negate(Vec3 v) {
  for (int i = 0; i < 3; ++i) v[i] = -v[i];
}

void Vec3_Copy(const Vec3 src, Vec3 dst) {
  // Bytes, not float assignment: a signalling NaN must not be quietened on the
  // way. memmove because src and dst may be the same vector.
  std::memmove(dst, src, sizeof(Vec3));
}

void Bounds_Clear(Vec3 boxMin, Vec3 boxMax) {
  for (int i = 0; i < 3; ++i) {
    boxMin[i] = 99999.0f;
    boxMax[i] = -99999.0f;
  }
}

void Bounds_AddPoint(const Vec3 p, Vec3 boxMin, Vec3 boxMax) {
  for (int i = 0; i < 3; ++i) {
    // Two separate tests, not if/else: a fresh box takes the first point as
    // both its minimum and its maximum.
    if (p[i] < boxMin[i]) boxMin[i] = p[i];
    if (p[i] > boxMax[i]) boxMax[i] = p[i];
  }
}

float Float_Round(float x) { return float(std::floor(double(x) + 0.5)); }
