#include "HostDialogs.h"

#include <sys/stat.h>

#include <cstring>
#include <iostream>

#include "SafeSave.h"
#include "WinDialogs.h"

HostDialogs::HostDialogs(std::optional<std::string> answer, std::istream& in, std::ostream& out)
    : answer_(std::move(answer)), in_(in), out_(out) {
  qmWinDialogs_SetHandlers(&HostDialogs::OpenFile, &HostDialogs::Message, this);
}

HostDialogs::~HostDialogs() { qmWinDialogs_SetHandlers(nullptr, nullptr, nullptr); }

int HostDialogs::OpenFile(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context) {
  auto* self = static_cast<HostDialogs*>(context);
  const std::string chosen = self->answer_ ? *self->answer_ : self->AskOnTerminal(*ofn);
  if (chosen.empty()) return 0;
  // The plug-in's buffer is the limit, as in the Windows dialog, which
  // returns 0 for a path that does not fit.
  if (chosen.size() >= capacity || chosen.size() >= ofn->nMaxFile) {
    self->tooLong_ = true;
    return 0;
  }
  std::memcpy(path, chosen.c_str(), chosen.size() + 1);
  self->chosen_ = chosen;
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

std::string WhyNotAFile(const std::string& path) {
  struct stat s;
  if (stat(path.c_str(), &s) != 0) return "no such file";
  return std::string("it is ") + FileKindName(s.st_mode) + ", not a regular file";
}

bool HasExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

// How a line of at most `limit` characters was read from a terminal.
enum class LineRead {
  Line,     // `line` holds it, without its end
  TooLong,  // longer than `limit`; read to its end and dropped
  Endless,  // no end within `limit` and kDrainLimit characters more; the rest is not read
  End,      // the input ended before a character was read
};

constexpr std::size_t kDrainLimit = 1 << 16;

// However long a line is, no more than `limit` characters are kept, and at
// most kDrainLimit more are read looking for its end.
LineRead ReadBoundedLine(std::istream& in, std::size_t limit, std::string& line) {
  line.clear();
  std::size_t length = 0;
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    if (c == '\n') return length > limit ? LineRead::TooLong : LineRead::Line;
    if (++length <= limit)
      line += static_cast<char>(c);
    else if (length - limit > kDrainLimit)
      return LineRead::Endless;
  }
  if (length == 0) return LineRead::End;
  return length > limit ? LineRead::TooLong : LineRead::Line;
}

}  // namespace

// The terminal's open-file dialog: shows the title and the filters, appends
// the default extension to a name typed without one, insists that the file
// exists and fits the path buffer, and takes an empty answer as cancel. An
// answer is read no further than the buffer's size (an input without line
// ends, such as /dev/zero, cancels).
std::string HostDialogs::AskOnTerminal(const OPENFILENAMEA& ofn) {
  out_ << (ofn.lpstrTitle ? ofn.lpstrTitle : "Open") << '\n';
  for (const auto& [description, pattern] : FilterPairs(ofn.lpstrFilter))
    out_ << "  " << description << (pattern.empty() ? "" : "  " + pattern) << '\n';
  for (;;) {
    out_ << "File (empty to cancel): " << std::flush;
    std::string line;
    const LineRead read = ReadBoundedLine(in_, ofn.nMaxFile, line);
    if (read == LineRead::End || read == LineRead::Endless) {
      if (read == LineRead::Endless)
        out_ << "\nThe answer has no end within " << ofn.nMaxFile + kDrainLimit
             << " characters.\n";
      return std::string();
    }
    if (read == LineRead::Line && line.empty()) return std::string();
    if (read == LineRead::Line && line.find('\0') != std::string::npos) {
      out_ << "A path holds no NUL character.\n";
      continue;
    }
    if (read == LineRead::Line && !HasExtension(line) && ofn.lpstrDefExt != nullptr &&
        *ofn.lpstrDefExt != '\0')
      line += std::string(".") + ofn.lpstrDefExt;
    if (read == LineRead::TooLong) {
      out_ << "The path is longer than " << ofn.nMaxFile - 1 << " characters.\n";
    } else if (line.size() >= ofn.nMaxFile) {
      out_ << line << ": the path is longer than " << ofn.nMaxFile - 1 << " characters.\n";
    } else if ((ofn.Flags & OFN_FILEMUSTEXIST) && !IsExistingFile(line)) {
      out_ << line << ": " << WhyNotAFile(line) << ".\n";
    } else {
      return line;
    }
  }
}
