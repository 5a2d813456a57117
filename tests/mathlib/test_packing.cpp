#include "packing.h"

#include "float_bits.h"

#include <gtest/gtest.h>

namespace {

TEST(Vec3PackNormal, StoresTruncatedLatitudeAndLongitudeBytes)
{
    struct Row
    {
        Vec3 v;
        int wantLatitude;
        int wantLongitude;
    };
    const Row rows[] = {
        {{0, 0, 1}, 0, 0},
        {{0, 0, -1}, 128, 0},  // 128 from the vertical case; the formula would give 127
        {{0, 0, 0}, 128, 0},
        {{-0.0f, -0.0f, 1}, 0, 0},
        {{1, 0, 0}, 63, 0},
        {{0, 1, 0}, 63, 63},
        {{0, -1, 0}, 63, 193},  // -63 wraps to 256 - 63
        {{-1, 0, 0}, 63, 127},
        {{-1, -1e-8f, 0}, 63, 129},  // just past -180 degrees: -127
        {{0.70710677f, 0, 0.70710677f}, 31, 0},
        {{0.3f, -0.4f, 0.866f}, 21, 219},
        // z a rounding error below -1 is clamped: straight down, not a NaN.
        {{1e-3f, 0, -1.0000001f}, 127, 0},
        {{0, -kInf, 0.5f}, 42, 193},
        // NaN stores 0 in the bytes it reaches.
        {{1, 0, kNaN}, 0, 0},
        {{kNaN, 0, 0}, 63, 0},
        {{kNaN, kNaN, kNaN}, 0, 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "v = " << row.v[0] << ", " << row.v[1] << ", " << row.v[2]);
        PackedNormal out = {0xAA, 0xAA};
        Vec3_PackNormal(row.v, out);
        EXPECT_EQ(out[0], row.wantLatitude) << "latitude";
        EXPECT_EQ(out[1], row.wantLongitude) << "longitude";
    }
}

TEST(AngleQuantize16, TruncatesToSixteenBitStepsAndWraps)
{
    struct Row
    {
        float angle;
        float want;
    };
    const Row rows[] = {
        {0, 0},
        {45, 45},
        {90, 90},
        {180, 180},
        {360, 0},
        {-90, 270},
        {-1, 359.000244140625f},
        {0.1f, 0.098876953125f},
        {1.0f, 0.999755859375f},
        {720.5f, 0.4998779296875f},
        {-0.0f, 0},
        // Step counts past 32 bits still wrap exactly.
        {5e16f, 275.625f},
        // Past 64 bits the residue is taken on the double step count.
        {1e17f, 191.25f},
        {-1e17f, 168.75f},
        {1e30f, 0},
        {-1e30f, 0},  // +0, never -0
        {kInf, 0},
        {-kInf, 0},
        {kNaN, 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "angle = " << row.angle);
        EXPECT_TRUE(SameBits(Angle_Quantize16(row.angle), row.want));
    }
}

} // namespace
