#include "vec3.h"

#include "float_bits.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

TEST(Vec3Length, SumsSquaresInDoubleAndReturnsUnroundedRoot)
{
    struct Row
    {
        Vec3 v;
        double want;
    };
    const Row rows[] = {
        {{1, 1, 1}, 1.7320508075688772},      // sqrt(3) as a double, not as a float
        {{3, -4, 0}, 5.0},
        {{1e-30f, 0, 0}, double(1e-30f)},     // the square underflows in float
        {{2e38f, 2e38f, 0}, 2.828427034317328e+38},  // the squares overflow in float
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "v = " << row.v[0] << ", " << row.v[1] << ", " << row.v[2]);
        EXPECT_EQ(DoubleBits(Vec3_Length(row.v)), DoubleBits(row.want));
    }
}

TEST(Vec3Normalize, DividesByDoubleLengthAndLeavesZeroVectorsAlone)
{
    struct Row
    {
        Vec3 v;
        Vec3 want;
        float wantLength;
    };
    const Row rows[] = {
        {{3, 4, 0}, {0.6f, 0.8f, 0}, 5},
        // Dividing by the length rounded to float would change the last bit of x and y.
        {{-9, 5, -1}, {-0.870062828f, 0.483368248f, -0.0966736525f}, 10.34408f},
        {{0, 0, 0}, {0, 0, 0}, 0},
        {{-0.0f, 0, -0.0f}, {-0.0f, 0, -0.0f}, 0},
        // The smallest subnormal still has a non-zero square in double.
        {{1e-45f, 0, 0}, {1, 0, 0}, 1e-45f},
        {{2e38f, 2e38f, 0}, {0.707106769f, 0.707106769f, 0}, 2.82842705e+38f},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "v = " << row.v[0] << ", " << row.v[1] << ", " << row.v[2]);
        Vec3 v = {row.v[0], row.v[1], row.v[2]};
        const float length = Vec3_Normalize(v);
        EXPECT_TRUE(SameBits(length, row.wantLength));
        EXPECT_TRUE(SameBits(v, row.want, 3));
    }
}

TEST(Vec3Compare, AcceptsAbsoluteDifferencesUpToOneThousandth)
{
    struct Row
    {
        Vec3 a;
        Vec3 b;
        int want;
    };
    const Row rows[] = {
        {{1, 2, 3}, {1.0009f, 2, 3}, 1},
        // The float nearest 0.001 lies just above the double tolerance.
        {{0, 0, 0}, {0.001f, 0, 0}, 0},
        // 1000.001f is 1000.0009765625.
        {{1000, 0, 0}, {1000.001f, 0, 0}, 1},
        {{0, 0, 0}, {0, -0.0011f, 0}, 0},
        {{0, 0, 0}, {0, 0, 0.0011f}, 0},
        // Absolute, not relative: a tiny relative difference still fails.
        {{1e6f, 0, 0}, {1000000.0625f, 0, 0}, 0},
        {{-0.0f, 0, 0}, {0, -0.0f, 0}, 1},
        // NaN differences are never greater than the tolerance.
        {{kNaN, 0, 0}, {0, 0, 0}, 1},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "a = " << row.a[0] << ", " << row.a[1] << ", " << row.a[2]
                                          << "; b = " << row.b[0] << ", " << row.b[1] << ", " << row.b[2]);
        EXPECT_EQ(Vec3_Compare(row.a, row.b), row.want);
    }
}

TEST(Vec3Dot, SumsProductsInDoubleLeftToRight)
{
    struct Row
    {
        Vec3 a;
        Vec3 b;
        double want;
    };
    const Row rows[] = {
        {{1, 2, 3}, {4, -5, 6}, 12.0},
        {{1e20f, -1e20f, 1}, {1, 1, 1}, 1.0},  // the first two cancel before the third is added
        {{1, 1e-10f, 0}, {1, 1, 0}, 1.0 + double(1e-10f)},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "a = " << row.a[0] << ", " << row.a[1] << ", " << row.a[2]);
        EXPECT_EQ(DoubleBits(Vec3_Dot(row.a, row.b)), DoubleBits(row.want));
    }
}

TEST(Vec3Cross, IsRightHandedAndRoundsEachComponentOnce)
{
    struct Row
    {
        Vec3 a;
        Vec3 b;
        Vec3 want;
    };
    const Row rows[] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
        // Rounding the products to float first changes every component.
        {{2.4f, 6.3f, 1.8f}, {1.2f, 3.5f, 0.7f}, {-1.88999975f, 0.479999989f, 0.839999795f}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "a = " << row.a[0] << ", " << row.a[1] << ", " << row.a[2]);
        Vec3 out;
        Vec3_Cross(row.a, row.b, out);
        EXPECT_TRUE(SameBits(out, row.want, 3));
    }
}

// The component-wise routines promise that out may be either input; each row
// is run with a separate out, with out = a and with out = b.
struct BinaryRow
{
    Vec3 a;
    Vec3 b;
    Vec3 want;
};

template <typename Op>
void ExpectBinaryRows(const BinaryRow* rows, size_t count, Op op)
{
    for (size_t r = 0; r < count; ++r)
    {
        const BinaryRow& row = rows[r];
        SCOPED_TRACE(::testing::Message() << "row " << r);
        Vec3 a = {row.a[0], row.a[1], row.a[2]};
        Vec3 b = {row.b[0], row.b[1], row.b[2]};
        Vec3 out;
        op(a, b, out);
        EXPECT_TRUE(SameBits(out, row.want, 3)) << "separate out";
        op(a, b, a);
        EXPECT_TRUE(SameBits(a, row.want, 3)) << "out = a";
        Vec3_Copy(row.a, a);
        op(a, b, b);
        EXPECT_TRUE(SameBits(b, row.want, 3)) << "out = b";
    }
}

TEST(Vec3Add, AddsComponentsEvenInPlace)
{
    const BinaryRow rows[] = {
        {{1, 2, 3}, {0.5f, -2, -0.0f}, {1.5f, 0, 3}},
        {{-0.0f, 0, 1e38f}, {-0.0f, -0.0f, 3e38f}, {-0.0f, 0, kInf}},
    };
    ExpectBinaryRows(rows, std::size(rows), [](const float* a, const float* b, float* out) { Vec3_Add(a, b, out); });
}

TEST(Vec3Subtract, SubtractsComponentsEvenInPlace)
{
    const BinaryRow rows[] = {
        {{1, 2, 3}, {0.5f, -2, 3}, {0.5f, 4, 0}},
        {{-0.0f, 0, -0.0f}, {0, 0, -0.0f}, {-0.0f, 0, 0}},
    };
    ExpectBinaryRows(rows, std::size(rows),
                     [](const float* a, const float* b, float* out) { Vec3_Subtract(a, b, out); });
}

TEST(Vec3Scale, ScalesComponentsEvenInPlace)
{
    struct Row
    {
        Vec3 v;
        float scale;
        Vec3 want;
    };
    const Row rows[] = {
        {{1, -2, 0}, -0.5f, {-0.5f, 1, -0.0f}},
        {{1e38f, 0.1f, 3}, 10, {kInf, 1, 30}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "scale = " << row.scale);
        Vec3 v = {row.v[0], row.v[1], row.v[2]};
        Vec3 out;
        Vec3_Scale(v, row.scale, out);
        EXPECT_TRUE(SameBits(out, row.want, 3)) << "separate out";
        Vec3_Scale(v, row.scale, v);
        EXPECT_TRUE(SameBits(v, row.want, 3)) << "out = v";
    }
}

TEST(Vec3MultiplyAdd, AddsProductWithDoubleScaleEvenInPlace)
{
    struct Row
    {
        Vec3 a;
        double scale;
        Vec3 b;
        Vec3 want;
    };
    const Row rows[] = {
        {{1, 1, 1}, 0.5, {2, 4, 6}, {2, 3, 4}},
        // A float scale, or a product rounded before the sum, changes every component.
        {{1.2f, 3, 1.0f / 3}, 2.0 / 3, {8, 4, 1.6f}, {6.5333333f, 5.66666651f, 1.39999998f}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "scale = " << row.scale);
        Vec3 a = {row.a[0], row.a[1], row.a[2]};
        Vec3 b = {row.b[0], row.b[1], row.b[2]};
        Vec3 out;
        Vec3_MultiplyAdd(a, row.scale, b, out);
        EXPECT_TRUE(SameBits(out, row.want, 3)) << "separate out";
        Vec3_MultiplyAdd(a, row.scale, b, a);
        EXPECT_TRUE(SameBits(a, row.want, 3)) << "out = a";
        Vec3_Copy(row.a, a);
        Vec3_MultiplyAdd(a, row.scale, b, b);
        EXPECT_TRUE(SameBits(b, row.want, 3)) << "out = b";
    }
}

TEST(Vec3Negate, FlipsEverySignBit)
{
    Vec3 v = {0, 1, -2};
    Vec3_Negate(v);
    const Vec3 want = {-0.0f, -1, 2};
    EXPECT_TRUE(SameBits(v, want, 3));

    Vec3 special = {-0.0f, kInf, kNaN};
    Vec3_Negate(special);
    const Vec3 wantSpecial = {0, -kInf, FloatFromBits(FloatBits(kNaN) ^ 0x80000000u)};
    EXPECT_TRUE(SameBits(special, wantSpecial, 3));
}

TEST(Vec3Copy, CopiesBitsIncludingSignallingNaNs)
{
    const Vec3 src = {FloatFromBits(0x7F800001u), -0.0f, FloatFromBits(0xFFC12345u)};
    Vec3 dst = {1, 2, 3};
    Vec3_Copy(src, dst);
    EXPECT_TRUE(SameBits(dst, src, 3));

    Vec3_Copy(dst, dst);
    EXPECT_TRUE(SameBits(dst, src, 3));
}

TEST(Bounds, ClearSetsFiniteSentinels)
{
    Vec3 boxMin = {0, 0, 0};
    Vec3 boxMax = {0, 0, 0};
    Bounds_Clear(boxMin, boxMax);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(FloatBits(boxMin[i]), 0x47C34F80u) << i;
        EXPECT_EQ(FloatBits(boxMax[i]), 0xC7C34F80u) << i;
    }
}

TEST(Bounds, AddPointWidensFromClearedBox)
{
    struct Row
    {
        const char* what;
        int count;
        Vec3 points[3];
        Vec3 wantMin;
        Vec3 wantMax;
    };
    const Row rows[] = {
        {"first point sets both ends", 1, {{1, 2, 3}}, {1, 2, 3}, {1, 2, 3}},
        {"points beyond the sentinels never undercut them",
         2,
         {{200000, -200000, 5}, {300000, -300000, 5}},
         {99999, -300000, 5},
         {300000, -99999, 5}},
        {"equal points change nothing, not even the sign of zero",
         2,
         {{0, -0.0f, 0}, {-0.0f, 0, -0.0f}},
         {0, -0.0f, 0},
         {0, -0.0f, 0}},
        {"each axis on its own", 3, {{1, 5, -1}, {2, 3, -4}, {0, 4, 7}}, {0, 3, -4}, {2, 5, 7}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        Vec3 boxMin;
        Vec3 boxMax;
        Bounds_Clear(boxMin, boxMax);
        for (int i = 0; i < row.count; ++i)
            Bounds_AddPoint(row.points[i], boxMin, boxMax);
        EXPECT_TRUE(SameBits(boxMin, row.wantMin, 3)) << "min";
        EXPECT_TRUE(SameBits(boxMax, row.wantMax, 3)) << "max";
    }
}

TEST(FloatRound, RoundsHalvesUpward)
{
    struct Row
    {
        float x;
        float want;
    };
    const Row rows[] = {
        {2.5f, 3},
        {-2.5f, -2},
        {-0.5f, 0},  // +0, not -0
        {-1.5f, -1},
        {0.49999997f, 0},
        {-0.0f, 0},
        {-0.2f, 0},
        // 8388609.5 exists in double only; a float sum would round it to 8388610.
        {8388609, 8388609},
        {1e30f, 1e30f},
        {-kInf, -kInf},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "x = " << row.x);
        EXPECT_TRUE(SameBits(Float_Round(row.x), row.want));
    }
}

} // namespace
