#include "WinDialogs.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Each thread's own: imports that run in threads side by side each answer
// their own dialogs.
thread_local qmOpenFileHandler g_openFile = nullptr;
thread_local qmMessageHandler g_message = nullptr;
thread_local void* g_context = nullptr;

}  // namespace

extern "C" {

void qmWinDialogs_SetHandlers(qmOpenFileHandler openFile, qmMessageHandler message, void* context) {
  g_openFile = openFile;
  g_message = message;
  g_context = context;
}

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) {
  if (ofn == nullptr || g_openFile == nullptr || ofn->lpstrFile == nullptr || ofn->nMaxFile == 0)
    return 0;
  // The handler answers into a buffer of its own, so a path that is too long
  // fails the dialog as on Windows instead of overrunning the caller's. The
  // buffer is on the stack and the answer is copied from it directly: the
  // dialog takes no heap that an import's memory would be charged with.
  char answer[4096] = {};
  if (g_openFile(ofn, answer, static_cast<DWORD>(sizeof answer), g_context) == 0) return 0;
  const void* nul = std::memchr(answer, 0, sizeof answer);
  const std::string_view path(answer, nul ? static_cast<size_t>(static_cast<const char*>(nul) - answer)
                                          : sizeof answer);
  if (path.empty() || path.size() >= ofn->nMaxFile) return 0;
  std::memcpy(ofn->lpstrFile, path.data(), path.size());
  ofn->lpstrFile[path.size()] = '\0';

  const size_t slash = path.find_last_of("/\\");
  const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  ofn->nFileOffset = static_cast<WORD>(nameStart);
  if (ofn->lpstrFileTitle != nullptr && ofn->nMaxFileTitle > 0) {
    const std::string_view title = path.substr(nameStart, ofn->nMaxFileTitle - 1);
    std::memcpy(ofn->lpstrFileTitle, title.data(), title.size());
    ofn->lpstrFileTitle[title.size()] = '\0';
  }
  return 1;
}

int MessageBoxA(HWND, const char* text, const char* caption, UINT type) {
  if (g_message != nullptr)
    g_message(text, caption, type, g_context);
  else
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
  return IDOK;
}

}  // extern "C"
