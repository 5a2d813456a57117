// Bit-exact comparison of floats for the math library's tests: -0 differs from
// 0, and a NaN matches only the same NaN.
#ifndef QM_TESTS_FLOAT_BITS_H
#define QM_TESTS_FLOAT_BITS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

inline std::uint32_t FloatBits(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

inline float FloatFromBits(std::uint32_t u)
{
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

inline std::uint64_t DoubleBits(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// Passes when got[i] and want[i] have the same bits for every i < n; the
// failure lists each differing component with its value and bits.
inline ::testing::AssertionResult SameBits(const float* got, const float* want, int n)
{
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    bool same = true;
    for (int i = 0; i < n; ++i)
    {
        if (FloatBits(got[i]) == FloatBits(want[i]))
            continue;
        if (same)
            result = ::testing::AssertionFailure();
        same = false;
        char line[128];
        std::snprintf(line, sizeof line, "\n  [%d] got %.9g (0x%08X), want %.9g (0x%08X)", i, double(got[i]),
                      unsigned(FloatBits(got[i])), double(want[i]), unsigned(FloatBits(want[i])));
        result << line;
    }
    return result;
}

inline ::testing::AssertionResult SameBits(float got, float want)
{
    return SameBits(&got, &want, 1);
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

#endif
