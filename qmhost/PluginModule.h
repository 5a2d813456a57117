// Plug-in modules as the host knows them: shared libraries that export the
// factory CreatePlugIn. A module is looked at first without being loaded (its
// ELF dynamic symbols, read with libelf), so that a file that is no plug-in
// never runs its start-up code in qmhost; only then is it loaded, by path,
// and its plug-in object made.
#ifndef QMHOST_PLUGINMODULE_H
#define QMHOST_PLUGINMODULE_H

#include <memory>
#include <string>
#include <vector>

#include "PlugIn.h"

// Why the file at `path` is no plug-in module this program can load, read
// without loading it; empty when it is one. E.g. "it is a FIFO, not a regular
// file", "it is no ELF file", "it is built for another machine", "it does not
// export CreatePlugIn". Opens nothing that could block.
std::string NoPluginModule(const std::string& path);

class PluginModule {
 public:
  // Loads the module and creates its plug-in object; on failure `Error()`
  // says why (naming no file) and `Object()` is null. Only a file that
  // NoPluginModule accepts is loaded.
  explicit PluginModule(const std::string& path);
  ~PluginModule();  // destroys the object through its virtual destructor, then unloads

  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  PlugIn* Object() const { return object_; }
  const std::string& Error() const { return error_; }
  void* Handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
  PlugIn* object_ = nullptr;
  std::string error_;
};

// Loads the import plug-in at `path`; when it can't, says why on standard
// error ("qmhost: PATH: cannot load the plug-in module: ...") and returns
// null, and the command ends with kExitUsage. -v names the plug-in loaded.
std::unique_ptr<PluginModule> LoadImportPlugin(const std::string& path);

// The folders qmhost looks for its plug-in in: its own folder, then where an
// installed qmhost keeps it (PROGRAM/../lib/qmhost), those that exist.
std::vector<std::string> PluginFolders();
// The plug-in module qmhost loads by default: the first folder's that holds it.
std::string DefaultPluginPath();

#endif  // QMHOST_PLUGINMODULE_H
