// `qmhost convert`: every file through the plug-in into its own output, a
// broken file never stopping the batch, the progress as a bar on a terminal
// and as plain lines elsewhere, and a summary that counts the outcomes.
#include <sstream>

#include "ConvertProgress.h"
#include "MshWriter.h"
#include "QmhostRun.h"
#include "TestSupport.h"

namespace {

class Convert : public TempFolderTest {};

TEST_F(Convert, GoesOnPastBrokenFilesAndCountsEachOutcome) {
  std::vector<std::uint8_t> truncated = WriteMsh(OneTriangle());
  truncated.resize(truncated.size() - 10);
  Write("cut.msh", truncated);
  Write("good.msh", WriteMsh(OneTriangle()));
  MshFile odd = OneTriangle();
  odd.vertices[0].normal = {0, 0, 2};  // glTF wants unit normals: a note, no damage
  Write("odd.msh", WriteMsh(odd));

  const Outcome run = Qmhost("convert missing.msh cut.msh good.msh odd.msh -d out");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "4 files: 2 converted cleanly, 1 damaged (converted with a message), 1 failed\n");
  EXPECT_EQ(
      run.err,
      "qmhost: missing.msh: \"Couldn't open the file\"\n"
      "qmhost: missing.msh: No such file or directory\n"
      "qmhost: cut.msh: \"The file is damaged or incomplete: it ends inside the mesh record of "
      "group 0, level 0, mesh 0 (byte 229). The model holds what was read before that "
      "point.\"\n"
      "qmhost: cut.msh: saved what was read as out/cut.glb\n"
      "qmhost: out/good.glb: textures left out: a.tga was not found beside good.msh\n"
      "qmhost: out/odd.glb: 1 value was written as the nearest value the format can hold\n"
      "qmhost: out/odd.glb: textures left out: a.tga was not found beside odd.msh\n");
  EXPECT_FALSE(Exists(Path("out/missing.glb")));
  EXPECT_TRUE(Exists(Path("out/cut.glb")));
  EXPECT_EQ(ReadText(Path("out/good.glb")).substr(0, 4), "glTF");
}

// Folders are converted file by file, their folders too with -r, and each
// output keeps its place under -d.
TEST_F(Convert, TakesFoldersAndKeepsTheirStructure) {
  ASSERT_EQ(std::system(("mkdir -p " + Path("ships/small/old") + " " + Path("empty")).c_str()), 0);
  Write("ships/a.msh", WriteMsh(OneTriangle()));
  Write("ships/B.MSH", WriteMsh(OneTriangle()));
  Write("ships/small/c.msh", WriteMsh(OneTriangle()));
  Write("ships/small/old/d.msh", WriteMsh(OneTriangle()));
  WriteText("ships/notes.txt", "not a mesh");

  const Outcome flat = Qmhost("convert -v ships -d out --to json");
  EXPECT_EQ(flat.status, 0) << flat.err;
  EXPECT_EQ(flat.out,
            "2 files: 2 converted cleanly, 0 damaged (converted with a message), 0 failed\n");
  EXPECT_TRUE(Exists(Path("out/a.json")));
  EXPECT_TRUE(Exists(Path("out/B.json")));
  EXPECT_FALSE(Exists(Path("out/small")));

  const Outcome deep = Qmhost("convert -r ships -d deep");
  EXPECT_EQ(deep.status, 0) << deep.err;
  for (const char* output :
       {"deep/a.glb", "deep/B.glb", "deep/small/c.glb", "deep/small/old/d.glb"})
    EXPECT_TRUE(Exists(Path(output))) << output;

  // Beside each input without -d.
  ASSERT_EQ(Qmhost("convert -r ships --to obj").status, 0);
  EXPECT_TRUE(Exists(Path("ships/small/old/d.obj")));
  EXPECT_TRUE(Exists(Path("ships/small/old/d.mtl")));

  const Outcome none = Qmhost("convert empty");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "qmhost: empty: no .msh files in the folder (-r looks in its folders too)\n");
}

TEST_F(Convert, SavesInTheChosenFormatBesideTheInputByDefault) {
  Write("ship.msh", WriteMsh(OneTriangle()));
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
  Write("a/x.msh", WriteMsh(OneTriangle()));
  Write("b/x.msh", WriteMsh(OneTriangle()));
  Write("odd.json", WriteMsh(OneTriangle()));
  const Outcome run = Qmhost("convert a/x.msh b/x.msh odd.json -d . --to json");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("qmhost: b/x.msh: ./x.json is already the output of an earlier file\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("qmhost: odd.json: cannot save ./odd.json: it would replace the input "
                         "odd.json\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out,
            "3 files: 1 converted cleanly, 0 damaged (converted with a message), 2 failed\n");
}

// OneTriangle with a second detail level.
MshFile TwoLevels() {
  MshFile file = OneTriangle();
  file.groups[0].levels.push_back(LevelOf(50, {MeshOf("a.tga", 0, 3, 0, 1)}));
  return file;
}

// The files a save writes with the model (level files, images beside it)
// are outputs as OUT is: a later file's save that would write one of an
// earlier file's is refused, whichever file the names come from.
TEST_F(Convert, ModelsFilesAreOutputsToo) {
  Write("ship.msh", WriteMsh(TwoLevels()));
  Write("ship.lod1.msh", WriteMsh(OneTriangle()));
  const Outcome levels = Qmhost("convert ship.msh ship.lod1.msh -d out --level-files -q");
  EXPECT_EQ(levels.status, 1);
  EXPECT_EQ(levels.err,
            "qmhost: ship.lod1.msh: out/ship.lod1.glb is already the output of an earlier file\n");
  const Outcome reversed = Qmhost("convert ship.lod1.msh ship.msh -d back --level-files -q");
  EXPECT_EQ(reversed.status, 1);
  EXPECT_EQ(reversed.err,
            "qmhost: ship.msh: back/ship.lod1.glb is already the output of an earlier file\n");
  EXPECT_EQ(Listing("back"), (std::vector<std::string>{"ship.lod1.glb"}));

  // An image a .gltf keeps beside it, where the files given hold one of
  // that name: never replaced.
  ASSERT_EQ(std::system(("cp " + std::string(QM_SOURCE_DIR) + "/samples/*.tga " + folder_ +
                         " && cp " + SamplePath() + " " + Path("s.msh"))
                            .c_str()),
            0);
  Write("s.hull.tga.png", WriteMsh(OneTriangle()));
  const Outcome image = Qmhost("convert s.msh s.hull.tga.png --to gltf -q");
  EXPECT_EQ(image.status, 1);
  EXPECT_EQ(image.err,
            "qmhost: s.msh: cannot save s.gltf: its s.hull.tga.png would replace the input "
            "s.hull.tga.png\n");
  EXPECT_FALSE(Exists(Path("s.gltf")));
}

// Jobs side by side (-j 2) give what one job gives: the same files with the
// same bytes, the same lines in the order the files were given, and the same
// count, with damaged and missing files and outputs that two files would
// both write among them. A large file first lets the small ones after it
// finish first.
TEST_F(Convert, JobsSideBySideGiveWhatOneJobGives) {
  ASSERT_EQ(std::system(("mkdir -p " + Path("a") + " " + Path("b")).c_str()), 0);
  MshFile large;
  large.vertices = NumberedVertices(65535);
  for (int n = 0; n < 3000; ++n) large.indices.push_back(static_cast<std::uint16_t>(n * 7 % 65535));
  large.groups.push_back(GroupOf(
      {LevelOf(0, {MeshOf("big.tga", 0, 65535, 0, 1000), MeshOf("big.tga", 0, 65535, 0, 1000)}),
       LevelOf(1, {MeshOf("big.tga", 0, 65535, 0, 500)})}));
  Write("large.msh", WriteMsh(large));
  std::vector<std::uint8_t> cut = WriteMsh(TwoLevels());
  cut.resize(cut.size() - 10);
  Write("cut.msh", cut);
  Write("a/x.msh", WriteMsh(OneTriangle()));
  Write("b/x.msh", WriteMsh(TwoLevels()));
  Write("ship.msh", WriteMsh(TwoLevels()));
  Write("ship.lod1.msh", WriteMsh(OneTriangle()));
  MshFile odd = OneTriangle();
  odd.vertices[0].normal = {0, 0, 2};
  Write("odd.msh", WriteMsh(odd));
  const std::string files =
      " large.msh a/x.msh missing.msh b/x.msh cut.msh ship.msh ship.lod1.msh odd.msh ";
  for (const char* options : {"--to glb", "--to obj --level-files", "--to gltf --level all"}) {
    SCOPED_TRACE(options);
    const Outcome one = Qmhost("convert -v -j 1" + files + "-d one " + options);
    const Outcome two = Qmhost("convert -v -j 2" + files + "-d two " + options);
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(two.status, one.status);
    EXPECT_EQ(two.out, one.out);
    std::string err = two.err;
    for (std::size_t at = err.find("two/"); at != std::string::npos; at = err.find("two/", at))
      err.replace(at, 4, "one/");
    EXPECT_EQ(err, one.err);
    ASSERT_EQ(Listing("two"), Listing("one"));
    for (const std::string& file : Listing("one"))
      EXPECT_EQ(ReadText(Path("two/" + file)), ReadText(Path("one/" + file))) << file;
    ASSERT_EQ(std::system(("rm -r " + Path("one") + " " + Path("two")).c_str()), 0);
  }
}

TEST_F(Convert, RejectsBadUsage) {
  Write("ship.msh", WriteMsh(OneTriangle()));
  EXPECT_EQ(Qmhost("convert").status, 2);
  EXPECT_EQ(Qmhost("convert ship.msh --to png").status, 2);
  const Outcome plugin = Qmhost("convert ship.msh --plugin ship.msh");
  EXPECT_EQ(plugin.status, 2);
  EXPECT_EQ(plugin.err, "qmhost: ship.msh: cannot load the plug-in module: it is no ELF file\n")
      << plugin.err;
  ASSERT_EQ(std::system(("touch " + Path("file")).c_str()), 0);
  const Outcome folder = Qmhost("convert ship.msh -d file/sub");
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "qmhost: file/sub: cannot make the folder: Not a directory\n");
  EXPECT_EQ(Qmhost("convert --help").status, 0);
}

// On a terminal the bar is redrawn in place; what is said of a file gets
// lines of their own above it, and the bar is gone at the end.
TEST(ConvertProgress, DrawsABarOnATerminalAndPlainLinesElsewhere) {
  std::ostringstream terminal;
  ConvertProgress bar(terminal, true, 80, 2);
  bar.Start("first.msh");
  bar.Done("");
  bar.Start("second.msh");
  bar.Done("qmhost: second.msh: No such file or directory\n");
  bar.Finish();
  const std::string text = terminal.str();
  EXPECT_NE(text.find("\r\033[K[....................] 0/2  -- files/s  first.msh"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("1/2"), std::string::npos);
  EXPECT_NE(text.find("second.msh"), std::string::npos);
  EXPECT_NE(text.find("\r\033[Kqmhost: second.msh: No such file or directory\n"),
            std::string::npos);
  EXPECT_NE(text.find("[####################] 2/2"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");

  std::ostringstream plain;
  ConvertProgress lines(plain, false, 80, 2);
  lines.Start("a.msh");
  lines.Done("");
  lines.Start("b.msh");
  lines.Done("qmhost: b.msh: saved what was read as b.glb\n");
  lines.Finish();
  EXPECT_EQ(plain.str(), "qmhost: b.msh: saved what was read as b.glb\n");
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
