// The one way every command imports a file: through the loaded plug-in, as
// the host does when its user picks the plug-in's menu entry, on a fresh
// model with its memory limit, the open-file dialog answered with the file
// given (or asked on the terminal), and the plug-in's message boxes kept for
// the command to show.
//
// Nothing read is nothing written: when no file was chosen, or the file
// can't be read (missing, no regular file, 2 GiB or more, a path too long for
// the dialog, or one the plug-in could not open), the result has no model and
// says why, and the command writes no output.
#ifndef QMHOST_PLUGINIMPORT_H
#define QMHOST_PLUGINIMPORT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PlugIn.h"
#include "qmModelRead.h"

struct PluginImport {
  qmModelPtr model;        // null when nothing was read
  std::string file;        // the file given or chosen; "-" for standard input, empty when none was
  bool cancelled = false;  // no file was chosen in the dialog
  std::string error;       // why nothing was read (no model), or what the run returned; a clause
  std::vector<std::string> messages;  // the plug-in's message boxes, in order
  std::string limitNote;              // when the model reached its memory limit (MemoryLimitNote)

  // Whether the file was imported without a word from the plug-in.
  bool Clean() const { return model != nullptr && messages.empty() && limitNote.empty(); }
};

// Imports `file` ("-" for standard input, kept in a temporary file for the
// while) into a new model that may hold `memoryLimit` bytes (0: no limit).
// Without a file the dialog asks on the terminal. The plug-in is run for any
// file, as a host runs it, and shows its message for one it can't open; the
// result then says why (the plug-in opens only a regular file, without
// waiting, so a FIFO blocks nothing).
PluginImport ImportThroughPlugin(PlugIn& plugin, const std::optional<std::string>& file,
                                 std::uint64_t memoryLimit);

// Shows what the import said, each a line on standard error: the plug-in's
// messages (quoted), the memory limit's note, and why nothing was read,
// ending with `nothingWritten` ("; out.glb was not written"). Returns the
// failure's exit status, or kExitClean.
int ReportImport(const PluginImport& imported, const std::string& nothingWritten = "");

// The plug-in's one message when it could not open or load the file it was
// given: the model is untouched, nothing was read.
extern const char kCouldNotOpenMessage[];

#endif  // QMHOST_PLUGINIMPORT_H
