// Text from files and file systems as a terminal shows it: always valid
// UTF-8, with every control character escaped, so that no name can move the
// cursor, clear the screen or set a window's title, and every byte can be
// told from the text shown. Every line of qmhost that shows a name or a path
// goes through here.
//
// Escapes: \\ and \" for the backslash and the quote (names are often shown
// between quotes), \n, \r and \t, and \xHH for any other control character:
// C0 (0x00-0x1F), DEL (0x7F) and C1 (0x80-0x9F).
#ifndef QM_IMPORT_SHOWNTEXT_H
#define QM_IMPORT_SHOWNTEXT_H

#include <string>
#include <string_view>

// A host name, or any 8-bit text of the plug-in (its messages). Such text has
// no stated encoding; each byte is shown as the character of the same code
// point, as the saved JSON and glTF hold it (Latin-1: "caf\xE9" is "café").
std::string ShownName(std::string_view name);
// The same between double quotes: "\"hull.tga\"".
std::string QuotedName(std::string_view name);

// A path as the system gives it: valid UTF-8 is shown as it is (a file named
// "café.msh" in UTF-8 is "café.msh"), any byte that is not part of a valid
// UTF-8 sequence as \xHH.
std::string ShownPath(std::string_view path);

// Any text bound for the terminal, as ShownPath shows it but with backslashes
// and quotes as they are: what is already shown is left as it is, and a path
// inside a sentence (a system's error) still shows no control character.
std::string TerminalSafe(std::string_view text);

#endif  // QM_IMPORT_SHOWNTEXT_H
