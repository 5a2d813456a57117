// qmhost end to end: the program loads the built plug-in module, answers its
// dialog, and prints or saves the model; and the JSON save format itself.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "MemoryLimit.h"
#include "ModelJson.h"
#include "TestSupport.h"

namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Temp(const std::string& name) {
  return testing::TempDir() + "qm_qmhost_" + std::to_string(getpid()) + "_" + name;
}

// Runs qmhost with `args` (shell words), `input` on standard input.
Result Qmhost(const std::string& args, const std::string& input = "") {
  const std::string in = Temp("in.txt"), out = Temp("out.txt"), err = Temp("err.txt");
  std::ofstream(in) << input;
  const std::string command = std::string(QM_BINARY_DIR) + "/qmhost " + args + " <" + in + " >" +
                              out + " 2>" + err;
  const int raw = std::system(command.c_str());
  Result result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = Slurp(out);
  result.err = Slurp(err);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  return result;
}

const std::string kSample = std::string(QM_SOURCE_DIR) + "/samples/sample.msh";

TEST(QmhostImport, PrintsTheSamplesStructure) {
  const Result result = Qmhost("import " + kSample);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  for (const char* line : {"plug-in: Velun 2030V Mesh...", "  group 1",
                           "    detail level 0 (red 100.00): L00LD00#red 100.00#",
                           "      L00LD00M02: 24 vertices, 12 triangles, material 1 \"glass.tga@boo\"",
                           "    #dock_main#: 6 vertices, 2 triangles, material 4 \"#dock_main#\""})
    EXPECT_NE(result.out.find(std::string(line) + "\n"), std::string::npos) << line;
}

TEST(QmhostImport, SavesTheModelAsJson) {
  const std::string json = Temp("sample.json");
  const Result result = Qmhost("import " + kSample + " -o " + json);
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string text = Slurp(json);
  std::remove(json.c_str());
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
  EXPECT_EQ(model["meshes"][1]["triangles"][0]["normals"], model["meshes"][1]["triangles"][0]["vertices"]);
}

TEST(QmhostImport, ExitStatusSaysWhatHappened) {
  std::vector<std::uint8_t> damaged = WriteMsh(MshFile{});
  damaged.resize(10);
  const std::string damagedPath = Temp("damaged.msh");
  ASSERT_TRUE(SaveMsh(damaged, damagedPath));

  const Result missing = Qmhost("import " + Temp("missing.msh"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Couldn't open the file\nqmhost: " + Temp("missing.msh") +
                             ": No such file or directory\n");

  const Result broken = Qmhost("import " + damagedPath);
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.err.rfind("The file is damaged or incomplete: it ends inside the header", 0), 0u);
  EXPECT_EQ(std::count(broken.err.begin(), broken.err.end(), '\n'), 1);
  std::remove(damagedPath.c_str());

  EXPECT_EQ(Qmhost("import " + kSample + " --plugin " + Temp("none.so")).status, 2);
  EXPECT_EQ(Qmhost("import " + kSample + " --plugin " + kSample).status, 2);
  EXPECT_EQ(Qmhost("frobnicate").status, 2);
  EXPECT_EQ(Qmhost("").status, 2);
  EXPECT_EQ(Qmhost("import " + kSample + " -o " + Temp("no/such/folder.json")).status, 1);
  EXPECT_EQ(Qmhost("--help").status, 0);
  const Result version = Qmhost("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("qmhost"), std::string::npos);
}

TEST(QmhostImport, AsksOnTheTerminalWithoutAFile) {
  // A missing name is asked again; a name typed without extension gets ".msh".
  const std::string stem = Temp("typed");
  ASSERT_TRUE(SaveMsh(WriteMsh(MshFile{}), stem + ".msh"));
  const Result result = Qmhost("import", Temp("nothing") + "\n" + stem + "\n");
  std::remove((stem + ".msh").c_str());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("Import Velun 2030V Mesh *.msh\n  Object Files (*.msh)  *.msh\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("no such file"), std::string::npos);
  EXPECT_NE(result.out.find("model: 0 meshes"), std::string::npos);

  // Nothing chosen, nothing imported: said, and no tree of an untouched model.
  const Result cancelled = Qmhost("import", "\n");
  EXPECT_EQ(cancelled.status, 0);
  EXPECT_EQ(cancelled.err, "qmhost: no file was chosen; nothing was imported\n");
  EXPECT_EQ(cancelled.out.find("model:"), std::string::npos);
}

TEST(MemoryLimit, SizesParseAsWholeBytesOrPowersOf1024) {
  struct Case {
    const char* text;
    std::uint64_t bytes;  // 0: refused
  };
  const std::uint64_t k = 1024;
  const Case cases[] = {
      {"1048576", 1048576},   {"1", 1},
      {"512M", 512 * k * k},  {"2G", 2 * k * k * k},
      {"2g", 2 * k * k * k},  {"64K", 64 * k},
      {"64KB", 64 * k},       {"64KiB", 64 * k},
      {"3gib", 3 * k * k * k}, {"1T", k * k * k * k},
      {"100B", 100},          {"010M", 10 * k * k},
      {"16383P", 0},          {"17179869184G", 0},  // 2^64 bytes: too many
      {"18446744073709551616", 0},
      {"0", 0},               {"0M", 0},
      {"-1", 0},              {"+5M", 0},
      {"1.5G", 0},            {"0x10", 0},
      {"M", 0},               {"", 0},
      {"5 M", 0},             {" 5M", 0},
      {"5MM", 0},             {"5Mb2", 0},
      {"5X", 0},              {"5iB", 0},
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
TEST(MemoryLimit, DefaultsToHalfOfTheMemoryTheProcessMayUse) {
  namespace fs = std::filesystem;
  const fs::path root = Temp("cgroup");
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
TEST(MemoryLimit, StopsTheImportOfEachCommandWithThePluginsMessage) {
  const std::string kMessage =
      "There is not enough memory to import the whole file. The model holds what was read until "
      "then.";
  const std::string kNote = "The model reached the memory limit of 8 KiB (--memory-limit SIZE "
                            "changes it).";
  const std::string json = Temp("cut.json");
  const Result import = Qmhost("import " + kSample + " --memory-limit 8K -o " + json);
  EXPECT_EQ(import.status, 1);
  EXPECT_EQ(import.err, kMessage + "\nqmhost: " + kNote + "\n");
  const nlohmann::json cut = nlohmann::json::parse(Slurp(json));
  EXPECT_GT(cut["meshes"].size(), 0u);
  EXPECT_LT(cut["meshes"].size(), 30u);

  const std::string folder = Temp("converted");
  const Result convert =
      Qmhost("convert " + kSample + " --to json -d " + folder + " --memory-limit 8K");
  EXPECT_EQ(convert.status, 1);
  EXPECT_NE(convert.err.find("damaged " + kSample + " -> " + folder + "/sample.json: " + kMessage +
                             " " + kNote),
            std::string::npos)
      << convert.err;

  const std::string picture = Temp("cut.png");
  const Result render = Qmhost("render " + kSample + " -o " + picture + " --memory-limit 8K");
  EXPECT_EQ(render.status, 1);
  EXPECT_EQ(render.err, "qmhost: " + kSample + ": " + kMessage + "\nqmhost: " + kSample + ": " +
                            kNote + "\n");
  EXPECT_TRUE(std::ifstream(picture).good());

  for (const char* command : {"import ", "render -o x.png ", "convert "}) {
    const Result nonsense = Qmhost(command + kSample + " --memory-limit 1.5G");
    EXPECT_EQ(nonsense.status, 2) << command;
    EXPECT_NE(nonsense.err.find("--memory-limit: expected a size above 0"), std::string::npos)
        << command << nonsense.err;
  }
  std::remove(json.c_str());
  std::remove(picture.c_str());
  std::remove((folder + "/sample.json").c_str());
  std::remove(folder.c_str());
}

TEST(ModelJson, FloatsReadBackBitForBitAndNonFiniteValuesAreStrings) {
  qmModelPtr model = NewModel();
  qmModel* m = model.get();
  qmMaterial* material = qmModel_GetMaterialAt(m, qmModel_AddMaterial(m));
  const float colour[4] = {-0.0f, 0.1f, FromBits(1), 3.0f};
  qmMaterial_SetDiffuse(material, colour);
  const float odd[4] = {FromBits(0x7FC00000), FromBits(0x7F800000), FromBits(0xFF800000),
                        3.4028235e38f};
  qmMaterial_SetAmbient(material, odd);
  qmMaterial_SetName(material, "caf\xE9");

  const std::string text = ModelJson(m);
  EXPECT_NE(text.find("\"ambient\":[\"nan\",\"inf\",\"-inf\",3.4028235e+38]"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"diffuse\":[-0.0,0.1,1e-45,3.0]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"name\":\"caf\xC3\xA9\""), std::string::npos);
  const nlohmann::json parsed = nlohmann::json::parse(text);
  for (int c = 0; c < 4; ++c) {
    const float back = parsed["materials"][0]["diffuse"][c].get<float>();
    EXPECT_EQ(Bits(back), Bits(colour[c]));
  }
}

}  // namespace
