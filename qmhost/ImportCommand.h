// `qmhost import`: runs the plug-in on a fresh model as the host does.
#ifndef QMHOST_IMPORTCOMMAND_H
#define QMHOST_IMPORTCOMMAND_H

#include <cstdint>
#include <optional>
#include <string>

struct ImportOptions {
  std::optional<std::string> file;    // the dialog's answer; asked on the terminal if absent
  std::optional<std::string> output;  // save path; the tree goes to standard output if absent
  bool flat = false;                  // glTF: a plain list of nodes rather than the file's tree
  std::string plugin;                 // the plug-in module to load
  std::uint64_t memoryLimit = 0;      // the most memory the model may hold; 0: no limit
};

// Exit codes of the command.
enum ExitCode { kExitClean = 0, kExitMessage = 1, kExitUsage = 2 };

// Saving goes by the output's extension: .json (the qmhost model format),
// .glb, .gltf (glTF 2.0, buffer embedded) or .obj (with its .mtl beside it).
int RunImportCommand(const ImportOptions& options);

#endif  // QMHOST_IMPORTCOMMAND_H
