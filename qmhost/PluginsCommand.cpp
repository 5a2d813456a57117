#include "PluginsCommand.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "ImportCommand.h"
#include "PluginModule.h"

namespace fs = std::filesystem;

namespace {

std::string KindName(int kind) {
  return kind == 1 ? "import plug-in" : "plug-in of kind " + std::to_string(kind);
}

}  // namespace

std::string ProgramFolder() { return fs::path(DefaultPluginPath()).parent_path().string(); }

int RunPluginsCommand(const std::string& folder, std::ostream& out) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const fs::path& path = entry->path();
    if (path.extension() == ".so" && !entry->is_directory()) names.push_back(path.filename());
  }
  if (error) {
    std::cerr << "qmhost: cannot list " << folder << ": " << error.message() << '\n';
    return kExitMessage;
  }
  std::sort(names.begin(), names.end());

  int plugins = 0;
  for (const std::string& name : names) {
    // With a slash the loader takes the path as it stands, rather than
    // searching its library folders for the name.
    const std::string path = (fs::path(folder) / name).string();
    PluginModule module(path.find('/') == std::string::npos ? "./" + path : path);
    out << name << ": ";
    if (PlugIn* plugin = module.Object()) {
      const char* title = plugin->MenuTitle();
      out << KindName(plugin->PlugInKind()) << " \"" << (title != nullptr ? title : "") << "\"\n";
      ++plugins;
    } else {
      out << "not loaded: " << module.Error() << '\n';
    }
  }
  if (plugins == 0) out << "no plug-in modules in " << folder << '\n';
  return plugins > 0 ? kExitClean : kExitMessage;
}
