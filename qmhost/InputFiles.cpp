#include "InputFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "SafeSave.h"

namespace {

// The plug-in reads no file of 2 GiB or more.
constexpr std::uint64_t kLargestInput = (std::uint64_t{1} << 31) - 1;

}  // namespace

std::string InputProblem(const std::string& path) {
  std::string problem;
  const int fd =
      OpenRegularFile(path, problem, INT32_MAX, "it is 2 GiB or more, more than the plug-in reads");
  if (fd >= 0) ::close(fd);
  return problem;
}

int OpenRegularFile(const std::string& path, std::string& problem, std::int64_t largest,
                    const char* tooLarge) {
  struct stat s;
  if (::stat(path.c_str(), &s) != 0) {
    problem = std::strerror(errno);
    return -1;
  }
  if (!S_ISREG(s.st_mode)) {
    problem = std::string("it is ") + FileKindName(s.st_mode) + ", not a regular file";
    return -1;
  }
  if (s.st_size > largest) {
    problem = tooLarge;
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) problem = std::strerror(errno);
  return fd;
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

std::unique_ptr<TemporaryFile> KeepStandardInput(std::string& error) {
  const char* folder = std::getenv("TMPDIR");
  auto kept =
      std::make_unique<TemporaryFile>(folder != nullptr && *folder != '\0' ? folder : "/tmp");
  if (kept->Descriptor() < 0) {
    error = kept->Error();
    return nullptr;
  }
  std::uint64_t total = 0;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      return nullptr;
    }
    total += static_cast<std::uint64_t>(got);
    if (total > kLargestInput) {
      error = "it is 2 GiB or more, more than the plug-in reads";
      return nullptr;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t written =
          ::write(kept->Descriptor(), buffer + done, static_cast<std::size_t>(got - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error = std::string("cannot keep it in a temporary file: ") +
                std::strerror(written < 0 ? errno : ENOSPC);
        return nullptr;
      }
      done += written;
    }
  }
  return kept;
}
