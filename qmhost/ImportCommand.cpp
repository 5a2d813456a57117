#include "ImportCommand.h"

#include <iostream>
#include <optional>
#include <string>

#include "HostDialogs.h"
#include "InputFiles.h"
#include "MemoryLimit.h"
#include "ModelTree.h"
#include "ModelSave.h"
#include "PluginImport.h"
#include "PluginModule.h"
#include "qmModelRead.h"

namespace {

// The end of the line that says nothing was imported.
std::string NothingWritten(const ImportOptions& options) {
  return options.output ? "; " + *options.output + " was not written" : std::string();
}

}  // namespace

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
  RunInputs inputs;
  inputs.Add(options.plugin);
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

  // Nothing read, nothing written: a cancelled dialog or a file the plug-in
  // could not open leaves every file as it was.
  if (!dialogs.Chosen()) {
    if (dialogs.TooLong()) {
      std::cerr << "qmhost: " << options.file.value_or("") << ": the path is longer than the 255 "
                << "characters the plug-in's dialog takes" << NothingWritten(options) << '\n';
      return kExitMessage;
    }
    std::cerr << "qmhost: no file was chosen; nothing was imported" << NothingWritten(options)
              << '\n';
    return options.output ? kExitMessage : kExitClean;
  }
  if (PluginReadNothing(dialogs.Messages())) {
    std::cerr << "qmhost: " << WhyNotRead(*dialogs.Chosen()) << NothingWritten(options) << '\n';
    return kExitMessage;
  }

  if (options.output) {
    inputs.Add(*dialogs.Chosen());
    ExportNotes notes;
    std::string error;
    SaveSettings settings;
    settings.flat = options.flat;
    settings.source = *dialogs.Chosen();
    if (!SaveModel(model.get(), *format, *options.output, settings, inputs, notes, error)) {
      std::cerr << "qmhost: " << error << '\n';
      return kExitMessage;
    }
    for (const std::string& line : notes.Lines())
      std::cerr << "qmhost: " << *options.output << ": " << line << '\n';
    std::cout << "saved " << *options.output << '\n';
  } else {
    PrintModelTree(model.get(), std::cout);
  }
  return dialogs.Messages().empty() ? kExitClean : kExitMessage;
}
