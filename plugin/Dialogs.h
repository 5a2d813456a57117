// The run's face to the user: the open-file dialog and the message box.
#ifndef QM_PLUGIN_DIALOGS_H
#define QM_PLUGIN_DIALOGS_H

#if defined(_WIN32)
#  include <windows.h>
#  include <commdlg.h>
#else
#  include "WinDialogs.h"
#endif

// The dialog's title.
extern const char kOpenFileTitle[];

// The filter pairs in the layout of the Windows file dialogs: description,
// NUL, pattern, NUL, ..., an empty string, and zeros to the array's end. The
// dialog opens on the first pair.
void FillFilter(char (&szFilter)[128]);

// Zeroes `ofn` and sets it up to ask for one existing .msh file: no owner, the
// filter pairs, empty 256-character buffers for the path and the name, the
// title, "msh" as default extension, and must-exist flags without the
// read-only check box.
void PrepareOpenFileDialog(OPENFILENAMEA& ofn, char (&szFile)[256], char (&szFileTitle)[256],
                           char (&szDefExt)[32], char (&szFilter)[128]);

// Shows `text` modally with a single OK, no owner and the system's caption.
void ShowMessage(const char* text);

#endif  // QM_PLUGIN_DIALOGS_H
