/*
 * Stand-in for the two Windows dialog calls the plug-in makes, on machines
 * without Windows: comdlg32's GetOpenFileNameA with its OPENFILENAMEA record,
 * and user32's MessageBoxA. The plug-in calls them exactly as on Windows; the
 * program that hosts the plug-in answers them through the handlers it sets.
 */
#ifndef QM_WINDIALOGS_H
#define QM_WINDIALOGS_H

#include <stdint.h>

#if defined(_WIN32)
#  error "on Windows the plug-in uses <windows.h> and <commdlg.h>"
#endif

#define QM_WINDIALOGS_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef void* HWND;
typedef void* HINSTANCE;
typedef int BOOL;
typedef intptr_t LPARAM;
typedef unsigned int UINT;

/* The members of Windows' OPENFILENAMEA, in its order. */
typedef struct tagOFNA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  const char* lpstrFilter;
  char* lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  char* lpstrFile;
  DWORD nMaxFile;
  char* lpstrFileTitle;
  DWORD nMaxFileTitle;
  const char* lpstrInitialDir;
  const char* lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  const char* lpstrDefExt;
  LPARAM lCustData;
  void* lpfnHook;
  const char* lpTemplateName;
} OPENFILENAMEA;

/* The size of the record in its first form on 32-bit Windows, which is what
   the plug-in hands the dialog there. */
#define OPENFILENAME_SIZE_VERSION_400A 76

#define OFN_HIDEREADONLY 0x00000004
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define MB_OK 0x00000000
#define IDOK 1

/* Asks the user for a file as the record describes. Returns nonzero with the
   chosen path in lpstrFile (and its name without the folder in
   lpstrFileTitle), or 0 when nothing was chosen, no handler is set, or the
   path does not fit in nMaxFile characters with its NUL. */
QM_WINDIALOGS_API BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);

/* Shows `text` and waits for OK; returns IDOK. Without a handler the text goes
   to standard error, a line of its own. */
QM_WINDIALOGS_API int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

/* The host program's answers. The open-file handler writes the chosen path
   into `path` (room for `capacity` bytes with the NUL) and returns nonzero, or
   returns 0 for cancel. Handlers belong to the thread that sets them: the
   dialogs a plug-in opens in one thread are answered by that thread's, so a
   host may run imports in several threads at once. */
typedef int (*qmOpenFileHandler)(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context);
typedef void (*qmMessageHandler)(const char* text, const char* caption, UINT type, void* context);
QM_WINDIALOGS_API void qmWinDialogs_SetHandlers(qmOpenFileHandler openFile, qmMessageHandler message,
                                                void* context);

#ifdef __cplusplus
}
#endif

#endif /* QM_WINDIALOGS_H */
