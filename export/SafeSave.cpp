#include "SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

std::string Failure(const std::string& path, int code) {
  return "cannot save " + path + ": " + std::strerror(code);
}

bool WriteAll(int fd, const std::string& bytes) {
  const char* at = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, at, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

// mkstemp makes files only their owner may read; a saved file gets the
// permissions any new file of the user gets.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// Writes `bytes` to a new temporary file beside `path`; returns its name, or
// an empty string with `error` set.
std::string WriteTemporary(const std::string& path, const std::string& bytes, std::string& error) {
  std::string name = path + ".XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = Failure(path, errno);
    return std::string();
  }
  bool ok = ::fchmod(fd, NewFileMode()) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int code = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    code = errno;
  }
  if (!ok) {
    ::unlink(name.c_str());
    error = Failure(path, code);
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
    std::ostringstream content;
    if (!file.write(content) || !content) {
      removeTemporaries(0);
      error = "cannot save " + file.path + ": its content could not be formed";
      return false;
    }
    const std::string name = WriteTemporary(file.path, content.str(), error);
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
