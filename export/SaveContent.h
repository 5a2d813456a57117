// What each file of a save holds: the settings' level choice applied to the
// file's structure (ModelStructure.h). Both glTF and OBJ follow it.
//
//   SaveContent content = PlanContent(model, settings, "out/ship.glb");
//   if (!content.error.empty()) ...                      // no group has that level
//   for (const FileContent& file : content.files) ...    // "out/ship.glb", "out/ship.lod1.glb"
#ifndef QM_EXPORT_SAVECONTENT_H
#define QM_EXPORT_SAVECONTENT_H

#include <string>
#include <vector>

#include "ModelStructure.h"
#include "SaveSettings.h"
#include "qmModelLib.h"

struct FileContent {
  std::string path;
  // The detail level this file holds of each group, or SaveSettings::kAllLevels.
  int level = 0;
  // Whether it holds the markers and the meshes that belong to no level.
  bool markers = true;
  std::vector<bool> kept;  // per host mesh, in model order
};

struct SaveContent {
  ModelStructure tree;
  // The first at the path saved to; with level files, one per level after it.
  std::vector<FileContent> files;
  // The level numbers of the file that no file of the save holds, ascending.
  std::vector<int> levelsLeftOut;
  // Why nothing can be saved: the one level asked for is in no group.
  std::string error;
};

SaveContent PlanContent(qmModel* model, const SaveSettings& settings, const std::string& path);

// Why a save or a picture of detail level `level` can't be made: "no group
// has detail level 3 (the levels are 0 and 1)"; empty when a group has it,
// when `level` is SaveSettings::kAllLevels, or when the model has no groups.
std::string MissingLevelText(const ModelStructure& tree, int level);

// The materials (by index) of the meshes any file of the save keeps.
std::vector<bool> UsedMaterials(qmModel* model, const SaveContent& content);

// Where level `level` goes with level files: "out/ship.lod2.glb" for
// "out/ship.glb" (a name without an extension gets ".lod2").
std::string LevelFilePath(const std::string& path, int level);

// The note for levels left out, naming the options that keep them; empty
// when none was.
std::string LevelsLeftOutText(const std::vector<int>& levels);
// The options that keep them: "--level all keeps every level in one file, ...".
extern const char kKeepingLevelsText[];

// "1", "1 and 2", "0, 1 and 3".
std::string ListText(const std::vector<int>& numbers);

// The parts of a path the savers name their files by: "out/ship" and
// "ship.glb" for "out/ship.glb"; a dot in a folder's name is no extension.
std::string WithoutExtension(const std::string& path);
std::string FileName(const std::string& path);
// `text` with its ASCII capitals in lower case, every other byte as it is.
std::string LowerCase(std::string text);
// The extension a save's format is known by, in lower case without its dot:
// "glb" for "out/Ship.GLB", empty when the file name has no dot.
std::string ExtensionOf(const std::string& path);

#endif  // QM_EXPORT_SAVECONTENT_H
