// `qmhost plugins`: the plug-in modules in a folder, with their kind and
// title, as the host would list them.
#ifndef QMHOST_PLUGINSCOMMAND_H
#define QMHOST_PLUGINSCOMMAND_H

#include <iosfwd>
#include <string>

// Loads every file ending ".so" in `folder`, in name order, and prints one
// line each: its name, then its kind and title, or why it is no plug-in.
// Returns 0 when at least one plug-in was found, 1 when none was or the
// folder can't be read.
int RunPluginsCommand(const std::string& folder, std::ostream& out);

// The folder qmhost runs from, where it looks for its plug-in.
std::string ProgramFolder();

#endif  // QMHOST_PLUGINSCOMMAND_H
