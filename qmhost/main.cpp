// qmhost: a stand-in for the modelling application that runs the import
// plug-in on any machine and saves what it builds.

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "CommandOptions.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "FileOutput.h"
#include "Messages.h"

#ifndef QMHOST_VERSION
#  define QMHOST_VERSION "unknown"
#endif

namespace {

// The command the line names: its first word that is no option (the
// program's own options, -q, -v, --help and --version, take no value).
const char* CommandWord(int argc, char** argv) {
  for (int n = 1; n < argc; ++n)
    if (argv[n][0] != '-' || argv[n][1] == '\0') return argv[n];
  return nullptr;
}

std::string HelpOf(const CLI::App& app, const std::string& name) {
  return app.get_formatter()->make_help(&app, name, CLI::AppFormatMode::Normal);
}

int RunCommand(int argc, char** argv) {
  CLI::App app{"qmhost: runs the Velun 2030V mesh import plug-in and saves the model it builds."};
  app.name("qmhost");
  app.set_version_flag("--version", "qmhost " QMHOST_VERSION);
  app.footer(
      "qmhost help COMMAND, or qmhost COMMAND --help, tells more of a command. -q and -v go\n"
      "before or after the command.");
  AddVerbosityOptions(app);
  app.fallthrough();
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");

  const std::vector<Command> commands = {AddImportCommand(app), AddConvertCommand(app),
                                         AddCheckCommand(app), AddRenderCommand(app),
                                         AddPluginsCommand(app)};
  std::string names;
  for (const Command& command : commands) command.app->group("Commands");
  const auto named = [&](const std::string& word) -> const Command* {
    for (const Command& command : commands) {
      if (command.app->get_name() == word) return &command;
    }
    return nullptr;
  };
  for (const Command& command : commands)
    names += (names.empty() ? "" : ", ") + command.app->get_name();

  // A first word that is no command is named, with the commands there are;
  // `qmhost help [COMMAND]` is the help, as many programs have it.
  if (const char* word = CommandWord(argc, argv)) {
    const std::string first = word;
    if (first == "help") {
      const char* about = nullptr;
      for (int n = 1; n + 1 < argc; ++n)
        if (argv[n] == word) about = argv[n + 1];
      if (about == nullptr) {
        std::cout << HelpOf(app, "qmhost");
        return kExitClean;
      }
      if (const Command* command = named(about)) {
        std::cout << HelpOf(*command->app, std::string("qmhost ") + about);
        return kExitClean;
      }
      Error(MessageLine(std::string("no command ") + about + "; the commands are " + names));
      return kExitUsage;
    }
    if (named(first) == nullptr) {
      Error(MessageLine("no command " + first + "; the commands are " + names +
                        " (qmhost --help tells more)"));
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    // CLI11's word, said as qmhost says everything, with where to read more.
    std::string where = "qmhost";
    for (const Command& command : commands)
      if (command.app->parsed()) where += " " + command.app->get_name();
    std::string text = error.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
      std::string extras;
      for (const std::string& extra : app.remaining(true)) extras += " " + extra;
      for (const Command& command : commands)
        for (const std::string& extra : command.app->remaining(true)) extras += " " + extra;
      text = "no such option or argument:" + extras;
    }
    Error(MessageLine((where == "qmhost" ? "" : where.substr(7) + ": ") + text + " (" + where +
                      " --help tells more)"));
    return kExitUsage;
  }
  for (const Command& command : commands)
    if (command.app->parsed()) return command.run();
  std::cerr << HelpOf(app, "qmhost");
  Error(MessageLine("a command is needed: " + names));
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // A file grown past the size limit (ulimit -f) is a failed write, told as
  // one ("File too large"), rather than a signal that ends the batch.
  ::signal(SIGXFSZ, SIG_IGN);

  // Standard output through a buffer that remembers why a write failed:
  // `qmhost import x.msh > /dev/full` must not end with 0. On a terminal every
  // output is shown at once.
  FileOutput out(STDOUT_FILENO, 1 << 16);
  std::streambuf* const standard = std::cout.rdbuf(&out);
  if (::isatty(STDOUT_FILENO)) std::cout << std::unitbuf;

  int status;
  try {
    status = RunCommand(argc, argv);
  } catch (const std::bad_alloc&) {
    Error(MessageLine("not enough memory"));
    status = kExitFailure;
  }

  std::cout.flush();
  out.Flush();
  std::cout.rdbuf(standard);
  if (out.Error() != 0) {
    Error(
        MessageLine(std::string("cannot write to standard output: ") + std::strerror(out.Error())));
    if (status == kExitClean) status = kExitFailure;
  }
  return status;
}
