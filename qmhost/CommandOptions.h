// The options that several commands share, each added by one function so
// that it means the same wherever it is given: the plug-in module, the
// memory limit, the save's settings and format, the detail level, and the
// program's -q and -v. A setting new to every save is added in AddSaveOptions
// and reaches import and convert at once.
#ifndef QMHOST_COMMANDOPTIONS_H
#define QMHOST_COMMANDOPTIONS_H

#include <cstdint>
#include <optional>
#include <string>

#include "SaveFormats.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

// -q/--quiet and -v/--verbose, for the program and every command (Messages.h).
void AddVerbosityOptions(CLI::App& app);

// --plugin MODULE, the module to load; `plugin` starts as DefaultPluginPath().
void AddPluginOption(CLI::App& command, std::string& plugin);

// --memory-limit SIZE, the most memory a model may hold; `limit` starts as
// DefaultMemoryLimit() and becomes the size given. `defaultNote` follows
// the default's size in the help.
CLI::Option* AddMemoryLimitOption(CLI::App& command, std::uint64_t& limit,
                                  const std::string& defaultNote = "");

// What the command line chose for a save: the settings, and which of the
// save's options it gave (SaveOption bits), so that an option a format has
// no use for is refused rather than ignored.
struct SaveChoices {
  SaveSettings settings;
  unsigned given = 0;
};

// The options of a save (SaveSettings): --flat, --up y|z, --level N|all,
// --level-files, --textures DIR (repeatable) and --no-textures.
void AddSaveOptions(CLI::App& command, SaveChoices& save);
// --to FORMAT, one of the table's names; `help` says what it chooses.
CLI::Option* AddFormatOption(CLI::App& command, const SaveFormat*& format, const std::string& help);
// A usage error (said on standard error) when `save` gives an option that
// `format` does not honour; false then.
bool FormatTakesSettings(const SaveFormat& format, const SaveChoices& save);
// The first save option given ("--flat", "--level", ...), for a message;
// empty when none was.
std::string GivenSaveOption(const SaveChoices& save);

// --level N|all, the detail level of each group; "all" sets
// SaveSettings::kAllLevels.
CLI::Option* AddLevelOption(CLI::App& command, int& level, const std::string& help);

#endif  // QMHOST_COMMANDOPTIONS_H
