#include "FileOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

FileOutput::FileOutput(int fd, std::size_t bufferSize) : fd_(fd), buffer_(bufferSize) {
  if (!buffer_.empty()) setp(buffer_.data(), buffer_.data() + buffer_.size());
}

bool FileOutput::WriteAll(const char* data, std::size_t size) {
  while (size > 0 && error_ == 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno != EINTR) error_ = errno;
      continue;
    }
    // A write of nothing to a regular file means there is no room for more.
    if (written == 0) error_ = ENOSPC;
    data += written;
    size -= static_cast<std::size_t>(written);
    offset_ += static_cast<std::uint64_t>(written);
  }
  if (writeback_ > 0 && offset_ - started_ >= writeback_) {
    ::sync_file_range(fd_, static_cast<off64_t>(started_), static_cast<off64_t>(offset_ - started_),
                      SYNC_FILE_RANGE_WRITE);
    started_ = offset_;
  }
  return error_ == 0;
}

bool FileOutput::Flush() {
  const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
  const bool written = WriteAll(pbase(), pending);
  if (!buffer_.empty()) setp(buffer_.data(), buffer_.data() + buffer_.size());
  return written;
}

FileOutput::int_type FileOutput::overflow(int_type c) {
  if (!Flush()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (buffer_.empty()) {
    const char byte = traits_type::to_char_type(c);
    return WriteAll(&byte, 1) ? c : traits_type::eof();
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize FileOutput::xsputn(const char* data, std::streamsize count) {
  if (count <= 0) return 0;
  const std::size_t size = static_cast<std::size_t>(count);
  const std::size_t room = static_cast<std::size_t>(epptr() - pptr());
  if (size <= room) {
    std::memcpy(pptr(), data, size);
    pbump(static_cast<int>(size));
    return count;
  }
  // Larger than the room left: what is buffered goes first, then the data
  // itself, without a copy.
  if (!Flush() || !WriteAll(data, size)) return 0;
  return count;
}

int FileOutput::sync() { return Flush() ? 0 : -1; }
