// `qmhost convert`: many files through the plug-in in one go, each saved in
// one format, with progress on standard error and a closing count.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <set>
#include <system_error>

#include <CLI/CLI.hpp>

#include "CommandOptions.h"
#include "Commands.h"
#include "ConvertProgress.h"
#include "ExitCodes.h"
#include "InputFiles.h"
#include "Messages.h"
#include "PluginImport.h"
#include "PluginModule.h"
#include "SaveFormats.h"

namespace fs = std::filesystem;

namespace {

struct ConvertSettings {
  std::vector<std::string> inputs;  // files and folders
  bool recursive = false;           // the folders' folders too
  const SaveFormat* to = FormatNamed("glb");
  std::optional<std::string> folder;  // where the outputs go; beside each input if absent
  SaveSettings save;
  std::string plugin;
  std::uint64_t memoryLimit = 0;
};

// A file to convert, and its path under the output folder without the
// extension: its name for a file given, its path inside the folder given
// for one found there.
struct Job {
  std::string input;
  fs::path relative;
};

bool IsMeshFile(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".msh";
}

// The .msh files in `folder` (and in its folders, with `recursive`), in name
// order; links to folders are not followed. False with `error` when the
// folder can't be read.
bool FindMeshFiles(const std::string& folder, bool recursive, std::vector<Job>& jobs,
                   std::string& error) {
  std::vector<Job> found;
  std::error_code code;
  const auto take = [&](const fs::directory_entry& entry) {
    std::error_code ignored;
    if (IsMeshFile(entry.path()) && !entry.is_directory(ignored))
      found.push_back({entry.path().string(), entry.path().lexically_relative(folder)});
  };
  if (recursive) {
    for (fs::recursive_directory_iterator entry(folder, code), end; !code && entry != end;
         entry.increment(code))
      take(*entry);
  } else {
    for (fs::directory_iterator entry(folder, code), end; !code && entry != end;
         entry.increment(code))
      take(*entry);
  }
  if (code) {
    error = code.message();
    return false;
  }
  std::sort(found.begin(), found.end(),
            [](const Job& a, const Job& b) { return a.relative < b.relative; });
  jobs.insert(jobs.end(), found.begin(), found.end());
  return true;
}

// FOLDER/RELATIVE.EXT, or beside the input without a folder.
std::string OutputPath(const Job& job, const ConvertSettings& settings) {
  fs::path output =
      settings.folder ? fs::path(*settings.folder) / job.relative : fs::path(job.input);
  output.replace_extension(settings.to->extensions.front());
  return output.string();
}

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

enum Outcome { kConverted, kDamaged, kFailed };

// Makes the folder an output goes into, below -d; false with a line said when
// it can't be made.
bool MakeFolderOf(const std::string& output, std::string& lines) {
  const fs::path folder = fs::path(output).parent_path();
  std::error_code error;
  if (folder.empty() || fs::is_directory(folder, error)) return true;
  fs::create_directories(folder, error);
  if (!error) return true;
  lines += FileLine(folder.string(), "cannot make the folder: " + error.message());
  return false;
}

// Converts one file; `lines` gets what is to be said about it.
Outcome ConvertFile(PlugIn& plugin, const Job& job, const std::string& output,
                    const ConvertSettings& settings, std::string& lines) {
  // Memory that runs out for one file leaves the next its chance.
  try {
    const PluginImport imported = ImportThroughPlugin(plugin, job.input, settings.memoryLimit);
    for (const std::string& message : imported.messages) lines += PluginLine(job.input, message);
    if (!imported.limitNote.empty()) lines += FileLine(job.input, imported.limitNote);
    if (!imported.model) {
      lines += FileLine(job.input, imported.error);
      return kFailed;
    }
    ExportNotes notes;
    std::string error;
    if (!SaveModel(imported.model.get(), *settings.to, settings.save, output, notes, error)) {
      lines += FileLine(job.input, error);
      return kFailed;
    }
    // Values the format could not hold are the format's limit, not damage to
    // the file: said, but the file counts as converted.
    if (!notes.Empty() && CurrentVerbosity() != Verbosity::Quiet)
      lines += FileLine(output, notes.Text());
    if (!imported.Clean() || !imported.error.empty()) {
      if (!imported.error.empty()) lines += FileLine(job.input, imported.error);
      lines += FileLine(job.input, "saved what was read as " + output);
      return kDamaged;
    }
    if (CurrentVerbosity() == Verbosity::Verbose)
      lines += FileLine(job.input, "converted to " + output);
    return kConverted;
  } catch (const std::bad_alloc&) {
    lines += FileLine(job.input, "not enough memory to convert it");
    return kFailed;
  }
}

int RunConvert(const ConvertSettings& settings) {
  if (!FormatTakesSettings(*settings.to, settings.save)) return kExitUsage;
  // The files of the folders given, in the order given; what can't be
  // listed or converted at all is a failure of its own.
  std::vector<Job> jobs;
  std::vector<std::string> unlisted;
  for (const std::string& input : settings.inputs) {
    if (input == "-") {
      Error(
          MessageLine("convert reads files and folders; for standard input, qmhost import - -o "
                      "OUT"));
      return kExitUsage;
    }
    std::error_code code;
    if (fs::is_directory(input, code)) {
      const std::size_t before = jobs.size();
      std::string error;
      if (!FindMeshFiles(input, settings.recursive, jobs, error))
        unlisted.push_back(FileLine(input, "cannot list the folder: " + error));
      else if (jobs.size() == before)
        unlisted.push_back(FileLine(input, settings.recursive
                                               ? "no .msh files in the folder or its folders"
                                               : "no .msh files in the folder (-r looks in its "
                                                 "folders too)"));
    } else {
      jobs.push_back({input, fs::path(input).filename()});
    }
  }
  if (settings.folder) {
    std::error_code error;
    fs::create_directories(*settings.folder, error);
    if (error) {
      Error(FileLine(*settings.folder, "cannot make the folder: " + error.message()));
      return kExitUsage;
    }
  }
  const std::unique_ptr<PluginModule> module = LoadImportPlugin(settings.plugin);
  if (!module) return kExitUsage;

  // Every file of the batch is an input of every save: `convert a.msh a.glb`
  // must not replace a.glb before it is read.
  RunInputs inputs;
  inputs.Add(settings.plugin);
  for (const Job& job : jobs) inputs.Add(job.input);

  const bool terminal = ::isatty(STDERR_FILENO) != 0 && CurrentVerbosity() != Verbosity::Quiet;
  ConvertProgress progress(std::cerr, terminal, terminal ? TerminalWidth() : 80, jobs.size());
  std::size_t counts[3] = {0, 0, unlisted.size()};
  for (const std::string& line : unlisted) progress.Say(line);
  std::set<std::string> written;
  for (const Job& job : jobs) {
    progress.Start(job.input);
    const std::string output = OutputPath(job, settings);
    std::string lines;
    Outcome outcome = kFailed;
    bool earlier = false;
    std::error_code ignored;
    for (const std::string& path : settings.to->paths(output))
      earlier = !written.insert(fs::absolute(path, ignored).lexically_normal().string()).second ||
                earlier;
    const std::string replaced = inputs.Replaced(settings.to->paths(output));
    if (!replaced.empty())
      lines = FileLine(job.input, "cannot save " + output + ": " + replaced);
    else if (earlier)
      lines = FileLine(job.input, output + " is already the output of an earlier file");
    else if (!MakeFolderOf(output, lines))
      outcome = kFailed;
    else
      outcome = ConvertFile(*module->Object(), job, output, settings, lines);
    ++counts[outcome];
    progress.Done(lines);
  }
  progress.Finish();

  const std::size_t total = counts[0] + counts[1] + counts[2];
  if (CurrentVerbosity() != Verbosity::Quiet)
    std::cout << total << (total == 1 ? " file: " : " files: ") << counts[kConverted]
              << " converted cleanly, " << counts[kDamaged]
              << " damaged (converted with a message), " << counts[kFailed] << " failed\n";
  return counts[kConverted] == total ? kExitClean : kExitFailure;
}

}  // namespace

Command AddConvertCommand(CLI::App& app) {
  auto settings = std::make_shared<ConvertSettings>();
  CLI::App* command = app.add_subcommand("convert", "Convert many .msh files in one go");
  command->footer(
      "Each file goes through the plug-in into DIR/NAME.EXT (beside the input without -d); the\n"
      "files of a folder keep their place under DIR. One broken file never stops the batch;\n"
      "progress and problems go to standard error, a count of the outcomes to standard output.\n\n"
      "Exit status: 0 all converted cleanly; 1 a file was damaged (converted with a message)\n"
      "or failed; 2 usage error or a module that can't be loaded.");
  command
      ->add_option("FILE", settings->inputs,
                   "The .msh files to convert, and folders whose .msh files to convert")
      ->required();
  command->add_flag("-r,--recursive", settings->recursive,
                    "Also convert the .msh files in the folders' folders");
  AddFormatOption(*command, settings->to, "The format to save in (default: glb)");
  command->add_option("-d,--dir", settings->folder, "The folder to save into (made if missing)")
      ->type_name("DIR");
  AddSaveOptions(*command, settings->save);
  AddPluginOption(*command, settings->plugin);
  AddMemoryLimitOption(*command, settings->memoryLimit);
  return {command, [settings] { return RunConvert(*settings); }};
}
