// qmhost: a stand-in for the modelling application that runs the import
// plug-in on any machine and saves what it builds.

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "FileOutput.h"
#include "ImportCommand.h"
#include "PluginModule.h"
#include "ToolCommands.h"

#ifndef QMHOST_VERSION
#  define QMHOST_VERSION "unknown"
#endif

namespace {

int RunCommand(int argc, char** argv) {
  CLI::App app{"qmhost: runs the Velun 2030V mesh import plug-in and saves the model it builds."};
  app.set_version_flag("--version", "qmhost " QMHOST_VERSION);
  app.require_subcommand(1);

  ImportOptions import;
  std::string file;
  std::string output;
  import.plugin = DefaultPluginPath();
  CLI::App* importCommand =
      app.add_subcommand("import", "Import a .msh file; print its structure or save it");
  importCommand->footer(
      "Runs the plug-in as the host does and prints the model's structure, or saves it with -o.\n"
      "Without FILE, the plug-in's open-file dialog asks on the terminal.\n\n"
      "Exit status: 0 clean, 1 the plug-in showed a message (file missing or damaged), the\n"
      "save failed, or the dialog was cancelled with -o, 2 usage error or a module that can't\n"
      "be loaded.");
  importCommand->add_option("FILE", file, "The .msh file to import");
  importCommand->add_option("-o,--output", output,
                            "Save the model to OUT, in the format of its extension: .json (qmhost "
                            "model), .glb, .gltf (glTF 2.0) or .obj (with its .mtl beside it)");
  importCommand->add_flag("--flat", import.flat,
                          "glTF: save the meshes as a plain list of nodes in model order rather "
                          "than as the tree of groups, detail levels and hardpoints");
  importCommand->add_option("--plugin", import.plugin, "The plug-in module to load")
      ->capture_default_str();
  std::string memoryLimit;
  AddMemoryLimitOption(*importCommand, memoryLimit);

  ToolCommands tools(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kExitUsage;
  }

  if (importCommand->parsed()) {
    if (!file.empty()) import.file = file;
    if (!output.empty()) import.output = output;
    import.memoryLimit = MemoryLimitOf(memoryLimit);
    return RunImportCommand(import);
  }
  if (const std::optional<int> status = tools.Run()) return *status;
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // A file grown past the size limit (ulimit -f) is a failed write, told as
  // one ("File too large"), rather than a signal that ends the batch.
  ::signal(SIGXFSZ, SIG_IGN);

  // Standard output through a buffer that remembers why a write failed:
  // `qmhost import x.msh > /dev/full` must not end with 0. On a terminal every
  // output is shown at once, as the prompt of the open-file dialog needs.
  FileOutput out(STDOUT_FILENO, 1 << 16);
  std::streambuf* const standard = std::cout.rdbuf(&out);
  if (::isatty(STDOUT_FILENO)) std::cout << std::unitbuf;

  int status;
  try {
    status = RunCommand(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "qmhost: not enough memory\n";
    status = kExitMessage;
  }

  std::cout.flush();
  out.Flush();
  std::cout.rdbuf(standard);
  if (out.Error() != 0) {
    std::cerr << "qmhost: cannot write to standard output: " << std::strerror(out.Error()) << '\n';
    if (status == kExitClean) status = kExitMessage;
  }
  return status;
}
