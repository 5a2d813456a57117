// The host model as OBJ and its material library: the host's own indices,
// numbers that read back exactly, names that start no statement; the up
// axis, the detail levels, lone points and materials that never leak.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <sstream>

#include "Export.h"
#include "HostModel.h"

namespace {

// The host's own axes and every level: the model's numbers as they are.
SaveSettings AsTheHostHasIt() {
  SaveSettings settings;
  settings.up = UpAxis::Z;
  settings.level = SaveSettings::kAllLevels;
  return settings;
}

std::string Obj(qmModel* model, ExportNotes& notes, const SaveSettings& settings = AsTheHostHasIt()) {
  std::ostringstream out;
  WriteObj(model, settings, "ship.mtl", out, notes);
  return out.str();
}

TEST(Obj, WritesTheHostsOwnIndicesCountedAcrossTheFile) {
  qmModelPtr model = NewModel();
  AddMaterial(model.get(), TestMaterial{"hull.tga"});
  AddMesh(model.get(), TestMesh{"L00LD00#red 012.50#", {}, {}, {}, -1, {}});
  // Two vertices share a normal, and the first triangle's normals are not
  // its vertex indices.
  AddMesh(model.get(), TestMesh{"L00LD00M00",
                                {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                                {{0, 0, 1}, {1, 0, 0}},
                                {{{0, 1, 2}, {1, 0, 0}}},
                                0,
                                {{0.5f, 1}, {0, 0}, {1, 0}}});
  AddMesh(model.get(), TestMesh{"#dock_a#", {{0, 0, 0}, {2, 0, 0}, {2, 0, 0}, {0.1f, 0, 0}}, {},
                                {{{0, 1, 2}, {0, 0, 0}}}, -1, {}});
  ExportNotes notes;
  EXPECT_EQ(Obj(model.get(), notes),
            "# qmhost\n"
            "mtllib ship.mtl\n"
            "o L00LD00#red 012.50#\n"
            "o L00LD00M00\n"
            "usemtl hull.tga\n"
            "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
            "vt 0.5 0\nvt 0 1\nvt 1 1\n"  // v runs up from the image's bottom in OBJ
            "vn 0 0 1\nvn 1 0 0\n"
            "f 1/1/2 2/2/1 3/3/1\n"
            "o #dock_a#\n"
            "usemtl qmhost_no_material\n"
            "v 0 0 0\nv 2 0 0\nv 2 0 0\nv 0.1 0 0\n"
            "vt 0 1\nvt 0 1\nvt 0 1\nvt 0 1\n"
            "f 4/4 5/5 6/6\n"
            "l 7 7\n");
  EXPECT_TRUE(notes.Empty());
}

TEST(Obj, PrintsFloatsThatReadBackAsTheSameFloat) {
  const float values[] = {0.1f, 1.0f / 3.0f, 16777217.0f, 1e-30f, -123456.789f};
  qmModelPtr model = NewModel();
  TestMesh mesh{"m", {}, {}, {}, -1, {}};
  for (float value : values) mesh.positions.push_back({value, 0, 0});
  AddMesh(model.get(), mesh);
  ExportNotes notes;
  std::istringstream in(Obj(model.get(), notes));
  std::string line;
  size_t n = 0;
  while (std::getline(in, line)) {
    if (line.rfind("v ", 0) != 0) continue;
    ASSERT_LT(n, std::size(values));
    EXPECT_EQ(std::strtof(line.c_str() + 2, nullptr), values[n]) << line;
    ++n;
  }
  EXPECT_EQ(n, std::size(values));
}

TEST(Obj, LeavesOutDamagedTrianglesAndWritesNonFiniteValuesAsFinite) {
  qmModelPtr model = NewModel();
  TestMesh mesh = Triangle("m");
  mesh.positions[0] = {std::numeric_limits<float>::quiet_NaN(), 0,
                       -std::numeric_limits<float>::infinity()};
  mesh.triangles.push_back({{0, 1, 3}, {0, 1, 2}});
  mesh.triangles.push_back({{0, 1, 2}, {0, 1, 5}});
  AddMesh(model.get(), mesh);
  ExportNotes notes;
  const std::string obj = Obj(model.get(), notes);
  EXPECT_NE(obj.find("v 0 0 -3.4028235e+38\n"), std::string::npos) << obj;
  EXPECT_NE(obj.find("f 1/1/1 2/2/2 3/3/3\n"), std::string::npos);
  EXPECT_EQ(obj.find("f 1/1/1 2/2/2 4"), std::string::npos);
  EXPECT_EQ(notes.adjustedValues, 2);
  EXPECT_EQ(notes.droppedTriangles, 2);
}

TEST(Mtl, WritesEachMaterialsColoursShininessAndOpacity) {
  qmModelPtr model = NewModel();
  TestMaterial glass{"glass\xE9.tga@boo"};
  glass.ambient = {0.2f, 0.2f, 0.2f, 1};
  glass.diffuse = {0.3f, 0.6f, 0.9f, 0.5f};
  glass.specular = {1, 1, 1, 1};
  glass.emissive = {1, 0.5f, 0, 1};
  glass.shininess = 32;
  glass.transparency = 0.25f;
  AddMaterial(model.get(), glass);
  TestMaterial odd{"odd"};
  odd.transparency = -1;  // an opacity of 2 is no opacity
  AddMaterial(model.get(), odd);
  ExportNotes notes;
  std::ostringstream out;
  WriteMtl(model.get(), out, notes);
  EXPECT_EQ(out.str(),
            "# qmhost\n"
            "newmtl glass\xC3\xA9.tga@boo\n"
            "Ka 0.2 0.2 0.2\n"
            "Kd 0.3 0.6 0.9\n"
            "Ks 1 1 1\n"
            "Ke 1 0.5 0\n"
            "Ns 32\n"
            "d 0.75\n"
            "\n"
            "newmtl odd\n"
            "Ka 0 0 0\nKd 1 1 1\nKs 0 0 0\nKe 0 0 0\nNs 0\nd 1\n"
            "\n");
  EXPECT_EQ(notes.adjustedValues, 1);
}

// Names from a file are anyone's bytes: none may end a line, or the name
// adds statements of its own (a face pointing at the wrong vertices).
TEST(Obj, WritesNoNameThatEndsALineOrStartsAStatement) {
  qmModelPtr model = NewModel();
  AddMaterial(model.get(), TestMaterial{"tex\nf 1 1 1"});
  AddMaterial(model.get(), TestMaterial{"caf\xE9\x85\rKd 9 9 9"});  // NEL, CR
  AddMesh(model.get(), TestMesh{"#h\nv 9 9 9#", {{0, 0, 0}}, {}, {}, 0, {}});
  AddMesh(model.get(), TestMesh{"tab\there\x7F\x0B\x0C", {{1, 0, 0}}, {}, {}, 1, {}});
  AddMesh(model.get(), TestMesh{"plain name", {{2, 0, 0}}, {}, {}, 0, {}});
  ExportNotes notes;
  std::ostringstream obj, mtl;
  WriteObj(model.get(), AsTheHostHasIt(), "lib\nv 1 1 1.mtl", obj, notes);
  WriteMtl(model.get(), mtl, notes);
  EXPECT_EQ(obj.str(),
            "# qmhost\n"
            "mtllib lib_v 1 1 1.mtl\n"
            "o #h_v 9 9 9#\nusemtl tex_f 1 1 1\nv 0 0 0\nvt 0 1\nl 1 1\n"
            "o tab_here___\nusemtl caf\xC3\xA9__Kd 9 9 9\nv 1 0 0\nvt 0 1\nl 2 2\n"
            "o plain name\nusemtl tex_f 1 1 1\nv 2 0 0\nvt 0 1\nl 3 3\n");
  EXPECT_EQ(mtl.str().rfind("# qmhost\nnewmtl tex_f 1 1 1\nKa 0 0 0\n", 0), 0u);
  EXPECT_NE(mtl.str().find("\nnewmtl caf\xC3\xA9__Kd 9 9 9\nKa "), std::string::npos);
  // Each name counted once, where it is defined: two meshes, two materials
  // and the library.
  EXPECT_EQ(notes.namesWithControls, 5);
  EXPECT_EQ(notes.Text(), "5 names had control characters, written as '_'");
}

TEST(Obj, TurnsTheHostsZUpToYUpUnlessZIsAsked) {
  qmModelPtr model = NewModel();
  AddMesh(model.get(), TestMesh{"m", {{1, 2, 3}}, {{0, 0.6f, 0.8f}}, {}, -1, {}});
  ExportNotes notes;
  SaveSettings yUp;
  const std::string turned = Obj(model.get(), notes, yUp);
  EXPECT_NE(turned.find("\nv 1 3 -2\n"), std::string::npos) << turned;
  EXPECT_NE(turned.find("\nvn 0 0.8 -0.6\n"), std::string::npos) << turned;
  const std::string host = Obj(model.get(), notes);
  EXPECT_NE(host.find("\nv 1 2 3\n"), std::string::npos) << host;
  EXPECT_NE(host.find("\nvn 0 0.6 0.8\n"), std::string::npos) << host;
}

TEST(Obj, KeepsLevelZeroByDefault) {
  qmModelPtr model = NewModel();
  AddMesh(model.get(), Triangle("L00LD00M00"));
  AddMesh(model.get(), Triangle("L00LD01M00"));
  AddMesh(model.get(), TestMesh{"#light_a#", {{1, 2, 3}}, {}, {}, -1, {}});
  ExportNotes notes;
  const std::string obj = Obj(model.get(), notes, SaveSettings());
  std::vector<std::string> objects;
  std::istringstream lines(obj);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("o ", 0) == 0) objects.push_back(line.substr(2));
  EXPECT_EQ(objects, (std::vector<std::string>{"L00LD00M00", "#light_a#"}));
  EXPECT_EQ(notes.levelsLeftOut.rfind("detail level 1 was left out: --level all keeps", 0), 0u);
}

TEST(Obj, WritesEachLevelToAFileOfItsOwnWithOneLibrary) {
  qmModelPtr model = NewModel();
  AddMaterial(model.get(), TestMaterial{"hull.tga"});
  AddMesh(model.get(), Triangle("L00LD00M00", 0));
  AddMesh(model.get(), Triangle("L00LD01M00", 0));
  AddMesh(model.get(), TestMesh{"#light_a#", {{1, 2, 3}}, {}, {}, 0, {}});
  SaveSettings settings;
  settings.levelFiles = true;
  std::vector<FileToSave> files;
  ExportNotes notes;
  std::string error;
  ASSERT_TRUE(ObjFiles(model.get(), settings, "out/ship.obj", notes, files, error)) << error;
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].path, "out/ship.mtl");
  EXPECT_EQ(files[1].path, "out/ship.lod1.obj");
  EXPECT_EQ(files[2].path, "out/ship.obj");
  std::ostringstream level1, level0;
  ASSERT_TRUE(files[1].write(level1));
  ASSERT_TRUE(files[2].write(level0));
  EXPECT_EQ(level1.str().rfind("# qmhost\nmtllib ship.mtl\no L00LD01M00\n", 0), 0u) << level1.str();
  EXPECT_EQ(level1.str().find("#light_a#"), std::string::npos);  // the markers go with level 0
  EXPECT_NE(level0.str().find("\no L00LD00M00\n"), std::string::npos);
  EXPECT_NE(level0.str().find("\no #light_a#\n"), std::string::npos);
  EXPECT_TRUE(notes.Empty());
}

// Both readers keep the last usemtl for the elements that follow, across
// objects: a mesh without a material names a default one of its own.
TEST(Obj, GivesEveryObjectItsOwnMaterial) {
  qmModelPtr model = NewModel();
  AddMaterial(model.get(), TestMaterial{"hull.tga"});
  AddMaterial(model.get(), TestMaterial{"qmhost_no_material"});  // taken: the default is another
  AddMesh(model.get(), Triangle("a", 0));
  AddMesh(model.get(), Triangle("b"));
  std::vector<FileToSave> files;
  ExportNotes notes;
  std::string error;
  ASSERT_TRUE(ObjFiles(model.get(), AsTheHostHasIt(), "out/ship.obj", notes, files, error));
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path, "out/ship.mtl");
  EXPECT_EQ(files[1].path, "out/ship.obj");
  std::ostringstream mtl, obj;
  ASSERT_TRUE(files[0].write(mtl));
  ASSERT_TRUE(files[1].write(obj));
  EXPECT_NE(obj.str().find("o a\nusemtl hull.tga\n"), std::string::npos) << obj.str();
  EXPECT_NE(obj.str().find("o b\nusemtl qmhost_no_material_\n"), std::string::npos) << obj.str();
  EXPECT_NE(mtl.str().find("\nnewmtl qmhost_no_material_\nKd 1 1 1\n"), std::string::npos)
      << mtl.str();
}

}  // namespace
