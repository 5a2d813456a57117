#include "HostDialogs.h"

#include <sys/stat.h>

#include <cstring>
#include <iostream>

#include "WinDialogs.h"

HostDialogs::HostDialogs(std::optional<std::string> answer, std::istream& in, std::ostream& out)
    : answer_(std::move(answer)), in_(in), out_(out) {
  qmWinDialogs_SetHandlers(&HostDialogs::OpenFile, &HostDialogs::Message, this);
}

HostDialogs::~HostDialogs() { qmWinDialogs_SetHandlers(nullptr, nullptr, nullptr); }

int HostDialogs::OpenFile(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context) {
  auto* self = static_cast<HostDialogs*>(context);
  const std::string chosen = self->answer_ ? *self->answer_ : self->AskOnTerminal(*ofn);
  if (chosen.empty() || chosen.size() >= capacity) return 0;
  std::memcpy(path, chosen.c_str(), chosen.size() + 1);
  return 1;
}

void HostDialogs::Message(const char* text, const char*, UINT, void* context) {
  auto* self = static_cast<HostDialogs*>(context);
  self->messages_.emplace_back(text != nullptr ? text : "");
  std::cerr << self->messages_.back() << '\n';
}

std::vector<std::pair<std::string, std::string>> FilterPairs(const char* filter) {
  std::vector<std::pair<std::string, std::string>> pairs;
  while (filter != nullptr && *filter != '\0') {
    std::string description = filter;
    filter += description.size() + 1;
    std::string pattern = filter;
    filter += pattern.size() + 1;
    pairs.emplace_back(description, pattern);
    if (pattern.empty()) break;
  }
  return pairs;
}

namespace {

bool IsExistingFile(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

bool HasExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace

// The terminal's open-file dialog: shows the title and the filters, appends
// the default extension to a name typed without one, insists that the file
// exists and fits the path buffer, and takes an empty answer as cancel.
std::string HostDialogs::AskOnTerminal(const OPENFILENAMEA& ofn) {
  out_ << (ofn.lpstrTitle ? ofn.lpstrTitle : "Open") << '\n';
  for (const auto& [description, pattern] : FilterPairs(ofn.lpstrFilter))
    out_ << "  " << description << (pattern.empty() ? "" : "  " + pattern) << '\n';
  for (;;) {
    out_ << "File (empty to cancel): " << std::flush;
    std::string line;
    if (!std::getline(in_, line) || line.empty()) return std::string();
    if (!HasExtension(line) && ofn.lpstrDefExt != nullptr && *ofn.lpstrDefExt != '\0')
      line += std::string(".") + ofn.lpstrDefExt;
    if (line.size() >= ofn.nMaxFile) {
      out_ << line << ": the path is longer than " << ofn.nMaxFile - 1 << " characters.\n";
    } else if ((ofn.Flags & OFN_FILEMUSTEXIST) && !IsExistingFile(line)) {
      out_ << line << ": no such file.\n";
    } else {
      return line;
    }
  }
}
