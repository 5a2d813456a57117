// `qmhost convert`: every file through the plug-in into its own output, a
// broken file never stopping the batch, the progress as a bar on a terminal
// and as plain lines elsewhere, and a summary that counts the outcomes.
#include <sstream>

#include "ConvertProgress.h"
#include "TestSupport.h"
#include "ToolsSupport.h"

namespace {

// One triangle with unit normals, which every format holds as they are.
MshFile Triangle() {
  MshFile file;
  file.vertices = NumberedVertices(3);
  for (MshVertex& vertex : file.vertices) vertex.normal = {0, 0, 1};
  file.indices = {0, 1, 2};
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("a.tga", 0, 3, 0, 1)})}));
  return file;
}

class Convert : public ToolsTest {};

TEST_F(Convert, GoesOnPastBrokenFilesAndCountsEachOutcome) {
  std::vector<std::uint8_t> truncated = WriteMsh(Triangle());
  truncated.resize(truncated.size() - 10);
  Write("cut.msh", truncated);
  Write("good.msh", WriteMsh(Triangle()));
  MshFile odd = Triangle();
  odd.vertices[0].normal = {0, 0, 2};  // glTF wants unit normals: a note, no damage
  Write("odd.msh", WriteMsh(odd));

  const Outcome run = Qmhost("convert missing.msh cut.msh good.msh odd.msh -d out");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "4 files: 2 converted cleanly, 1 damaged (converted with a message), 1 failed\n");
  EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no bar off a terminal";
  std::istringstream lines(run.err);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "failed missing.msh: No such file or directory");
  std::getline(lines, line);
  EXPECT_EQ(line.rfind("damaged cut.msh -> out/cut.glb: The file is damaged or incomplete: it ends "
                       "inside the mesh record of group 0, level 0",
                       0),
            0u)
      << line;
  // No a.tga beside the files: said on each file's line.
  std::getline(lines, line);
  EXPECT_EQ(line, "converted good.msh -> out/good.glb (textures left out: a.tga was not found "
                  "beside good.msh)");
  std::getline(lines, line);
  EXPECT_EQ(line, "converted odd.msh -> out/odd.glb (saved with changes: 1 value was written as "
                  "the nearest value the format can hold) (textures left out: a.tga was not "
                  "found beside odd.msh)");
  EXPECT_FALSE(Exists(Path("out/missing.glb")));
  EXPECT_TRUE(Exists(Path("out/cut.glb")));
  EXPECT_EQ(ReadText(Path("out/good.glb")).substr(0, 4), "glTF");
}

TEST_F(Convert, SavesInTheChosenFormatBesideTheInputByDefault) {
  Write("ship.msh", WriteMsh(Triangle()));
  const struct {
    const char* to;
    const char* file;
    const char* begins;
  } formats[] = {{"glb", "ship.glb", "glTF"},
                 {"gltf", "ship.gltf", "{"},
                 {"obj", "ship.obj", "#"},
                 {"json", "ship.json", "{\"format\":\"qmhost-model\""}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format.to);
    const Outcome run = Qmhost(std::string("convert ship.msh --to ") + format.to);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string text = ReadText(Path(format.file));
    EXPECT_EQ(text.rfind(format.begins, 0), 0u) << text.substr(0, 40);
  }
  EXPECT_TRUE(Exists(Path("ship.mtl")));
}

TEST_F(Convert, RefusesToOverwriteAnEarlierOutputOrTheInput) {
  ASSERT_EQ(std::system(("mkdir -p " + Path("a") + " " + Path("b")).c_str()), 0);
  Write("a/x.msh", WriteMsh(Triangle()));
  Write("b/x.msh", WriteMsh(Triangle()));
  Write("odd.json", WriteMsh(Triangle()));
  const Outcome run = Qmhost("convert a/x.msh b/x.msh odd.json -d . --to json");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("failed b/x.msh: ./x.json is already the output of an earlier file"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("failed odd.json: cannot save ./odd.json: it would replace the input "
                         "odd.json"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "3 files: 1 converted cleanly, 0 damaged (converted with a message), 2 failed\n");
}

TEST_F(Convert, RejectsBadUsage) {
  Write("ship.msh", WriteMsh(Triangle()));
  EXPECT_EQ(Qmhost("convert").status, 2);
  EXPECT_EQ(Qmhost("convert ship.msh --to png").status, 2);
  const Outcome plugin = Qmhost("convert ship.msh --plugin ship.msh");
  EXPECT_EQ(plugin.status, 2);
  EXPECT_NE(plugin.err.find("cannot load the plug-in module ship.msh"), std::string::npos)
      << plugin.err;
  ASSERT_EQ(std::system(("touch " + Path("file")).c_str()), 0);
  const Outcome folder = Qmhost("convert ship.msh -d file/sub");
  EXPECT_EQ(folder.status, 2);
  EXPECT_NE(folder.err.find("cannot make the folder file/sub"), std::string::npos) << folder.err;
  EXPECT_EQ(Qmhost("convert --help").status, 0);
}

// On a terminal the bar is redrawn in place; a problem gets a line of its own
// above it, and the bar is gone at the end.
TEST(ConvertProgress, DrawsABarOnATerminalAndPlainLinesElsewhere) {
  std::ostringstream terminal;
  ConvertProgress bar(terminal, true, 80, 2);
  bar.Start("first.msh");
  bar.Done("converted first.msh -> first.glb", false);
  bar.Start("second.msh");
  bar.Done("failed second.msh: No such file or directory", true);
  bar.Finish();
  const std::string text = terminal.str();
  EXPECT_NE(text.find("\r\033[K[....................] 0/2  -- files/s  first.msh"), std::string::npos)
      << text;
  EXPECT_NE(text.find("1/2"), std::string::npos);
  EXPECT_NE(text.find("second.msh"), std::string::npos);
  EXPECT_EQ(text.find("converted first.msh"), std::string::npos) << "clean files make no line";
  EXPECT_NE(text.find("\r\033[Kfailed second.msh: No such file or directory\n"), std::string::npos);
  EXPECT_NE(text.find("[####################] 2/2"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");

  std::ostringstream plain;
  ConvertProgress lines(plain, false, 80, 1);
  lines.Start("a.msh");
  lines.Done("converted a.msh -> a.glb", false);
  lines.Finish();
  EXPECT_EQ(plain.str(), "converted a.msh -> a.glb\n");
}

TEST(ConvertProgress, KeepsTheBarWithinTheTerminalsWidth) {
  std::ostringstream terminal;
  ConvertProgress bar(terminal, true, 50, 1);
  bar.Start(std::string(200, 'n') + ".msh");
  const std::string text = terminal.str();
  const std::string drawn = text.substr(text.rfind("\033[K") + 3);
  EXPECT_EQ(drawn.size(), 49u) << drawn;
  EXPECT_EQ(drawn.substr(drawn.size() - 3), "...");
}

}  // namespace
