// The commands of qmhost. Each command's file adds it to the program's
// command line: its options fill one settings value, and one function does
// the work with it once the line is parsed. A new command is a file that
// defines its Add function, a line here and one in main.cpp.
#ifndef QMHOST_COMMANDS_H
#define QMHOST_COMMANDS_H

#include <functional>

namespace CLI {
class App;
}

struct Command {
  CLI::App* app = nullptr;   // the subcommand, to ask whether it was given
  std::function<int()> run;  // the work; returns the exit status (ExitCodes.h)
};

Command AddImportCommand(CLI::App& app);
Command AddConvertCommand(CLI::App& app);
Command AddCheckCommand(CLI::App& app);
Command AddRenderCommand(CLI::App& app);
Command AddPluginsCommand(CLI::App& app);

#endif  // QMHOST_COMMANDS_H
