// The commands of qmhost beyond `import`: convert, check, render and plugins,
// added to the program's command line and run from it.
#ifndef QMHOST_TOOLCOMMANDS_H
#define QMHOST_TOOLCOMMANDS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ConvertCommand.h"
#include "RenderCommand.h"

namespace CLI {
class App;
}

// Adds --memory-limit SIZE to `command`, its text into `text`.
void AddMemoryLimitOption(CLI::App& command, std::string& text);
// The limit the option's text gives, or DefaultMemoryLimit when it is empty.
std::uint64_t MemoryLimitOf(const std::string& text);

class ToolCommands {
 public:
  // Adds the subcommands and their options to `app`.
  explicit ToolCommands(CLI::App& app);

  // After parsing: the exit status of the command that was given, or nothing
  // when none of these was.
  std::optional<int> Run();

 private:
  CLI::App* convert_ = nullptr;
  CLI::App* check_ = nullptr;
  CLI::App* render_ = nullptr;
  CLI::App* plugins_ = nullptr;
  ConvertOptions convertOptions_;
  std::vector<std::string> checkFiles_;
  RenderOptions renderOptions_;
  std::string size_ = "800x600";
  std::string memoryLimit_;  // convert's or render's --memory-limit
  std::string pluginsFolder_;
};

#endif  // QMHOST_TOOLCOMMANDS_H
