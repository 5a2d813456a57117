// `qmhost convert`: many files through the plug-in in one go, each saved in
// one format, with progress on standard error and a closing count.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <new>
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
#include "SaveContent.h"
#include "SaveFormats.h"

namespace fs = std::filesystem;

namespace {

struct ConvertSettings {
  std::vector<std::string> inputs;  // files and folders
  bool recursive = false;           // the folders' folders too
  const SaveFormat* to = FormatNamed("glb");
  std::optional<std::string> folder;  // where the outputs go; beside each input if absent
  SaveChoices save;
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

// A path as the batch compares outputs by: absolute, without "." or "..".
std::string OutputKey(const std::string& path) {
  std::error_code ignored;
  return fs::absolute(path, ignored).lexically_normal().string();
}

// The files the saves of a batch write, each claimed by the first file in
// the order given whose save writes it: a later file's save that would
// write it again is refused, as "already the output of an earlier file".
// A save's own files (OUT and an .obj's .mtl) are claimed before the
// import; the files the model adds (level files, images beside OUT) after.
class OutputClaims {
 public:
  // Claims `paths` for the file numbered `file`; returns the first of them
  // that is an earlier file's, or an empty string.
  std::string Claim(std::size_t file, const std::vector<std::string>& paths) {
    std::string earlier;
    for (const std::string& path : paths) {
      const auto claimed = owners_.emplace(OutputKey(path), file);
      if (!claimed.second && claimed.first->second != file && earlier.empty()) earlier = path;
    }
    return earlier;
  }

 private:
  std::map<std::string, std::size_t> owners_;
};

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

// What became of one file, for the progress and the count.
struct Converted {
  Outcome outcome = kFailed;
  std::string lines;           // what is to be said about it
  bool levelsLeftOut = false;  // its save left detail levels out
};

// What every job of a batch shares.
struct Batch {
  const ConvertSettings& settings;
  PlugIn& plugin;
  const RunInputs& inputs;
  OutputClaims& claims;
};

// Imports one file and saves it once the files its save writes are its own.
void ImportAndSave(const Batch& batch, const Job& job, std::size_t number,
                   const std::string& output, Converted& converted) {
  const ConvertSettings& settings = batch.settings;
  std::string& lines = converted.lines;
  const PluginImport imported = ImportThroughPlugin(batch.plugin, job.input, settings.memoryLimit);
  for (const std::string& message : imported.messages) lines += PluginLine(job.input, message);
  if (!imported.limitNote.empty()) lines += FileLine(job.input, imported.limitNote);
  if (!imported.model) {
    lines += FileLine(job.input, imported.error);
    return;
  }
  qmModel* const model = imported.model.get();
  SaveSettings save = settings.save.settings;
  save.source = job.input;
  const std::vector<std::string> paths = settings.to->paths(model, save, output);
  const std::string earlier = batch.claims.Claim(number, paths);
  const std::string replaced = batch.inputs.Replaced(paths);
  if (!replaced.empty()) {
    lines += FileLine(job.input, "cannot save " + output + ": " + replaced);
    return;
  }
  if (!earlier.empty()) {
    lines += FileLine(job.input, earlier + " is already the output of an earlier file");
    return;
  }
  ExportNotes notes;
  std::string error;
  if (!SaveModel(model, *settings.to, save, output, notes, error)) {
    lines += FileLine(job.input, error);
    return;
  }
  // Values the format could not hold are the format's limit, not damage to
  // the file: said, but the file counts as converted. The levels every save
  // leaves out by default are said once for the batch, and file by file
  // with -v.
  for (const std::string& line : notes.Lines()) {
    const Verbosity shown = line == notes.levelsLeftOut ? Verbosity::Verbose : Verbosity::Normal;
    if (CurrentVerbosity() >= shown) lines += FileLine(output, line);
  }
  converted.levelsLeftOut = !notes.levelsLeftOut.empty();
  if (!imported.Clean() || !imported.error.empty()) {
    if (!imported.error.empty()) lines += FileLine(job.input, imported.error);
    lines += FileLine(job.input, "saved what was read as " + output);
    converted.outcome = kDamaged;
    return;
  }
  if (CurrentVerbosity() == Verbosity::Verbose)
    lines += FileLine(job.input, "converted to " + output);
  converted.outcome = kConverted;
}

// Converts the file numbered `number`; what is said about it goes into the
// result.
Converted ConvertFile(const Batch& batch, const Job& job, std::size_t number) {
  Converted converted;
  const std::string output = OutputPath(job, batch.settings);
  // Memory that runs out for one file leaves the next its chance.
  try {
    const std::vector<std::string> own = batch.settings.to->paths(nullptr, {}, output);
    const std::string replaced = batch.inputs.Replaced(own);
    const std::string earlier = batch.claims.Claim(number, own);
    if (!replaced.empty())
      converted.lines = FileLine(job.input, "cannot save " + output + ": " + replaced);
    else if (!earlier.empty())
      converted.lines = FileLine(job.input, output + " is already the output of an earlier file");
    else if (MakeFolderOf(output, converted.lines))
      ImportAndSave(batch, job, number, output, converted);
  } catch (const std::bad_alloc&) {
    converted.outcome = kFailed;
    converted.lines += FileLine(job.input, "not enough memory to convert it");
  }
  return converted;
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

  OutputClaims claims;
  const Batch batch{settings, *module->Object(), inputs, claims};

  const bool terminal = ::isatty(STDERR_FILENO) != 0 && CurrentVerbosity() != Verbosity::Quiet;
  ConvertProgress progress(std::cerr, terminal, terminal ? TerminalWidth() : 80, jobs.size());
  std::size_t counts[3] = {0, 0, unlisted.size()};
  std::size_t levelsLeftOut = 0;
  for (const std::string& line : unlisted) progress.Say(line);
  for (std::size_t n = 0; n < jobs.size(); ++n) {
    progress.Start(jobs[n].input);
    const Converted converted = ConvertFile(batch, jobs[n], n);
    ++counts[converted.outcome];
    if (converted.levelsLeftOut) ++levelsLeftOut;
    progress.Done(converted.lines);
  }
  if (levelsLeftOut > 0 && CurrentVerbosity() == Verbosity::Normal)
    progress.Say(MessageLine("detail levels were left out of " + std::to_string(levelsLeftOut) +
                             (levelsLeftOut == 1 ? " file" : " files") +
                             " (-v says which): " + kKeepingLevelsText));
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
