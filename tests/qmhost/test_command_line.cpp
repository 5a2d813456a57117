// qmhost's command line as a user meets it: a table of command lines with
// the exit status and the standard error each must give. Every line on
// standard error is "qmhost: ..." (or the dialog's), whichever command says
// it, and standard output carries only a command's result.
#include <sstream>

#include "QmhostRun.h"
#include "TestSupport.h"

namespace {

class CommandLine : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    Write("s.msh", WriteMsh(OneTriangle()));
    std::vector<std::uint8_t> cut = WriteMsh(OneTriangle());
    cut.resize(cut.size() - 10);
    Write("cut.msh", cut);
  }
};

const char kCommands[] = "import, convert, check, render, plugins";
const char kCut[] =
    "\"The file is damaged or incomplete: it ends inside the mesh record of group 0, level 0, "
    "mesh 0 (byte 229). The model holds what was read before that point.\"";

TEST_F(CommandLine, EachLineGivesItsStatusAndWord) {
  const struct {
    const char* args;
    int status;
    std::string err;  // all of standard error; "..." at its end: what it begins with
    const char* input = "/dev/null";
  } cases[] = {
      // Words that are no command or option are named.
      {"", 2, std::string("qmhost: runs the Velun") + "..."},
      {"frobnicate", 2,
       std::string("qmhost: no command frobnicate; the commands are ") + kCommands +
           " (qmhost --help tells more)\n"},
      {"-v frobnicate", 2,
       std::string("qmhost: no command frobnicate; the commands are ") + kCommands +
           " (qmhost --help tells more)\n"},
      {"--bogus", 2, "qmhost: no such option or argument: --bogus (qmhost --help tells more)\n"},
      {"import --bogus s.msh", 2,
       "qmhost: import: no such option or argument: --bogus (qmhost import --help tells more)\n"},
      {"convert", 2, "qmhost: convert: FILE is required (qmhost convert --help tells more)\n"},
      {"help nope", 2,
       std::string("qmhost: no command nope; the commands are ") + kCommands + "\n"},
      {"help", 0, ""},
      {"help render", 0, ""},
      // Outputs a format can't be, and options a format has no use for.
      {"import s.msh -o m.txt", 2,
       "qmhost: m.txt: cannot save as this: the extension must be .json, .glb, .gltf or .obj (or "
       "--to FORMAT)\n"},
      {"import s.msh -o m.glb --to obj", 2, "qmhost: m.glb: its extension names glb, --to obj\n"},
      {"import s.msh -o -", 2,
       "qmhost: -o - writes to standard output in the format --to names: json, glb, gltf or obj\n"},
      {"import s.msh -o - --to obj", 2,
       "qmhost: a save as OBJ is 2 files and can't go to standard output\n"},
      {"import s.msh -o m.obj --flat", 2,
       "qmhost: --flat shapes glTF's nodes; OBJ has no such choice\n"},
      {"convert s.msh --to json --flat", 2,
       "qmhost: --flat shapes glTF's nodes; JSON has no such choice\n"},
      {"import s.msh --flat", 2, "qmhost: --flat shapes a save; without -o nothing is saved\n"},
      {"import s.msh --level 1", 2, "qmhost: --level shapes a save; without -o nothing is saved\n"},
      {"import s.msh -o m.json --up z", 2,
       "qmhost: --up turns the axes of glTF and OBJ; JSON has no such choice\n"},
      {"convert s.msh --to json --level all", 2,
       "qmhost: --level picks the detail levels of glTF and OBJ; JSON has no such choice\n"},
      {"convert s.msh --to json --level-files", 2,
       "qmhost: --level-files writes glTF's and OBJ's detail levels to files of their own; JSON "
       "has no such choice\n"},
      {"import s.msh -o m.json --no-textures", 2,
       "qmhost: --textures and --no-textures choose the images of glTF and OBJ; JSON has no such "
       "choice\n"},
      {"import s.msh -o - --to glb --level-files", 2,
       "qmhost: --level-files writes a file per level and can't go to standard output\n"},
      {"import s.msh -o m.glb --level 1 --level-files", 2,
       "qmhost: import: --level excludes --level-files (qmhost import --help tells more)\n"},
      {"convert s.msh --textures . --no-textures", 2,
       "qmhost: convert: --textures excludes --no-textures (qmhost convert --help tells more)\n"},
      {"convert s.msh --textures none", 2,
       "qmhost: convert: --textures: Directory does not exist: none (qmhost convert --help tells "
       "more)\n"},
      {"import s.msh -o m.glb --up x", 2, "qmhost: import: --up: x not in {y,z}..."},
      {"render s.msh -o r.png --level top", 2,
       "qmhost: render: --level: expected a level number from 0, or all (qmhost render --help "
       "tells more)\n"},
      {"convert s.msh -j 0", 2, "qmhost: convert: --jobs: Value 0 not in range 1 to 256..."},
      // A level no group has is a usage error where one file is named.
      {"import s.msh -o m.glb --level 2", 2,
       "qmhost: s.msh: no group has detail level 2 (the levels are 0); m.glb was not written\n"},
      {"render s.msh -o r.png --level 2", 2,
       "qmhost: s.msh: no group has detail level 2 (the levels are 0)\n"},
      {"import s.msh --to glb", 2, "qmhost: --to shapes a save; without -o nothing is saved\n"},
      {"import s.msh --to png -o m.png", 2,
       "qmhost: import: --to: png not in {json,glb,gltf,obj}..."},
      {"render s.msh -o r.bmp", 2,
       "qmhost: r.bmp: cannot save a picture as this: the extension must be .png, .jpg or .jpeg "
       "(or --to FORMAT)\n"},
      {"render s.msh -o -", 2,
       "qmhost: -o - writes the picture to standard output in the format --to names: png or jpg\n"},
      {"convert -", 2,
       "qmhost: convert reads files and folders; for standard input, qmhost import - -o OUT\n"},
      // Modules that are no plug-in are never loaded.
      {"import s.msh --plugin s.msh", 2,
       "qmhost: s.msh: cannot load the plug-in module: it is no ELF file\n"},
      {"import s.msh --plugin " QM_BINARY_DIR "/libqmModelLib.so", 2,
       "qmhost: " QM_BINARY_DIR "/libqmModelLib.so: cannot load the plug-in module: it does not "
       "export CreatePlugIn\n"},
      {"render s.msh -o r.png --plugin none.so", 2,
       "qmhost: none.so: cannot load the plug-in module: No such file or directory\n"},
      // A file's failures name the file; the plug-in's word is quoted as its own.
      {"import missing.msh", 1,
       "qmhost: missing.msh: \"Couldn't open the file\"\n"
       "qmhost: missing.msh: No such file or directory\n"},
      {"import missing.msh -o k.glb", 1,
       "qmhost: missing.msh: \"Couldn't open the file\"\n"
       "qmhost: missing.msh: No such file or directory; k.glb was not written\n"},
      {"import cut.msh -o c.json", 1, std::string("qmhost: cut.msh: ") + kCut + "\n"},
      {"-q import cut.msh -o c.json", 1, std::string("qmhost: cut.msh: ") + kCut + "\n"},
      {"render cut.msh -o c.png", 1, std::string("qmhost: cut.msh: ") + kCut + "\n"},
      {"check missing.msh", 1, "qmhost: missing.msh: No such file or directory\n"},
      {"import - -o c.json", 1, std::string("qmhost: (standard input): ") + kCut + "\n", "cut.msh"},
      // Quiet says nothing but errors, verbose says what went well.
      {"-q import s.msh -o m.glb", 0, ""},
      {"import s.msh -o m.glb -q", 0, ""},
      {"import s.msh -o m.glb", 0,
       "qmhost: m.glb: textures left out: a.tga was not found beside s.msh\n"},
      {"import s.msh -o m.glb --no-textures", 0, ""},
      {"-v import s.msh -o m.glb", 0,
       "qmhost: " QM_BINARY_DIR "/qmMSH2030Vimporter.so: import plug-in \"Velun 2030V Mesh...\"\n"
       "qmhost: s.msh: saved m.glb\n"
       "qmhost: m.glb: textures left out: a.tga was not found beside s.msh\n"},
      {"convert s.msh -v", 0,
       "qmhost: " QM_BINARY_DIR "/qmMSH2030Vimporter.so: import plug-in \"Velun 2030V Mesh...\"\n"
       "qmhost: s.glb: textures left out: a.tga was not found beside s.msh\n"
       "qmhost: s.msh: converted to s.glb\n"},
      {"-q convert s.msh", 0, ""},
      {"-q convert s.msh cut.msh", 1,
       std::string("qmhost: cut.msh: ") + kCut +
           "\nqmhost: cut.msh: saved what was read as cut.glb\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome run = Qmhost(c.args, c.input);
    EXPECT_EQ(run.status, c.status) << run.err;
    const std::size_t dots = c.err.rfind("...");
    if (dots != std::string::npos && dots + 3 == c.err.size()) {
      EXPECT_EQ(run.err.rfind(c.err.substr(0, dots), 0), 0u) << run.err;
    } else {
      EXPECT_EQ(run.err, c.err);
    }
    // Bare `qmhost` shows the help before its word.
    if (*c.args == '\0') continue;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.rfind("qmhost: ", 0), 0u) << line;
    }
  }
}

// The dialog's prompts go to standard error, so what is redirected holds the
// tree alone: `echo s | qmhost import > tree.txt`.
TEST_F(CommandLine, StandardOutputHoldsOnlyTheResult) {
  WriteText("answer.txt", "s\n");
  const Outcome run = Shell("{ " + QmhostPath() + " import > tree.txt; }", Path("answer.txt"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadText(Path("tree.txt")).rfind("model: 2 meshes, 1 material\n  group 0\n", 0), 0u)
      << ReadText(Path("tree.txt")) << run.err;
  EXPECT_NE(run.err.find("File (empty to cancel): "), std::string::npos);
  EXPECT_EQ(Qmhost("-q convert s.msh").out, "");
  EXPECT_EQ(Qmhost("convert s.msh").out,
            "1 file: 1 converted cleanly, 0 damaged (converted with a message), 0 failed\n");
}

}  // namespace
