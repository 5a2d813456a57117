#include "Dialogs.h"

#include <cstring>

const char kOpenFileTitle[] = "Import Velun 2030V Mesh *.msh";

void FillFilter(char (&szFilter)[128]) {
  static const char kPairs[] =
      "Object Files (*.msh)\0*.msh\0"
      "Msh2030V Mesh File\0*.msh\0"
      "All Files (*.*)\0*.*\0";  // the literal's own NUL ends the list
  static_assert(sizeof kPairs <= sizeof szFilter, "the filter pairs fit the array");
  std::memset(szFilter, 0, sizeof szFilter);
  std::memcpy(szFilter, kPairs, sizeof kPairs);
}

void PrepareOpenFileDialog(OPENFILENAMEA& ofn, char (&szFile)[256], char (&szFileTitle)[256],
                           char (&szDefExt)[32], char (&szFilter)[128]) {
  FillFilter(szFilter);
  std::memset(szDefExt, 0, sizeof szDefExt);
  std::memcpy(szDefExt, "msh", 4);
  szFile[0] = '\0';
  szFileTitle[0] = '\0';

  std::memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = nullptr;
  ofn.lpstrFilter = szFilter;
  ofn.lpstrCustomFilter = nullptr;
  ofn.nMaxCustFilter = 0;
  ofn.nFilterIndex = 0;
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = sizeof szFile;
  ofn.lpstrFileTitle = szFileTitle;
  ofn.nMaxFileTitle = sizeof szFileTitle;
  ofn.lpstrInitialDir = nullptr;
  ofn.lpstrTitle = kOpenFileTitle;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  ofn.lpstrDefExt = szDefExt;
}

void ShowMessage(const char* text) { MessageBoxA(nullptr, text, nullptr, MB_OK); }
