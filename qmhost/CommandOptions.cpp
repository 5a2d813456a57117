#include "CommandOptions.h"

#include <CLI/CLI.hpp>

#include "MemoryLimit.h"
#include "Messages.h"
#include "PluginModule.h"

void AddVerbosityOptions(CLI::App& app) {
  app.add_flag_callback(
      "-q,--quiet", [] { SetVerbosity(Verbosity::Quiet); }, "Say nothing but errors");
  app.add_flag_callback(
      "-v,--verbose", [] { SetVerbosity(Verbosity::Verbose); },
      "Also say what went well, file by file, and which plug-in was loaded");
}

void AddPluginOption(CLI::App& command, std::string& plugin) {
  plugin = DefaultPluginPath();
  command.add_option("--plugin", plugin, "The plug-in module to load")
      ->type_name("MODULE")
      ->capture_default_str();
}

void AddMemoryLimitOption(CLI::App& command, std::uint64_t& limit) {
  limit = DefaultMemoryLimit();
  command
      .add_option_function<std::string>(
          "--memory-limit", [&limit](const std::string& text) { ParseMemorySize(text, limit); },
          "The most memory the model may hold, e.g. 512M or 2G (K, M, G, T: powers of 1024); "
          "past it the import stops with what was read. Default: half the memory of the "
          "machine or of qmhost's control group, if lower: " +
              (limit == 0 ? std::string("none") : MemorySizeText(limit)))
      ->check(CLI::Validator(
          [](std::string& value) {
            std::uint64_t bytes = 0;
            return ParseMemorySize(value, bytes)
                       ? std::string()
                       : "expected a size above 0 in bytes, or with K, M, G or T, e.g. 512M "
                         "or 2G";
          },
          ""))
      ->type_name("SIZE");
}

void AddSaveOptions(CLI::App& command, SaveSettings& settings) {
  command.add_flag("--flat", settings.flat,
                   "glTF: save the meshes as a plain list of nodes in model order rather than as "
                   "the tree of groups, detail levels and hardpoints");
}

CLI::Option* AddFormatOption(CLI::App& command, const SaveFormat*& format,
                             const std::string& help) {
  std::string formats;
  std::vector<std::string> names;
  for (const SaveFormat& each : SaveFormats()) {
    formats += std::string("\n  ") + each.name + ": " + each.help;
    names.emplace_back(each.name);
  }
  return command
      .add_option_function<std::string>(
          "--to", [&format](const std::string& name) { format = FormatNamed(name); },
          help + ":" + formats)
      ->type_name("FORMAT")
      ->transform(CLI::IsMember(names, CLI::ignore_case).description(""));
}

bool FormatTakesSettings(const SaveFormat& format, const SaveSettings& settings) {
  if (settings.flat && (format.options & kSaveFlat) == 0) {
    Error(MessageLine(std::string("--flat shapes glTF's nodes; ") + format.title +
                      " has no such choice"));
    return false;
  }
  return true;
}

void AddLevelOption(CLI::App& command, int& level, const std::string& help) {
  command.add_option("--level", level, help)
      ->type_name("N")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
}
