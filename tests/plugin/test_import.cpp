// Building host meshes and materials from groups, detail levels and mesh
// records.
#include <gtest/gtest.h>

#include "MeshRecords.h"
#include "TestSupport.h"

namespace {

TEST(ImportNames, LevelAndMeshNamesCarryGroupLevelAndMeshNumbers) {
  MshFile file;
  file.groups.push_back(GroupOf({LevelOf(12.5f, {MeshOf("a", 0, 0, 0, 0), MeshOf("a", 0, 0, 0, 0),
                                                 MeshOf("a", 0, 0, 0, 0)}),
                                 LevelOf(-1.5f, {})}));
  file.groups.push_back(GroupOf({}));
  MshGroup third;
  third.levels.push_back(LevelOf(1234.5f, std::vector<MshMesh>(12, MeshOf("b", 0, 0, 0, 0))));
  file.groups.push_back(third);

  Imported imported = Import(file);
  ASSERT_TRUE(imported.report.Ok()) << imported.report.Message();
  const std::vector<std::string> expected = {
      "L00LD00#red 012.50#", "L00LD00M00", "L00LD00M01", "L00LD00M02", "L00LD01#red -01.50#",
      "L02LD00#red 1234.50#", "L02LD00M00", "L02LD00M01", "L02LD00M02", "L02LD00M03",
      "L02LD00M04", "L02LD00M05", "L02LD00M06", "L02LD00M07", "L02LD00M08", "L02LD00M09",
      "L02LD00M10", "L02LD00M11"};
  EXPECT_EQ(MeshNames(imported.model.get()), expected);
  EXPECT_EQ(qmMesh_GetMaterialIndex(qmModel_GetMeshAt(imported.model.get(), 0)), -1);
  EXPECT_EQ(qmMesh_GetVertexCount(qmModel_GetMeshAt(imported.model.get(), 0)), 0);
}

TEST(ImportNames, WideNumbersKeepAllTheirDigits) {
  MshFile file;
  for (int g = 0; g < 124; ++g) file.groups.push_back(GroupOf({}));
  file.groups[123].levels = {LevelOf(0, {}), LevelOf(0, {}), LevelOf(0, {}), LevelOf(0, {}),
                             LevelOf(0, {})};
  Imported imported = Import(file);
  EXPECT_EQ(MeshNames(imported.model.get()).back(), "L123LD04#red 000.00#");
}

TEST(ImportNames, OverlongNamesAreCutTo31Characters) {
  MshFile file;
  const std::string longTexture(40, 't');
  MshMesh flagged = MeshOf(std::string(29, 'u'), 0, 0, 0, 0);
  flagged.materialFlag = 7;
  file.groups.push_back(GroupOf({LevelOf(-1e30f, {MeshOf(longTexture, 0, 0, 0, 0), flagged})}));
  Imported imported = Import(file);
  EXPECT_EQ(MeshNames(imported.model.get())[0], "L00LD00#red -100000001504746621");
  EXPECT_EQ(MaterialNames(imported.model.get()),
            (std::vector<std::string>{std::string(31, 't'), std::string(29, 'u') + "@b"}));
}

TEST(ImportMaterials, SharedByNameWithTheLastRecordsValues) {
  MshMesh first = MeshOf("hull.tga", 0, 0, 0, 0);
  MshMesh second = first;
  second.diffuse = {0.1f, 0.2f, 0.3f, 0.4f};
  second.ambient = {0.5f, 0.6f, 0.7f, 0.8f};
  second.specular = {0.9f, 1.0f, 1.1f, 1.2f};
  second.emissive = {1.3f, 1.4f, 1.5f, 1.6f};
  second.shininessBits = 0x7FA00001;  // a signalling NaN, to be kept bit for bit
  second.alpha = 0.25f;
  MshMesh flagged = first;
  flagged.materialFlag = 1;
  MshFile file;
  file.groups.push_back(GroupOf({LevelOf(0, {first, flagged, second})}));

  Imported imported = Import(file);
  qmModel* model = imported.model.get();
  EXPECT_EQ(MaterialNames(model), (std::vector<std::string>{"hull.tga", "hull.tga@boo"}));
  EXPECT_EQ(qmMesh_GetMaterialIndex(MeshNamed(model, "L00LD00M00")), 0);
  EXPECT_EQ(qmMesh_GetMaterialIndex(MeshNamed(model, "L00LD00M01")), 1);
  EXPECT_EQ(qmMesh_GetMaterialIndex(MeshNamed(model, "L00LD00M02")), 0);

  const qmMaterial* shared = qmModel_GetMaterialAt(model, 0);
  const struct {
    const float* actual;
    MshColour expected;
  } colours[] = {{qmMaterial_GetDiffuse(shared), second.diffuse},
                 {qmMaterial_GetAmbient(shared), second.ambient},
                 {qmMaterial_GetSpecular(shared), second.specular},
                 {qmMaterial_GetEmissive(shared), second.emissive}};
  for (const auto& colour : colours)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(Bits(colour.actual[c]), Bits(colour.expected[c]));
  EXPECT_EQ(Bits(qmMaterial_GetShininess(shared)), 0x7FA00001u);
  EXPECT_EQ(qmMaterial_GetTransparency(shared), 0.75f);
  EXPECT_EQ(qmMaterial_GetTransparency(qmModel_GetMaterialAt(model, 1)), 0.0f);
}

TEST(ImportGeometry, VerticesNormalsAndTexCoordsAreCopiedBitForBit) {
  MshFile file;
  file.vertices = NumberedVertices(6);
  file.vertices[4].position = {FromBits(0x80000000), FromBits(0x7FC00123), FromBits(0xFF800000)};
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("m", 2, 3, 0, 0)})}));
  Imported imported = Import(file);
  qmMesh* mesh = MeshNamed(imported.model.get(), "L00LD00M00");
  ASSERT_EQ(qmMesh_GetVertexCount(mesh), 3);
  ASSERT_EQ(qmMesh_GetNormalCount(mesh), 3);
  for (int v = 0; v < 3; ++v) {
    const MshVertex& source = file.vertices[2 + v];
    const qmVertex* vertex = qmMesh_GetVertexAt(mesh, v);
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(Bits(qmVertex_GetPosition(vertex)[c]), Bits(source.position[c]));
      EXPECT_EQ(Bits(qmMesh_GetNormalAt(mesh, v)[c]), Bits(source.normal[c]));
    }
    for (int c = 0; c < 2; ++c)
      EXPECT_EQ(Bits(qmVertex_GetTexCoords(vertex)[c]), Bits(source.texCoords[c]));
    EXPECT_EQ(qmVertex_GetBoneIndex(vertex), -1);
  }
}

TEST(ImportGeometry, CornersBecomeLocalToTheMeshInFileOrder) {
  MshFile file;
  file.vertices = NumberedVertices(14);
  file.indices = {0, 0, 0, 12, 10, 11, 13, 12, 10};
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("m", 10, 4, 3, 2)})}));
  Imported imported = Import(file);
  ASSERT_TRUE(imported.report.Ok());
  qmMesh* mesh = MeshNamed(imported.model.get(), "L00LD00M00");
  EXPECT_EQ(Triangles(mesh), (std::vector<std::vector<int>>{{2, 0, 1}, {3, 2, 0}}));
  for (int t = 0; t < 2; ++t) {
    const qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, t);
    EXPECT_EQ(0, std::memcmp(qmTriangle_GetVertexIndices(triangle),
                             qmTriangle_GetNormalIndices(triangle), 3 * sizeof(std::uint16_t)));
  }
}

TEST(ImportGeometry, OverlappingRangesGiveEachMeshItsOwnCopy) {
  MshFile file;
  file.vertices = NumberedVertices(4);
  file.indices = {0, 1, 2, 1, 2, 3};
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("m", 0, 3, 0, 1), MeshOf("m", 1, 3, 3, 1)})}));
  Imported imported = Import(file);
  qmModel* model = imported.model.get();
  EXPECT_EQ(Positions(MeshNamed(model, "L00LD00M01"))[0], file.vertices[1].position[0]);
  EXPECT_EQ(Triangles(MeshNamed(model, "L00LD00M01")), (std::vector<std::vector<int>>{{0, 1, 2}}));
}

TEST(ImportLayout, TrailingBlocksArePassedOverByTheirCounts) {
  MshLevel level = LevelOf(1, {MeshOf("a", 0, 0, 0, 0)});
  level.block28Count = 1;
  level.block2Count = 3;
  MshGroup group = GroupOf({level, LevelOf(2, {MeshOf("b", 0, 0, 0, 0)})},
                           {HardpointOf("dock", 2)});
  group.block12Count = 1;
  group.block4Count = 1;
  group.block19Count = 1;
  MshFile file;
  file.groups = {group, GroupOf({LevelOf(3, {})})};
  file.trailer = {1, 2, 3, 4, 5};

  const std::vector<std::uint8_t> bytes = WriteMsh(file);
  Imported imported = ImportBytes(bytes);
  ASSERT_TRUE(imported.report.Ok()) << imported.report.Message();
  EXPECT_EQ(MeshNames(imported.model.get()),
            (std::vector<std::string>{"L00LD00#red 001.00#", "L00LD00M00", "L00LD01#red 002.00#",
                                      "L00LD01M00", "#dock#", "L01LD00#red 003.00#"}));
  EXPECT_EQ(MaterialNames(imported.model.get()), (std::vector<std::string>{"a", "b", "#dock#"}));
  // The reader stops behind the last group; the trailer is never read.
  EXPECT_EQ(imported.endPos, static_cast<std::int32_t>(bytes.size() - file.trailer.size()));
}

TEST(ImportLayout, GroupsStartBehindThePools) {
  MshFile file;
  file.vertices = NumberedVertices(2);
  file.indices = {0, 1, 0};
  file.groups.push_back(GroupOf({LevelOf(0, {})}));
  const std::vector<std::uint8_t> bytes = WriteMsh(file);
  FileHeader header;
  std::memcpy(&header, bytes.data(), sizeof header);
  EXPECT_EQ(GroupsOffset(header), 147);
  EXPECT_EQ(MeshNames(ImportBytes(bytes).model.get()).size(), 1u);
}

TEST(ImportModel, ReplacesWhatTheModelHeld) {
  Imported imported = Import(MshFile{});
  qmModel* model = imported.model.get();
  qmModel_SetTotalFrames(model, 7);
  qmModel_AddMaterial(model);
  qmMesh_SetName(qmModel_GetMeshAt(model, qmModel_AddMesh(model)), "old");

  const std::vector<std::uint8_t> bytes = WriteMsh(MshFile{});
  FileBuffer myfile(bytes.data(), bytes.size());
  EXPECT_TRUE(ImportMeshFile(model, myfile).Ok());
  EXPECT_EQ(qmModel_GetMeshCount(model), 0);
  EXPECT_EQ(qmModel_GetMaterialCount(model), 0);
  EXPECT_EQ(qmModel_GetTotalFrames(model), 0);
  EXPECT_EQ(qmModel_FindMeshByName(model, "old"), -1);
}

}  // namespace
