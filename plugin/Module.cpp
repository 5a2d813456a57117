// What the module shows the outside: the factory the host looks up by name,
// and on Windows the entry point the system calls on loading and unloading.
#include <new>

#include "MeshImportPlugIn.h"

extern "C" PlugIn* CreatePlugIn() { return new (std::nothrow) MeshImportPlugIn(); }

#if defined(_WIN32)
#  include <windows.h>

// The module has no global state: nothing to set up or tear down.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
