#include "SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

std::string Failure(const std::string& path, int code) {
  return "cannot save " + path + ": " + std::strerror(code);
}

// mkstemp makes files only their owner may read; a saved file gets the
// permissions any new file of the user gets.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// Flushes a written file to the disk, so a rename never puts an empty file in
// place of a good one after a crash.
bool SyncToDisk(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

// Writes the file's content straight into a new temporary file beside its
// path, so a save needs no copy of the content in memory; returns the
// temporary's name, or an empty string with `error` set.
std::string WriteTemporary(const FileToSave& file, std::string& error) {
  std::string name = file.path + ".XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = Failure(file.path, errno);
    return std::string();
  }
  bool ok = ::fchmod(fd, NewFileMode()) == 0;
  int code = errno;
  ::close(fd);

  bool formed = true;
  if (ok) {
    std::vector<char> buffer(1 << 20);
    std::ofstream out;
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.open(name, std::ios::binary | std::ios::trunc);
    errno = 0;
    formed = out.is_open() && file.write(out);
    out.close();
    code = errno != 0 ? errno : EIO;
    ok = formed && !out.fail() && SyncToDisk(name);
    if (formed && !out.fail() && !ok) code = errno;
  }
  if (!ok) {
    ::unlink(name.c_str());
    error = formed ? Failure(file.path, code)
                   : "cannot save " + file.path + ": its content could not be formed";
    return std::string();
  }
  return name;
}

}  // namespace

bool SaveFiles(const std::vector<FileToSave>& files, std::string& error) {
  std::vector<std::string> temporaries;
  auto removeTemporaries = [&](size_t from) {
    for (size_t n = from; n < temporaries.size(); ++n) ::unlink(temporaries[n].c_str());
  };
  for (const FileToSave& file : files) {
    const std::string name = WriteTemporary(file, error);
    if (name.empty()) {
      removeTemporaries(0);
      return false;
    }
    temporaries.push_back(name);
  }
  for (size_t n = 0; n < files.size(); ++n) {
    if (std::rename(temporaries[n].c_str(), files[n].path.c_str()) != 0) {
      error = Failure(files[n].path, errno);
      removeTemporaries(n);
      return false;
    }
  }
  return true;
}

bool SaveFile(const std::string& path, const std::function<bool(std::ostream&)>& write,
              std::string& error) {
  return SaveFiles({FileToSave{path, write}}, error);
}
