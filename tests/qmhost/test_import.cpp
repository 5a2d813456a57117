// `qmhost import`: the program loads the built plug-in module, answers its
// dialog with the file given or asks on the terminal, and prints or saves the
// model; and the memory limit every command that imports gives the model.
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "MemoryLimit.h"
#include "QmhostRun.h"
#include "TestSupport.h"

namespace {

class Import : public TempFolderTest {};

TEST_F(Import, PrintsTheSamplesStructure) {
  const Outcome run = Qmhost("import " + SamplePath());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("model: 22 meshes, 13 materials\n", 0), 0u) << run.out;
  for (const char* line :
       {"  group 1", "    detail level 0 (red 100.00): L00LD00#red 100.00#",
        "      L00LD00M02: 24 vertices, 12 triangles, material 1 \"glass.tga@boo\"",
        "    #dock_main#: 6 vertices, 2 triangles, material 4 \"#dock_main#\""})
    EXPECT_NE(run.out.find(std::string(line) + "\n"), std::string::npos) << line;
}

TEST_F(Import, SavesTheModelAsJson) {
  const Outcome run = Qmhost("import " + SamplePath() + " -o sample.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string text = ReadText(Path("sample.json"));
  EXPECT_EQ(text.rfind("{\"format\":\"qmhost-model\",\"version\":1,\"totalFrames\":0,\"meshes\":[{"
                       "\"name\":\"L00LD00#red 100.00#\",\"material\":-1,\"vertices\":[],"
                       "\"normals\":[],\"triangles\":[]},{\"name\":\"L00LD00M00\",\"material\":0,"
                       "\"vertices\":[{\"position\":[-4.0,-1.0,-0.5],\"texCoords\":[0.0,0.0],"
                       "\"boneIndex\":-1}",
                       0),
            0u)
      << text.substr(0, 300);
  const nlohmann::json model = nlohmann::json::parse(text);
  EXPECT_EQ(model["meshes"].size(), 22u);
  EXPECT_EQ(model["materials"][1]["name"], "glass.tga@boo");
  EXPECT_EQ(model["materials"][1]["transparency"], 0.5);
  EXPECT_EQ(model["meshes"][1]["triangles"][0]["normals"],
            model["meshes"][1]["triangles"][0]["vertices"]);
}

// Standard input is a file like any other ("-"), and standard output takes a
// save with --to: the bytes are those of the file saved. Standard input has
// no folder to find textures in: --textures names one. A .gltf's images have
// no folder to go to on standard output: left out, and said.
TEST_F(Import, ReadsStandardInputAndWritesStandardOutput) {
  ASSERT_EQ(Qmhost("import " + SamplePath() + " -o file.glb --level all").status, 0);
  const std::string samples = std::string(QM_SOURCE_DIR) + "/samples";
  const Outcome piped =
      Qmhost("import - -o - --to glb --level all --textures " + samples, SamplePath());
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(piped.out, ReadText(Path("file.glb")));

  ASSERT_EQ(Qmhost("import " + SamplePath() + " -o file.gltf --no-textures").status, 0);
  const Outcome gltf = Qmhost("import " + SamplePath() + " -o - --to gltf -q");
  EXPECT_EQ(gltf.status, 0) << gltf.err;
  EXPECT_EQ(gltf.out, ReadText(Path("file.gltf")));
  EXPECT_EQ(Qmhost("import " + SamplePath() + " -o - --to gltf --level all").err,
            "qmhost: (standard output): textures left out: a .gltf on standard output has no "
            "folder for its images (a .glb holds them)\n");

  const Outcome tree = Qmhost("import -", SamplePath());
  EXPECT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(tree.out, Qmhost("import " + SamplePath()).out);

  // What the plug-in says of standard input names it so.
  std::vector<std::uint8_t> cut = WriteMsh(MshFile{});
  cut.resize(10);
  Write("cut.msh", cut);
  const Outcome damaged = Qmhost("import - -o - --to json", Path("cut.msh"));
  EXPECT_EQ(damaged.status, 1);
  EXPECT_EQ(damaged.err.rfind("qmhost: (standard input): \"The file is damaged or incomplete", 0),
            0u)
      << damaged.err;
  // No temporary is left in the folder of temporary files.
  const Outcome none =
      Shell("TMPDIR=" + folder_ + " " + QmhostPath() + " import - >/dev/null; ls -A", SamplePath());
  EXPECT_EQ(none.out, "cut.msh\nfile.glb\nfile.gltf\n");
}

// Without a file the dialog asks, on standard error: a missing name or a
// folder is asked again, a name typed without extension gets ".msh", "~" is
// the home folder. Standard output carries the tree alone.
TEST_F(Import, AsksForAFileWithoutOne) {
  ASSERT_EQ(::mkdir(Path("home").c_str(), 0755), 0);
  Write("home/typed.msh", WriteMsh(MshFile{}));
  WriteText("answers.txt", "nothing\nhome\n~/typed\n");
  const Outcome run =
      Shell("HOME=" + Path("home") + " " + QmhostPath() + " import", Path("answers.txt"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "Import Velun 2030V Mesh *.msh\n"
            "  Object Files (*.msh)  *.msh\n"
            "  Msh2030V Mesh File  *.msh\n"
            "  All Files (*.*)  *.*\n"
            "File (empty to cancel): nothing.msh: no such file.\n"
            "File (empty to cancel): home: it is a folder; type a file in it (Tab completes).\n"
            "File (empty to cancel): ");
  EXPECT_EQ(run.out.rfind("model: 0 meshes", 0), 0u) << run.out;

  // Nothing chosen, nothing imported: said, and no tree of an untouched model.
  WriteText("empty.txt", "\n");
  const Outcome cancelled = Qmhost("import", Path("empty.txt"));
  EXPECT_EQ(cancelled.status, 0);
  EXPECT_NE(cancelled.err.find("File (empty to cancel): qmhost: no file was chosen; nothing was "
                               "imported\n"),
            std::string::npos)
      << cancelled.err;
  EXPECT_EQ(cancelled.out, "");
}

class MemoryLimit : public TempFolderTest {};

TEST_F(MemoryLimit, SizesParseAsWholeBytesOrPowersOf1024) {
  struct Case {
    const char* text;
    std::uint64_t bytes;  // 0: refused
  };
  const std::uint64_t k = 1024;
  const Case cases[] = {
      {"1048576", 1048576},
      {"1", 1},
      {"512M", 512 * k * k},
      {"2G", 2 * k * k * k},
      {"2g", 2 * k * k * k},
      {"64K", 64 * k},
      {"64KB", 64 * k},
      {"64KiB", 64 * k},
      {"3gib", 3 * k * k * k},
      {"1T", k * k * k * k},
      {"100B", 100},
      {"010M", 10 * k * k},
      {"16383P", 0},
      {"17179869184G", 0},  // 2^64 bytes: too many
      {"18446744073709551616", 0},
      {"0", 0},
      {"0M", 0},
      {"-1", 0},
      {"+5M", 0},
      {"1.5G", 0},
      {"0x10", 0},
      {"M", 0},
      {"", 0},
      {"5 M", 0},
      {" 5M", 0},
      {"5MM", 0},
      {"5Mb2", 0},
      {"5X", 0},
      {"5iB", 0},
  };
  for (const Case& c : cases) {
    std::uint64_t bytes = 0;
    EXPECT_EQ(ParseMemorySize(c.text, bytes), c.bytes != 0) << '"' << c.text << '"';
    if (c.bytes != 0) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
  EXPECT_EQ(MemorySizeText(100), "100 bytes");
  EXPECT_EQ(MemorySizeText(512 * k * k), "512 MiB");
  EXPECT_EQ(MemorySizeText(3 * k * k * k / 2), "1.5 GiB");
}

// The default is half of the lowest of the machine's memory and the limits
// on qmhost's control groups and every group above them, in either version.
TEST_F(MemoryLimit, DefaultsToHalfOfTheMemoryTheProcessMayUse) {
  namespace fs = std::filesystem;
  const fs::path root = Path("cgroup");
  const auto write = [&](const std::string& relative, const std::string& text) {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative) << text;
  };
  write("self", "0::/outer/inner\n");
  write("outer/inner/memory.max", "max\n");
  write("outer/memory.max", "3000000000\n");
  write("memory.max", "8000000000\n");
  EXPECT_EQ(ControlGroupMemoryLimit((root / "self").string(), root.string()), 3000000000u);

  write("self", "5:cpu,memory:/box\n1:name=systemd:/box\n0::/\n");
  write("memory/box/memory.limit_in_bytes", "2000000000\n");
  write("memory/memory.limit_in_bytes", "9223372036854771712\n");  // version 1's "none"
  EXPECT_EQ(ControlGroupMemoryLimit((root / "self").string(), root.string()), 2000000000u);

  write("self", "0::/elsewhere\n");
  fs::remove(root / "memory.max");
  EXPECT_EQ(ControlGroupMemoryLimit((root / "self").string(), root.string()), 0u);
  EXPECT_EQ(ControlGroupMemoryLimit((root / "none").string(), root.string()), 0u);
  fs::remove_all(root);

  const std::uint64_t machine = static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) *
                                static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  const std::uint64_t group = ControlGroupMemoryLimit("/proc/self/cgroup", "/sys/fs/cgroup");
  EXPECT_EQ(DefaultMemoryLimit(), (group != 0 ? std::min(machine, group) : machine) / 2);
}

// The commands that import give the model the limit: past it the plug-in's
// message, then qmhost's word on the limit, and what was built is saved or
// drawn. Nonsense is a usage error that names the option.
TEST_F(MemoryLimit, StopsTheImportOfEachCommandWithThePluginsMessage) {
  const std::string sample = SamplePath();
  const std::string kMessage = "qmhost: " + sample +
                               ": \"There is not enough memory to import the whole file. The model "
                               "holds what was read until then.\"\n";
  const std::string kNote = "qmhost: " + sample +
                            ": The model reached the memory limit of 8 KiB "
                            "(--memory-limit SIZE changes it).\n";
  const Outcome import = Qmhost("import " + sample + " --memory-limit 8K -o cut.json");
  EXPECT_EQ(import.status, 1);
  EXPECT_EQ(import.err, kMessage + kNote);
  const nlohmann::json cut = nlohmann::json::parse(ReadText(Path("cut.json")));
  EXPECT_GT(cut["meshes"].size(), 0u);
  EXPECT_LT(cut["meshes"].size(), 30u);

  const Outcome convert = Qmhost("convert " + sample + " --to json -d out --memory-limit 8K");
  EXPECT_EQ(convert.status, 1);
  EXPECT_EQ(convert.err, kMessage + kNote + "qmhost: " + sample +
                             ": saved what was read as "
                             "out/sample.json\n");

  const Outcome render = Qmhost("render " + sample + " -o cut.png --memory-limit 8K");
  EXPECT_EQ(render.status, 1);
  EXPECT_EQ(render.err, kMessage + kNote);
  EXPECT_TRUE(Exists(Path("cut.png")));

  for (const char* command : {"import ", "render -o x.png ", "convert "}) {
    const Outcome nonsense = Qmhost(command + sample + " --memory-limit 1.5G");
    EXPECT_EQ(nonsense.status, 2) << command;
    EXPECT_NE(nonsense.err.find("--memory-limit: expected a size above 0"), std::string::npos)
        << command << nonsense.err;
  }
}

}  // namespace
