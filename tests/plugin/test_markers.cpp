// Hardpoint markers: meshes and materials "#name#", vertices per point, and
// triangles by the name's family.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "TestSupport.h"

namespace {

using Tris = std::vector<std::vector<int>>;

struct FamilyCase {
  const char* name;
  int points;
  int vertices;
  Tris triangles;
};

// "dock, 3 points" in gtest's messages and ctest's test names.
void PrintTo(const FamilyCase& c, std::ostream* out) {
  *out << c.name << ", " << c.points << " points";
}

class MarkerFamilies : public testing::TestWithParam<FamilyCase> {};

TEST_P(MarkerFamilies, BuildVerticesAndTrianglesByNamePrefix) {
  const FamilyCase& c = GetParam();
  MshFile file;
  file.groups.push_back(GroupOf({}, {HardpointOf(c.name, c.points)}));
  Imported imported = Import(file);
  ASSERT_TRUE(imported.report.Ok()) << imported.report.Message();
  qmMesh* mesh = MeshNamed(imported.model.get(), std::string("#") + c.name + "#");
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(qmMesh_GetVertexCount(mesh), c.vertices);
  EXPECT_EQ(qmMesh_GetNormalCount(mesh), 0);
  EXPECT_EQ(Triangles(mesh), c.triangles);
}

INSTANTIATE_TEST_SUITE_P(
    , MarkerFamilies,
    testing::Values(
        FamilyCase{"dock", 3, 4, {{0, 1, 2}}},
        FamilyCase{"dock", 5, 7, {{0, 1, 2}, {3, 4, 5}}},
        FamilyCase{"dock_bay7", 2, 3, {{0, 1, 2}}},
        FamilyCase{"breach", 2, 3, {{0, 1, 2}}},
        FamilyCase{"angle", 2, 3, {{0, 1, 2}}},
        FamilyCase{"booster", 2, 3, {{0, 1, 2}}},
        FamilyCase{"slot", 3, 3, {{0, 1, 2}}},
        FamilyCase{"slot", 7, 7, {{0, 1, 2}, {3, 4, 5}}},
        FamilyCase{"slot", 2, 2, {}},
        FamilyCase{"fire", 2, 6, {{0, 1, 2}, {3, 4, 5}}},
        FamilyCase{"center", 2, 6, {{0, 1, 2}, {3, 4, 5}}},
        FamilyCase{"blink", 1, 3, {{0, 1, 2}}},
        FamilyCase{"Dock", 3, 3, {}},
        FamilyCase{"fir", 3, 3, {}},
        FamilyCase{"boost", 3, 3, {}},
        FamilyCase{"engine", 3, 3, {}}),
    // "dock_5_points": a name prefix appears with several point counts.
    [](const testing::TestParamInfo<FamilyCase>& row) {
      return std::string(row.param.name) + "_" + std::to_string(row.param.points) + "_points";
    });

TEST(Markers, PairTrianglesRepeatTheEvenPoint) {
  MshFile file;
  file.groups.push_back(GroupOf({}, {HardpointOf("dock", 3)}));
  Imported imported = Import(file);
  const std::vector<float> positions = Positions(MeshNamed(imported.model.get(), "#dock#"));
  const std::vector<float> expected = {1, 10, 0.5f, 2, 20, 0.5f, 2, 20, 0.5f, 3, 30, 0.5f};
  EXPECT_EQ(positions, expected);
}

TEST(Markers, SameNameSharesMeshAndMaterialAcrossGroups) {
  MshHardpoint first = HardpointOf("dock", 2);
  first.diffuse = {1, 0, 0, 1};
  MshHardpoint second = HardpointOf("dock", 2);
  second.diffuse = {0, 1, 0, 0.25f};
  second.shininessBits = 0x3F800000;
  MshFile file;
  file.groups = {GroupOf({LevelOf(0, {})}, {first}), GroupOf({LevelOf(0, {})}, {second})};

  Imported imported = Import(file);
  qmModel* model = imported.model.get();
  EXPECT_EQ(MeshNames(model), (std::vector<std::string>{"L00LD00#red 000.00#", "#dock#",
                                                        "L01LD00#red 000.00#"}));
  qmMesh* marker = MeshNamed(model, "#dock#");
  EXPECT_EQ(qmMesh_GetVertexCount(marker), 6);
  EXPECT_EQ(Triangles(marker), (Tris{{0, 1, 2}, {3, 4, 5}}));
  ASSERT_EQ(MaterialNames(model), (std::vector<std::string>{"#dock#"}));
  const qmMaterial* material = qmModel_GetMaterialAt(model, 0);
  EXPECT_EQ(qmMesh_GetMaterialIndex(marker), 0);
  EXPECT_EQ(qmMaterial_GetDiffuse(material)[1], 1.0f);
  EXPECT_EQ(qmMaterial_GetShininess(material), 1.0f);
  EXPECT_EQ(qmMaterial_GetTransparency(material), 0.75f);
  // Only the diffuse colour is set on a marker material.
  EXPECT_EQ(qmMaterial_GetAmbient(material)[3], 0.0f);
}

TEST(Markers, NoPointsStillMakesMeshAndMaterial) {
  MshHardpoint none = HardpointOf("slot", 0);
  MshHardpoint negative = HardpointOf("fire", 0);
  negative.pointCount = -1;
  MshFile file;
  file.groups.push_back(GroupOf({}, {none, negative, HardpointOf("dock", 2)}));
  Imported imported = Import(file);
  ASSERT_TRUE(imported.report.Ok());
  EXPECT_EQ(MeshNames(imported.model.get()),
            (std::vector<std::string>{"#slot#", "#fire#", "#dock#"}));
  EXPECT_EQ(qmMesh_GetVertexCount(MeshNamed(imported.model.get(), "#fire#")), 0);
  EXPECT_EQ(qmMesh_GetVertexCount(MeshNamed(imported.model.get(), "#dock#")), 3);
}

TEST(Markers, MarkerNameSharesAMaterialWithAnEqualTextureName) {
  MshFile file;
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("#dock#", 0, 0, 0, 0)})}, {HardpointOf("dock", 1)}));
  Imported imported = Import(file);
  EXPECT_EQ(MaterialNames(imported.model.get()), (std::vector<std::string>{"#dock#"}));
}

TEST(Markers, LongNamesAreCutAndReadNoFurtherThanTheirField) {
  MshFile file;
  file.groups.push_back(GroupOf({}, {HardpointOf(std::string(29, 'n'), 1),
                                     HardpointOf("dock" + std::string(120, 'x'), 2)}));
  Imported imported = Import(file);
  ASSERT_TRUE(imported.report.Ok());
  const std::vector<std::string> names = MeshNames(imported.model.get());
  EXPECT_EQ(names[0], "#" + std::string(29, 'n') + "#");
  EXPECT_EQ(names[1], "#dock" + std::string(26, 'x'));
  // The name without its NUL still belongs to its family.
  EXPECT_EQ(Triangles(MeshNamed(imported.model.get(), names[1])), (Tris{{0, 1, 2}}));
}

TEST(Markers, TrianglesPastSixteenBitIndicesAreLeftOutAndReported) {
  // "center" adds three vertices per point: the first hardpoint fills indices
  // 0..65,534, so the second one's triangles would need indices past 65,535.
  MshFile file;
  file.groups.push_back(GroupOf({}, {HardpointOf("center", 21845), HardpointOf("center", 2)}));
  Imported imported = Import(file);
  qmMesh* marker = MeshNamed(imported.model.get(), "#center#");
  EXPECT_EQ(qmMesh_GetVertexCount(marker), 21847 * 3);
  EXPECT_EQ(qmMesh_GetTriangleCount(marker), 21845);
  EXPECT_EQ(imported.report.ProblemCount(), 1);
  EXPECT_EQ(imported.report.First().kind, FindingKind::MarkerBeyond16Bit);
  EXPECT_EQ(imported.report.First().place.hardpoint, 1);
  EXPECT_FALSE(imported.report.Stopped());
}

}  // namespace
