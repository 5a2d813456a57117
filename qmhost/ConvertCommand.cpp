// `qmhost convert`: many files through the plug-in in one go, each saved in
// one format, with progress on standard error and a closing count. Files are
// converted in jobs side by side (-j), one model to a job; what is said of
// them comes in the order they were given, whatever order they finish in.
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

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
  CLI::Option* memoryLimitOption = nullptr;  // to tell a limit given from the default
  unsigned jobs = 0;                         // files converted side by side; 0: one per core
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

// The processor cores qmhost may run on.
unsigned CoreCount() {
  cpu_set_t cores;
  if (::sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
    return static_cast<unsigned>(CPU_COUNT(&cores));
  return std::max(1u, std::thread::hardware_concurrency());
}

// A path as the batch compares outputs by: absolute, without "." or "..".
std::string OutputKey(const std::string& path) {
  std::error_code ignored;
  return fs::absolute(path, ignored).lexically_normal().string();
}

// The files the saves of a batch write, each claimed by the first file in
// the order given whose save writes it: a later file's save that would
// write it again is refused, as "already the output of an earlier file",
// whichever job gets there first.
//
// A save's own files (OUT and an .obj's .mtl) are known before the import
// and claimed when the batch is planned; the files the model adds (level
// files, images beside OUT) only after it. Those are all named OUT's name
// without its extension, a dot and more, so only the saves of names that
// are one another's start, up to a dot ("ship" and "ship.lod1"), can meet:
// such a file waits until the earlier ones have claimed all they write.
class OutputClaims {
 public:
  explicit OutputClaims(std::size_t files) : settled_(files, false) {}

  // Claims `paths` for the file numbered `file`; returns the first of them
  // that is an earlier file's, or an empty string.
  std::string Claim(std::size_t file, const std::vector<std::string>& paths) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string earlier;
    for (const std::string& path : paths) {
      const auto claimed = owners_.emplace(OutputKey(path), file);
      if (claimed.second) continue;
      if (claimed.first->second > file)
        claimed.first->second = file;
      else if (claimed.first->second < file && earlier.empty())
        earlier = path;
    }
    return earlier;
  }
  // Whether one of `paths` is an earlier file's.
  bool Earlier(std::size_t file, const std::vector<std::string>& paths) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& path : paths) {
      const auto claimed = owners_.find(OutputKey(path));
      if (claimed != owners_.end() && claimed->second < file) return true;
    }
    return false;
  }
  // The file has claimed all it will.
  void Settle(std::size_t file) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      settled_[file] = true;
    }
    settledChanged_.notify_all();
  }
  void WaitFor(const std::vector<std::size_t>& files) {
    std::unique_lock<std::mutex> lock(mutex_);
    settledChanged_.wait(lock, [&] {
      return std::all_of(files.begin(), files.end(), [&](std::size_t n) { return settled_[n]; });
    });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable settledChanged_;
  std::map<std::string, std::size_t> owners_;
  std::vector<bool> settled_;
};

// Settles a file's claims when it goes, whichever way its conversion ends.
class Settling {
 public:
  Settling(OutputClaims& claims, std::size_t file) : claims_(claims), file_(file) {}
  ~Settling() { Now(); }
  Settling(const Settling&) = delete;
  Settling& operator=(const Settling&) = delete;
  void Now() {
    if (!done_) claims_.Settle(file_);
    done_ = true;
  }

 private:
  OutputClaims& claims_;
  std::size_t file_;
  bool done_ = false;
};

// For each output, the earlier outputs whose saves may write a file of the
// same name (OutputClaims): those whose name without the extension is its
// own, or one another's start up to a dot.
std::vector<std::vector<std::size_t>> SharedNames(const std::vector<std::string>& outputs) {
  std::map<std::string, std::vector<std::size_t>> byStem;
  std::vector<std::string> stems;
  for (std::size_t n = 0; n < outputs.size(); ++n) {
    stems.push_back(WithoutExtension(OutputKey(outputs[n])));
    byStem[stems.back()].push_back(n);
  }
  std::vector<std::vector<std::size_t>> earlier(outputs.size());
  const auto take = [&](std::size_t file, const std::vector<std::size_t>& others) {
    for (std::size_t other : others)
      if (other < file) earlier[file].push_back(other);
  };
  for (std::size_t n = 0; n < outputs.size(); ++n) {
    const std::string& stem = stems[n];
    take(n, byStem[stem]);
    // Names that start this one: "a/ship" for "a/ship.lod1".
    for (std::size_t dot = stem.find('.', stem.find_last_of('/') + 1); dot != std::string::npos;
         dot = stem.find('.', dot + 1)) {
      const auto shorter = byStem.find(stem.substr(0, dot));
      if (shorter != byStem.end()) take(n, shorter->second);
    }
    // Names this one starts: "a/ship.lod1" for "a/ship".
    const std::string start = stem + ".";
    for (auto longer = byStem.lower_bound(start);
         longer != byStem.end() && longer->first.compare(0, start.size(), start) == 0; ++longer)
      take(n, longer->second);
  }
  return earlier;
}

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

// What became of one file, for the progress and the count. A save written
// and not yet in place (staged) has what to say once it is.
struct Converted {
  Outcome outcome = kFailed;
  std::string lines;           // what is to be said about it
  bool levelsLeftOut = false;  // its save left detail levels out
  std::unique_ptr<StagedSave> staged;
  std::string input;
  std::string placedLines;  // said once the save is in place
  Outcome placedOutcome = kFailed;
};

// What every job of a batch shares.
struct Batch {
  const ConvertSettings& settings;
  PlugIn& plugin;
  const RunInputs& inputs;
  OutputClaims& claims;
  std::uint64_t memoryLimit;
};

// Writes the files of a save of `model` to their temporaries; false with
// `error`, "not enough memory to save a.glb as glTF" when memory ran out.
bool WriteSave(qmModel* model, const SaveFormat& format, const SaveSettings& settings,
               const std::string& path, ExportNotes& notes, StagedSave& staged,
               std::string& error) {
  try {
    std::vector<FileToSave> files;
    return format.files(model, settings, path, notes, files, error) && staged.Write(files, error);
  } catch (const std::bad_alloc&) {
    error = "not enough memory to save " + path + " as " + format.title;
    return false;
  }
}

// Imports one file and, once the files its save writes are its own, writes
// them: they go in place with Place.
void ImportAndWrite(const Batch& batch, const Job& job, std::size_t number,
                    const std::string& output, Settling& settling, Converted& converted) {
  const ConvertSettings& settings = batch.settings;
  std::string& lines = converted.lines;
  const PluginImport imported = ImportThroughPlugin(batch.plugin, job.input, batch.memoryLimit);
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
  settling.Now();
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
  auto staged = std::make_unique<StagedSave>();
  if (!WriteSave(model, *settings.to, save, output, notes, *staged, error)) {
    lines += FileLine(job.input, error);
    return;
  }
  converted.staged = std::move(staged);
  converted.input = job.input;
  // Values the format could not hold are the format's limit, not damage to
  // the file: said, but the file counts as converted. The levels every save
  // leaves out by default are said once for the batch, and file by file
  // with -v.
  std::string& placed = converted.placedLines;
  for (const std::string& line : notes.Lines()) {
    const Verbosity shown = line == notes.levelsLeftOut ? Verbosity::Verbose : Verbosity::Normal;
    if (CurrentVerbosity() >= shown) placed += FileLine(output, line);
  }
  converted.levelsLeftOut = !notes.levelsLeftOut.empty();
  if (!imported.Clean() || !imported.error.empty()) {
    if (!imported.error.empty()) placed += FileLine(job.input, imported.error);
    placed += FileLine(job.input, "saved what was read as " + output);
    converted.placedOutcome = kDamaged;
    return;
  }
  if (CurrentVerbosity() == Verbosity::Verbose)
    placed += FileLine(job.input, "converted to " + output);
  converted.placedOutcome = kConverted;
}

// Converts the file numbered `number` up to its save's files written; what
// is said about it goes into the result.
Converted ConvertFile(const Batch& batch, const Job& job, std::size_t number,
                      const std::vector<std::size_t>& sharedNames) {
  Converted converted;
  const std::string output = OutputPath(job, batch.settings);
  batch.claims.WaitFor(sharedNames);
  Settling settling(batch.claims, number);
  // Memory that runs out for one file leaves the next its chance.
  try {
    const std::vector<std::string> own = batch.settings.to->paths(nullptr, {}, output);
    const std::string replaced = batch.inputs.Replaced(own);
    if (!replaced.empty())
      converted.lines = FileLine(job.input, "cannot save " + output + ": " + replaced);
    else if (batch.claims.Earlier(number, own))
      converted.lines = FileLine(job.input, output + " is already the output of an earlier file");
    else if (MakeFolderOf(output, converted.lines))
      ImportAndWrite(batch, job, number, output, settling, converted);
  } catch (const std::bad_alloc&) {
    converted.staged.reset();
    converted.outcome = kFailed;
    converted.lines += FileLine(job.input, "not enough memory to convert it");
  }
  return converted;
}

// Puts a written save in place: flushed to the disk and renamed.
void Place(Converted& converted) {
  if (!converted.staged) return;
  std::string error;
  bool placed = false;
  try {
    placed = converted.staged->Place(error);
  } catch (const std::bad_alloc&) {
    error = "not enough memory to convert it";
  }
  converted.staged.reset();
  if (placed) {
    converted.lines += converted.placedLines;
    converted.outcome = converted.placedOutcome;
  } else {
    converted.lines += FileLine(converted.input, error);
  }
}

// The jobs of a batch: each takes the next file not yet taken, in the order
// given, converts it and writes its save; a placer of its own then waits for
// the disk and puts the save in place while the job goes on with its next
// file. What became of each file is left for the progress, which shows the
// files in the order given.
class Jobs {
 public:
  Jobs(const Batch& batch, const std::vector<Job>& files, unsigned count)
      : batch_(batch),
        files_(files),
        sharedNames_(SharedNames(Outputs(batch.settings, files))),
        results_(files.size()),
        finished_(files.size(), false) {
    // The threads wait for the lock until all are started and counted. A
    // job is started after its placer; fewer than asked (no thread to be
    // had) still get the batch done, and none converts it here, in Take.
    std::lock_guard<std::mutex> lock(mutex_);
    count = static_cast<unsigned>(std::min<std::size_t>(count, files.size()));
    for (unsigned n = 0; n < count; ++n) {
      try {
        threads_.emplace_back([this] { PlaceWritten(); });
        threads_.emplace_back([this] { Work(); });
        ++jobs_;
      } catch (const std::system_error&) {
        break;
      }
    }
  }
  ~Jobs() {
    next_.store(files_.size());
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  Jobs(const Jobs&) = delete;
  Jobs& operator=(const Jobs&) = delete;

  // What became of file `n`, once it is done; with no job running, it is
  // converted here.
  Converted Take(std::size_t n) {
    if (jobs_ == 0) {
      Converted converted = ConvertFile(batch_, files_[n], n, sharedNames_[n]);
      Place(converted);
      return converted;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return finished_[n]; });
    return std::move(results_[n]);
  }

 private:
  static std::vector<std::string> Outputs(const ConvertSettings& settings,
                                          const std::vector<Job>& files) {
    std::vector<std::string> outputs;
    for (const Job& job : files) outputs.push_back(OutputPath(job, settings));
    return outputs;
  }

  // A job: converts files and leaves their saves to the placers, no more
  // waiting than there are jobs, so each job holds at most one model and
  // one save written.
  void Work() {
    for (std::size_t n = next_++; n < files_.size(); n = next_++) {
      Converted converted = ConvertFile(batch_, files_[n], n, sharedNames_[n]);
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return written_.size() < jobs_ || stopping_; });
      written_.emplace_back(n, std::move(converted));
      changed_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++jobsDone_;
    changed_.notify_all();
  }

  void PlaceWritten() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !written_.empty() || jobsDone_ == jobs_ || stopping_; });
      if (written_.empty()) return;
      std::pair<std::size_t, Converted> next = std::move(written_.front());
      written_.pop_front();
      changed_.notify_all();
      lock.unlock();
      Place(next.second);
      lock.lock();
      results_[next.first] = std::move(next.second);
      finished_[next.first] = true;
      changed_.notify_all();
    }
  }

  const Batch& batch_;
  const std::vector<Job>& files_;
  const std::vector<std::vector<std::size_t>> sharedNames_;
  std::atomic<std::size_t> next_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::size_t, Converted>> written_;  // saves not yet placed
  std::vector<Converted> results_;
  std::vector<bool> finished_;
  std::size_t jobs_ = 0;
  std::size_t jobsDone_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

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

  // A save's own files are claimed in the order given before any job starts.
  OutputClaims claims(jobs.size());
  for (std::size_t n = 0; n < jobs.size(); ++n)
    claims.Claim(n, settings.to->paths(nullptr, {}, OutputPath(jobs[n], settings)));

  // The default memory limit is for all models at once: each job's model
  // gets its share. A limit given is each model's.
  const unsigned jobCount = settings.jobs != 0 ? settings.jobs : CoreCount();
  std::uint64_t memoryLimit = settings.memoryLimit;
  if (settings.memoryLimitOption->count() == 0 && memoryLimit != 0)
    memoryLimit /= std::min<std::uint64_t>(jobCount, std::max<std::size_t>(jobs.size(), 1));

  // The plug-in keeps nothing of a run in itself, and each thread answers
  // its own dialogs: one plug-in object serves every job.
  const Batch batch{settings, *module->Object(), inputs, claims, memoryLimit};
  PrepareSaves();

  const bool terminal = ::isatty(STDERR_FILENO) != 0 && CurrentVerbosity() != Verbosity::Quiet;
  ConvertProgress progress(std::cerr, terminal, terminal ? TerminalWidth() : 80, jobs.size());
  std::size_t counts[3] = {0, 0, unlisted.size()};
  std::size_t levelsLeftOut = 0;
  for (const std::string& line : unlisted) progress.Say(line);
  {
    Jobs running(batch, jobs, jobCount);
    for (std::size_t n = 0; n < jobs.size(); ++n) {
      progress.Start(jobs[n].input);
      const Converted converted = running.Take(n);
      ++counts[converted.outcome];
      if (converted.levelsLeftOut) ++levelsLeftOut;
      progress.Done(converted.lines);
    }
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
      "files of a folder keep their place under DIR. Files are converted side by side (-j), one\n"
      "model a job, and said of in the order given. One broken file never stops the batch;\n"
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
  command
      ->add_option("-j,--jobs", settings->jobs,
                   "Files converted side by side, one model each (default: one per core, " +
                       std::to_string(CoreCount()) + " here)")
      ->type_name("N")
      ->check(CLI::Range(1u, 256u).description(""));
  AddSaveOptions(*command, settings->save);
  AddPluginOption(*command, settings->plugin);
  settings->memoryLimitOption =
      AddMemoryLimitOption(*command, settings->memoryLimit,
                           ", shared by the jobs (a limit given is each model's)");
  return {command, [settings] { return RunConvert(*settings); }};
}
