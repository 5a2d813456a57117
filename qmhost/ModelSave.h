// Saving the host model in one of qmhost's formats, chosen by name or by a
// path's extension.
#ifndef QMHOST_MODELSAVE_H
#define QMHOST_MODELSAVE_H

#include <optional>
#include <string>
#include <vector>

#include "Export.h"
#include "InputFiles.h"
#include "SaveSettings.h"
#include "qmModelLib.h"

enum class SaveFormat { Json, Glb, Gltf, Obj };

// "json", "glb", "gltf" or "obj", in any letter case.
std::optional<SaveFormat> FormatNamed(std::string name);
// The format of a path's extension.
std::optional<SaveFormat> FormatOfPath(const std::string& path);
// "JSON", "glTF" or "OBJ", for the user.
const char* FormatTitle(SaveFormat format);

// The files a save to `path` writes whatever the model (an .obj's .mtl before
// it), `path` last.
std::vector<std::string> SavedPaths(SaveFormat format, const std::string& path);
// Every file a save of `model` to `path` writes: also the level files and the
// textures beside it that the settings ask for.
std::vector<std::string> SavedPaths(qmModel* model, SaveFormat format, const std::string& path,
                                    const SaveSettings& settings);

// Saves safely (SafeSave.h: a failed save changes no file, leaves no
// temporary). A save that would replace one of `inputs` writes nothing.
// `settings` map the model onto glTF and OBJ (SaveSettings.h); `notes` count
// what the format could not hold as it was, and say what the save left out;
// `error` says why a save failed, "not enough memory to save a.glb as glTF"
// when memory ran out.
bool SaveModel(qmModel* model, SaveFormat format, const std::string& path,
               const SaveSettings& settings, const RunInputs& inputs, ExportNotes& notes,
               std::string& error);

#endif  // QMHOST_MODELSAVE_H
