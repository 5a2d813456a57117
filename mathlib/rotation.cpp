#include "rotation.h"

#include <cmath>

namespace {

const double kPi = 3.141592653589793;
const double kDegreesToRadians = 0.017453292519943295;

// Sine and cosine of one angle, each rounded to float and then held in double
// so that the products built from them are formed in double.
struct SinCos {
  double s;
  double c;
};

SinCos SinCosOfRadians(float radians) {
  return {float(std::sin(double(radians))), float(std::cos(double(radians)))};
}

SinCos SinCosOfDegrees(float degrees) {
  return SinCosOfRadians(float(degrees * kDegreesToRadians));
}

SinCos SinCosOfHalf(float radians) { return SinCosOfRadians(float(radians * 0.5)); }

// The nine terms of Rz * Ry * Rx, element (r, c) at rot[r][c]. The products are
// grouped as written; changing the grouping changes the last bit.
void RotationTerms(const Vec3 angles, float rot[3][3]) {
  const SinCos z = SinCosOfDegrees(angles[2]);
  const SinCos y = SinCosOfDegrees(angles[1]);
  const SinCos x = SinCosOfDegrees(angles[0]);
  const double sx = x.s, cx = x.c, sy = y.s, cy = y.c, sz = z.s, cz = z.c;

  rot[0][0] = float(cy * cz);
  rot[0][1] = float((sx * sy) * cz - sz * cx);
  rot[0][2] = float((cx * sy) * cz + sx * sz);
  rot[1][0] = float(cy * sz);
  rot[1][1] = float((sx * sy) * sz + cx * cz);
  rot[1][2] = float((cx * sy) * sz - sx * cz);
  rot[2][0] = float(-sy);
  rot[2][1] = float(sx * cy);
  rot[2][2] = float(cx * cy);
}

float At(const Mat34 m, int r, int c) { return m[4 * r + c]; }

}  // namespace

void Angles_ToMatrix(const Vec3 angles, Mat34 out) {
  float rot[3][3];
  RotationTerms(angles, rot);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out[4 * r + c] = rot[r][c];
    out[4 * r + 3] = 0.0f;
  }
}

void Angles_ToMatrixTransposed(const Vec3 angles, Mat34 out) {
  float rot[3][3];
  RotationTerms(angles, rot);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out[4 * r + c] = rot[c][r];
    out[4 * r + 3] = 0.0f;
  }
}

void Mat34_Concat(const Mat34 a, const Mat34 b, Mat34 out) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      out[4 * r + c] =
          float((double(At(a, r, 0)) * At(b, 0, c) + double(At(a, r, 1)) * At(b, 1, c)) +
                double(At(a, r, 2)) * At(b, 2, c));
    }
    out[4 * r + 3] =
        float(((double(At(a, r, 0)) * At(b, 0, 3) + double(At(a, r, 1)) * At(b, 1, 3)) +
               double(At(a, r, 2)) * At(b, 2, 3)) +
              At(a, r, 3));
  }
}

void Vec3_Rotate(const Vec3 v, const Mat34 m, Vec3 out) {
  for (int r = 0; r < 3; ++r)
    out[r] = float((double(v[0]) * At(m, r, 0) + double(v[1]) * At(m, r, 1)) +
                   double(v[2]) * At(m, r, 2));
}

void Vec3_RotateTransposed(const Vec3 v, const Mat34 m, Vec3 out) {
  for (int c = 0; c < 3; ++c)
    out[c] = float((double(v[0]) * At(m, 0, c) + double(v[1]) * At(m, 1, c)) +
                   double(v[2]) * At(m, 2, c));
}

void Vec3_Transform(const Vec3 v, const Mat34 m, Vec3 out) {
  for (int r = 0; r < 3; ++r) {
    out[r] = float(
        ((double(v[0]) * At(m, r, 0) + double(v[1]) * At(m, r, 1)) + double(v[2]) * At(m, r, 2)) +
        At(m, r, 3));
  }
}

void Angles_ToQuat(const Vec3 angles, Quat out) {
  const SinCos z = SinCosOfHalf(angles[2]);
  const SinCos y = SinCosOfHalf(angles[1]);
  const SinCos x = SinCosOfHalf(angles[0]);
  const double sx = x.s, cx = x.c, sy = y.s, cy = y.c, sz = z.s, cz = z.c;

  out[0] = float((sx * cy) * cz - (cx * sy) * sz);
  out[1] = float((cx * sy) * cz + (sx * cy) * sz);
  out[2] = float((cx * cy) * sz - (sx * sy) * cz);
  out[3] = float((cx * cy) * cz + (sx * sy) * sz);
}

void Quat_ToMatrix(const Quat q, Mat34 out) {
  const double x = q[0], y = q[1], z = q[2], w = q[3];

  out[0] = float((1.0 - (2.0 * y) * y) - (2.0 * z) * z);
  out[1] = float((2.0 * x) * y - (2.0 * w) * z);
  out[2] = float((2.0 * x) * z + (2.0 * w) * y);

  out[4] = float((2.0 * x) * y + (2.0 * w) * z);
  out[5] = float((1.0 - (2.0 * x) * x) - (2.0 * z) * z);
  out[6] = float((2.0 * y) * z - (2.0 * w) * x);

  out[8] = float((2.0 * x) * z - (2.0 * w) * y);
  out[9] = float((2.0 * y) * z + (2.0 * w) * x);
  out[10] = float((1.0 - (2.0 * x) * x) - (2.0 * y) * y);
}

void Quat_Slerp(const Quat p, Quat q, float t, Quat out) {
  // Of q and -q, which encode the same rotation, interpolate toward the one
  // nearer p, so the path takes the shorter arc. The sums are kept in float.
  float a = 0.0f;
  float b = 0.0f;
  for (int i = 0; i < 4; ++i) {
    const double diff = double(p[i]) - q[i];
    const double sum = double(p[i]) + q[i];
    a = float(diff * diff + a);
    b = float(sum * sum + b);
  }
  if (a > b) {
    for (int i = 0; i < 4; ++i) q[i] = -q[i];
  }

  const float cosom = float(((double(p[0]) * q[0] + double(p[1]) * q[1]) + double(p[2]) * q[2]) +
                            double(p[3]) * q[3]);

  if (1.0 + cosom > 1e-8) {
    float sclp;
    float sclq;
    if (1.0 - cosom > 1e-8) {
      const float omega = float(std::acos(double(cosom)));
      const float sinom = float(std::sin(double(omega)));
      sclp = float(std::sin((1.0 - t) * omega) / sinom);
      sclq = float(std::sin(t * double(omega)) / sinom);
    } else {
      // Nearly equal: sin(omega) is too small to divide by, and the arc
      // is indistinguishable from the chord.
      sclp = float(1.0 - t);
      sclq = t;
    }
    // Component i of q is read before out[i] is written, so out may be q.
    for (int i = 0; i < 4; ++i) out[i] = float(double(sclp) * p[i] + double(sclq) * q[i]);
  } else {
    // Nearly opposite: no unique arc, so swing through a quaternion
    // perpendicular to p. Only the first three components are blended;
    // out[3] keeps p[2].
    out[0] = -p[1];
    out[1] = p[0];
    out[2] = -p[3];
    out[3] = p[2];
    const float sclp = float(std::sin(((1.0 - t) * 0.5) * kPi));
    const float sclq = float(std::sin((t * 0.5) * kPi));
    for (int i = 0; i < 3; ++i) out[i] = float(double(sclp) * p[i] + double(sclq) * out[i]);
  }
}

void Vec3_ToAngles(const Vec3 v, Vec3 out) {
  float yaw;
  float pitch;
  // Exact tests: -0 counts as 0.
  if (v[0] == 0.0f && v[1] == 0.0f) {
    yaw = 0.0f;
    pitch = v[2] > 0.0f ? 90.0f : 270.0f;
  } else {
    if (v[0] != 0.0f)
      yaw = float(std::atan2(double(v[1]), double(v[0])) * 180.0 / kPi);
    else
      yaw = v[1] > 0.0f ? 90.0f : 270.0f;
    if (yaw < 0.0f) yaw = float(double(yaw) + 360.0f);

    const float h = float(std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1]));
    pitch = float(std::atan2(double(v[2]), double(h)) * 180.0 / kPi);
    if (pitch < 0.0f) pitch = float(double(pitch) + 360.0f);
  }
  out[0] = -pitch;
  out[1] = yaw;
  out[2] = 0.0f;
}
