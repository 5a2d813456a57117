// `qmhost check`: the layout walk finds each departure from a well-formed
// file at its byte offset and record, stops at a count or record that runs
// past the end, caps repeated findings, and never reads outside the file.
#include <functional>

#include "FileBuffer.h"
#include "LayoutCheck.h"
#include "TestSupport.h"
#include "ToolsSupport.h"

namespace {

// Header 0, vertex pool 29, index pool 253, group record 265, level record
// 277, mesh record 291, hardpoint record 644, its points 809, end 833.
MshFile Base() {
  MshFile file;
  file.vertices = NumberedVertices(4);
  file.indices = {0, 1, 2, 0, 2, 3};
  file.groups.push_back(
      GroupOf({LevelOf(1, {MeshOf("hull.tga", 0, 4, 0, 2)})}, {HardpointOf("dock", 2)}));
  return file;
}

LayoutCheck Check(const std::vector<std::uint8_t>& bytes, int limit = 20) {
  FileBuffer myfile(bytes.data(), bytes.size());
  return CheckLayout(myfile, limit);
}

MshMesh& FirstMesh(MshFile& file) { return file.groups[0].levels[0].meshes[0]; }

using Bytes = std::vector<std::uint8_t>;

struct Case {
  const char* name;
  std::function<void(MshFile&)> damage;
  FindingKind kind;
  std::int64_t offset;
  int group, level, mesh, hardpoint;
  std::size_t findings = 1;  // a field without its NUL is also too long a name
  // The writer writes a block as long as its counts say; a count that runs
  // past the end is set in the written bytes.
  std::function<void(Bytes&)> patch = [](Bytes&) {};
};

TEST(LayoutCheck, FindsEachDepartureAtItsOffsetAndRecord) {
  const Case cases[] = {
      {"vertex range past the pool", [](MshFile& f) { FirstMesh(f).vertexCount = 5; },
       FindingKind::VertexRangeOutside, 291 + 337, 0, 0, 0, -1},
      {"triangles past the index pool", [](MshFile& f) { FirstMesh(f).triangleCount = 3; },
       FindingKind::IndexRangeOutside, 291 + 345, 0, 0, 0, -1},
      {"corner outside the mesh", [](MshFile& f) {
         f.indices[4] = 3;
         FirstMesh(f).vertexCount = 3;
       },
       FindingKind::CornerOutsideMesh, 253 + 2 * 4, 0, 0, 0, -1},
      {"texture name of 32", [](MshFile& f) { FirstMesh(f).textureName = std::string(32, 't'); },
       FindingKind::NameTooLong, 291 + 72, 0, 0, 0, -1},
      {"flagged texture name of 28",
       [](MshFile& f) {
         FirstMesh(f).textureName = std::string(28, 't');
         FirstMesh(f).materialFlag = 1;
       },
       FindingKind::NameTooLong, 291 + 72, 0, 0, 0, -1},
      {"texture name without NUL", [](MshFile& f) { FirstMesh(f).textureName = std::string(262, 't'); },
       FindingKind::TextWithoutNul, 291 + 72, 0, 0, 0, -1, 2},
      {"hardpoint name of 30", [](MshFile& f) { f.groups[0].hardpoints[0].name = std::string(30, 'h'); },
       FindingKind::NameTooLong, 644, 0, -1, -1, 0},
      {"hardpoint name without NUL",
       [](MshFile& f) { f.groups[0].hardpoints[0].name = std::string(101, 'h'); },
       FindingKind::TextWithoutNul, 644, 0, -1, -1, 0, 2},
      {"vertex count past the end", [](MshFile& f) { f.vertexCount = 1000; },
       FindingKind::CountPastEnd, 29, -1, -1, -1, -1},
      {"group count past the end", [](MshFile& f) { f.groupCount = 100; },
       FindingKind::CountPastEnd, 24, -1, -1, -1, -1},
      {"mesh count past the end", [](MshFile& f) { f.groups[0].levels[0].meshCount = 100; },
       FindingKind::CountPastEnd, 277 + 4, 0, 0, -1, -1},
      {"level block past the end", [](MshFile&) {}, FindingKind::CountPastEnd, 277 + 6, 0, 0, -1,
       -1, 1, [](Bytes& b) { b[277 + 6] = 100; }},
      {"group block past the end", [](MshFile&) {}, FindingKind::CountPastEnd, 265 + 4, 0, -1, -1,
       -1, 1, [](Bytes& b) { b[265 + 8] = 100; }},
      {"hardpoint count past the end", [](MshFile& f) { f.groups[0].hardpointCount = 9; },
       FindingKind::CountPastEnd, 265 + 10, 0, -1, -1, -1},
      {"points past the end", [](MshFile& f) { f.groups[0].hardpoints[0].pointCount = 100; },
       FindingKind::CountPastEnd, 644 + 161, 0, -1, -1, 0},
      {"bytes after the last group", [](MshFile& f) { f.trailer = {1, 2, 3}; },
       FindingKind::BytesAfterEnd, 833, -1, -1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MshFile file = Base();
    c.damage(file);
    Bytes bytes = WriteMsh(file);
    c.patch(bytes);
    const LayoutCheck check = Check(bytes);
    ASSERT_EQ(check.findings.size(), c.findings);
    const LayoutFinding& finding = check.findings[0];
    EXPECT_EQ(finding.kind, c.kind) << finding.text;
    EXPECT_EQ(finding.place.offset, c.offset) << finding.text;
    EXPECT_EQ(finding.place.group, c.group);
    EXPECT_EQ(finding.place.level, c.level);
    EXPECT_EQ(finding.place.mesh, c.mesh);
    EXPECT_EQ(finding.place.hardpoint, c.hardpoint);
    EXPECT_EQ(check.Errors(), IsNote(c.kind) ? 0 : static_cast<std::int64_t>(c.findings));
  }
}

TEST(LayoutCheck, NamesAtTheHostsLimitAreClean) {
  MshFile file = Base();
  FirstMesh(file).textureName = std::string(31, 't');
  file.groups[0].levels[0].meshes.push_back(FirstMesh(file));
  file.groups[0].levels[0].meshes[1].textureName = std::string(27, 'f');
  file.groups[0].levels[0].meshes[1].materialFlag = 1;
  file.groups[0].hardpoints[0].name = std::string(29, 'h');
  const LayoutCheck check = Check(WriteMsh(file));
  EXPECT_TRUE(check.findings.empty()) << check.findings[0].text;
  EXPECT_EQ(check.meshes, 2);
  EXPECT_EQ(check.hardpoints, 1);
}

TEST(LayoutCheck, StopsAtTheEndOfEveryPrefixWithoutReadingPastIt) {
  const std::vector<std::uint8_t> whole = WriteMsh(Base());
  for (std::size_t length = 0; length < whole.size(); ++length) {
    // A fresh allocation of exactly `length` bytes, so the address sanitizer
    // sees any read past it.
    std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + length);
    const LayoutCheck check = Check(prefix);
    ASSERT_EQ(check.Errors(), 1) << "length " << length;
    const FindingKind kind = check.findings.back().kind;
    EXPECT_TRUE(kind == FindingKind::Truncated || kind == FindingKind::CountPastEnd)
        << "length " << length << ": " << check.findings.back().text;
  }
  // Cut inside the hardpoint record: its count already asks for more than
  // is left.
  const LayoutCheck cut = Check(std::vector<std::uint8_t>(whole.begin(), whole.begin() + 700));
  EXPECT_EQ(cut.findings[0].place.offset, 265 + 10);
  EXPECT_EQ(cut.findings[0].text, "the count of 1 hardpoint records needs at least 165 bytes, 56 bytes remain");
}

TEST(LayoutCheck, CountsUnreachableVerticesPastEntry65535) {
  MshFile file;
  file.vertices.resize(65540);
  file.indices = {65530, 65531, 65532};
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("a", 65530, 10, 0, 1)})}));
  const LayoutCheck check = Check(WriteMsh(file));
  ASSERT_EQ(check.findings.size(), 1u);
  EXPECT_EQ(check.findings[0].kind, FindingKind::UnreachableVertices);
  EXPECT_EQ(check.findings[0].place.offset, 29 + 56 * 65540 + 6 + 12 + 14 + 337);
  EXPECT_NE(check.findings[0].text.find("4 of the mesh's vertices"), std::string::npos)
      << check.findings[0].text;
}

TEST(LayoutCheck, KeepsTheFirstFindingsOfAKindAndCountsTheRest) {
  MshFile file = Base();
  FirstMesh(file).vertexCount = 2;  // corners 2 and 3 lie outside
  file.groups[0].levels[0].meshes.assign(30, FirstMesh(file));
  const LayoutCheck check = Check(WriteMsh(file), 5);
  EXPECT_EQ(check.findings.size(), 5u);
  EXPECT_EQ(check.counts[static_cast<int>(FindingKind::CornerOutsideMesh)], 30);
  EXPECT_NE(check.findings[0].text.find("3 of the mesh's 6 triangle corners"), std::string::npos)
      << check.findings[0].text;
}

class CheckCommand : public ToolsTest {};

TEST_F(CheckCommand, ListsFindingsPerFileAndExitsByErrors) {
  MshFile damaged = Base();
  FirstMesh(damaged).vertexCount = 2;
  damaged.groups[0].levels[0].meshes.assign(25, FirstMesh(damaged));
  Write("damaged.msh", WriteMsh(damaged));
  MshFile noted = Base();
  noted.trailer = {0, 0};
  Write("noted.msh", WriteMsh(noted));

  const Outcome clean = Qmhost("check noted.msh");
  EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
  EXPECT_EQ(clean.out,
            "noted.msh: byte 833 (end of the last group): note: 2 bytes after the last group, "
            "which the import does not read\n"
            "noted.msh: 0 errors, 1 note (1 group, 1 detail level, 1 mesh, 1 hardpoint, "
            "835 bytes)\n");

  const Outcome run = Qmhost("check damaged.msh missing.msh noted.msh");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("damaged.msh: byte 257, group 0, level 0, mesh 0 (index pool entry): "
                         "error: 3 of the mesh's 6 triangle corners lie outside its vertex range "
                         "0 to 1; the first is entry 2, vertex 2\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("damaged.msh: 5 more meshes with corners outside their vertices not "
                         "listed\ndamaged.msh: 25 errors, 0 notes"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("missing.msh: error: cannot read the file: No such file or directory\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("noted.msh: 0 errors, 1 note"), std::string::npos);

  EXPECT_EQ(Qmhost("check").status, 2);
  EXPECT_EQ(Qmhost("check --help").status, 0);
}

}  // namespace
