#include "Messages.h"

#include <iostream>

#include "ShownText.h"

namespace {

Verbosity g_verbosity = Verbosity::Normal;

}  // namespace

Verbosity CurrentVerbosity() { return g_verbosity; }
void SetVerbosity(Verbosity verbosity) { g_verbosity = verbosity; }

const char kStandardInputName[] = "(standard input)";

std::string InputName(const std::string& path) { return path == "-" ? kStandardInputName : path; }

std::string MessageLine(const std::string& text) { return "qmhost: " + TerminalSafe(text) + "\n"; }

std::string FileLine(const std::string& file, const std::string& text) {
  return MessageLine(ShownPath(InputName(file)) + ": " + text);
}

std::string PluginLine(const std::string& file, const std::string& text) {
  return FileLine(file, QuotedName(text));
}

void Error(const std::string& line) { std::cerr << line << std::flush; }

void Note(const std::string& line) {
  if (g_verbosity != Verbosity::Quiet) std::cerr << line << std::flush;
}

void Detail(const std::string& line) {
  if (g_verbosity == Verbosity::Verbose) std::cerr << line << std::flush;
}
