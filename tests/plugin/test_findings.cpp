// One walk, two builders: the import and check (CheckMeshFile) meet the same
// findings, each at its byte offset and record, and check's count of the model
// is the model the import builds. Errors are what the import stops at or
// cuts; notes never reach the user's message.
#include <gtest/gtest.h>

#include <functional>

#include "SampleFile.h"
#include "TestSupport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

ModelSize SizeOf(qmModel* model) {
  ModelSize size;
  size.meshes = qmModel_GetMeshCount(model);
  size.materials = qmModel_GetMaterialCount(model);
  for (int m = 0; m < size.meshes; ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    size.vertices += qmMesh_GetVertexCount(mesh);
    size.normals += qmMesh_GetNormalCount(mesh);
    size.triangles += qmMesh_GetTriangleCount(mesh);
  }
  return size;
}

// Imports and checks `bytes`, expects the two to agree, and returns the check.
ImportReport ImportAndCheck(const Bytes& bytes, int keepPerKind = 20) {
  Imported imported = ImportBytes(bytes);
  FileBuffer again(bytes.data(), bytes.size());
  ImportReport check = CheckMeshFile(again, keepPerKind);
  for (int kind = 0; kind < kFindingKinds; ++kind) {
    EXPECT_EQ(check.Count(static_cast<FindingKind>(kind)),
              imported.report.Count(static_cast<FindingKind>(kind)))
        << "kind " << kind;
  }
  EXPECT_EQ(check.Message(), imported.report.Message());
  EXPECT_EQ(again.pos, imported.endPos);
  const ModelSize built = SizeOf(imported.model.get());
  EXPECT_EQ(check.model.meshes, built.meshes);
  EXPECT_EQ(check.model.materials, built.materials);
  EXPECT_EQ(check.model.vertices, built.vertices);
  EXPECT_EQ(check.model.normals, built.normals);
  EXPECT_EQ(check.model.triangles, built.triangles);
  return check;
}

const Finding* FirstOf(const ImportReport& report, FindingKind kind) {
  for (const Finding& finding : report.Kept())
    if (finding.kind == kind) return &finding;
  return nullptr;
}


struct Case {
  const char* name;
  std::function<void(MshFile&)> damage;
  FindingKind kind;
  std::int64_t offset;
  int group, level, mesh, hardpoint;
  // The writer writes a block as long as its counts say; a count that runs
  // past the end is set in the written bytes.
  std::function<void(Bytes&)> patch = [](Bytes&) {};
};

TEST(Findings, EachDepartureIsFoundAtItsPlaceByTheImportAndByCheck) {
  const Case cases[] = {
      {"vertex range past the pool", [](MshFile& f) { FirstMesh(f).vertexCount = 5; },
       FindingKind::VertexRangeOutside, 291, 0, 0, 0, -1},
      {"triangles past the index pool", [](MshFile& f) { FirstMesh(f).triangleCount = 3; },
       FindingKind::IndexRangeOutside, 291, 0, 0, 0, -1},
      {"corner outside the mesh",
       [](MshFile& f) {
         f.indices[4] = 3;
         FirstMesh(f).vertexCount = 3;
       },
       FindingKind::CornerOutsideMesh, 291, 0, 0, 0, -1},
      {"a \"fire\" hardpoint of 30,000 points", [](MshFile& f) {
         f.groups[0].hardpoints[0] = HardpointOf("fire", 30000);
       },
       FindingKind::MarkerBeyond16Bit, 644, 0, -1, -1, 0},
      {"vertex pool past the end", [](MshFile& f) { f.vertexCount = 1000; },
       FindingKind::Truncated, 29, -1, -1, -1, -1},
      {"group count past the end", [](MshFile& f) { f.groupCount = 100; },
       FindingKind::Truncated, 833, 1, -1, -1, -1},
      {"mesh count past the end", [](MshFile& f) { f.groups[0].levels[0].meshCount = 100; },
       FindingKind::Truncated, 644, 0, 0, 1, -1},
      {"level block past the end", [](MshFile&) {}, FindingKind::Truncated, 644, 0, 0, -1, -1,
       [](Bytes& b) { b[277 + 6] = 100; }},
      {"group block past the end", [](MshFile&) {}, FindingKind::Truncated, 644, 0, -1, -1, -1,
       [](Bytes& b) { b[265 + 8] = 100; }},
      {"hardpoint count past the end", [](MshFile& f) { f.groups[0].hardpointCount = 9; },
       FindingKind::Truncated, 833, 0, -1, -1, 1},
      {"points past the end", [](MshFile& f) { f.groups[0].hardpoints[0].pointCount = 100; },
       FindingKind::Truncated, 833, 0, -1, -1, 0},
      // Notes.
      {"texture name of 32", [](MshFile& f) { FirstMesh(f).textureName = std::string(32, 't'); },
       FindingKind::NameCut, 291, 0, 0, 0, -1},
      {"flagged texture name of 28",
       [](MshFile& f) {
         FirstMesh(f).textureName = std::string(28, 't');
         FirstMesh(f).materialFlag = 1;
       },
       FindingKind::NameCut, 291, 0, 0, 0, -1},
      {"texture name without NUL",
       [](MshFile& f) { FirstMesh(f).textureName = std::string(262, 't'); },
       FindingKind::NameCut, 291, 0, 0, 0, -1},
      {"hardpoint name of 30",
       [](MshFile& f) { f.groups[0].hardpoints[0].name = std::string(30, 'h'); },
       FindingKind::NameCut, 644, 0, -1, -1, 0},
      {"a level whose red is 1e30", [](MshFile& f) { f.groups[0].levels[0].red = 1e30f; },
       FindingKind::NameCut, 277, 0, 0, -1, -1},
      {"bytes after the last group", [](MshFile& f) { f.trailer = {1, 2, 3}; },
       FindingKind::BytesAfterEnd, 833, -1, -1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MshFile file = LaidOutFile();
    c.damage(file);
    Bytes bytes = WriteMsh(file);
    c.patch(bytes);
    const ImportReport check = ImportAndCheck(bytes);
    const Finding* finding = FirstOf(check, c.kind);
    ASSERT_NE(finding, nullptr);
    EXPECT_EQ(check.Count(c.kind), 1);
    EXPECT_EQ(finding->place.offset, c.offset) << DescribeFinding(*finding);
    EXPECT_EQ(finding->place.group, c.group);
    EXPECT_EQ(finding->place.level, c.level);
    EXPECT_EQ(finding->place.mesh, c.mesh);
    EXPECT_EQ(finding->place.hardpoint, c.hardpoint);
    EXPECT_EQ(check.Errors(), IsNote(c.kind) ? 0 : 1) << DescribeFinding(check.First());
  }
}

TEST(Findings, NamesAtTheHostsLimitsAreClean) {
  MshFile file = LaidOutFile();
  FirstMesh(file).textureName = std::string(kTextureNameLimit, 't');
  file.groups[0].levels[0].meshes.push_back(FirstMesh(file));
  file.groups[0].levels[0].meshes[1].textureName = std::string(kFlaggedTextureNameLimit, 'f');
  file.groups[0].levels[0].meshes[1].materialFlag = 1;
  file.groups[0].hardpoints[0].name = std::string(kHardpointNameLimit, 'h');
  const ImportReport check = ImportAndCheck(WriteMsh(file));
  EXPECT_TRUE(check.Kept().empty()) << DescribeFinding(check.Kept()[0]);
  EXPECT_EQ(check.records.meshes, 2);
  EXPECT_EQ(check.records.hardpoints, 1);
}

TEST(Findings, EveryCutOfTheSampleStopsBothWalksAtOnePlace) {
  const Bytes whole = WriteMsh(SampleFile());
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const ImportReport check = ImportAndCheck(Bytes(whole.begin(), whole.begin() + length));
    ASSERT_EQ(check.Errors(), 1) << "length " << length;
    ASSERT_EQ(check.First().kind, FindingKind::Truncated) << "length " << length;
  }
  EXPECT_TRUE(ImportAndCheck(whole).Kept().empty());
}

TEST(Findings, NamesThatAgreeOnlyInTheirFirst31CharactersShareAnObject) {
  const std::string stem(31, 's');
  MshFile file;
  file.groups.push_back(GroupOf(
      {LevelOf(0, {MeshOf(stem + "-first", 0, 0, 0, 0), MeshOf(stem + "-first", 0, 0, 0, 0),
                   MeshOf(stem + "-second", 0, 0, 0, 0), MeshOf(stem, 0, 0, 0, 0)})},
      {HardpointOf(std::string(29, 'h') + "-a", 1), HardpointOf(std::string(29, 'h') + "-b", 1),
       HardpointOf(std::string(29, 'h') + "-a", 1)}));
  const ImportReport check = ImportAndCheck(WriteMsh(file));
  // The same long name twice is one material, as it would be whole; a
  // second long name, and the 31 characters alone, are merged into it.
  EXPECT_EQ(check.Count(FindingKind::NameCut), 6);
  ASSERT_EQ(check.Count(FindingKind::NamesMerged), 3);
  std::vector<int> merged;
  for (const Finding& finding : check.Kept())
    if (finding.kind == FindingKind::NamesMerged)
      merged.push_back(finding.place.mesh >= 0 ? finding.place.mesh : 10 + finding.place.hardpoint);
  EXPECT_EQ(merged, (std::vector<int>{2, 3, 11}));
  EXPECT_EQ(check.model.materials, 2);
  EXPECT_TRUE(check.Ok());
}

TEST(Findings, VerticesNo16BitIndexReachesAreNotes) {
  // A mesh whose range passes pool entry 65,535, and a marker of lone points
  // past index 65,535: nothing is left out, but no triangle can use them.
  MshFile file;
  file.vertices.resize(65540);
  file.indices = {65530, 65531, 65532};
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("a", 65530, 10, 0, 1)})},
                                {HardpointOf("light", 65540)}));
  const ImportReport check = ImportAndCheck(WriteMsh(file));
  EXPECT_TRUE(check.Ok()) << check.Message();
  ASSERT_EQ(check.Count(FindingKind::UnreachableVertices), 2);
  EXPECT_EQ(DescribeFinding(check.Kept()[0]),
            "4 vertices of the mesh's range 65530 to 65539 lie past pool entry 65535, where no "
            "16-bit triangle corner reaches them");
  EXPECT_EQ(DescribeFinding(check.Kept()[1]),
            "the marker \"#light#\" holds 4 vertices of this hardpoint from index 65536 on, which "
            "no 16-bit triangle index reaches");
}

TEST(Findings, AModelFarLargerThanItsFileIsANote) {
  // 200 mesh records over the same 1,000 vertices and 1,000 triangles: a
  // 130 KB file that describes 200,000 of each.
  MshFile file;
  file.vertices = NumberedVertices(1000);
  for (int i = 0; i < 3000; ++i) file.indices.push_back(static_cast<std::uint16_t>(i % 1000));
  file.groups.push_back(GroupOf({LevelOf(0, std::vector<MshMesh>(200, MeshOf("m", 0, 1000, 0, 1000)))}));
  const ImportReport check = ImportAndCheck(WriteMsh(file));
  EXPECT_TRUE(check.Ok());
  EXPECT_EQ(check.model.vertices, 200000);
  EXPECT_EQ(check.model.triangles, 200000);
  ASSERT_EQ(check.Count(FindingKind::ModelFarLarger), 1);
  EXPECT_EQ(check.Kept().back().count, EstimatedModelBytes(check.model));
  // The sample is nowhere near.
  EXPECT_EQ(ImportAndCheck(WriteMsh(SampleFile())).Count(FindingKind::ModelFarLarger), 0);
}

TEST(Findings, NotesNeverMakeAMessage) {
  MshFile file = LaidOutFile();
  FirstMesh(file).textureName = std::string(300, 'n');
  file.groups[0].levels[0].red = -1e30f;
  file.trailer = {0};
  Imported imported = Import(file);
  EXPECT_TRUE(imported.report.Ok());
  EXPECT_EQ(imported.report.Message(), "");
  EXPECT_EQ(imported.report.Notes(), 3);
}

TEST(Findings, CheckKeepsTheFirstFindingsOfAKindAndCountsTheRest) {
  MshFile file = LaidOutFile();
  FirstMesh(file).vertexCount = 2;  // corners 2 and 3 lie outside
  file.groups[0].levels[0].meshes.assign(30, FirstMesh(file));
  const ImportReport check = ImportAndCheck(WriteMsh(file), 5);
  EXPECT_EQ(check.Kept().size(), 5u);
  EXPECT_EQ(check.Count(FindingKind::CornerOutsideMesh), 30);
  EXPECT_EQ(check.ProblemCount(), 30);
  EXPECT_EQ(DescribeFinding(check.Kept()[0]),
            "3 of the mesh's 6 triangle corners lie outside its vertices (the first is index pool "
            "entry 2 at byte 257, vertex 2): 2 triangles left out");
}

}  // namespace
