#include "packing.h"

#include <cmath>
#include <cstdint>

namespace {

const double kPi = 3.141592653589793;
const double kNormalStepsPerDegree = 0.7083333333333334;  // 255/360
const double kAngleStepsPerDegree = 182.04444444444445;   // 65536/360
const double kDegreesPerAngleStep = 0.0054931640625;      // 360/65536

// The low 8 bits of x truncated toward zero. The callers' values lie within
// +-128 or are NaN; a NaN (which has no integer value, and whose conversion
// would be undefined) gives 0.
unsigned char LowByteOfTruncated(double x) {
  if (std::isnan(x)) return 0;
  const int n = static_cast<int>(x);
  return static_cast<unsigned char>(static_cast<unsigned>(n) & 0xFFu);
}

// x truncated toward zero, modulo 65536, for any double. Within the range of a
// 64-bit integer this is the plain conversion and its low 16 bits (two's
// complement, so -1 gives 65535). Beyond it, fmod gives the same residue
// exactly, since such a double already is an integer. NaN and infinities have
// no residue; they give 0.
std::uint16_t LowBitsOfTruncated16(double x) {
  if (x >= -0x1p63 && x < 0x1p63) {
    const std::int64_t n = static_cast<std::int64_t>(x);
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(n) & 0xFFFFu);
  }
  if (!std::isfinite(x)) return 0;
  double r = std::fmod(x, 65536.0);
  if (r < 0.0) r += 65536.0;
  return static_cast<std::uint16_t>(r);
}

}  // namespace

void Vec3_PackNormal(const Vec3 v, PackedNormal out) {
  // Exact tests: -0 counts as 0.
  if (v[0] == 0.0f && v[1] == 0.0f) {
    // Straight down gives 128 here, where the general formula would give 127.
    out[0] = v[2] > 0.0f ? 0 : 128;
    out[1] = 0;
    return;
  }
  const double longitude =
      std::atan2(double(v[1]), double(v[0])) * 180.0 / kPi * kNormalStepsPerDegree;
  // A normal a rounding error longer than 1 would otherwise give acos a NaN.
  // Plain comparisons rather than fmin/fmax, which would turn a NaN into -1.
  double z = v[2];
  if (z < -1.0)
    z = -1.0;
  else if (z > 1.0)
    z = 1.0;
  const double latitude = std::acos(z) * 180.0 / kPi * kNormalStepsPerDegree;
  out[0] = LowByteOfTruncated(latitude);
  out[1] = LowByteOfTruncated(longitude);
}

float Angle_Quantize16(float angle) {
  const std::uint16_t steps = LowBitsOfTruncated16(angle * kAngleStepsPerDegree);
  return float(steps * kDegreesPerAngleStep);
}
