#include "InputFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "SafeSave.h"

std::string InputProblem(const std::string& path) {
  struct stat s;
  if (::stat(path.c_str(), &s) != 0) return std::strerror(errno);
  if (!S_ISREG(s.st_mode))
    return std::string("it is ") + FileKindName(s.st_mode) + ", not a regular file";
  if (s.st_size > INT32_MAX) return "it is 2 GiB or more, more than the plug-in reads";
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return std::string();
}

void RunInputs::Add(const std::string& path) {
  struct stat s;
  if (::stat(path.c_str(), &s) == 0)
    inputs_.push_back({static_cast<unsigned long long>(s.st_dev),
                       static_cast<unsigned long long>(s.st_ino), path});
}

std::string RunInputs::Replaced(const std::vector<std::string>& written) const {
  for (const std::string& path : written) {
    struct stat s;
    if (::stat(path.c_str(), &s) != 0) continue;
    for (const Input& input : inputs_) {
      if (input.device != static_cast<unsigned long long>(s.st_dev) ||
          input.inode != static_cast<unsigned long long>(s.st_ino))
        continue;
      return (path == written.back() ? std::string("it") : "its " + path) +
             " would replace the input " + input.path;
    }
  }
  return std::string();
}
