// qmhost end to end: the program loads the built plug-in module, answers its
// dialog, and prints or saves the model; and the JSON save format itself.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

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
