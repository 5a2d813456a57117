// Numbers as the text formats take them: the shortest text that reads back as
// the same value (std::to_chars), with no locale and no format string parsed
// per number.
#ifndef QM_EXPORT_NUMBERTEXT_H
#define QM_EXPORT_NUMBERTEXT_H

#include <charconv>
#include <cstddef>
#include <cstdint>

// Room enough for any float or 64-bit integer written below.
constexpr std::size_t kNumberTextMax = 24;

// Writes `value` at `at`, which has room for kNumberTextMax characters, and
// returns the end: "0.1" for 0.1f, "-0" for -0.0f, "3.4028235e+38".
inline char* FloatText(char* at, float value) {
  return std::to_chars(at, at + kNumberTextMax, value).ptr;
}

inline char* IntegerText(char* at, std::uint64_t value) {
  return std::to_chars(at, at + kNumberTextMax, value).ptr;
}

// The double whose shortest text is the float's shortest text, so that a
// JSON writer that prints doubles writes 0.3f as 0.3, not as
// 0.30000001192092896, and a reader of floats gets the same float back.
inline double ShortestDouble(float value) {
  char text[kNumberTextMax];
  char* end = FloatText(text, value);
  double shortest = static_cast<double>(value);
  std::from_chars(text, end, shortest);
  return shortest;
}

#endif  // QM_EXPORT_NUMBERTEXT_H
