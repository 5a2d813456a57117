// `qmhost check`: every finding of the import's walk with its byte offset and
// record, the model the file describes, a count of what is not listed, and
// an exit status that only errors change. The findings themselves are tested
// with the walk (tests/test_findings.cpp).
#include "QmhostRun.h"
#include "TestSupport.h"

namespace {

class CheckCommand : public TempFolderTest {};

TEST_F(CheckCommand, ListsFindingsPerFileAndExitsByErrors) {
  MshFile damaged = LaidOutFile();
  FirstMesh(damaged).vertexCount = 2;
  damaged.groups[0].levels[0].meshes.assign(25, FirstMesh(damaged));
  Write("damaged.msh", WriteMsh(damaged));
  MshFile noted = LaidOutFile();
  noted.trailer = {0, 0};
  Write("noted.msh", WriteMsh(noted));

  MshFile fire = LaidOutFile();
  fire.groups[0].hardpoints[0] = HardpointOf("fire", 30000);
  fire.groups[0].levels[0].red = 1e30f;
  Write("fire.msh", WriteMsh(fire));

  const Outcome clean = Qmhost("check noted.msh");
  EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
  EXPECT_EQ(clean.out,
            "noted.msh: byte 833 (end of the last group): note: 2 bytes after the last group, "
            "which the import does not read\n"
            "noted.msh: model: 3 meshes, 2 materials, 7 vertices, 3 triangles, about 568 bytes\n"
            "noted.msh: 0 errors, 1 note (1 group, 1 detail level, 1 mesh, 1 hardpoint, "
            "835 bytes)\n");

  const Outcome run = Qmhost("check damaged.msh missing.msh noted.msh");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("damaged.msh: byte 291, group 0, level 0, mesh 0 (mesh record): "
                         "error: 3 of the mesh's 6 triangle corners lie outside its vertices (the "
                         "first is index pool entry 2 at byte 257, vertex 2): 2 triangles left "
                         "out\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("damaged.msh: 5 more meshes with corners outside their vertices not "
                         "listed\ndamaged.msh: model: "),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("damaged.msh: 25 errors, 0 notes"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("missing.msh"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "qmhost: missing.msh: No such file or directory\n");
  EXPECT_NE(run.out.find("noted.msh: 0 errors, 1 note"), std::string::npos);

  // What the import cuts is an error, whatever the layout: the marker's
  // triangles past 16-bit indices. A cut name is a note.
  const Outcome cut = Qmhost("check fire.msh");
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.out.find("fire.msh: byte 277, group 0, level 0 (detail level record): note: the "
                         "level mesh's name of 47 characters is cut to the host's 31: "
                         "\"L00LD00#red 1000000015047466219\"\n"),
            std::string::npos)
      << cut.out;
  EXPECT_NE(cut.out.find("fire.msh: byte 644, group 0, hardpoint 0 (hardpoint record): error: "
                         "the marker \"#fire#\" reaches vertex 65536 here"),
            std::string::npos)
      << cut.out;
  EXPECT_NE(cut.out.find("fire.msh: 1 error, 1 note"), std::string::npos) << cut.out;

  EXPECT_EQ(Qmhost("check").status, 2);
  EXPECT_EQ(Qmhost("check --help").status, 0);
}

}  // namespace
