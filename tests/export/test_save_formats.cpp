// The table of save formats: names and extensions in any letter case, the
// files each save writes, and a format's stream writer giving the bytes its
// saver puts in the file.
#include <gtest/gtest.h>

#include <cstdio>
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
  EXPECT_EQ(FormatNamed("obj")->paths(nullptr, {}, "out/ship.obj"),
            (std::vector<std::string>{"out/ship.mtl", "out/ship.obj"}));
  EXPECT_EQ(FormatNamed("glb")->paths(nullptr, {}, "ship.glb"),
            std::vector<std::string>{"ship.glb"});
}

class SaveFormatFiles : public TempFolderTest {};

// Whatever a format's writers put in streams is what its save writes to the
// files, for every format of the table, both shapes of glTF, and a save of
// every level into files of their own; the files are those paths() lists.
TEST_F(SaveFormatFiles, StreamsHoldWhatTheSaveWrites) {
  qmModelPtr model = NewModel();
  TestMesh mesh;
  mesh.name = "L00LD00M00";
  mesh.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  mesh.normals = {{0, 0, 1}};
  mesh.triangles = {{{0, 1, 2}, {0, 0, 0}}};
  AddMesh(model.get(), mesh);
  mesh.name = "L00LD01M00";
  AddMesh(model.get(), mesh);
  for (const SaveFormat& format : SaveFormats()) {
    for (const unsigned option : {0u, unsigned{kSaveFlat}, unsigned{kSaveLevelFiles}}) {
      if (option != 0 && (format.options & option) == 0) continue;
      SCOPED_TRACE(std::string(format.name) + " " + std::to_string(option));
      SaveSettings settings;
      settings.flat = option == kSaveFlat;
      settings.levelFiles = option == kSaveLevelFiles;
      const std::string path = Path(std::string("m.") + format.extensions.front());
      ExportNotes notes;
      std::string error;
      ASSERT_TRUE(SaveModel(model.get(), format, settings, path, notes, error)) << error;
      const std::vector<std::string> paths = format.paths(model.get(), settings, path);
      EXPECT_EQ(paths.back(), path);
      EXPECT_EQ(Listing().size(), paths.size());
      std::vector<FileToSave> files;
      ASSERT_TRUE(format.files(model.get(), settings, path, notes, files, error)) << error;
      ASSERT_EQ(files.size(), paths.size());
      for (std::size_t n = 0; n < paths.size(); ++n) {
        EXPECT_EQ(files[n].path, paths[n]);
        std::ostringstream stream;
        ASSERT_TRUE(files[n].write(stream));
        EXPECT_EQ(stream.str(), ReadText(paths[n])) << paths[n];
      }
      std::ostringstream standardOutput;
      EXPECT_EQ(WriteModel(model.get(), format, settings, standardOutput, notes, error),
                paths.size() == 1)
          << error;
      for (const std::string& file : Listing()) std::remove(Path(file).c_str());
    }
  }
}

}  // namespace
