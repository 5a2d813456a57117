#include "ModelSave.h"

#include <cctype>
#include <new>
#include <ostream>

#include "ModelJson.h"
#include "ModelStructure.h"
#include "SafeSave.h"

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
  switch (format) {
    case SaveFormat::Json: return {path};
    case SaveFormat::Glb:
    case SaveFormat::Gltf: return GltfSavePaths(path);
    case SaveFormat::Obj: return ObjSavePaths(path);
  }
  return {path};
}

namespace {

bool Save(qmModel* model, SaveFormat format, const std::string& path, bool flat,
          ExportNotes& notes, std::string& error) {
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
    case SaveFormat::Gltf: {
      const ModelStructure tree = DescribeStructure(model);
      return SaveGltfFile(model, flat ? nullptr : &tree,
                          format == SaveFormat::Glb ? GltfForm::Binary : GltfForm::Embedded, path,
                          notes, error);
    }
    case SaveFormat::Obj:
      return SaveObjFiles(model, path, notes, error);
  }
  return false;
}

}  // namespace

bool SaveModel(qmModel* model, SaveFormat format, const std::string& path, bool flat,
               const RunInputs& inputs, ExportNotes& notes, std::string& error) {
  const std::string replaced = inputs.Replaced(SavedPaths(format, path));
  if (!replaced.empty()) {
    error = "cannot save " + path + ": " + replaced;
    return false;
  }
  // The savers remove their temporaries as the exception passes.
  try {
    return Save(model, format, path, flat, notes, error);
  } catch (const std::bad_alloc&) {
    error = "not enough memory to save " + path + " as " + FormatTitle(format);
    return false;
  }
}
