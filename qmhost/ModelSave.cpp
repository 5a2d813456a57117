#include "ModelSave.h"

#include <cctype>
#include <new>
#include <ostream>

#include "ModelJson.h"
#include "SafeSave.h"
#include "SaveContent.h"

std::optional<SaveFormat> FormatNamed(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "json") return SaveFormat::Json;
  if (name == "glb") return SaveFormat::Glb;
  if (name == "gltf") return SaveFormat::Gltf;
  if (name == "obj") return SaveFormat::Obj;
  return std::nullopt;
}

std::optional<SaveFormat> FormatOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  return FormatNamed(path.substr(dot + 1));
}

const char* FormatTitle(SaveFormat format) {
  switch (format) {
    case SaveFormat::Json: return "JSON";
    case SaveFormat::Glb:
    case SaveFormat::Gltf: return "glTF";
    case SaveFormat::Obj: return "OBJ";
  }
  return "";
}

std::vector<std::string> SavedPaths(SaveFormat format, const std::string& path) {
  if (format == SaveFormat::Obj) return {WithoutExtension(path) + ".mtl", path};
  return {path};
}

std::vector<std::string> SavedPaths(qmModel* model, SaveFormat format, const std::string& path,
                                    const SaveSettings& settings) {
  switch (format) {
    case SaveFormat::Json: return {path};
    case SaveFormat::Glb: return GltfSavePaths(model, settings, GltfForm::Binary, path);
    case SaveFormat::Gltf: return GltfSavePaths(model, settings, GltfForm::Embedded, path);
    case SaveFormat::Obj: return ObjSavePaths(model, settings, path);
  }
  return {path};
}

namespace {

bool Save(qmModel* model, SaveFormat format, const std::string& path,
          const SaveSettings& settings, ExportNotes& notes, std::string& error) {
  switch (format) {
    case SaveFormat::Json:
      return SaveFile(
          path,
          [&](std::ostream& out) {
            WriteModelJson(model, out);
            return true;
          },
          error);
    case SaveFormat::Glb:
      return SaveGlb(model, settings, path, notes, error);
    case SaveFormat::Gltf:
      return SaveGltf(model, settings, path, notes, error);
    case SaveFormat::Obj:
      return SaveObj(model, settings, path, notes, error);
  }
  return false;
}

}  // namespace

bool SaveModel(qmModel* model, SaveFormat format, const std::string& path,
               const SaveSettings& settings, const RunInputs& inputs, ExportNotes& notes,
               std::string& error) {
  // The savers remove their temporaries as the exception passes.
  try {
    const std::string replaced = inputs.Replaced(SavedPaths(model, format, path, settings));
    if (!replaced.empty()) {
      error = "cannot save " + path + ": " + replaced;
      return false;
    }
    return Save(model, format, path, settings, notes, error);
  } catch (const std::bad_alloc&) {
    error = "not enough memory to save " + path + " as " + FormatTitle(format);
    return false;
  }
}
