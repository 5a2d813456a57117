#include "SaveFormats.h"

#include <new>
#include <ostream>

#include "ModelJson.h"
#include "SaveContent.h"

namespace {

std::vector<std::string> JsonPaths(qmModel*, const SaveSettings&, const std::string& path) {
  return {path};
}

bool JsonFiles(qmModel* model, const SaveSettings&, const std::string& path, ExportNotes&,
               std::vector<FileToSave>& files, std::string&) {
  files = {{path, [model](std::ostream& out) {
              WriteModelJson(model, out);
              return true;
            }}};
  return true;
}

bool SaveJson(qmModel* model, const SaveSettings& settings, const std::string& path,
              ExportNotes& notes, std::string& error) {
  std::vector<FileToSave> files;
  return JsonFiles(model, settings, path, notes, files, error) && SaveFiles(files, error);
}

template <GltfForm form>
std::vector<std::string> GltfPaths(qmModel* model, const SaveSettings& settings,
                                   const std::string& path) {
  if (model == nullptr) return {path};
  return GltfSavePaths(model, settings, form, path);
}

template <GltfForm form>
bool GltfFormFiles(qmModel* model, const SaveSettings& settings, const std::string& path,
                   ExportNotes& notes, std::vector<FileToSave>& files, std::string& error) {
  return GltfFiles(model, settings, form, path, notes, files, error);
}

std::vector<std::string> ObjPaths(qmModel* model, const SaveSettings& settings,
                                  const std::string& path) {
  if (model == nullptr) return {WithoutExtension(path) + ".mtl", path};
  return ObjSavePaths(model, settings, path);
}

// "a, b or c".
std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t n = 0; n < items.size(); ++n)
    text += (n == 0 ? "" : n + 1 == items.size() ? " or " : ", ") + items[n];
  return text;
}

// The settings every saver of glTF and OBJ honours.
constexpr unsigned kModelMapping = kSaveUp | kSaveLevel | kSaveLevelFiles | kSaveTextures;

}  // namespace

const std::vector<SaveFormat>& SaveFormats() {
  static const std::vector<SaveFormat> formats = {
      {"json",
       {"json"},
       "JSON",
       "the qmhost model: every value of the host's model, exactly",
       0,
       SaveJson,
       JsonPaths,
       JsonFiles},
      {"glb",
       {"glb"},
       "glTF",
       "binary glTF 2.0, its textures inside",
       kSaveFlat | kModelMapping,
       SaveGlb,
       GltfPaths<GltfForm::Binary>,
       GltfFormFiles<GltfForm::Binary>},
      {"gltf",
       {"gltf"},
       "glTF",
       "glTF 2.0 with its buffer embedded, its textures as PNG files beside it",
       kSaveFlat | kModelMapping,
       SaveGltf,
       GltfPaths<GltfForm::Embedded>,
       GltfFormFiles<GltfForm::Embedded>},
      {"obj",
       {"obj"},
       "OBJ",
       "Wavefront OBJ, with its materials in an .mtl and its textures as PNG files beside it",
       kModelMapping,
       SaveObj,
       ObjPaths,
       ObjFiles},
  };
  return formats;
}

const SaveFormat* FormatNamed(const std::string& name) {
  const std::string lower = LowerCase(name);
  for (const SaveFormat& format : SaveFormats())
    if (lower == format.name) return &format;
  return nullptr;
}

const SaveFormat* FormatOfPath(const std::string& path) {
  const std::string extension = ExtensionOf(path);
  if (extension.empty()) return nullptr;
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
  try {
    SaveSettings one = settings;
    bool imagesLeftOut = false;
    if (one.textures && format.paths(model, one, "-").size() > 1) {
      one.textures = false;
      imagesLeftOut = format.paths(model, one, "-").size() == 1;
      if (!imagesLeftOut) one.textures = true;
    }
    const std::size_t count = format.paths(model, one, "-").size();
    if (count != 1) {
      error = std::string("a save as ") + format.title + " is " + std::to_string(count) +
              " files and can't go to standard output";
      return false;
    }
    std::vector<FileToSave> files;
    if (!format.files(model, one, "-", notes, files, error)) return false;
    if (imagesLeftOut)
      notes.texturesLeftOut = std::string("textures left out: a .") + format.extensions.front() +
                              " on standard output has no folder for its images (a .glb holds "
                              "them)";
    if (files.back().write(out)) return true;
    error = out.good() ? std::string("the ") + format.title + " content could not be formed"
                       : std::string("the model could not be written to standard output");
  } catch (const std::bad_alloc&) {
    error = std::string("not enough memory to write the model as ") + format.title;
  }
  return false;
}
