// qmrunhost: a Windows host for the runs of the plug-in module under wine
// (see dllrun.py). It loads the module, and with it our stand-in
// qmModelLib.dll, points the module's import-table entries for
// GetOpenFileNameA and MessageBoxA at its own answers, and runs the import on
// each file of a list, a fresh model each:
//
//   qmrunhost MODULE LIST OUTDIR [--flip-bit]
//
// LIST holds one path per line (an empty line: the dialog is cancelled). For
// line N the model is saved as OUTDIR/N.json in qmhost's JSON (qmhost's own
// writer); OUTDIR/runs.json lists, per line, what Run returned, the texts of
// the message boxes, and whether the x87 control word and MXCSR came back as
// they were. --flip-bit changes the lowest bit of the first vertex's x before
// saving: a planted fault that the comparison must catch.
#include <windows.h>
#include <commdlg.h>

#include <xmmintrin.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ModelJson.h"
#include "NameText.h"
#include "qmModelRead.h"

namespace {

using AnyFunction = void (*)();
using CreateFunction = void* (*)();
using DeletingDestructorSlot = void* (*)(void* self, unsigned flags);
using RunSlot = int (*)(void* self, qmModel* model);

template <typename Slot>
Slot SlotAt(void* object, int index) {
  const AnyFunction* table = *static_cast<const AnyFunction* const*>(object);
  return reinterpret_cast<Slot>(table[index]);
}

// The run in progress: the dialog's answer and what the module showed.
struct Answers {
  std::string path;
  bool cancel = false;
  int dialogs = 0;
  std::vector<std::string> messages;
  std::vector<std::string> problems;
} answers;

BOOL WINAPI AnswerOpenFile(OPENFILENAMEA* ofn) {
  ++answers.dialogs;
  if (ofn == nullptr || ofn->lStructSize < OPENFILENAME_SIZE_VERSION_400A) {
    answers.problems.push_back("the dialog's record is smaller than its first form");
    return FALSE;
  }
  if (answers.cancel) return FALSE;
  if (ofn->lpstrFile == nullptr || answers.path.size() >= ofn->nMaxFile) {
    answers.problems.push_back("no room for the path in the dialog's buffer");
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, answers.path.c_str(), answers.path.size() + 1);
  const std::size_t slash = answers.path.find_last_of("/\\");
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = answers.path.find_last_of('.');
  ofn->nFileOffset = static_cast<WORD>(name);
  ofn->nFileExtension =
      static_cast<WORD>(dot != std::string::npos && dot > name ? dot + 1 : answers.path.size());
  if (ofn->lpstrFileTitle != nullptr && answers.path.size() - name < ofn->nMaxFileTitle)
    std::memcpy(ofn->lpstrFileTitle, answers.path.c_str() + name, answers.path.size() - name + 1);
  return TRUE;
}

int WINAPI AnswerMessage(HWND, LPCSTR text, LPCSTR, UINT) {
  answers.messages.emplace_back(text != nullptr ? text : "");
  return IDOK;
}

// Points the module's import-table entry for DLL!FUNCTION at `replacement`;
// false when the module does not import it by name.
bool PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    const DWORD lookup =
        entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      DWORD old = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old))
        return false;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      return true;
    }
  }
  return false;
}

unsigned short X87ControlWord() {
  unsigned short word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

void FlipFirstBit(qmModel* model) {
  for (int m = 0; m < qmModel_GetMeshCount(model); ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    if (qmMesh_GetVertexCount(mesh) == 0) continue;
    qmVertex* vertex = qmMesh_GetVertexAt(mesh, 0);
    float position[3];
    std::memcpy(position, qmVertex_GetPosition(vertex), sizeof position);
    unsigned bits;
    std::memcpy(&bits, &position[0], sizeof bits);
    bits ^= 1u;
    std::memcpy(&position[0], &bits, sizeof bits);
    qmVertex_SetVertex(vertex, position);
    return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (argc == 5 && std::strcmp(argv[4], "--flip-bit") != 0) || argc > 5) {
    std::fprintf(stderr, "usage: qmrunhost MODULE LIST OUTDIR [--flip-bit]\n");
    return 2;
  }
  const bool flipBit = argc == 5;
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) {
    std::fprintf(stderr, "qmrunhost: cannot load %s (error %lu)\n", argv[1],
                 static_cast<unsigned long>(GetLastError()));
    return 2;
  }
  if (!PatchImport(module, "comdlg32.dll", "GetOpenFileNameA",
                   reinterpret_cast<void*>(&AnswerOpenFile)) ||
      !PatchImport(module, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(&AnswerMessage))) {
    std::fprintf(stderr, "qmrunhost: %s does not import GetOpenFileNameA and MessageBoxA\n",
                 argv[1]);
    return 2;
  }
  FARPROC entry = GetProcAddress(module, "CreatePlugIn");
  void* plugin =
      entry ? reinterpret_cast<CreateFunction>(reinterpret_cast<AnyFunction>(entry))() : nullptr;
  if (plugin == nullptr) {
    std::fprintf(stderr, "qmrunhost: no plug-in object from CreatePlugIn\n");
    return 2;
  }

  std::ifstream list(argv[2]);
  if (!list) {
    std::fprintf(stderr, "qmrunhost: cannot read %s\n", argv[2]);
    return 2;
  }
  const std::string out = argv[3];
  nlohmann::json runs = nlohmann::json::array();
  std::string line;
  for (int n = 0; std::getline(list, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    answers = Answers();
    answers.path = line;
    answers.cancel = line.empty();
    qmModelPtr model(qmModel_Create());
    const unsigned short controlWord = X87ControlWord();
    const unsigned int csr = _mm_getcsr();
    const int returned = SlotAt<RunSlot>(plugin, 3)(plugin, model.get());
    nlohmann::json run = {{"file", line},
                          {"returned", returned},
                          {"dialogs", answers.dialogs},
                          {"x87ControlWordKept", X87ControlWord() == controlWord},
                          // The status flags are the callee's to set.
                          {"mxcsrKept", ((_mm_getcsr() ^ csr) & 0xFFC0u) == 0}};
    nlohmann::json messages = nlohmann::json::array();
    for (const std::string& text : answers.messages) messages.push_back(NameText(text.c_str()));
    run["messages"] = messages;
    run["problems"] = answers.problems;
    runs.push_back(run);
    if (flipBit) FlipFirstBit(model.get());
    std::ofstream json(out + "/" + std::to_string(n) + ".json", std::ios::binary);
    WriteModelJson(model.get(), json);
  }
  void* deleted = SlotAt<DeletingDestructorSlot>(plugin, 0)(plugin, 1u);
  FreeLibrary(module);
  std::ofstream(out + "/runs.json", std::ios::binary) << runs.dump(1) << '\n';
  std::printf("%zu runs\n", runs.size());
  return deleted == plugin ? 0 : 1;
}
