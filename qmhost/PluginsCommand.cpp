// `qmhost plugins`: the plug-in modules of a folder, as the host would list
// them: each shared library that exports CreatePlugIn, found without loading
// anything, is loaded and named with its kind and title.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>
#include <vector>

#include <CLI/CLI.hpp>

#include "Commands.h"
#include "ExitCodes.h"
#include "Messages.h"
#include "PluginModule.h"
#include "ShownText.h"

namespace fs = std::filesystem;

namespace {

std::string KindName(int kind) {
  return kind == 1 ? "import plug-in" : "plug-in of kind " + std::to_string(kind);
}

bool IsSharedLibraryName(const fs::path& path) {
  const std::string name = path.filename().string();
  return path.extension() == ".so" || name.find(".so.") != std::string::npos;
}

// Lists the plug-ins of one folder; the number found, or -1 when the folder
// can't be read.
int ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error))
    if (IsSharedLibraryName(entry->path())) names.push_back(entry->path().filename().string());
  if (error) {
    Error(FileLine(folder, "cannot list the folder: " + error.message()));
    return -1;
  }
  std::sort(names.begin(), names.end());

  int plugins = 0;
  for (const std::string& name : names) {
    const std::string path = (fs::path(folder) / name).string();
    // A library that is no plug-in is never loaded: its start-up code does
    // not run in qmhost.
    const std::string why = NoPluginModule(path);
    if (!why.empty()) {
      Detail(FileLine(path, "skipped: " + why));
      continue;
    }
    PluginModule module(path);
    if (PlugIn* plugin = module.Object()) {
      const char* title = plugin->MenuTitle();
      std::cout << ShownPath(path) << ": " << KindName(plugin->PlugInKind()) << ' '
                << QuotedName(title != nullptr ? title : "") << '\n';
      ++plugins;
    } else {
      Error(FileLine(path, "cannot load the plug-in module: " + module.Error()));
    }
  }
  return plugins;
}

int RunPlugins(const std::vector<std::string>& given) {
  const std::vector<std::string> folders = given.empty() ? PluginFolders() : given;
  int plugins = 0;
  bool unreadable = false;
  for (const std::string& folder : folders) {
    const int found = ListFolder(folder);
    unreadable = unreadable || found < 0;
    plugins += std::max(found, 0);
  }
  if (plugins == 0 && !unreadable) {
    std::string list;
    for (const std::string& folder : folders) list += (list.empty() ? "" : ", ") + folder;
    Error(MessageLine("no plug-in modules in " + list));
  }
  return plugins > 0 && !unreadable ? kExitClean : kExitFailure;
}

}  // namespace

Command AddPluginsCommand(CLI::App& app) {
  auto folders = std::make_shared<std::vector<std::string>>();
  CLI::App* command =
      app.add_subcommand("plugins", "List plug-in modules with their kind and title");
  command->footer(
      "Looks at the shared libraries (.so) in each DIR, by default qmhost's own folder and\n"
      "where an installed qmhost keeps its plug-in. A library that does not export CreatePlugIn\n"
      "is never loaded; -v says why each was skipped.\n\n"
      "Exit status: 0 a plug-in was found; 1 none was, or a folder can't be read.");
  command->add_option("DIR", *folders, "The folders to look in");
  return {command, [folders] { return RunPlugins(*folders); }};
}
