#include "ImportCommand.h"

#include <iostream>
#include <optional>
#include <string>

#include "HostDialogs.h"
#include "MemoryLimit.h"
#include "ModelTree.h"
#include "ModelSave.h"
#include "PluginImport.h"
#include "PluginModule.h"
#include "qmModelRead.h"

int RunImportCommand(const ImportOptions& options) {
  std::optional<SaveFormat> format;
  if (options.output) {
    format = FormatOfPath(*options.output);
    if (!format) {
      std::cerr << "qmhost: cannot save as " << *options.output
                << ": the extension must be .json, .glb, .gltf or .obj\n";
      return kExitUsage;
    }
  }
  PluginModule module(options.plugin);
  std::string loadError;
  PlugIn* plugin = LoadImportPlugin(module, options.plugin, loadError);
  if (plugin == nullptr) {
    std::cerr << "qmhost: " << loadError << '\n';
    return kExitUsage;
  }
  const char* title = plugin->MenuTitle();
  std::cout << "plug-in: " << (title != nullptr ? title : "") << '\n';

  qmModelPtr model(qmModel_Create());
  qmModel_SetMemoryLimit(model.get(), options.memoryLimit);
  HostDialogs dialogs(options.file, std::cin, std::cout);
  const int result = plugin->Run(model.get());
  if (result != 0) std::cerr << "qmhost: the plug-in's run returned " << result << '\n';
  const std::string limitNote = MemoryLimitNote(model.get(), options.memoryLimit);
  if (!limitNote.empty()) std::cerr << "qmhost: " << limitNote << '\n';

  if (options.output) {
    ExportNotes notes;
    std::string error;
    if (!SaveModel(model.get(), *format, *options.output, options.flat, notes, error)) {
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
