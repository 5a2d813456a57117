// A mesh file, read whole into memory, handed out front to back.
#ifndef QM_MESHFILE_FILEBUFFER_H
#define QM_MESHFILE_FILEBUFFER_H

#include <cstddef>
#include <cstdint>

// Owns the bytes of one file. `data` is null when the file could not be
// loaded (missing, no regular file, unreadable, 2 GiB or more, or no memory);
// an empty file loads with `data` set and `size` 0. A FIFO or a device is
// refused without waiting on it.
class FileBuffer {
 public:
  explicit FileBuffer(const char* path);
  // Copies `length` bytes that are already in memory (tests, fuzzing,
  // benchmarks); `data` is null when `length` is 2 GiB or more.
  FileBuffer(const void* bytes, std::size_t length);
  ~FileBuffer();

  FileBuffer(const FileBuffer&) = delete;
  FileBuffer& operator=(const FileBuffer&) = delete;

  void Load(const char* path);

  // Bytes from `pos` to the end; 0 once a read or skip has run past the end.
  std::int64_t Remaining() const;

  unsigned char* data = nullptr;
  std::int32_t pos = 0;   // offset of the next read; moves on past `size` after a failed read
  std::int32_t size = 0;  // the file's length in bytes
};

// Copies the next elemSize * count bytes to `dest` and returns true when they
// all lie within the file. Otherwise copies nothing, leaves `dest` as it was
// and returns false. `pos` advances by elemSize * count either way (held at
// INT32_MAX rather than wrapping), so after one failed read every later read
// fails too. Negative sizes and products beyond 32 bits always fail.
bool BufferRead(void* dest, int elemSize, int count, FileBuffer* file);

// Passes over `bytes` bytes without copying. Returns false when that leaves the
// file (or `bytes` is negative); `pos` then stands past the end.
bool BufferSkip(FileBuffer* file, std::int64_t bytes);

#endif  // QM_MESHFILE_FILEBUFFER_H
