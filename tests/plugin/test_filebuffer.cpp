// Loading a file whole and reading it front to back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <ostream>
#include <string>
#include <thread>

#include "FileBuffer.h"

namespace {

std::string TempPath(const std::string& name) {
  return testing::TempDir() + "qm_filebuffer_" + std::to_string(getpid()) + "_" + name;
}

struct ReadCase {
  const char* name;  // the test's name
  int startPos;
  int elemSize;
  int count;
  bool copied;
  std::int32_t posAfter;
};

// Its name and numbers in gtest's messages and ctest's test names.
void PrintTo(const ReadCase& c, std::ostream* out) {
  *out << c.name << " (" << c.count << " x " << c.elemSize << " bytes from byte " << c.startPos
       << ")";
}

class BufferReads : public testing::TestWithParam<ReadCase> {};

TEST_P(BufferReads, CopyOnlyWhatLiesWithinTheFileAndAlwaysAdvance) {
  const ReadCase& c = GetParam();
  const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  FileBuffer file(bytes, sizeof bytes);
  file.pos = c.startPos;
  unsigned char dest[16];
  std::memset(dest, 0xEE, sizeof dest);
  EXPECT_EQ(BufferRead(dest, c.elemSize, c.count, &file), c.copied);
  EXPECT_EQ(file.pos, c.posAfter);
  if (c.copied && c.elemSize * c.count > 0)
    EXPECT_EQ(dest[0], bytes[c.startPos]);
  else
    EXPECT_EQ(dest[0], 0xEE);  // nothing copied: the destination keeps its bytes
}

INSTANTIATE_TEST_SUITE_P(
    , BufferReads,
    testing::Values(ReadCase{"EndsOnTheLastByte", 0, 4, 2, true, 8},
                    ReadCase{"EndsOnTheLastByteFromTheMiddle", 4, 2, 2, true, 8},
                    ReadCase{"RunsPastTheEnd", 5, 4, 1, false, 9},
                    ReadCase{"StartsPastTheEnd", 9, 1, 1, false, 10},
                    ReadCase{"ZeroBytes", 3, 0, 5, true, 3},
                    ReadCase{"NegativeSizeRefused", 0, -1, 1, false, INT32_MAX},
                    // 2^32 bytes must not wrap to 0.
                    ReadCase{"FourGiBDoNotWrap", 0, 65536, 65536, false, INT32_MAX},
                    ReadCase{"MoreThanInt32Bytes", 0, 2, 1073741825, false, INT32_MAX}),
    [](const testing::TestParamInfo<ReadCase>& row) { return std::string(row.param.name); });

TEST(BufferRead, FailedReadPoisonsLaterReads) {
  const unsigned char bytes[4] = {1, 2, 3, 4};
  FileBuffer file(bytes, sizeof bytes);
  unsigned char dest[4];
  EXPECT_FALSE(BufferRead(dest, 8, 1, &file));
  EXPECT_FALSE(BufferRead(dest, 1, 1, &file));
  EXPECT_FALSE(BufferSkip(&file, 0));
}

TEST(BufferSkip, FailsWhenItLeavesTheFile) {
  const unsigned char bytes[4] = {1, 2, 3, 4};
  FileBuffer file(bytes, sizeof bytes);
  EXPECT_TRUE(BufferSkip(&file, 4));
  EXPECT_EQ(file.pos, 4);
  EXPECT_FALSE(BufferSkip(&file, 1));
  FileBuffer other(bytes, sizeof bytes);
  EXPECT_FALSE(BufferSkip(&other, INT64_C(1) << 40));
  EXPECT_EQ(other.pos, INT32_MAX);
  FileBuffer negative(bytes, sizeof bytes);
  EXPECT_FALSE(BufferSkip(&negative, -1));
}

TEST(FileBufferLoad, ReadsTheWholeFileAndClosesIt) {
  const std::string path = TempPath("whole.bin");
  { std::ofstream(path, std::ios::binary) << "abcdef"; }
  FileBuffer file(path.c_str());
  // Closed once loaded: the file can go while the buffer lives on.
  ASSERT_EQ(std::remove(path.c_str()), 0);
  ASSERT_NE(file.data, nullptr);
  EXPECT_EQ(file.size, 6);
  EXPECT_EQ(file.pos, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file.data), 6), "abcdef");
}

TEST(FileBufferLoad, EmptyFileCountsAsLoaded) {
  const std::string path = TempPath("empty.bin");
  { std::ofstream(path, std::ios::binary); }
  FileBuffer file(path.c_str());
  std::remove(path.c_str());
  ASSERT_NE(file.data, nullptr);
  EXPECT_EQ(file.size, 0);
  char byte;
  EXPECT_FALSE(BufferRead(&byte, 1, 1, &file));
}

TEST(FileBufferLoad, WhatCannotBeLoadedLeavesDataNull) {
  const std::string big = TempPath("big.bin");
  {
    // A sparse file of 2 GiB: too large for the 32-bit read position.
    std::FILE* f = std::fopen(big.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(ftruncate(fileno(f), INT64_C(1) << 31), 0);
    std::fclose(f);
  }
  const std::string folder = TempPath("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);

  for (const std::string& path : {TempPath("missing.bin"), folder, big}) {
    FileBuffer file(path.c_str());
    EXPECT_EQ(file.data, nullptr) << path;
  }
  std::remove(big.c_str());
  rmdir(folder.c_str());
}

// A FIFO would block the open until a writer comes, and a device such as
// /dev/zero never ends: neither is waited on. Should the load block, a writer
// comes after a while to free it, and the test fails.
TEST(FileBufferLoad, RefusesFifosAndDevicesWithoutWaiting) {
  const std::string fifo = TempPath("fifo.msh");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    std::promise<void> loaded;
    bool blocked = false;
    std::thread rescue([&, done = loaded.get_future()] {
      if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return;
      blocked = true;
      const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) close(writer);
    });
    {
      FileBuffer file(path.c_str());
      EXPECT_EQ(file.data, nullptr);
    }
    loaded.set_value();
    rescue.join();
    EXPECT_FALSE(blocked);
  }
  std::remove(fifo.c_str());
}

}  // namespace
