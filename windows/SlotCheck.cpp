// qmslotcheck: loads the plug-in module and drives the plug-in object as the
// host does, by slot number in its virtual table, without this project's
// declaration of the class: LoadLibrary, GetProcAddress("CreatePlugIn"), the
// kind (slot 1), the title (slot 2), Run without a model (slot 3), and the
// deleting destructor with the flag that frees the object (slot 0).
//
//   qmslotcheck [path/to/qmMSH2030Vimporter.dll]
//
// Prints what each slot answered; exits 0 when every answer is the expected
// one. A module whose table has other slots in these places answers wrongly or
// crashes.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The host's calls: `this` first, in ECX on 32-bit x86, the rest on the stack
// for the callee to pop. GCC applies thiscall to plain function pointers too,
// and with -Wpedantic says that it is meant for members.
#if defined(__i386__)
#  define HOST_THISCALL __attribute__((thiscall))
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wattributes"
#else
#  define HOST_THISCALL
#endif

using AnyFunction = void (*)();
using CreateFunction = void* (*)();
using DeletingDestructorSlot = void*(HOST_THISCALL*)(void* self, unsigned flags);
using KindSlot = int(HOST_THISCALL*)(void* self);
using TitleSlot = char*(HOST_THISCALL*)(void* self);
using RunSlot = int(HOST_THISCALL*)(void* self, void* model);

#if defined(__i386__)
#  pragma GCC diagnostic pop
#endif

const char kExpectedTitle[] = "Velun 2030V Mesh...";

template <typename Slot>
Slot SlotAt(void* object, int index) {
  const AnyFunction* table = *static_cast<const AnyFunction* const*>(object);
  return reinterpret_cast<Slot>(table[index]);
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "qmMSH2030Vimporter.dll";
  HMODULE module = LoadLibraryA(path);
  if (module == nullptr) {
    std::printf("cannot load %s (error %lu)\n", path, static_cast<unsigned long>(GetLastError()));
    return 2;
  }
  FARPROC entry = GetProcAddress(module, "CreatePlugIn");
  if (entry == nullptr) {
    std::printf("%s exports no CreatePlugIn\n", path);
    return 2;
  }
  CreateFunction create = reinterpret_cast<CreateFunction>(reinterpret_cast<AnyFunction>(entry));

  void* plugin = create();
  if (plugin == nullptr) {
    std::printf("CreatePlugIn returned null\n");
    return 1;
  }
  std::fflush(stdout);

  bool ok = true;
  const int kind = SlotAt<KindSlot>(plugin, 1)(plugin);
  std::printf("kind %d\n", kind);
  std::fflush(stdout);
  ok = ok && kind == 1;

  char* title = SlotAt<TitleSlot>(plugin, 2)(plugin);
  std::printf("title %s\n", title);
  std::fflush(stdout);
  ok = ok && std::strcmp(title, kExpectedTitle) == 0;
  ok = ok && SlotAt<TitleSlot>(plugin, 2)(plugin) == title;

  // Without a model Run returns at once, before any dialog.
  const int result = SlotAt<RunSlot>(plugin, 3)(plugin, nullptr);
  std::printf("run without a model %d\n", result);
  std::fflush(stdout);
  ok = ok && result == -1;

  void* deleted = SlotAt<DeletingDestructorSlot>(plugin, 0)(plugin, 1u);
  std::printf("deleting destructor returned %s\n", deleted == plugin ? "the object" : "another address");
  ok = ok && deleted == plugin;

  FreeLibrary(module);
  std::printf("%s\n", ok ? "slots as the host expects" : "SLOTS DIFFER FROM THE HOST'S");
  return ok ? 0 : 1;
}
