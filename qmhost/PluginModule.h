// Loading a plug-in module as the host does: by path, through its exported
// factory CreatePlugIn.
#ifndef QMHOST_PLUGINMODULE_H
#define QMHOST_PLUGINMODULE_H

#include <memory>
#include <string>

#include "PlugIn.h"

class PluginModule {
 public:
  // Loads the module and creates its plug-in object; on failure `Error()`
  // says what went wrong and `Object()` is null.
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

// The plug-in module built beside the running program.
std::string DefaultPluginPath();

#endif  // QMHOST_PLUGINMODULE_H
