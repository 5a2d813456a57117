#include "PluginImport.h"

#include <algorithm>
#include <memory>

#include "ExitCodes.h"
#include "HostDialogs.h"
#include "InputFiles.h"
#include "MemoryLimit.h"
#include "Messages.h"
#include "SafeSave.h"

namespace {

// The plug-in's dialog buffer: 255 characters and the NUL.
constexpr std::size_t kDialogPathCapacity = 256;

bool PluginReadNothing(const std::vector<std::string>& messages) {
  return std::find(messages.begin(), messages.end(), kCouldNotOpenMessage) != messages.end();
}

}  // namespace

const char kCouldNotOpenMessage[] = "Couldn't open the file";

PluginImport ImportThroughPlugin(PlugIn& plugin, const std::optional<std::string>& file,
                                 std::uint64_t memoryLimit) {
  PluginImport result;
  std::optional<std::string> answer = file;
  std::unique_ptr<TemporaryFile> standardInput;
  if (file) {
    result.file = *file;
    if (*file == "-") {
      standardInput = KeepStandardInput(result.error);
      if (!standardInput) return result;
      answer = standardInput->Path();
    }
  }

  // The plug-in is run whatever the file, as a host runs it: it opens only a
  // regular file, without waiting, and shows its one message for any other.
  // qmhost then says why.
  qmModelPtr model(qmModel_Create());
  qmModel_SetMemoryLimit(model.get(), memoryLimit);
  HostDialogs dialogs(answer);
  const int returned = plugin.Run(model.get());
  result.messages = dialogs.TakeMessages();
  if (!dialogs.Chosen()) {
    if (dialogs.TooLong()) {
      result.error = "the path is longer than the " + std::to_string(kDialogPathCapacity - 1) +
                     " characters the plug-in's dialog takes";
    } else if (file) {
      result.error = "the plug-in's dialog did not take the path";
    } else {
      result.cancelled = true;
      result.error = "no file was chosen; nothing was imported";
    }
    return result;
  }
  if (!file) result.file = *dialogs.Chosen();
  // Nothing was read: no model to save, whatever the file turned into since
  // it was asked about.
  if (PluginReadNothing(result.messages)) {
    const std::string problem = standardInput ? std::string() : InputProblem(result.file);
    result.error = problem.empty() ? "the plug-in could not load it (no memory for it, or it "
                                     "changed while it was read)"
                                   : problem;
    return result;
  }
  result.limitNote = MemoryLimitNote(model.get(), memoryLimit);
  if (returned != 0) result.error = "the plug-in's run returned " + std::to_string(returned);
  result.model = std::move(model);
  return result;
}

int ReportImport(const PluginImport& imported, const std::string& nothingWritten) {
  for (const std::string& message : imported.messages) Error(PluginLine(imported.file, message));
  if (!imported.limitNote.empty()) Error(FileLine(imported.file, imported.limitNote));
  if (imported.cancelled) {
    // A cancel is the user's choice: a failure only when an output was asked for.
    if (nothingWritten.empty()) {
      Note(MessageLine(imported.error));
      return kExitClean;
    }
    Error(MessageLine(imported.error + nothingWritten));
    return kExitFailure;
  }
  if (!imported.error.empty()) {
    Error(FileLine(imported.file, imported.error + (imported.model ? "" : nothingWritten)));
    return kExitFailure;
  }
  return imported.Clean() ? kExitClean : kExitFailure;
}
