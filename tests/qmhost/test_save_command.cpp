// `qmhost import FILE -o OUT` saves by OUT's extension, and says in one line
// on standard error when a save fails or a value had to change.
#include <limits>
#include <map>
#include <sstream>

#include <tiny_gltf.h>

#include "MshWriter.h"
#include "QmhostRun.h"

namespace {

// Imports `file` with `arguments` in the test's folder: its status and
// standard error.
class SaveCommand : public TempFolderTest {
 protected:
  Outcome Import(const std::string& file, const std::string& arguments) const {
    return Qmhost("import '" + file + "' " + arguments);
  }
  std::string Read(const std::string& path) const { return ReadText(path); }
  bool Exists(const std::string& file) const { return ::Exists(Path(file)); }

  const std::string sample_ = SamplePath();
};

TEST_F(SaveCommand, SavesInTheFormatOfTheExtension) {
  for (const char* file : {"m.json", "m.glb", "m.gltf", "m.obj", "M.GLB"}) {
    SCOPED_TRACE(file);
    const Outcome result = Import(sample_, "-o '" + folder_ + "/" + file + "'");
    EXPECT_EQ(result.status, 0);
    // The sample's textures lie beside it; its second levels are left out.
    EXPECT_EQ(result.err, std::string(file) == "m.json"
                              ? ""
                              : "qmhost: " + folder_ + "/" + file +
                                    ": detail level 1 was left out: --level all keeps every "
                                    "level in one file, --level-files writes each level to a "
                                    "file of its own\n");
  }
  EXPECT_EQ(Read(folder_ + "/m.glb").substr(0, 4), "glTF");
  EXPECT_EQ(Read(folder_ + "/m.gltf").substr(0, 1), "{");
  EXPECT_EQ(Read(folder_ + "/m.json").substr(0, 24), "{\"format\":\"qmhost-model\"");
  EXPECT_EQ(Read(folder_ + "/m.obj").substr(0, 24), "# qmhost\nmtllib m.mtl\no ");
  EXPECT_TRUE(Exists("m.mtl"));
  EXPECT_TRUE(Exists("m.hull.tga.png"));   // beside the .gltf and the .obj
  EXPECT_FALSE(Exists("M.hull.tga.png"));  // inside the .glb
}

TEST_F(SaveCommand, FlatKeepsThePlainListOfNodes) {
  for (const char* flag : {"", "--flat"}) {
    SCOPED_TRACE(flag);
    ASSERT_EQ(Import(sample_, std::string(flag) + " -o '" + folder_ + "/m.glb'").status, 0);
    tinygltf::TinyGLTF loader;
    tinygltf::Model gltf;
    std::string error, warning;
    ASSERT_TRUE(loader.LoadBinaryFromFile(&gltf, &error, &warning, folder_ + "/m.glb")) << error;
    // The sample's model has 22 meshes, 17 of them in level 0 or markers.
    const size_t meshes = 17;
    if (*flag != '\0') {
      EXPECT_EQ(gltf.nodes.size(), meshes);
      EXPECT_EQ(gltf.scenes[0].nodes.size(), meshes);
    } else {
      // Two groups, the hardpoints, and the markers' 20 points.
      EXPECT_EQ(gltf.nodes.size(), meshes + 3 + 20);
      EXPECT_EQ(gltf.scenes[0].nodes.size(), 3u);
    }
  }
}

TEST_F(SaveCommand, RefusesAnUnknownExtensionAsAUsageError) {
  const Outcome result = Import(sample_, "-o '" + folder_ + "/m.txt'");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("m.txt"), std::string::npos);
  EXPECT_FALSE(Exists("m.txt"));
}

TEST_F(SaveCommand, SaysInOneLineThatASaveFailed) {
  const Outcome result = Import(sample_, "-o '" + folder_ + "/none/m.glb'");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "qmhost: cannot save " + folder_ + "/none/m.glb: No such file or directory\n");
}

TEST_F(SaveCommand, TellsOncePerFileOfValuesThatHadToChange) {
  MshFile file;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  file.vertices = {
      {{nan, 0, 0}, {0, 0, 1}, {}}, {{1, nan, 0}, {0, 0, 1}, {}}, {{0, 1, 0}, {0, 0, 1}, {}}};
  file.indices = {0, 1, 2};
  MshMesh mesh;
  mesh.textureName = "hull.tga";
  mesh.vertexCount = 3;
  mesh.triangleCount = 1;
  MshLevel level;
  level.meshes = {mesh};
  file.groups.emplace_back();
  file.groups.back().levels = {level};
  const std::string msh = folder_ + "/nan.msh";
  ASSERT_TRUE(SaveMsh(WriteMsh(file), msh));

  const Outcome result = Import(msh, "-o '" + folder_ + "/m.glb'");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "qmhost: " + folder_ +
                            "/m.glb: 2 values were written as the nearest value the format "
                            "can hold\n"
                            "qmhost: " +
                            folder_ +
                            "/m.glb: textures left out: hull.tga was not found beside nan.msh\n");
}

// A file's names reach the .obj and the .mtl without adding a line: a
// hardpoint named "h\nv 9 9 9" would add a vertex, a texture "tex\nf 1 1 1"
// a face. Said in the one line of notes.
TEST_F(SaveCommand, NamesFromTheFileAddNoLinesToObjOrMtl) {
  MshFile file;
  for (int n = 0; n < 3; ++n) file.vertices.push_back({{float(n), 0, 0}, {0, 0, 1}, {}});
  file.indices = {0, 1, 2};
  MshMesh mesh;
  mesh.textureName = "tex\nf 1 1 1";
  mesh.vertexCount = 3;
  mesh.triangleCount = 1;
  MshLevel level;
  level.meshes = {mesh};
  MshHardpoint hardpoint;
  hardpoint.name = "h\nv 9 9 9";
  hardpoint.points = {{1, 2, 3}};
  file.groups.emplace_back();
  file.groups.back().levels = {level};
  file.groups.back().hardpoints = {hardpoint};
  const std::string msh = folder_ + "/names.msh";
  ASSERT_TRUE(SaveMsh(WriteMsh(file), msh));

  const Outcome result = Import(msh, "-o '" + folder_ + "/m.obj'");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "qmhost: " + folder_ + "/m.obj: 3 names had control characters, written as '_'\n" +
                "qmhost: " + folder_ +
                "/m.obj: textures left out: tex_f 1 1 1 was not found beside names.msh\n");
  // Every line is one of the statements written, and the counts are the model's.
  std::map<std::string, int> statements;
  for (const char* name : {"m.obj", "m.mtl"}) {
    std::istringstream lines(Read(folder_ + "/" + name));
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) ++statements[line.substr(0, line.find(' '))];
  }
  const std::map<std::string, int> expected = {
      {"#", 2}, {"mtllib", 1}, {"o", 3},  {"usemtl", 2}, {"v", 4},  {"vt", 4}, {"vn", 3}, {"f", 1},
      {"l", 1}, {"newmtl", 2}, {"Ka", 2}, {"Kd", 2},     {"Ks", 2}, {"Ke", 2}, {"Ns", 2}, {"d", 2}};
  EXPECT_EQ(statements, expected);
  EXPECT_NE(Read(folder_ + "/m.obj").find("\no #h_v 9 9 9#\n"), std::string::npos);
  EXPECT_NE(Read(folder_ + "/m.mtl").find("\nnewmtl tex_f 1 1 1\n"), std::string::npos);
}

}  // namespace
