// What the module shows the outside: the factory the host looks up by name,
// and on Windows the entry point the system calls on loading and unloading.
#include <new>

#include "MeshImportPlugIn.h"

extern "C" PlugIn* CreatePlugIn() { return new (std::nothrow) MeshImportPlugIn(); }

#if defined(_WIN32)
#  include <windows.h>
#  include <commdlg.h>

#  include <cstddef>

// The open-file dialog gets the record in its first, smallest form,
// OPENFILENAME_SIZE_VERSION_400A: the record up to and with lpTemplateName.
// On 32-bit Windows that is 76 bytes. (The headers compute the macro with a
// null-pointer cast, which is no constant expression, so it is restated here.)
#  if !defined(_WIN64)
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "the first form of OPENFILENAMEA is 76 bytes on 32-bit Windows");
#  endif

// C linkage: the runtime's start-up code calls the entry point by this name.
// The module has no global state: nothing to set up or tear down.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
