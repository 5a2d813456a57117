// What qmhost tells the user, in one style, on standard error: a line
// "qmhost: FILE: what happened" (or "qmhost: what happened" when no file is
// concerned), the plug-in's message boxes quoted as its own:
//
//   qmhost: ship.msh: No such file or directory
//   qmhost: cut.msh: "The file is damaged or incomplete: ..."
//
// Files are shown with ShownPath and the plug-in's text with ShownName, so no
// byte of either reaches the terminal as a control character. Standard output
// carries only a command's result.
#ifndef QMHOST_MESSAGES_H
#define QMHOST_MESSAGES_H

#include <string>

enum class Verbosity {
  Quiet,    // -q: errors only
  Normal,   // errors and notes
  Verbose,  // -v: also what went well, file by file
};

// The verbosity the command line set; Normal until it sets one.
Verbosity CurrentVerbosity();
void SetVerbosity(Verbosity verbosity);

// The lines, each with its end.
std::string MessageLine(const std::string& text);
std::string FileLine(const std::string& file, const std::string& text);
// The plug-in's message box `text` about `file`: qmhost: FILE: "text".
std::string PluginLine(const std::string& file, const std::string& text);

// Writes a line to standard error: an error always, a note unless quiet, a
// detail only when verbose.
void Error(const std::string& line);
void Note(const std::string& line);
void Detail(const std::string& line);

// The name standard input goes by in messages, for the file "-".
extern const char kStandardInputName[];
// `path` as messages name it: the path, or kStandardInputName for "-".
std::string InputName(const std::string& path);

#endif  // QMHOST_MESSAGES_H
