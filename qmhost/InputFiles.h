// The files a run of qmhost reads: whether one can be read at all, and, by
// its identity on the disk, that no file the run writes is one of them.
#ifndef QMHOST_INPUTFILES_H
#define QMHOST_INPUTFILES_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SafeSave.h"

// Why the plug-in can't read the file at `path`, or an empty string when it
// can: the system's reason ("No such file or directory"), "it is a FIFO, not
// a regular file", "it is 2 GiB or more". Opens nothing that could block: the
// type is checked first, and the open does not wait.
std::string InputProblem(const std::string& path);

// Opens the regular file at `path` to read. Its type is checked before it is
// opened, and the open does not wait, so a FIFO or a device never holds the
// run up. The descriptor, or -1 with `problem` set: the system's reason,
// "it is a FIFO, not a regular file", or `tooLarge` for a file of more than
// `largest` bytes.
int OpenRegularFile(const std::string& path, std::string& problem, std::int64_t largest = INT64_MAX,
                    const char* tooLarge = "");

// Standard input (the file "-") kept in a temporary file, for readers that
// open a path; it goes with the object, and with the process on a signal.
// Null with `error` set when it can't be kept, or holds 2 GiB or more.
std::unique_ptr<TemporaryFile> KeepStandardInput(std::string& error);

// The inputs of a run, by device and inode rather than by name, so that a
// link, a second name or a different spelling of a path is still the same
// file.
class RunInputs {
 public:
  // Adds the file at `path` (links followed); a path that names no file is
  // no input yet, and adds nothing.
  void Add(const std::string& path);

  // Whether a save that writes `written` (the files a saver lists, in order)
  // would replace an input; then a sentence for the user, e.g.
  // "its a.mtl would replace the input a.mtl" or "it would replace the input
  // s.json". Empty when it would not. `written.back()` is the file named by
  // the user.
  std::string Replaced(const std::vector<std::string>& written) const;

 private:
  struct Input {
    unsigned long long device;
    unsigned long long inode;
    std::string path;
  };
  std::vector<Input> inputs_;
};

#endif  // QMHOST_INPUTFILES_H
