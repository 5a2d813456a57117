// The interface the host knows a plug-in by: four virtual operations, in this
// slot order. The host calls them through the object's virtual table, so their
// order and number must not change.
#ifndef QM_PLUGIN_PLUGIN_H
#define QM_PLUGIN_PLUGIN_H

#include "qmModelLib.h"

// The host is built with Microsoft's compiler, which passes `this` to member
// functions in ECX on 32-bit x86 and has the callee pop the arguments. GCC for
// MinGW does the same by default; the attribute says so where the host
// depends on it.
#if defined(__MINGW32__) && defined(__i386__)
#  define QM_THISCALL __thiscall
#else
#  define QM_THISCALL
#endif

class PlugIn {
#if defined(__MINGW32__)
  // Slot 0 as Microsoft's compiler lays it out for a virtual destructor: one
  // deleting destructor that takes flags (bit 0: free the memory too) and
  // returns the object's address. GCC would give the destructor two slots
  // here and move every later operation down a slot for the host, so in this
  // build slot 0 is this ordinary virtual function, and the destructor is
  // declared last: its two slots follow the host's four, where the host never
  // looks. Virtual functions take their slots in the order of declaration.
  virtual void* QM_THISCALL DeletingDestructor(unsigned flags) final;
#endif

 public:
#if !defined(__MINGW32__)
  virtual ~PlugIn() {}
#endif
  // 1 for an import plug-in.
  virtual int QM_THISCALL PlugInKind() = 0;
  // The NUL-terminated title the host lists the plug-in under.
  virtual char* QM_THISCALL MenuTitle() = 0;
  // Does the plug-in's job on the host's model: -1 without a model, else 0.
  virtual int QM_THISCALL Run(qmModel* model) = 0;
#if defined(__MINGW32__)
  // Still virtual, so `delete` through a PlugIn* works as in other builds.
  virtual ~PlugIn() {}
#endif
};

#if defined(__MINGW32__)
inline void* QM_THISCALL PlugIn::DeletingDestructor(unsigned flags) {
  void* self = this;
  if (flags & 1u) {
    delete this;
  } else {
    this->~PlugIn();
  }
  return self;
}
#endif

#endif  // QM_PLUGIN_PLUGIN_H
