// Saving through a temporary file: a failed save changes nothing.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "SafeSave.h"

namespace {

class SafeSave : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qm_safe_save_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override {
    for (const std::string& file : Files()) ::unlink((folder_ + "/" + file).c_str());
    ::rmdir(folder_.c_str());
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    DIR* dir = ::opendir(folder_.c_str());
    while (dirent* entry = dir ? ::readdir(dir) : nullptr)
      if (entry->d_name[0] != '.') files.push_back(entry->d_name);
    if (dir) ::closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string Read(const std::string& file) const {
    std::ifstream in(folder_ + "/" + file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void Write(const std::string& file, const std::string& text) const {
    std::ofstream(folder_ + "/" + file, std::ios::binary) << text;
  }

  static std::function<bool(std::ostream&)> Text(const std::string& text) {
    return [text](std::ostream& out) {
      out << text;
      return true;
    };
  }

  std::string folder_;
};

TEST_F(SafeSave, ReplacesTheFileWithReadablePermissions) {
  Write("a.glb", "old");
  std::string error;
  ASSERT_TRUE(SaveFile(folder_ + "/a.glb", Text("new"), error)) << error;
  EXPECT_EQ(Read("a.glb"), "new");
  EXPECT_EQ(Files(), std::vector<std::string>{"a.glb"});
  struct stat s;
  ASSERT_EQ(::stat((folder_ + "/a.glb").c_str(), &s), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(s.st_mode & 0777, 0666 & ~mask);
}

TEST_F(SafeSave, LeavesTheOldFileAndNoTemporaryWhenTheWriterFails) {
  Write("a.glb", "old");
  std::string error;
  EXPECT_FALSE(SaveFile(
      folder_ + "/a.glb",
      [](std::ostream& out) {
        out << "half";
        return false;
      },
      error));
  EXPECT_EQ(Read("a.glb"), "old");
  EXPECT_EQ(Files(), std::vector<std::string>{"a.glb"});
  EXPECT_NE(error.find("a.glb"), std::string::npos);
}

TEST_F(SafeSave, ReportsAMissingFolderInOneLine) {
  std::string error;
  EXPECT_FALSE(SaveFile(folder_ + "/none/a.glb", Text("new"), error));
  EXPECT_EQ(error, "cannot save " + folder_ + "/none/a.glb: No such file or directory");
  EXPECT_TRUE(Files().empty());
}

TEST_F(SafeSave, RenamesNoFileOfASaveUntilAllAreWritten) {
  Write("a.mtl", "old mtl");
  std::string error;
  EXPECT_FALSE(SaveFiles({FileToSave{folder_ + "/a.mtl", Text("new mtl")},
                          FileToSave{folder_ + "/none/a.obj", Text("new obj")}},
                         error));
  EXPECT_EQ(Read("a.mtl"), "old mtl");
  EXPECT_EQ(Files(), std::vector<std::string>{"a.mtl"});
}

TEST_F(SafeSave, FailsWhenTheTargetIsAFolder) {
  ASSERT_EQ(::mkdir((folder_ + "/a.glb").c_str(), 0755), 0);
  std::string error;
  EXPECT_FALSE(SaveFile(folder_ + "/a.glb", Text("new"), error));
  EXPECT_EQ(Files(), std::vector<std::string>{"a.glb"});
  ::rmdir((folder_ + "/a.glb").c_str());
}

}  // namespace
