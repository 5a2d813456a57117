#include "SaveFormats.h"

#include <cctype>
#include <new>
#include <ostream>

#include "ModelJson.h"
#include "ModelStructure.h"
#include "SafeSave.h"

namespace {

std::vector<std::string> OnePath(const std::string& path) { return {path}; }

bool SaveJson(qmModel* model, const SaveSettings&, const std::string& path, ExportNotes&,
              std::string& error) {
  return SaveFile(
      path,
      [&](std::ostream& out) {
        WriteModelJson(model, out);
        return true;
      },
      error);
}

bool WriteJson(qmModel* model, const SaveSettings&, const std::string&,
               const std::vector<std::ostream*>& out, ExportNotes&) {
  WriteModelJson(model, *out[0]);
  return true;
}

// glTF's nodes follow the file's structure unless the settings ask for a flat list.
template <GltfForm form>
bool SaveGltf(qmModel* model, const SaveSettings& settings, const std::string& path,
              ExportNotes& notes, std::string& error) {
  const ModelStructure tree = DescribeStructure(model);
  return SaveGltfFile(model, settings.flat ? nullptr : &tree, form, path, notes, error);
}

template <GltfForm form>
bool WriteGltfForm(qmModel* model, const SaveSettings& settings, const std::string&,
                   const std::vector<std::ostream*>& out, ExportNotes& notes) {
  const ModelStructure tree = DescribeStructure(model);
  return WriteGltf(model, settings.flat ? nullptr : &tree, form, *out[0], notes);
}

bool SaveObj(qmModel* model, const SaveSettings&, const std::string& path, ExportNotes& notes,
             std::string& error) {
  return SaveObjFiles(model, path, notes, error);
}

// The .mtl, then the .obj that names it.
bool WriteObjAndMtl(qmModel* model, const SaveSettings&, const std::string& path,
                    const std::vector<std::ostream*>& out, ExportNotes& notes) {
  const std::string mtl = ObjSavePaths(path).front();
  WriteMtl(model, *out[0], notes);
  WriteObj(model, mtl.substr(mtl.find_last_of('/') + 1), *out[1], notes);
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "a, b or c".
std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t n = 0; n < items.size(); ++n)
    text += (n == 0 ? "" : n + 1 == items.size() ? " or " : ", ") + items[n];
  return text;
}

}  // namespace

const std::vector<SaveFormat>& SaveFormats() {
  static const std::vector<SaveFormat> formats = {
      {"json",
       {"json"},
       "JSON",
       "the qmhost model: every value of the host's model, exactly",
       0,
       SaveJson,
       OnePath,
       WriteJson},
      {"glb",
       {"glb"},
       "glTF",
       "binary glTF 2.0",
       kSaveFlat,
       SaveGltf<GltfForm::Binary>,
       GltfSavePaths,
       WriteGltfForm<GltfForm::Binary>},
      {"gltf",
       {"gltf"},
       "glTF",
       "glTF 2.0 with its buffer embedded",
       kSaveFlat,
       SaveGltf<GltfForm::Embedded>,
       GltfSavePaths,
       WriteGltfForm<GltfForm::Embedded>},
      {"obj",
       {"obj"},
       "OBJ",
       "Wavefront OBJ, with its materials in an .mtl beside it",
       0,
       SaveObj,
       ObjSavePaths,
       WriteObjAndMtl},
  };
  return formats;
}

const SaveFormat* FormatNamed(const std::string& name) {
  const std::string lower = Lower(name);
  for (const SaveFormat& format : SaveFormats())
    if (lower == format.name) return &format;
  return nullptr;
}

const SaveFormat* FormatOfPath(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
  const std::string extension = Lower(path.substr(dot + 1));
  for (const SaveFormat& format : SaveFormats())
    for (const std::string& candidate : format.extensions)
      if (extension == candidate) return &format;
  return nullptr;
}

std::string FormatNameList() {
  std::vector<std::string> names;
  for (const SaveFormat& format : SaveFormats()) names.emplace_back(format.name);
  return Listed(names);
}

std::string FormatExtensionList() {
  std::vector<std::string> extensions;
  for (const SaveFormat& format : SaveFormats())
    for (const std::string& extension : format.extensions) extensions.push_back("." + extension);
  return Listed(extensions);
}

bool SaveModel(qmModel* model, const SaveFormat& format, const SaveSettings& settings,
               const std::string& path, ExportNotes& notes, std::string& error) {
  try {
    return format.save(model, settings, path, notes, error);
  } catch (const std::bad_alloc&) {
    error = "not enough memory to save " + path + " as " + format.title;
    return false;
  }
}

bool WriteModel(qmModel* model, const SaveFormat& format, const SaveSettings& settings,
                std::ostream& out, ExportNotes& notes, std::string& error) {
  if (format.paths("-").size() != 1) {
    error = std::string("a save as ") + format.title + " is more than one file, and can't go to " +
            "standard output";
    return false;
  }
  try {
    if (format.write(model, settings, "-", {&out}, notes)) return true;
    error = std::string("the ") + format.title + " content could not be formed";
  } catch (const std::bad_alloc&) {
    error = std::string("not enough memory to write the model as ") + format.title;
  }
  return false;
}
