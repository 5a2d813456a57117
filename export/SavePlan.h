// What a glTF or OBJ save starts from: what each of its files holds
// (SaveContent.h) and the images it reads (Textures.h), checked against the
// files it writes and loaded.
//
//   auto plan = std::make_shared<SavePlan>();
//   if (!PlanSave(model, settings, "out/ship.obj", ObjPaths, *plan, notes, error)) return false;
//   for (const FileContent& file : plan->content.files) ...
//   AddImageFiles(plan, files);    // the PNGs beside a .gltf or .obj
#ifndef QM_EXPORT_SAVEPLAN_H
#define QM_EXPORT_SAVEPLAN_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Export.h"
#include "SafeSave.h"
#include "SaveContent.h"
#include "SaveSettings.h"
#include "Textures.h"
#include "qmModelLib.h"

struct SavePlan {
  SaveContent content;
  std::unique_ptr<SaveTextures> textures;
};

// The files a save of `content` writes with `textures`, the file saved to last.
using SavePathsOf =
    std::function<std::vector<std::string>(const SaveContent&, const SaveTextures&)>;

// Plans the save of `model` to `path`: what each file holds, and the images,
// found and loaded. The notes of the levels and textures left out go to
// `notes`. False with `error` set ("cannot save out/ship.obj: ...") when no
// group has the level asked for, or when a file the save writes (`pathsOf`)
// is one it reads an image from.
bool PlanSave(qmModel* model, const SaveSettings& settings, const std::string& path,
              const SavePathsOf& pathsOf, SavePlan& plan, ExportNotes& notes, std::string& error);

// The files a save to `path` writes, found as PlanSave finds them without
// reading an image; `unplanned` when no group has the level asked for.
std::vector<std::string> PlannedPaths(qmModel* model, const SaveSettings& settings,
                                      const std::string& path, const SavePathsOf& pathsOf,
                                      std::vector<std::string> unplanned);

// Adds to `files` the PNG of each image of `plan`, at its path beside the save.
void AddImageFiles(const std::shared_ptr<const SavePlan>& plan, std::vector<FileToSave>& files);

#endif  // QM_EXPORT_SAVEPLAN_H
