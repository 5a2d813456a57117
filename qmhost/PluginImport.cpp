#include "PluginImport.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "MemoryLimit.h"

namespace {

// The plug-in's dialog buffer: 255 characters and the NUL.
constexpr std::size_t kDialogPathCapacity = 256;

}  // namespace

AnsweredDialogs::AnsweredDialogs(std::string answer) : answer_(std::move(answer)) {
  qmWinDialogs_SetHandlers(&AnsweredDialogs::OpenFile, &AnsweredDialogs::Message, this);
}

AnsweredDialogs::~AnsweredDialogs() { qmWinDialogs_SetHandlers(nullptr, nullptr, nullptr); }

int AnsweredDialogs::OpenFile(const OPENFILENAMEA*, char* path, DWORD capacity, void* context) {
  const std::string& answer = static_cast<AnsweredDialogs*>(context)->answer_;
  if (answer.size() >= capacity) return 0;
  std::memcpy(path, answer.c_str(), answer.size() + 1);
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
  // reason.
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    result.error = path + ": " + std::strerror(errno);
    return result;
  }
  if (S_ISDIR(status.st_mode)) {
    result.error = path + ": is a folder";
    return result;
  }
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    result.error = path + ": " + std::strerror(errno);
    return result;
  }

  result.model.reset(qmModel_Create());
  qmModel_SetMemoryLimit(result.model.get(), memoryLimit);
  AnsweredDialogs dialogs(path);
  const int returned = plugin.Run(result.model.get());
  result.messages = dialogs.TakeMessages();
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
