#include "ConvertCommand.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <new>
#include <set>
#include <system_error>

#include "ConvertProgress.h"
#include "Export.h"
#include "ImportCommand.h"
#include "InputFiles.h"
#include "ModelSave.h"
#include "PluginImport.h"
#include "PluginModule.h"

namespace fs = std::filesystem;

namespace {

enum class Outcome { Converted, Damaged, Failed };

// FOLDER/NAME.EXT for FOLDER/.../NAME.msh; beside the input without a folder.
std::string OutputPath(const std::string& input, const ConvertOptions& options) {
  fs::path output = options.folder ? fs::path(*options.folder) / fs::path(input).filename()
                                   : fs::path(input);
  output.replace_extension(options.to);
  return output.string();
}

std::string Joined(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& message : messages) text += (text.empty() ? "" : " ") + message;
  return text;
}

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

int RunConvertCommand(const ConvertOptions& options) {
  if (options.folder) {
    std::error_code error;
    fs::create_directories(*options.folder, error);
    if (error) {
      std::cerr << "qmhost: cannot make the folder " << *options.folder << ": " << error.message()
                << '\n';
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

  // Every file of the batch is an input of every save: `convert a.msh a.glb`
  // must not replace a.glb before it is read.
  RunInputs inputs;
  inputs.Add(options.plugin);
  for (const std::string& input : options.files) inputs.Add(input);
  const SaveFormat format = *FormatNamed(options.to);

  const bool terminal = ::isatty(STDERR_FILENO) != 0;
  ConvertProgress progress(std::cerr, terminal, terminal ? TerminalWidth() : 80,
                           options.files.size());
  std::size_t counts[3] = {0, 0, 0};
  std::set<std::string> written;
  for (const std::string& input : options.files) {
    progress.Start(input);
    const std::string output = OutputPath(input, options);
    Outcome outcome = Outcome::Failed;
    std::string line;
    bool noted = false;
    bool earlier = false;
    std::error_code ignored;
    for (const std::string& path : SavedPaths(format, output))
      earlier = !written.insert(fs::absolute(path, ignored).lexically_normal().string()).second ||
                earlier;
    const std::string replaced = inputs.Replaced(SavedPaths(format, output));
    if (!replaced.empty()) {
      line = "failed " + input + ": cannot save " + output + ": " + replaced;
    } else if (earlier) {
      line = "failed " + input + ": " + output + " is already the output of an earlier file";
    } else {
      // Memory that runs out for one file leaves the next its chance.
      try {
        PluginImport imported = ImportThroughPlugin(*plugin, input, options.memoryLimit);
        ExportNotes notes;
        std::string error;
        SaveSettings settings;
        settings.source = input;
        if (!imported.error.empty()) {
          line = "failed " + imported.error;
        } else if (!SaveModel(imported.model.get(), format, output, settings, inputs, notes,
                              error)) {
          line = "failed " + input + ": " + error;
        } else {
          // Values the format could not hold are the format's limit, not damage
          // to the file: said on the line, but the file counts as converted.
          outcome = imported.messages.empty() ? Outcome::Converted : Outcome::Damaged;
          line = (imported.messages.empty() ? "converted " : "damaged ") + input + " -> " + output;
          if (!imported.messages.empty()) line += ": " + Joined(imported.messages);
          if (notes.Changed()) line += " (saved with changes: " + notes.Text() + ")";
          if (!notes.texturesLeftOut.empty()) line += " (" + notes.texturesLeftOut + ")";
          if (!notes.levelsLeftOut.empty()) line += " (" + notes.levelsLeftOut + ")";
          // What every file of a batch leaves out by default shows only where
          // the line shows anyway.
          noted = notes.Changed() || !notes.texturesLeftOut.empty();
        }
      } catch (const std::bad_alloc&) {
        line = "failed " + input + ": not enough memory to convert it";
      }
    }
    ++counts[static_cast<int>(outcome)];
    progress.Done(line, outcome != Outcome::Converted || noted);
  }
  progress.Finish();

  std::cout << options.files.size() << (options.files.size() == 1 ? " file: " : " files: ")
            << counts[0] << " converted cleanly, " << counts[1]
            << " damaged (converted with a message), " << counts[2] << " failed\n";
  return counts[0] == options.files.size() ? kExitClean : kExitMessage;
}
