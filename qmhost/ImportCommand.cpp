#include "ImportCommand.h"

#include <cctype>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "Export.h"
#include "HostDialogs.h"
#include "ModelJson.h"
#include "ModelStructure.h"
#include "ModelTree.h"
#include "PluginModule.h"
#include "SafeSave.h"
#include "qmModelRead.h"

namespace {

struct ModelDeleter {
  void operator()(qmModel* model) const { qmModel_Free(model); }
};
using ModelPtr = std::unique_ptr<qmModel, ModelDeleter>;

enum class SaveFormat { Json, Glb, Gltf, Obj };

std::optional<SaveFormat> FormatOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "json") return SaveFormat::Json;
  if (extension == "glb") return SaveFormat::Glb;
  if (extension == "gltf") return SaveFormat::Gltf;
  if (extension == "obj") return SaveFormat::Obj;
  return std::nullopt;
}

// Saves in the format; `notes` count what the format could not hold as it was.
bool SaveModel(qmModel* model, SaveFormat format, const ImportOptions& options, ExportNotes& notes,
               std::string& error) {
  const std::string& path = *options.output;
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
      return SaveGltfFile(model, options.flat ? nullptr : &tree,
                          format == SaveFormat::Glb ? GltfForm::Binary : GltfForm::Embedded, path,
                          notes, error);
    }
    case SaveFormat::Obj:
      return SaveObjFiles(model, path, notes, error);
  }
  return false;
}

}  // namespace

int RunImportCommand(const ImportOptions& options) {
  std::optional<SaveFormat> format;
  if (options.output) {
    format = FormatOf(*options.output);
    if (!format) {
      std::cerr << "qmhost: cannot save as " << *options.output
                << ": the extension must be .json, .glb, .gltf or .obj\n";
      return kExitUsage;
    }
  }
  PluginModule module(options.plugin);
  PlugIn* plugin = module.Object();
  if (plugin == nullptr) {
    std::cerr << "qmhost: " << module.Error() << '\n';
    return kExitUsage;
  }
  if (plugin->PlugInKind() != 1) {
    std::cerr << "qmhost: " << options.plugin << " is not an import plug-in (kind "
              << plugin->PlugInKind() << ")\n";
    return kExitUsage;
  }
  const char* title = plugin->MenuTitle();
  std::cout << "plug-in: " << (title != nullptr ? title : "") << '\n';

  ModelPtr model(qmModel_Create());
  HostDialogs dialogs(options.file, std::cin, std::cout);
  const int result = plugin->Run(model.get());
  if (result != 0) std::cerr << "qmhost: the plug-in's run returned " << result << '\n';

  if (options.output) {
    ExportNotes notes;
    std::string error;
    if (!SaveModel(model.get(), *format, options, notes, error)) {
      std::cerr << "qmhost: " << error << '\n';
      return kExitMessage;
    }
    if (!notes.Empty()) std::cerr << "qmhost: " << *options.output << ": " << notes.Text() << '\n';
    std::cout << "saved " << *options.output << '\n';
  } else {
    PrintModelTree(model.get(), std::cout);
  }
  return dialogs.Messages().empty() ? kExitClean : kExitMessage;
}
