// An output stream buffer over a file descriptor that remembers why a write
// failed. std::ofstream only says that one did, and by the time its failure
// shows, errno has long been overwritten; a full disk must be told as "No
// space left on device", not as a writer that could not form its content.
#ifndef QM_EXPORT_FILEOUTPUT_H
#define QM_EXPORT_FILEOUTPUT_H

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <vector>

class FileOutput : public std::streambuf {
 public:
  // Writes to `fd`, which stays the caller's, through a buffer of
  // `bufferSize` bytes allocated here (std::bad_alloc when there is no memory
  // for it). A buffer of 0 bytes writes every output at once.
  FileOutput(int fd, std::size_t bufferSize);
  // Writes nothing: what is still buffered is the caller's to flush.
  ~FileOutput() override = default;

  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;

  // Writes out what is buffered; false when a write has failed, now or before.
  bool Flush();
  // The errno of the first failed write, 0 while every write succeeded. After
  // a failure the buffer takes no more output.
  int Error() const { return error_; }

  // For a file that will be flushed to the disk when it is whole: has the
  // system start writing each `bytes` written out at once, so that the final
  // flush finds most of the file on its way. 0, the default, leaves it all
  // to the flush.
  void StartWritebackEvery(std::size_t bytes) { writeback_ = bytes; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  bool WriteAll(const char* data, std::size_t size);

  int fd_;
  std::vector<char> buffer_;
  int error_ = 0;
  std::size_t writeback_ = 0;
  std::uint64_t offset_ = 0;   // bytes written to the file
  std::uint64_t started_ = 0;  // of them, those whose writeback was started

};

#endif  // QM_EXPORT_FILEOUTPUT_H
