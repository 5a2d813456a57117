// The import plug-in: asks for a mesh file, loads it and rebuilds the host's
// model from it. Immutable after construction; nothing carries over between
// runs.
#ifndef QM_PLUGIN_MESHIMPORTPLUGIN_H
#define QM_PLUGIN_MESHIMPORTPLUGIN_H

#include "PlugIn.h"

class MeshImportPlugIn : public PlugIn {
 public:
  MeshImportPlugIn();
  ~MeshImportPlugIn() override;
  int PlugInKind() override;
  char* MenuTitle() override;
  int Run(qmModel* model) override;

 private:
  char title[64];
};

#if defined(_WIN32)
#  define QM_PLUGIN_EXPORT __declspec(dllexport)
#else
#  define QM_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// The module's one export: a new plug-in object, owned by the caller and
// destroyed through its virtual destructor; null when there is no memory.
extern "C" QM_PLUGIN_EXPORT PlugIn* CreatePlugIn();

#endif  // QM_PLUGIN_MESHIMPORTPLUGIN_H
