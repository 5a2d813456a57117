#include "TerminalDialog.h"

#include <editline/readline.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "SafeSave.h"
#include "ShownText.h"

namespace {

bool HasExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

// Why `path` is no file the dialog can return; empty when it is one.
std::string WhyNotAFile(const std::string& path) {
  struct stat s;
  if (::stat(path.c_str(), &s) != 0) return "no such file";
  if (S_ISREG(s.st_mode)) return std::string();
  return std::string("it is ") + FileKindName(s.st_mode) + ", not a regular file";
}

bool IsFolder(const std::string& path) {
  struct stat s;
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

// How a line was read.
enum class LineRead {
  Line,     // the line, without its end
  TooLong,  // longer than the limit; read to its end and dropped
  Endless,  // no end within the limit and kDrainLimit characters more; the rest is not read
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

// A line as a shell reads a word: a backslash takes the next character as
// it is (Tab's completion writes "two\ words.msh" for a space).
std::string Unescaped(const std::string& line) {
  std::string text;
  for (std::size_t n = 0; n < line.size(); ++n) {
    if (line[n] == '\\' && n + 1 < line.size()) ++n;
    text += line[n];
  }
  return text;
}

// A line edited on the terminal: nothing at the end of the input (Ctrl-D).
std::optional<std::string> EditLine(const char* prompt) {
  static const bool ready = [] {
    rl_instream = stdin;
    rl_outstream = stderr;
    // A path is one word, spaces and all; completion appends no space.
    rl_basic_word_break_characters = const_cast<char*>("");
    rl_completion_append_character = '\0';
    return rl_initialize() == 0;
  }();
  static_cast<void>(ready);
  char* text = readline(prompt);
  if (text == nullptr) return std::nullopt;
  std::string line = text;
  std::free(text);
  return line;
}

}  // namespace

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

std::string ExpandTilde(const std::string& path) {
  if (path.empty() || path[0] != '~') return path;
  // "~" alone is $HOME, as a shell has it; "~user" is that user's home.
  const char* home = std::getenv("HOME");
  if ((path.size() == 1 || path[1] == '/') && home != nullptr && *home != '\0')
    return home + path.substr(1);
  char* expanded = tilde_expand(const_cast<char*>(path.c_str()));
  if (expanded == nullptr) return path;
  std::string result = expanded;
  std::free(expanded);
  return result;
}

std::string AskForFile(const OPENFILENAMEA& ofn) {
  std::ostream& out = std::cerr;
  const std::size_t limit = ofn.nMaxFile;
  out << ShownName(ofn.lpstrTitle ? ofn.lpstrTitle : "Open") << '\n';
  for (const auto& [description, pattern] : FilterPairs(ofn.lpstrFilter))
    out << "  " << ShownName(description) << (pattern.empty() ? "" : "  " + ShownName(pattern))
        << '\n';
  const bool terminal = ::isatty(STDIN_FILENO) != 0;
  const char* const kPrompt = "File (empty to cancel): ";
  for (;;) {
    std::string line;
    LineRead read = LineRead::Line;
    if (terminal) {
      out << std::flush;
      const std::optional<std::string> edited = EditLine(kPrompt);
      if (!edited) {
        out << '\n';
        return std::string();
      }
      line = Unescaped(*edited);
      if (line.size() > limit) read = LineRead::TooLong;
    } else {
      out << kPrompt << std::flush;
      read = ReadBoundedLine(std::cin, limit, line);
      if (read == LineRead::End) return std::string();
      if (read == LineRead::Endless) {
        out << "\nThe answer has no end within " << limit + kDrainLimit << " characters.\n";
        return std::string();
      }
    }
    if (read == LineRead::TooLong) {
      out << "The path is longer than " << limit - 1 << " characters.\n";
      continue;
    }
    if (line.empty()) return std::string();
    if (line.find('\0') != std::string::npos) {
      out << "A path holds no NUL character.\n";
      continue;
    }
    line = ExpandTilde(line);
    if (IsFolder(line)) {
      out << ShownPath(line) << ": it is a folder; type a file in it (Tab completes).\n";
      continue;
    }
    if (!HasExtension(line) && ofn.lpstrDefExt != nullptr && *ofn.lpstrDefExt != '\0')
      line += std::string(".") + ofn.lpstrDefExt;
    const std::string problem = WhyNotAFile(line);
    if (line.size() >= limit) {
      out << ShownPath(line) << ": the path is longer than " << limit - 1 << " characters.\n";
    } else if ((ofn.Flags & OFN_FILEMUSTEXIST) && !problem.empty()) {
      out << ShownPath(line) << ": " << problem << ".\n";
    } else {
      return line;
    }
  }
}
