#include "ImportCommand.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "HostDialogs.h"
#include "ModelJson.h"
#include "ModelTree.h"
#include "PluginModule.h"
#include "qmModelRead.h"

namespace {

struct ModelDeleter {
  void operator()(qmModel* model) const { qmModel_Free(model); }
};
using ModelPtr = std::unique_ptr<qmModel, ModelDeleter>;

// Writes beside the target and renames into place, so a failed save leaves
// no half-written file and no clobbered old one.
bool SaveJson(qmModel* model, const std::string& path) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    WriteModelJson(model, out);
    out.flush();
    if (!out) {
      out.close();
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

int RunImportCommand(const ImportOptions& options) {
  PluginModule module(options.plugin);
  PlugIn* plugin = module.Object();
  if (plugin == nullptr) {
    std::cerr << "qmhost: " << module.Error() << '\n';
    return kExitUsage;
  }
  if (plugin->PlugInKind() != 1) {
    std::cerr << "qmhost: " << options.plugin << " is not an import plug-in (kind "
              << plugin->PlugInKind() << ")\n";
    return kExitUsage;
  }
  const char* title = plugin->MenuTitle();
  std::cout << "plug-in: " << (title != nullptr ? title : "") << '\n';

  ModelPtr model(qmModel_Create());
  HostDialogs dialogs(options.file, std::cin, std::cout);
  const int result = plugin->Run(model.get());
  if (result != 0) std::cerr << "qmhost: the plug-in's run returned " << result << '\n';

  if (options.output) {
    if (!SaveJson(model.get(), *options.output)) {
      std::cerr << "qmhost: cannot save " << *options.output << '\n';
      return kExitMessage;
    }
    std::cout << "saved " << *options.output << '\n';
  } else {
    PrintModelTree(model.get(), std::cout);
  }
  return dialogs.Messages().empty() ? kExitClean : kExitMessage;
}
