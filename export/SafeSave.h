// Saving files so that a failed save changes nothing: each file is written in
// full to a temporary file beside its target (straight from its writer, with
// no copy in memory), flushed to disk, and renamed into place only when every
// file of the save has been written.
#ifndef QM_EXPORT_SAFESAVE_H
#define QM_EXPORT_SAFESAVE_H

#include <functional>
#include <iosfwd>
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
// reason ("cannot save out/a.glb: No such file or directory"); no temporary
// file is left behind, and a target that was not yet renamed keeps its old
// content. (Should a later rename fail, the files renamed before it stay new.)
bool SaveFiles(const std::vector<FileToSave>& files, std::string& error);

bool SaveFile(const std::string& path, const std::function<bool(std::ostream&)>& write,
              std::string& error);

#endif  // QM_EXPORT_SAFESAVE_H
