// qmhost's answers to the plug-in's open-file dialog and message boxes, for
// every command: the dialog returns the path given on the command line, or
// asks the user on the terminal (TerminalDialog.h); the message boxes are kept
// for the command to show.
#ifndef QMHOST_HOSTDIALOGS_H
#define QMHOST_HOSTDIALOGS_H

#include <optional>
#include <string>
#include <vector>

#include "WinDialogs.h"

class HostDialogs {
 public:
  // With an answer the open-file dialog returns it as it stands; without,
  // it asks on the terminal. Sets the handlers while it lives.
  explicit HostDialogs(std::optional<std::string> answer);
  ~HostDialogs();  // removes the handlers

  HostDialogs(const HostDialogs&) = delete;
  HostDialogs& operator=(const HostDialogs&) = delete;

  // The texts of the message boxes shown so far, in order.
  const std::vector<std::string>& Messages() const { return messages_; }
  std::vector<std::string> TakeMessages() { return std::move(messages_); }

  // The path the dialog gave the plug-in; nothing when it returned 0: the
  // user cancelled (an empty answer, the end of the input), the dialog was
  // never shown, or the path given does not fit the plug-in's buffer
  // (TooLong()).
  const std::optional<std::string>& Chosen() const { return chosen_; }
  bool TooLong() const { return tooLong_; }

 private:
  static int OpenFile(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context);
  static void Message(const char* text, const char* caption, UINT type, void* context);

  std::optional<std::string> answer_;
  std::vector<std::string> messages_;
  std::optional<std::string> chosen_;
  bool tooLong_ = false;
};

#endif  // QMHOST_HOSTDIALOGS_H
