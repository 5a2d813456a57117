// `qmhost import`: runs the plug-in on a fresh model as the host does, and
// prints the model's structure or saves it.
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "CommandOptions.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "InputFiles.h"
#include "Messages.h"
#include "ModelTree.h"
#include "PluginImport.h"
#include "PluginModule.h"
#include "SaveContent.h"
#include "SaveFormats.h"

namespace {

struct ImportSettings {
  std::optional<std::string> file;    // the dialog's answer; asked on the terminal if absent
  std::optional<std::string> output;  // where to save; the tree goes to standard output if absent
  const SaveFormat* to = nullptr;     // the format; by the output's extension if absent
  SaveChoices save;
  std::string plugin;
  std::uint64_t memoryLimit = 0;
};

// The format of the save asked for, or null after a usage error was said.
const SaveFormat* ChosenFormat(const ImportSettings& settings) {
  const std::string& output = *settings.output;
  if (output == "-") {
    if (settings.to == nullptr)
      Error(MessageLine("-o - writes to standard output in the format --to names: " +
                        FormatNameList()));
    return settings.to;
  }
  const SaveFormat* byExtension = FormatOfPath(output);
  if (settings.to != nullptr) {
    if (byExtension != nullptr && byExtension != settings.to) {
      Error(FileLine(output, std::string("its extension names ") + byExtension->name + ", --to " +
                                 settings.to->name));
      return nullptr;
    }
    return settings.to;
  }
  if (byExtension == nullptr)
    Error(FileLine(output, "cannot save as this: the extension must be " + FormatExtensionList() +
                               " (or --to FORMAT)"));
  return byExtension;
}

// Saves the model imported as the settings ask, and says what the save left
// out or changed; returns the exit status, `status` when the save went well.
int SaveImported(const ImportSettings& settings, const SaveFormat& format,
                 const PluginImport& imported, int status, const std::string& nothingWritten) {
  qmModel* const model = imported.model.get();
  // A level no group has is the command line's mistake, as render has it.
  if ((format.options & kSaveLevel) != 0 && !settings.save.settings.levelFiles) {
    const std::string missing =
        MissingLevelText(DescribeStructure(model), settings.save.settings.level);
    if (!missing.empty()) {
      Error(FileLine(imported.file, missing + nothingWritten));
      return kExitUsage;
    }
  }
  // Textures are looked for beside the file; standard input has no folder.
  SaveSettings save = settings.save.settings;
  if (imported.file != "-") save.source = imported.file;
  ExportNotes notes;
  std::string error;
  if (*settings.output == "-") {
    if (!WriteModel(model, format, save, std::cout, notes, error)) {
      Error(MessageLine(error));
      return kExitFailure;
    }
  } else {
    RunInputs inputs;
    inputs.Add(settings.plugin);
    if (settings.file != "-") inputs.Add(imported.file);
    const std::string replaced = inputs.Replaced(format.paths(model, save, *settings.output));
    if (!replaced.empty()) {
      Error(MessageLine("cannot save " + *settings.output + ": " + replaced));
      return kExitFailure;
    }
    if (!SaveModel(model, format, save, *settings.output, notes, error)) {
      Error(MessageLine(error));
      return kExitFailure;
    }
    Detail(FileLine(imported.file, "saved " + *settings.output));
  }
  const std::string saved = *settings.output == "-" ? "(standard output)" : *settings.output;
  for (const std::string& line : notes.Lines()) Note(FileLine(saved, line));
  return status;
}

int RunImport(const ImportSettings& settings) {
  const SaveFormat* format = nullptr;
  if (settings.output) {
    format = ChosenFormat(settings);
    if (format == nullptr || !FormatTakesSettings(*format, settings.save)) return kExitUsage;
    if (*settings.output == "-") {
      const std::size_t files = format->paths(nullptr, settings.save.settings, "-").size();
      if (files != 1) {
        Error(MessageLine(std::string("a save as ") + format->title + " is " +
                          std::to_string(files) + " files and can't go to standard output"));
        return kExitUsage;
      }
      if (settings.save.settings.levelFiles) {
        Error(
            MessageLine("--level-files writes a file per level and can't go to standard "
                        "output"));
        return kExitUsage;
      }
    }
  } else if (settings.save.given != 0 || settings.to != nullptr) {
    Error(MessageLine(
        (settings.to != nullptr ? std::string("--to") : GivenSaveOption(settings.save)) +
        " shapes a save; without -o nothing is saved"));
    return kExitUsage;
  }
  const std::unique_ptr<PluginModule> module = LoadImportPlugin(settings.plugin);
  if (!module) return kExitUsage;

  const PluginImport imported =
      ImportThroughPlugin(*module->Object(), settings.file, settings.memoryLimit);
  const std::string nothingWritten =
      settings.output ? "; " + InputName(*settings.output) + " was not written" : "";
  const int status = ReportImport(imported, nothingWritten);
  if (!imported.model) return status;

  if (!settings.output) {
    PrintModelTree(imported.model.get(), std::cout);
    return status;
  }
  // Memory that runs out in the save's preparation is said as in the save.
  try {
    return SaveImported(settings, *format, imported, status, nothingWritten);
  } catch (const std::bad_alloc&) {
    Error(MessageLine(*settings.output == "-"
                          ? std::string("not enough memory to write the model as ") + format->title
                          : "not enough memory to save " + *settings.output + " as " +
                                format->title));
    return kExitFailure;
  }
}

}  // namespace

Command AddImportCommand(CLI::App& app) {
  auto settings = std::make_shared<ImportSettings>();
  CLI::App* command =
      app.add_subcommand("import", "Import a .msh file; print its structure or save it");
  command->footer(
      "Runs the plug-in as the host does and prints the model's structure, or saves it with -o.\n"
      "Without FILE, the plug-in's open-file dialog asks on the terminal. A glTF or OBJ save\n"
      "holds what a viewer should show: +Y up, detail level 0 of each group, the markers, and\n"
      "the textures found beside FILE (--up, --level, --level-files and --textures change it).\n\n"
      "Exit status: 0 clean; 1 the plug-in showed a message (the file is damaged), the file\n"
      "could not be read, the save failed, or the dialog was cancelled with -o; 2 usage error,\n"
      "a level no group has, or a module that can't be loaded.");
  command->add_option("FILE", settings->file, "The .msh file to import; - reads standard input");
  command
      ->add_option("-o,--output", settings->output,
                   "Save the model to OUT, in the format of its extension (" +
                       FormatExtensionList() + ") or of --to; - writes to standard output")
      ->type_name("OUT");
  AddFormatOption(*command, settings->to, "The format to save in, whatever OUT's extension");
  AddSaveOptions(*command, settings->save);
  AddPluginOption(*command, settings->plugin);
  AddMemoryLimitOption(*command, settings->memoryLimit);
  return {command, [settings] { return RunImport(*settings); }};
}
