// Importing files one after another through a loaded plug-in, as the host
// does when its user picks the plug-in's menu entry once per file: a fresh
// model each time, the open-file dialog answered with the file, and the
// plug-in's message boxes kept rather than shown.
#ifndef QMHOST_PLUGINIMPORT_H
#define QMHOST_PLUGINIMPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PlugIn.h"
#include "PluginModule.h"
#include "WinDialogs.h"
#include "qmModelRead.h"

// While it lives, the plug-in's open-file dialog answers `answer` and its
// message boxes are kept instead of shown.
class AnsweredDialogs {
 public:
  explicit AnsweredDialogs(std::string answer);
  ~AnsweredDialogs();
  AnsweredDialogs(const AnsweredDialogs&) = delete;
  AnsweredDialogs& operator=(const AnsweredDialogs&) = delete;

  const std::vector<std::string>& Messages() const { return messages_; }
  std::vector<std::string> TakeMessages() { return std::move(messages_); }
  // Whether the dialog gave the plug-in its path; false when it was not
  // asked, or the path is empty or too long for the plug-in's buffer (the
  // dialog then returns 0, as a cancel).
  bool Answered() const { return answered_; }

 private:
  static int OpenFile(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context);
  static void Message(const char* text, const char* caption, UINT type, void* context);

  std::string answer_;
  std::vector<std::string> messages_;
  bool answered_ = false;
};

// The plug-in's one message when it could not open or load the file it was
// given: the model is untouched, nothing was read.
extern const char kCouldNotOpenMessage[];
bool PluginReadNothing(const std::vector<std::string>& messages);
// "PATH: REASON" for a file the plug-in could not read.
std::string WhyNotRead(const std::string& path);

struct PluginImport {
  qmModelPtr model;                   // null when nothing was read
  std::string error;                  // why the file could not be imported; empty otherwise
  // The plug-in's message boxes, in order, and last a note when the model
  // reached its memory limit (MemoryLimitNote).
  std::vector<std::string> messages;
};

// Runs `plugin` on a new model, which may hold `memoryLimit` bytes (0: no
// limit), with `path` as the dialog's answer. A file that can't be read (missing, no regular file, 2 GiB or more, a path too
// long for the dialog, or one the plug-in could not open) gives `error`
// (naming the file and the reason) and no model; it is never opened when its
// type shows it can't be read, so a FIFO does not block. A damaged file gives
// the model that was built and the plug-in's messages.
PluginImport ImportThroughPlugin(PlugIn& plugin, const std::string& path,
                                 std::uint64_t memoryLimit = 0);

// Loads the plug-in module at `path` and checks that it is an import plug-in;
// on failure returns null with `error` set to one sentence.
PlugIn* LoadImportPlugin(PluginModule& module, const std::string& path, std::string& error);

#endif  // QMHOST_PLUGINIMPORT_H
