// The interface the host knows a plug-in by: four virtual operations, in this
// slot order. The host calls them through the object's virtual table, so their
// order and number must not change.
#ifndef QM_PLUGIN_PLUGIN_H
#define QM_PLUGIN_PLUGIN_H

#include "qmModelLib.h"

class PlugIn {
 public:
  virtual ~PlugIn() {}
  // 1 for an import plug-in.
  virtual int PlugInKind() = 0;
  // The NUL-terminated title the host lists the plug-in under.
  virtual char* MenuTitle() = 0;
  // Does the plug-in's job on the host's model: -1 without a model, else 0.
  virtual int Run(qmModel* model) = 0;
};

#endif  // QM_PLUGIN_PLUGIN_H
