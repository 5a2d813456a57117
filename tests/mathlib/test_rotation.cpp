#include "rotation.h"

#include "float_bits.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

// cos of 90 degrees once the angle has been rounded to float radians.
const float kCos90 = -4.371139e-8f;

const Mat34 kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

struct AnglesRow
{
    Vec3 angles;  // degrees
    Mat34 want;   // Angles_ToMatrix
};

const AnglesRow kAnglesRows[] = {
    // The identity, except that element (2, 0) is -sin(0), which is -0.
    {{0, 0, 0}, {1, 0, 0, 0, 0, 1, 0, 0, -0.0f, 0, 1, 0}},
    {{0, 0, 90}, {kCos90, -1, 0, 0, 1, kCos90, 0, 0, -0.0f, 0, 1, 0}},
    {{10, 20, 30},
     {0.813797653f, -0.440969616f, 0.378522277f, 0, 0.469846308f, 0.882564068f, 0.0180283003f, 0, -0.342020124f,
      0.163175911f, 0.925416529f, 0}},
    // Rounding sx*sy or cx*sy to float would change all four terms that use them.
    {{107, -100.5f, -72},
     {-0.0563138574f, -0.568628013f, -0.820664942f, 0, 0.17331624f, 0.803922355f, -0.568920255f, 0, 0.98325491f,
      -0.174272656f, 0.0532805063f, 0}},
};

void FillWithNaN(float* m, int n)
{
    for (int i = 0; i < n; ++i)
        m[i] = kNaN;
}

TEST(AnglesToMatrix, BuildsRzRyRxFromFloatSinesAndCosines)
{
    for (const AnglesRow& row : kAnglesRows)
    {
        SCOPED_TRACE(::testing::Message() << "angles = " << row.angles[0] << ", " << row.angles[1] << ", "
                                          << row.angles[2]);
        Mat34 out;
        FillWithNaN(out, 12);
        Angles_ToMatrix(row.angles, out);
        EXPECT_TRUE(SameBits(out, row.want, 12));
    }
}

TEST(AnglesToMatrixTransposed, StoresTheSameTermsColumnByColumn)
{
    for (const AnglesRow& row : kAnglesRows)
    {
        SCOPED_TRACE(::testing::Message() << "angles = " << row.angles[0] << ", " << row.angles[1] << ", "
                                          << row.angles[2]);
        Mat34 want;
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
                want[4 * r + c] = row.want[4 * c + r];
            want[4 * r + 3] = 0;
        }
        Mat34 out;
        FillWithNaN(out, 12);
        Angles_ToMatrixTransposed(row.angles, out);
        EXPECT_TRUE(SameBits(out, want, 12));
    }
}

// Two general transforms with translations, for the products below.
const Mat34 kA = {0.1f, -0.7f, 0.3f, 5, 0.9f, 0.2f, -0.4f, -2, -1.0f / 3, 0.6f, 0.25f, 0.5f};
const Mat34 kB = {0.8f, 0.1f, -0.6f, 1.5f, -0.3f, 0.7f, 0.2f, -3, 0.45f, -0.5f, 0.9f, 7};

const Mat34 kAB = {0.425000012f, -0.629999995f, 0.0700000003f, 9.35000038f, 0.479999989f, 0.430000007f,
                   -0.860000014f, -4.05000019f, -0.334166706f, 0.261666685f, 0.545000017f, -0.0500000864f};
const Mat34 kShift123 = {1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3};
const Mat34 kShift102030 = {1, 0, 0, 10, 0, 1, 0, 20, 0, 0, 1, 30};
const Mat34 kShift112233 = {1, 0, 0, 11, 0, 1, 0, 22, 0, 0, 1, 33};

TEST(Mat34Concat, AppliesBThenA)
{
    struct Row
    {
        const char* what;
        const float* a;
        const float* b;
        const float* want;
    };
    const Row rows[] = {
        {"identity times b", kIdentity, kB, kB},
        {"translations add", kShift123, kShift102030, kShift112233},
        {"general a times b", kA, kB, kAB},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        Mat34 out;
        FillWithNaN(out, 12);
        Mat34_Concat(row.a, row.b, out);
        EXPECT_TRUE(SameBits(out, row.want, 12));
    }
}

// A 90-degree turn about Z, as Angles_ToMatrix builds it, with a translation
// that the rotations must ignore.
const Mat34 kTurn90 = {kCos90, -1, 0, 7, 1, kCos90, 0, 8, -0.0f, 0, 1, 9};

struct VectorRow
{
    const char* what;
    Vec3 v;
    const float* m;
    Vec3 want;
};

template <typename Op>
void ExpectVectorRows(const VectorRow* rows, size_t count, Op op)
{
    for (size_t r = 0; r < count; ++r)
    {
        SCOPED_TRACE(rows[r].what);
        Vec3 out = {kNaN, kNaN, kNaN};
        op(rows[r].v, rows[r].m, out);
        EXPECT_TRUE(SameBits(out, rows[r].want, 3));
    }
}

TEST(Vec3Rotate, MultipliesByLinearPartOnly)
{
    const VectorRow rows[] = {
        {"quarter turn", {1, 0, 0}, kTurn90, {kCos90, 1, 0}},
        {"translation ignored", {1, 2, 3}, kShift102030, {1, 2, 3}},
        {"general", {1.5f, -2.25f, 0.1f}, kA, {1.755f, 0.859999955f, -1.82500005f}},
    };
    ExpectVectorRows(rows, std::size(rows), Vec3_Rotate);
}

TEST(Vec3RotateTransposed, MultipliesByTransposedLinearPart)
{
    const VectorRow rows[] = {
        {"quarter turn back", {1, 0, 0}, kTurn90, {kCos90, -1, 0}},
        {"translation ignored", {1, 2, 3}, kShift102030, {1, 2, 3}},
        {"general", {1.5f, -2.25f, 0.1f}, kA, {-1.9083333f, -1.43999994f, 1.375f}},
    };
    ExpectVectorRows(rows, std::size(rows), Vec3_RotateTransposed);
}

TEST(Vec3Transform, RotatesThenTranslates)
{
    const VectorRow rows[] = {
        {"quarter turn", {1, 0, 0}, kTurn90, {7, 9, 9}},
        {"translation", {1, 2, 3}, kShift102030, {11, 22, 33}},
        {"general", {1.5f, -2.25f, 0.1f}, kA, {6.75500011f, -1.13999999f, -1.32500005f}},
    };
    ExpectVectorRows(rows, std::size(rows), Vec3_Transform);
}

TEST(AnglesToQuat, BuildsQzQyQxFromHalfAnglesInRadians)
{
    struct Row
    {
        Vec3 angles;  // radians
        Quat want;
    };
    const Row rows[] = {
        {{0, 0, 0}, {0, 0, 0, 1}},
        {{0, 0, 3.14159265f}, {-0.0f, 0, 1, kCos90}},
        {{0.1f, 0.2f, 0.3f}, {0.0342707969f, 0.106020518f, 0.143572181f, 0.983347476f}},
        {{-1.2f, 0.7f, 2.9f}, {-0.344859332f, -0.492441684f, 0.79297924f, -0.0987783f}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "angles = " << row.angles[0] << ", " << row.angles[1] << ", "
                                          << row.angles[2]);
        Quat out = {kNaN, kNaN, kNaN, kNaN};
        Angles_ToQuat(row.angles, out);
        EXPECT_TRUE(SameBits(out, row.want, 4));
    }
}

TEST(QuatToMatrix, WritesRotationAndKeepsTranslation)
{
    struct Row
    {
        Quat q;
        Mat34 want;  // column 3 is what out held before the call
    };
    const Row rows[] = {
        {{0, 0, 0, 1}, {1, 0, 0, 7, 0, 1, 0, 8, 0, 0, 1, 9}},
        // The quaternion of angles (-1.2, 0.7, 2.9) from the table above.
        {{-0.344859332f, -0.492441684f, 0.79297924f, -0.0987783f},
         {-0.742629766f, 0.496304512f, -0.449647486f, 7, 0.182987943f, -0.495488077f, -0.849121273f, 8,
          -0.64421767f, -0.712862849f, 0.277146459f, 9}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "q = " << row.q[0] << ", " << row.q[1] << ", " << row.q[2] << ", "
                                          << row.q[3]);
        Mat34 out = {kNaN, kNaN, kNaN, 7, kNaN, kNaN, kNaN, 8, kNaN, kNaN, kNaN, 9};
        Quat_ToMatrix(row.q, out);
        EXPECT_TRUE(SameBits(out, row.want, 12));
    }
}

TEST(QuatSlerp, InterpolatesAlongShorterArcFlippingCallersQ)
{
    const float kHalfRoot2 = 0.70710677f;
    struct Row
    {
        const char* what;
        Quat p;
        Quat q;
        float t;
        Quat want;
        Quat wantQ;  // the caller's q afterwards
    };
    const Row rows[] = {
        {"half way to a quarter turn",
         {0, 0, 0, 1},
         {0, 0, kHalfRoot2, kHalfRoot2},
         0.5f,
         {0, 0, 0.38268343f, 0.92387956f},
         {0, 0, kHalfRoot2, kHalfRoot2}},
        {"q on the far side is negated in place",
         {0, 0, 0, 1},
         {0, 0, -kHalfRoot2, -kHalfRoot2},
         0.5f,
         {0, 0, 0.38268343f, 0.92387956f},
         {-0.0f, -0.0f, kHalfRoot2, kHalfRoot2}},
        {"equal quaternions take the linear branch", {0, 0, 0, 1}, {0, 0, 0, 1}, 0.5f, {0, 0, 0, 1}, {0, 0, 0, 1}},
        {"nearly equal: weights 1 - t and t",
         {0, 0, 0, 1},
         {0, 0, 1e-4f, 1},
         0.25f,
         {0, 0, 2.49999994e-05f, 1},
         {0, 0, 1e-4f, 1}},
        {"tied distances keep q",
         {0, 0, 0, 1},
         {0, 0, 1, 0},
         0.5f,
         {0, 0, kHalfRoot2, kHalfRoot2},
         {0, 0, 1, 0}},
        // p and q are the quaternions of angles (-1.3, -0.2, -1) and (-1.4, -0.7, -0.8).
        {"t = 0 gives p",
         {-0.566550434f, 0.218945771f, -0.432777822f, 0.66617316f},
         {-0.659519613f, -0.00589935714f, -0.483249277f, 0.575733602f},
         0.0f,
         {-0.566550434f, 0.218945771f, -0.432777822f, 0.66617316f},
         {-0.659519613f, -0.00589935714f, -0.483249277f, 0.575733602f}},
        {"t = 1 gives q",
         {-0.566550434f, 0.218945771f, -0.432777822f, 0.66617316f},
         {-0.659519613f, -0.00589935714f, -0.483249277f, 0.575733602f},
         1.0f,
         {-0.659519613f, -0.00589935714f, -0.483249277f, 0.575733602f},
         {-0.659519613f, -0.00589935714f, -0.483249277f, 0.575733602f}},
        // omega and sin(omega) are rounded to float; kept in double, three components would change.
        {"general, after a flip",
         {-0.566550434f, 0.218945771f, -0.432777822f, 0.66617316f},
         {0.659519613f, 0.00589935714f, 0.483249277f, -0.575733602f},
         0.59f,
         {-0.62667954f, 0.0871425197f, -0.466493905f, 0.618112028f},
         {-0.659519613f, -0.00589935714f, -0.483249277f, 0.575733602f}},
        // Nearly opposite inputs can only be far from unit length or not finite.
        // They swing through (-p1, p0, -p3, p2), blending three components only.
        {"NaN q falls back to the perpendicular",
         {0.1f, 0.2f, 0.3f, 0.9f},
         {kNaN, 0, 0, 0},
         0.25f,
         {0.0158512648f, 0.223044246f, -0.0672512129f, 0.3f},
         {kNaN, 0, 0, 0}},
        {"overflowing distances fall back to the perpendicular",
         {1e20f, 1e20f, 3, 4},
         {-1e20f, 5e19f, 0, 0},
         0.25f,
         {5.41196072e+19f, 1.30656295e+20f, 1.24090481f, 3},
         {-1e20f, 5e19f, 0, 0}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        Quat q = {row.q[0], row.q[1], row.q[2], row.q[3]};
        Quat out;
        Quat_Slerp(row.p, q, row.t, out);
        EXPECT_TRUE(SameBits(out, row.want, 4)) << "separate out";
        EXPECT_TRUE(SameBits(q, row.wantQ, 4)) << "caller's q";

        Quat inPlace = {row.q[0], row.q[1], row.q[2], row.q[3]};
        Quat_Slerp(row.p, inPlace, row.t, inPlace);
        EXPECT_TRUE(SameBits(inPlace, row.want, 4)) << "out = q";
    }
}

TEST(Vec3ToAngles, GivesNegatedPitchAndYawInDegrees)
{
    struct Row
    {
        Vec3 v;
        Vec3 want;
    };
    const Row rows[] = {
        {{1, 0, 0}, {-0.0f, 0, 0}},
        {{0, 1, 0}, {-0.0f, 90, 0}},
        {{0, -1, 0}, {-0.0f, 270, 0}},
        {{-1, 0, 0}, {-0.0f, 180, 0}},
        {{1, -1, 0}, {-0.0f, 315, 0}},
        {{1, 0, -1}, {-315, 0, 0}},
        {{0, 0, 1}, {-90, 0, 0}},
        {{0, 0, -1}, {-270, 0, 0}},
        {{0, 0, 0}, {-270, 0, 0}},
        {{-0.0f, -0.0f, 1}, {-90, 0, 0}},
        // A yaw just below 0 wraps to exactly 360 once the sum is rounded.
        {{1, -1.7e-8f, 0}, {-0.0f, 360, 0}},
        {{0, 2, 2}, {-45, 90, 0}},
        {{0, -1, -1}, {-315, 270, 0}},
        {{0.3f, -0.4f, 0.5f}, {-45, 306.869904f, 0}},
        {{-2, -1, -3}, {-306.699219f, 206.565048f, 0}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(::testing::Message() << "v = " << row.v[0] << ", " << row.v[1] << ", " << row.v[2]);
        Vec3 out = {kNaN, kNaN, kNaN};
        Vec3_ToAngles(row.v, out);
        EXPECT_TRUE(SameBits(out, row.want, 3)) << "separate out";

        Vec3 v = {row.v[0], row.v[1], row.v[2]};
        Vec3_ToAngles(v, v);
        EXPECT_TRUE(SameBits(v, row.want, 3)) << "out = v";
    }
}

} // namespace
