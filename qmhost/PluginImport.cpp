#include "PluginImport.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "InputFiles.h"
#include "MemoryLimit.h"

namespace {

// The plug-in's dialog buffer: 255 characters and the NUL.
constexpr std::size_t kDialogPathCapacity = 256;

}  // namespace

const char kCouldNotOpenMessage[] = "Couldn't open the file";

bool PluginReadNothing(const std::vector<std::string>& messages) {
  return std::find(messages.begin(), messages.end(), kCouldNotOpenMessage) != messages.end();
}

std::string WhyNotRead(const std::string& path) {
  const std::string problem = InputProblem(path);
  return path + ": " +
         (problem.empty() ? "the plug-in could not load it (no memory for it, or it changed "
                            "while it was read)"
                          : problem);
}

AnsweredDialogs::AnsweredDialogs(std::string answer) : answer_(std::move(answer)) {
  qmWinDialogs_SetHandlers(&AnsweredDialogs::OpenFile, &AnsweredDialogs::Message, this);
}

AnsweredDialogs::~AnsweredDialogs() { qmWinDialogs_SetHandlers(nullptr, nullptr, nullptr); }

int AnsweredDialogs::OpenFile(const OPENFILENAMEA* ofn, char* path, DWORD capacity,
                              void* context) {
  auto* self = static_cast<AnsweredDialogs*>(context);
  const std::string& answer = self->answer_;
  if (answer.empty() || answer.size() >= capacity || answer.size() >= ofn->nMaxFile) return 0;
  std::memcpy(path, answer.c_str(), answer.size() + 1);
  self->answered_ = true;
  return 1;
}

void AnsweredDialogs::Message(const char* text, const char*, UINT, void* context) {
  static_cast<AnsweredDialogs*>(context)->messages_.emplace_back(text != nullptr ? text : "");
}

PluginImport ImportThroughPlugin(PlugIn& plugin, const std::string& path,
                                 std::uint64_t memoryLimit) {
  PluginImport result;
  if (path.size() >= kDialogPathCapacity) {
    result.error = path + ": the path is longer than the " +
                   std::to_string(kDialogPathCapacity - 1) +
                   " characters the plug-in's dialog takes";
    return result;
  }
  // The plug-in only says "Couldn't open the file"; asking first gives the
  // reason, and keeps what can't be read (a FIFO, a device) from the plug-in.
  const std::string problem = InputProblem(path);
  if (!problem.empty()) {
    result.error = path + ": " + problem;
    return result;
  }

  result.model.reset(qmModel_Create());
  qmModel_SetMemoryLimit(result.model.get(), memoryLimit);
  AnsweredDialogs dialogs(path);
  const int returned = plugin.Run(result.model.get());
  result.messages = dialogs.TakeMessages();
  // Nothing was read: no model to save, whatever the file turned into since
  // it was asked about.
  if (!dialogs.Answered() || PluginReadNothing(result.messages)) {
    result.model.reset();
    result.error = dialogs.Answered() ? WhyNotRead(path)
                                      : path + ": the plug-in's dialog did not take the path";
    return result;
  }
  const std::string limitNote = MemoryLimitNote(result.model.get(), memoryLimit);
  if (!limitNote.empty()) result.messages.push_back(limitNote);
  if (returned != 0)
    result.error = path + ": the plug-in's run returned " + std::to_string(returned);
  return result;
}

PlugIn* LoadImportPlugin(PluginModule& module, const std::string& path, std::string& error) {
  PlugIn* plugin = module.Object();
  if (plugin == nullptr) {
    error = module.Error();
    return nullptr;
  }
  if (plugin->PlugInKind() != 1) {
    error = path + " is not an import plug-in (kind " + std::to_string(plugin->PlugInKind()) + ")";
    return nullptr;
  }
  return plugin;
}
