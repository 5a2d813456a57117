// Files from strangers: short files, counts and ranges that the file cannot
// back, and text without its NUL. Nothing outside the data is read, the
// import ends, and the report says what was wrong and where.
#include <gtest/gtest.h>

#include "SampleFile.h"
#include "TestSupport.h"

namespace {

TEST(HostileFiles, EveryTruncationOfTheSampleStopsCleanly) {
  const std::vector<std::uint8_t> full = WriteMsh(SampleFile());
  const std::vector<std::string> complete = MeshNames(ImportBytes(full).model.get());
  for (std::size_t length = 0; length < full.size(); ++length) {
    // A fresh allocation of exactly the prefix, so any over-read is caught
    // by the address sanitizer.
    const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + length);
    Imported imported = ImportBytes(prefix);
    ASSERT_TRUE(imported.report.Stopped()) << length;
    ASSERT_EQ(imported.report.ProblemCount(), 1) << length;
    // What was built is a prefix of the full model's meshes, the last one
    // perhaps without all its vertices... never a mesh the file doesn't hold.
    const std::vector<std::string> names = MeshNames(imported.model.get());
    ASSERT_LE(names.size(), complete.size());
    for (std::size_t n = 0; n < names.size(); ++n)
      ASSERT_TRUE(names[n] == complete[n] || names[n].rfind('#', 0) == 0) << length;
  }
  EXPECT_TRUE(ImportBytes(full).report.Ok());
}

TEST(HostileFiles, ShortFileKeepsWhatWasBuilt) {
  MshFile file;
  file.groups = {GroupOf({LevelOf(0, {MeshOf("a", 0, 0, 0, 0)})}),
                 GroupOf({LevelOf(0, {MeshOf("b", 0, 0, 0, 0)})})};
  std::vector<std::uint8_t> bytes = WriteMsh(file);
  bytes.resize(bytes.size() - 100);  // cuts into the last mesh record
  Imported imported = ImportBytes(bytes);
  EXPECT_EQ(MeshNames(imported.model.get()),
            (std::vector<std::string>{"L00LD00#red 000.00#", "L00LD00M00", "L01LD00#red 000.00#"}));
  const Finding& problem = imported.report.First();
  EXPECT_EQ(problem.kind, FindingKind::Truncated);
  EXPECT_STREQ(problem.place.record, "mesh record");
  EXPECT_EQ(problem.place.group, 1);
  EXPECT_EQ(problem.place.offset, static_cast<std::int64_t>(bytes.size() + 100 - 353));
  EXPECT_EQ(imported.report.Message(),
            "The file is damaged or incomplete: it ends inside the mesh record of group 1, level "
            "0, mesh 0 (byte " + std::to_string(problem.place.offset) +
                "). The model holds what was read before that point.");
}

TEST(HostileFiles, EmptyFileLeavesTheModelUntouched) {
  qmModelPtr model = NewModel();
  qmModel_AddMesh(model.get());
  FileBuffer empty(nullptr, 0);
  const ImportReport report = ImportMeshFile(model.get(), empty);
  EXPECT_TRUE(report.Stopped());
  EXPECT_STREQ(report.First().place.record, "header");
  EXPECT_EQ(qmModel_GetMeshCount(model.get()), 1);
  EXPECT_EQ(report.Message(),
            "The file is damaged or incomplete: it ends inside the header (byte 0). The model was "
            "left as it was.");
}

MshFile WithHeaderCounts(std::uint32_t vertexCount, std::uint32_t indexCount) {
  MshFile file;
  file.vertexCount = vertexCount;
  file.indexCount = indexCount;
  return file;
}

TEST(HostileFiles, CountsTheFileCannotHoldStopTheImport) {
  // Counts near the top of their range, which would wrap a 32-bit product.
  const struct {
    MshFile file;
    const char* record;
  } cases[] = {
      {WithHeaderCounts(0xFFFFFFFF, 0), "vertex pool"},
      {WithHeaderCounts(76695845, 0), "vertex pool"},  // 56 * count wraps to a small number
      {WithHeaderCounts(0, 0x80000001), "index pool"},
      {[] {
         MshFile file;
         file.groupCount = 3;
         return file;
       }(),
       "group record"},
  };
  for (const auto& c : cases) {
    Imported imported = Import(c.file);
    EXPECT_TRUE(imported.report.Stopped());
    EXPECT_STREQ(imported.report.First().place.record, c.record);
  }
}

TEST(HostileFiles, BlocksThatLeaveTheFileStopTheImport) {
  MshFile file;
  file.groups.push_back(GroupOf({LevelOf(0, {})}));
  std::vector<std::uint8_t> bytes = WriteMsh(file);
  // block28Count of the level record, which starts at 29 + 12.
  const std::size_t level = 29 + 12;
  bytes[level + 6] = 0xFF;
  bytes[level + 7] = 0xFF;
  bytes[level + 8] = 0xFF;
  bytes[level + 9] = 0xFF;
  Imported imported = ImportBytes(bytes);
  EXPECT_TRUE(imported.report.Stopped());
  EXPECT_STREQ(imported.report.First().place.record, "trailing block of the detail level");
  EXPECT_EQ(MeshNames(imported.model.get()).size(), 1u);

  MshFile group;
  group.groups.push_back(GroupOf({}));
  group.groups[0].block19Count = 100;
  std::vector<std::uint8_t> groupBytes = WriteMsh(group);
  groupBytes.resize(groupBytes.size() - 1);
  EXPECT_STREQ(ImportBytes(groupBytes).report.First().place.record, "trailing block of the group");
}

TEST(HostileFiles, RangesOutsideThePoolsAreCutAndReportedOnce) {
  MshFile file;
  file.vertices = NumberedVertices(6);
  file.indices = {0, 1, 2, 3, 4, 5, 5, 4};
  file.groups.push_back(GroupOf({LevelOf(0, {
      MeshOf("vertices past the pool", 4, 5, 0, 0),
      MeshOf("triangles past the pool", 0, 6, 3, 2),
      MeshOf("corners outside the mesh", 2, 2, 0, 2),
      MeshOf("first + count wraps 32 bits", 0xFFFFFFFF, 2, 0xFFFFFFFF, 0x55555556),
  })}));
  Imported imported = Import(file);
  qmModel* model = imported.model.get();
  EXPECT_EQ(qmMesh_GetVertexCount(MeshNamed(model, "L00LD00M00")), 2);
  EXPECT_EQ(Triangles(MeshNamed(model, "L00LD00M01")), (std::vector<std::vector<int>>{{3, 4, 5}}));
  // Of 0,1,2 and 3,4,5 only corners 2 and 3 lie in the mesh's range 2..3.
  EXPECT_EQ(qmMesh_GetTriangleCount(MeshNamed(model, "L00LD00M02")), 0);
  EXPECT_EQ(qmMesh_GetVertexCount(MeshNamed(model, "L00LD00M03")), 0);
  EXPECT_EQ(qmMesh_GetTriangleCount(MeshNamed(model, "L00LD00M03")), 0);

  EXPECT_FALSE(imported.report.Stopped());
  EXPECT_EQ(imported.report.First().kind, FindingKind::VertexRangeOutside);
  EXPECT_EQ(imported.report.First().place.mesh, 0);
  EXPECT_EQ(imported.report.ProblemCount(), 5);
  EXPECT_NE(imported.report.Message().find("4 more problems"), std::string::npos);
}

TEST(HostileFiles, HugePointCountEndsWithTheData) {
  MshHardpoint hardpoint = HardpointOf("fire", 2);
  hardpoint.pointCount = INT32_MAX;
  MshFile file;
  file.groups.push_back(GroupOf({}, {hardpoint}));
  Imported imported = Import(file);
  EXPECT_EQ(qmMesh_GetVertexCount(MeshNamed(imported.model.get(), "#fire#")), 6);
  EXPECT_STREQ(imported.report.First().place.record, "hardpoint point");
  EXPECT_TRUE(imported.report.Stopped());
}

TEST(HostileFiles, TextWithoutItsNulIsReadNoFurtherThanItsField) {
  MshMesh mesh = MeshOf(std::string(300, 'q'), 0, 0, 0, 0);
  MshFile file;
  file.groups.push_back(GroupOf({LevelOf(0, {mesh})}));
  Imported imported = Import(file);
  EXPECT_TRUE(imported.report.Ok());
  EXPECT_EQ(MaterialNames(imported.model.get()), (std::vector<std::string>{std::string(31, 'q')}));
}

}  // namespace
