// `qmhost convert`: many files through the plug-in in one go, each saved in
// one format, with progress on standard error and a closing summary.
#ifndef QMHOST_CONVERTCOMMAND_H
#define QMHOST_CONVERTCOMMAND_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ConvertOptions {
  std::vector<std::string> files;
  std::string to = "glb";             // glb, gltf, obj or json
  std::optional<std::string> folder;  // where the outputs go; beside each input if absent
  std::string plugin;                 // the plug-in module to load
  std::uint64_t memoryLimit = 0;      // the most memory each model may hold; 0: no limit
};

// Converts every file, whatever happens to the others: file.msh becomes
// FOLDER/file.EXT. Returns 0 when every file converted cleanly, 1 when a file
// was damaged (converted with a message) or failed, 2 for a usage error or a
// module that can't be loaded.
int RunConvertCommand(const ConvertOptions& options);

#endif  // QMHOST_CONVERTCOMMAND_H
