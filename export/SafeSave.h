// Saving files so that a failed save changes nothing: each file is written in
// full to a temporary file beside its target (straight from its writer, with
// no copy in memory), flushed to disk, and renamed into place only when every
// file of the save has been written.
//
// What a caller may rely on:
// - A target that is a symbolic link is written through: the chain of links
//   is followed and the file at its end is replaced, beside which the
//   temporary is made (as cp does); the links stay as they were. A link in a
//   sticky folder anyone may write to (/tmp) is followed only when it belongs
//   to the user or to the folder's owner, as the kernel's protected_symlinks
//   has it: nobody else's link aims a save at the user's files.
// - An existing target keeps its permission bits; a new one gets those of any
//   new file of the user (0666 less the umask).
// - Temporary files are named ".qmhost-" and eight random characters in the
//   target's folder, whatever the length of the target's own name. They never
//   outlive the process: every error path removes them, an exception from a
//   writer (std::bad_alloc) passes on after removing them, and SIGHUP, SIGINT
//   and SIGTERM remove those still being written before the process ends by
//   the signal's default action (the handler is set at the first save, for
//   each of these signals that is not ignored and has no handler yet).
//   Saves may run in threads side by side: a signal never meets any of them
//   half renamed.
// - Should a rename fail when earlier files of the save are already in place,
//   those are put back as they were (an old file is kept reachable by a hard
//   link made just before its rename). When one can't be put back, the error
//   says which file was replaced, and where its old content is kept.
// - A target that exists but is no regular file (a FIFO, a device, a socket)
//   is refused; a folder makes the rename fail.
#ifndef QM_EXPORT_SAFESAVE_H
#define QM_EXPORT_SAFESAVE_H

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// One file of a save: where it goes, and the writer of its content. A writer
// returns false when it could not produce the content.
struct FileToSave {
  std::string path;
  std::function<bool(std::ostream&)> write;
};

// Saves all files, renaming them into place in the order given. On failure
// returns false and sets `error` to one sentence naming the file and the
// reason: the system's for a failed write ("cannot save out/a.glb: No space
// left on device"), "its content could not be formed" when a writer returned
// false on a stream that took all it was given.
bool SaveFiles(const std::vector<FileToSave>& files, std::string& error);

bool SaveFile(const std::string& path, const std::function<bool(std::ostream&)>& write,
              std::string& error);

// A save in two steps, as SaveFiles makes it, for a program that forms its
// next save while the disk takes this one: Write writes every file to its
// temporary, Place flushes them to the disk and renames them into place.
// What a StagedSave leaves without a Place that succeeded, it removes.
//
//   StagedSave save;
//   if (!save.Write(files, error)) ...     // the writers have run
//   ...                                    // (in another thread, say)
//   if (!save.Place(error)) ...
class StagedSave {
 public:
  StagedSave();
  ~StagedSave();
  StagedSave(const StagedSave&) = delete;
  StagedSave& operator=(const StagedSave&) = delete;

  // False with `error` as SaveFiles says it; nothing is left then.
  bool Write(const std::vector<FileToSave>& files, std::string& error);
  // Once, after a Write that succeeded; false with `error` as SaveFiles says it.
  bool Place(std::string& error);

 private:
  struct Files;
  std::unique_ptr<Files> files_;
};

// Sets up what every save of the process shares (the signal handlers, the
// permissions of new files, read from the umask). The first save does it;
// a program whose saves run in threads side by side calls it before they
// start, as reading the umask sets it for a moment.
void PrepareSaves();

// A file of the process's own (standard input kept for a reader that wants a
// path, say), named and guarded as a save's temporaries are: ".qmhost-" and
// eight random characters in `folder`, readable by the user alone, and
// removed when the object goes, on every error path, and by SIGHUP, SIGINT
// and SIGTERM.
class TemporaryFile {
 public:
  // Creates the file empty, open for writing; on failure Descriptor() is
  // negative and Error() says why.
  explicit TemporaryFile(const std::string& folder);
  ~TemporaryFile();  // closes and removes it
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int Descriptor() const { return fd_; }
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

 private:
  int folder_ = -1;
  int fd_ = -1;
  void* slot_ = nullptr;
  std::string name_;
  std::string path_;
  std::string error_;
};

// "a folder", "a FIFO", "a character device", ... for a file's st_mode.
const char* FileKindName(unsigned mode);

#endif  // QM_EXPORT_SAFESAVE_H
