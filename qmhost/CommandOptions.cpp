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

CLI::Option* AddMemoryLimitOption(CLI::App& command, std::uint64_t& limit,
                                  const std::string& defaultNote) {
  limit = DefaultMemoryLimit();
  return command
      .add_option_function<std::string>(
          "--memory-limit", [&limit](const std::string& text) { ParseMemorySize(text, limit); },
          "The most memory the model may hold, e.g. 512M or 2G (K, M, G, T: powers of 1024); "
          "past it the import stops with what was read. Default: half the memory of the "
          "machine or of qmhost's control group, if lower: " +
              (limit == 0 ? std::string("none") : MemorySizeText(limit)) + defaultNote)
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

namespace {

// A detail level as the command line gives it: a number from 0, or "all".
bool ParseLevel(const std::string& text, int& level) {
  if (text == "all") {
    level = SaveSettings::kAllLevels;
    return true;
  }
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  level = value;
  return true;
}

// What each save option does, for the message that refuses it for a format.
struct SaveOptionText {
  SaveOption option;
  const char* does;
};
constexpr SaveOptionText kSaveOptionTexts[] = {
    {kSaveFlat, "--flat shapes glTF's nodes"},
    {kSaveUp, "--up turns the axes of glTF and OBJ"},
    {kSaveLevel, "--level picks the detail levels of glTF and OBJ"},
    {kSaveLevelFiles, "--level-files writes glTF's and OBJ's detail levels to files of their own"},
    {kSaveTextures, "--textures and --no-textures choose the images of glTF and OBJ"},
};

}  // namespace

void AddSaveOptions(CLI::App& command, SaveChoices& save) {
  SaveSettings& settings = save.settings;
  command.add_flag_callback(
      "--flat",
      [&save] {
        save.settings.flat = true;
        save.given |= kSaveFlat;
      },
      "glTF: save the meshes as a plain list of nodes in model order rather than as the tree of "
      "groups, detail levels and hardpoints");
  command
      .add_option_function<std::string>(
          "--up",
          [&save](const std::string& axis) {
            save.settings.up = axis == "z" ? UpAxis::Z : UpAxis::Y;
            save.given |= kSaveUp;
          },
          "glTF, OBJ: the axis that is up in the saved model: y (the default, as glTF defines "
          "it and OBJ readers assume: the file's +Z turned to +Y) or z (the file's own axes, for "
          "tools set up for +Z up)")
      ->type_name("y|z")
      ->transform(CLI::IsMember({"y", "z"}, CLI::ignore_case).description(""));
  CLI::Option* level =
      AddLevelOption(command, settings.level,
                     "glTF, OBJ: the detail level kept of each group (default 0); all keeps "
                     "every level in one file (glTF: MSFT_lod on each group's level 0)");
  level->each([&save](const std::string&) { save.given |= kSaveLevel; });
  // The options that exclude one another show their values alone beside
  // their names (option_text), not CLI11's "Excludes: ..." that pushes the
  // help to a line of its own: the help says it.
  level->option_text("N|all");
  command
      .add_flag_callback(
          "--level-files",
          [&save] {
            save.settings.levelFiles = true;
            save.given |= kSaveLevelFiles;
          },
          "glTF, OBJ: every detail level, each in a file of its own: level 0 with the markers at "
          "OUT, level N beside it as NAME.lodN.EXT (not with --level)")
      ->excludes(level)
      ->option_text(" ");
  CLI::Option* folders =
      command
          .add_option("--textures", settings.textureFolders,
                      "glTF, OBJ: a folder to look for textures in after the .msh file's own "
                      "(may be given more than once)")
          ->type_name("DIR")
          ->allow_extra_args(false)
          ->check(CLI::Validator(CLI::ExistingDirectory).description(""))
          ->each([&save](const std::string&) { save.given |= kSaveTextures; })
          ->option_text("DIR ...");
  command
      .add_flag_callback(
          "--no-textures",
          [&save] {
            save.settings.textures = false;
            save.given |= kSaveTextures;
          },
          "glTF, OBJ: no images, only the materials' colours (not with --textures)")
      ->excludes(folders)
      ->option_text(" ");
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

bool FormatTakesSettings(const SaveFormat& format, const SaveChoices& save) {
  for (const SaveOptionText& text : kSaveOptionTexts) {
    if ((save.given & text.option) == 0 || (format.options & text.option) != 0) continue;
    Error(MessageLine(std::string(text.does) + "; " + format.title + " has no such choice"));
    return false;
  }
  return true;
}

std::string GivenSaveOption(const SaveChoices& save) {
  if (save.given & kSaveFlat) return "--flat";
  if (save.given & kSaveUp) return "--up";
  if (save.given & kSaveLevel) return "--level";
  if (save.given & kSaveLevelFiles) return "--level-files";
  if (save.given & kSaveTextures) return save.settings.textures ? "--textures" : "--no-textures";
  return std::string();
}

CLI::Option* AddLevelOption(CLI::App& command, int& level, const std::string& help) {
  return command
      .add_option_function<std::string>(
          "--level", [&level](const std::string& text) { ParseLevel(text, level); }, help)
      ->type_name("N|all")
      ->check(CLI::Validator(
          [](std::string& text) {
            int value = 0;
            return ParseLevel(text, value) ? std::string()
                                           : "expected a level number from 0, or all";
          },
          ""));
}
