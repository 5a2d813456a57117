// The table of save formats: names and extensions in any letter case, the
// files each save writes, and a format's stream writer giving the bytes its
// saver puts in the file.
#include <gtest/gtest.h>

#include <sstream>

#include "HostModel.h"
#include "QmhostRun.h"
#include "SaveFormats.h"

namespace {

TEST(SaveFormats, AreFoundByNameAndByExtension) {
  ASSERT_NE(FormatNamed("GLB"), nullptr);
  EXPECT_STREQ(FormatNamed("GLB")->name, "glb");
  EXPECT_EQ(FormatOfPath("out/ship.Gltf"), FormatNamed("gltf"));
  EXPECT_EQ(FormatOfPath("ship.json"), FormatNamed("json"));
  EXPECT_EQ(FormatOfPath("a.obj/ship"), nullptr);
  EXPECT_EQ(FormatOfPath("ship.png"), nullptr);
  EXPECT_EQ(FormatNamed("png"), nullptr);
  EXPECT_EQ(FormatNameList(), "json, glb, gltf or obj");
  EXPECT_EQ(FormatExtensionList(), ".json, .glb, .gltf or .obj");
  EXPECT_EQ(FormatNamed("obj")->paths("out/ship.obj"),
            (std::vector<std::string>{"out/ship.mtl", "out/ship.obj"}));
  EXPECT_EQ(FormatNamed("glb")->paths("ship.glb"), std::vector<std::string>{"ship.glb"});
}

class SaveFormatFiles : public TempFolderTest {};

// Whatever a format writes to streams is what its save writes to the files,
// for every format of the table and both shapes of glTF.
TEST_F(SaveFormatFiles, StreamsHoldWhatTheSaveWrites) {
  qmModelPtr model = NewModel();
  TestMesh mesh;
  mesh.name = "L00LD00M00";
  mesh.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  mesh.normals = {{0, 0, 1}};
  mesh.triangles = {{{0, 1, 2}, {0, 0, 0}}};
  AddMesh(model.get(), mesh);
  for (const SaveFormat& format : SaveFormats()) {
    for (const bool flat : {false, true}) {
      SCOPED_TRACE(std::string(format.name) + (flat ? " flat" : ""));
      SaveSettings settings;
      settings.flat = flat && (format.options & kSaveFlat) != 0;
      const std::string path = Path(std::string("m.") + format.extensions.front());
      ExportNotes notes;
      std::string error;
      ASSERT_TRUE(SaveModel(model.get(), format, settings, path, notes, error)) << error;
      const std::vector<std::string> paths = format.paths(path);
      std::vector<std::ostringstream> streams(paths.size());
      std::vector<std::ostream*> out;
      for (std::ostringstream& stream : streams) out.push_back(&stream);
      ASSERT_TRUE(format.write(model.get(), settings, path, out, notes));
      for (std::size_t n = 0; n < paths.size(); ++n)
        EXPECT_EQ(streams[n].str(), ReadText(paths[n])) << paths[n];
      std::ostringstream standardOutput;
      EXPECT_EQ(WriteModel(model.get(), format, settings, standardOutput, notes, error),
                paths.size() == 1)
          << error;
    }
  }
}

}  // namespace
