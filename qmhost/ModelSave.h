// Saving the host model in one of qmhost's formats, chosen by name or by a
// path's extension.
#ifndef QMHOST_MODELSAVE_H
#define QMHOST_MODELSAVE_H

#include <optional>
#include <string>

#include "Export.h"
#include "qmModelLib.h"

enum class SaveFormat { Json, Glb, Gltf, Obj };

// "json", "glb", "gltf" or "obj", in any letter case.
std::optional<SaveFormat> FormatNamed(std::string name);
// The format of a path's extension.
std::optional<SaveFormat> FormatOfPath(const std::string& path);

// Saves safely (a failed save changes no file). glTF nodes follow the file's
// structure unless `flat`; `notes` count what the format could not hold as
// it was; `error` says why a save failed.
bool SaveModel(qmModel* model, SaveFormat format, const std::string& path, bool flat,
               ExportNotes& notes, std::string& error);

#endif  // QMHOST_MODELSAVE_H
