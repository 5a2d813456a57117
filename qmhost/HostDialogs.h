// qmhost's answers to the plug-in's open-file dialog and message boxes: from
// the command line, or asked on the terminal.
#ifndef QMHOST_HOSTDIALOGS_H
#define QMHOST_HOSTDIALOGS_H

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "WinDialogs.h"

class HostDialogs {
 public:
  // With an answer, the open-file dialog returns it as it stands; without,
  // the dialog asks on `in`/`out`.
  HostDialogs(std::optional<std::string> answer, std::istream& in, std::ostream& out);
  ~HostDialogs();  // removes the handlers

  HostDialogs(const HostDialogs&) = delete;
  HostDialogs& operator=(const HostDialogs&) = delete;

  // The texts of the message boxes shown so far.
  const std::vector<std::string>& Messages() const { return messages_; }

  // The path the dialog gave the plug-in; nothing when it returned 0: the
  // user cancelled (an empty answer, the end of the input), or the path given
  // on the command line does not fit the plug-in's buffer (TooLong()).
  const std::optional<std::string>& Chosen() const { return chosen_; }
  bool TooLong() const { return tooLong_; }

 private:
  static int OpenFile(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context);
  static void Message(const char* text, const char* caption, UINT type, void* context);
  std::string AskOnTerminal(const OPENFILENAMEA& ofn);

  std::optional<std::string> answer_;
  std::istream& in_;
  std::ostream& out_;
  std::vector<std::string> messages_;
  std::optional<std::string> chosen_;
  bool tooLong_ = false;
};

// The filter pairs of a Windows file dialog's filter text, in order.
std::vector<std::pair<std::string, std::string>> FilterPairs(const char* filter);

#endif  // QMHOST_HOSTDIALOGS_H
