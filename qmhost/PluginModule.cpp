#include "PluginModule.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "SafeSave.h"

PluginModule::PluginModule(const std::string& path) {
  // The loader opens the file itself, and would wait forever on a FIFO: only
  // a regular file is handed to it. (A name without a slash is the loader's
  // to look for in its own folders.)
  struct stat status;
  if (path.find('/') != std::string::npos && ::stat(path.c_str(), &status) == 0 &&
      !S_ISREG(status.st_mode)) {
    error_ = "cannot load the plug-in module " + path + ": it is " + FileKindName(status.st_mode) +
             ", not a regular file";
    return;
  }
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error_ = "cannot load the plug-in module " + path + (reason ? ": " + std::string(reason) : "");
    return;
  }
  using Factory = PlugIn* (*)();
  auto create = reinterpret_cast<Factory>(dlsym(handle_, "CreatePlugIn"));
  if (create == nullptr) {
    error_ = path + " is no plug-in module: it does not export CreatePlugIn";
    return;
  }
  object_ = create();
  if (object_ == nullptr) error_ = path + ": CreatePlugIn gave no object";
}

PluginModule::~PluginModule() {
  delete object_;
  if (handle_ != nullptr) dlclose(handle_);
}

std::string DefaultPluginPath() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string folder = ".";
  if (length > 0) {
    std::string exe(self, static_cast<size_t>(length));
    const size_t slash = exe.find_last_of('/');
    if (slash != std::string::npos) folder = exe.substr(0, slash);
  }
  return folder + "/qmMSH2030Vimporter.so";
}
