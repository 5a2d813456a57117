#include "FileBuffer.h"

#include <sys/stat.h>
#if !defined(_WIN32)
#  include <fcntl.h>
#  include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#  define QM_FSTAT _fstati64
#  define QM_FILENO _fileno
using StatRecord = struct _stati64;
#else
#  define QM_FSTAT fstat
#  define QM_FILENO fileno
using StatRecord = struct stat;
#endif

namespace {

bool IsRegularFile(const StatRecord& s) {
#if defined(_WIN32)
  return (s.st_mode & _S_IFMT) == _S_IFREG;
#else
  return S_ISREG(s.st_mode);
#endif
}

// Moves `pos` on by `bytes`, never past INT32_MAX.
void Advance(FileBuffer* file, std::int64_t bytes) {
  std::int64_t next = static_cast<std::int64_t>(file->pos) + bytes;
  file->pos = next > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(next);
}

}  // namespace

FileBuffer::FileBuffer(const char* path) { Load(path); }

FileBuffer::FileBuffer(const void* bytes, std::size_t length) {
  if (length > static_cast<std::size_t>(INT32_MAX)) return;
  // malloc(0) may give null; an empty file still counts as loaded.
  data = static_cast<unsigned char*>(std::malloc(length > 0 ? length : 1));
  if (data == nullptr) return;
  if (length > 0) std::memcpy(data, bytes, length);
  size = static_cast<std::int32_t>(length);
}

FileBuffer::~FileBuffer() { std::free(data); }

void FileBuffer::Load(const char* path) {
  std::free(data);
  pos = 0;
  data = nullptr;
  size = 0;

#if defined(_WIN32)
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return;
#else
  // Only a regular file is opened, and without waiting: opening a FIFO
  // blocks until a writer comes, and a device may never end its content.
  struct stat before;
  if (::stat(path, &before) != 0 || !S_ISREG(before.st_mode)) return;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  std::FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) {
    ::close(fd);
    return;
  }
#endif
  // The file is read whole, straight into its buffer: stdio's own buffer
  // would only add a copy and its memory.
  std::setvbuf(f, nullptr, _IONBF, 0);

  // The status of the open file, not of the path: the file may have been
  // replaced since it was opened. A folder opens on some systems but is no
  // file, and the read position is a signed 32-bit offset.
  StatRecord s;
  if (QM_FSTAT(QM_FILENO(f), &s) != 0 || !IsRegularFile(s) || s.st_size < 0 ||
      s.st_size > INT32_MAX) {
    std::fclose(f);
    return;
  }
  const std::size_t length = static_cast<std::size_t>(s.st_size);
  unsigned char* bytes = static_cast<unsigned char*>(std::malloc(length > 0 ? length : 1));
  // A file that shrank while it was read counts as unreadable, rather than
  // leaving unset bytes at the end of the buffer.
  if (bytes == nullptr || (length > 0 && std::fread(bytes, length, 1, f) != 1)) {
    std::free(bytes);
    std::fclose(f);
    return;
  }
  std::fclose(f);
  data = bytes;
  size = static_cast<std::int32_t>(length);
}

std::int64_t FileBuffer::Remaining() const {
  return pos >= size ? 0 : static_cast<std::int64_t>(size) - pos;
}

bool BufferRead(void* dest, int elemSize, int count, FileBuffer* file) {
  // The product in 64 bits: a count from a damaged file must not wrap into a
  // small read.
  const std::int64_t n = static_cast<std::int64_t>(elemSize) * count;
  if (elemSize < 0 || count < 0 || file->data == nullptr || file->pos < 0 ||
      n > static_cast<std::int64_t>(file->size) - file->pos) {
    Advance(file, n < 0 ? INT32_MAX : n);
    return false;
  }
  if (n > 0) std::memcpy(dest, file->data + file->pos, static_cast<std::size_t>(n));
  Advance(file, n);
  return true;
}

bool BufferSkip(FileBuffer* file, std::int64_t bytes) {
  if (bytes < 0 || file->pos < 0 || bytes > static_cast<std::int64_t>(file->size) - file->pos) {
    Advance(file, bytes < 0 ? INT32_MAX : bytes);
    return false;
  }
  Advance(file, bytes);
  return true;
}
