// The plug-in's open-file dialog on a terminal. It shows the dialog's title
// and filters and asks for a path, a line at a time, on standard error:
//
//   Import Velun 2030V Mesh *.msh
//     Object Files (*.msh)  *.msh
//   File (empty to cancel): ships/hull
//
// On a terminal the line is edited as a shell's (libedit): Tab completes a
// path, the arrows move, a backslash takes the next character as it is
// ("two\ words.msh"), Ctrl-D on an empty line cancels. Elsewhere the line
// is read from standard input, no further than the dialog's buffer (and
// 64 KiB more looking for its end), so an input without line ends cancels.
// Either way "~" and "~user" expand to the home folder, a name typed without
// an extension gets the dialog's default one, and the answer must be an
// existing regular file that fits the buffer, or it is asked again.
#ifndef QMHOST_TERMINALDIALOG_H
#define QMHOST_TERMINALDIALOG_H

#include <string>
#include <utility>
#include <vector>

#include "WinDialogs.h"

// The path the user chose, or an empty string for cancel.
std::string AskForFile(const OPENFILENAMEA& ofn);

// The filter pairs of a Windows file dialog's filter text, in order.
std::vector<std::pair<std::string, std::string>> FilterPairs(const char* filter);

// `path` with a leading "~" or "~user" turned into that user's home folder;
// as it is when there is none or the user is unknown.
std::string ExpandTilde(const std::string& path);

#endif  // QMHOST_TERMINALDIALOG_H
