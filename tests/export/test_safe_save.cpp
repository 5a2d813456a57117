// Saving through a temporary file: a failed save changes nothing.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "QmhostRun.h"
#include "SafeSave.h"

namespace {

class SafeSave : public TempFolderTest {
 protected:
  std::vector<std::string> Files() const { return Listing(); }
  std::string Read(const std::string& file) const { return ReadText(Path(file)); }
  void Write(const std::string& file, const std::string& text) const { WriteText(file, text); }

  static std::function<bool(std::ostream&)> Text(const std::string& text) {
    return [text](std::ostream& out) {
      out << text;
      return true;
    };
  }
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

// A save in two steps: written, the old files are still in place beside the
// temporaries; placed, the save is there and nothing else; never placed,
// nothing of it is left.
TEST_F(SafeSave, AStagedSaveIsInPlaceOnlyOncePlaced) {
  Write("a.obj", "old obj");
  Write("a.mtl", "old mtl");
  std::string error;
  {
    StagedSave save;
    ASSERT_TRUE(save.Write({{Path("a.mtl"), Text("new mtl")}, {Path("a.obj"), Text("new obj")}},
                           error))
        << error;
    EXPECT_EQ(Files().size(), 4u);
    EXPECT_EQ(Read("a.obj"), "old obj");
    ASSERT_TRUE(save.Place(error)) << error;
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.mtl", "a.obj"}));
    EXPECT_EQ(Read("a.mtl"), "new mtl");
    EXPECT_EQ(Read("a.obj"), "new obj");
  }
  {
    StagedSave save;
    ASSERT_TRUE(save.Write({{Path("a.obj"), Text("newer")}, {Path("b.obj"), Text("b")}}, error))
        << error;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"a.mtl", "a.obj"}));
  EXPECT_EQ(Read("a.obj"), "new obj");
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
  EXPECT_EQ(error, "cannot save " + folder_ + "/a.glb: Is a directory");
  EXPECT_EQ(Files(), std::vector<std::string>{"a.glb"});
}

// The second rename fails (its target is a folder that holds a file) after
// the first file is in place: the first goes back to what it was, whether it
// existed or not.
TEST_F(SafeSave, UndoesTheEarlierRenamesWhenALaterOneFails) {
  for (const bool existed : {true, false}) {
    SCOPED_TRACE(existed ? "the .mtl existed" : "no .mtl before");
    TearDown();
    SetUp();
    if (existed) Write("a.mtl", "old mtl");
    ASSERT_EQ(::mkdir((folder_ + "/a.obj").c_str(), 0755), 0);
    Write("a.obj/inside", "x");
    std::string error;
    EXPECT_FALSE(SaveFiles({FileToSave{folder_ + "/a.mtl", Text("new mtl")},
                            FileToSave{folder_ + "/a.obj", Text("new obj")}},
                           error));
    EXPECT_EQ(error, "cannot save " + folder_ + "/a.obj: Is a directory");
    if (existed) {
      EXPECT_EQ(Read("a.mtl"), "old mtl");
      EXPECT_EQ(Files(), (std::vector<std::string>{"a.mtl", "a.obj"}));
    } else {
      EXPECT_EQ(Files(), std::vector<std::string>{"a.obj"});
    }
  }
}

// Through links, as cp writes: the file at the end of the chain gets the new
// content, beside it the temporary was made, and every link stays a link.
TEST_F(SafeSave, WritesThroughSymbolicLinks) {
  ASSERT_EQ(::mkdir((folder_ + "/real").c_str(), 0755), 0);
  Write("real/model.glb", "old");
  const struct {
    const char* link;
    std::string target;
  } links[] = {
      {"relative.glb", "real/model.glb"},
      {"absolute.glb", folder_ + "/real/model.glb"},
      {"chain.glb", "relative.glb"},
      {"dangling.glb", "real/new.glb"},  // made, as cp makes it
  };
  for (const auto& link : links)
    ASSERT_EQ(::symlink(link.target.c_str(), (folder_ + "/" + link.link).c_str()), 0);
  for (const auto& link : links) {
    SCOPED_TRACE(link.link);
    std::string error;
    ASSERT_TRUE(SaveFile(folder_ + "/" + link.link, Text(std::string("via ") + link.link), error))
        << error;
    struct stat s;
    ASSERT_EQ(::lstat((folder_ + "/" + link.link).c_str(), &s), 0);
    EXPECT_TRUE(S_ISLNK(s.st_mode));
    EXPECT_EQ(Read(link.link), std::string("via ") + link.link);
  }
  EXPECT_EQ(Read("real/new.glb"), "via dangling.glb");
  EXPECT_EQ(Files(), (std::vector<std::string>{"absolute.glb", "chain.glb", "dangling.glb", "real",
                                               "relative.glb"}));

  ASSERT_EQ(::symlink("loop.glb", (folder_ + "/loop.glb").c_str()), 0);
  std::string error;
  EXPECT_FALSE(SaveFile(folder_ + "/loop.glb", Text("x"), error));
  EXPECT_EQ(error, "cannot save " + folder_ + "/loop.glb: Too many levels of symbolic links");
}

// A link planted by someone else in a folder anyone may write to, such as
// /tmp, would aim the save at any file of the user: it is not followed.
TEST_F(SafeSave, FollowsNoStrangersLinkInASharedFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a link of another user needs root";
  ASSERT_EQ(::chmod(folder_.c_str(), 01777), 0);
  Write("mine.glb", "old");
  ASSERT_EQ(::symlink("mine.glb", (folder_ + "/planted.glb").c_str()), 0);
  ASSERT_EQ(::lchown((folder_ + "/planted.glb").c_str(), 4321, 4321), 0);
  ASSERT_EQ(::chown(folder_.c_str(), 1234, 1234), 0);
  std::string error;
  EXPECT_FALSE(SaveFile(folder_ + "/planted.glb", Text("new"), error));
  EXPECT_EQ(error, "cannot save " + folder_ + "/planted.glb: Permission denied");
  EXPECT_EQ(Read("mine.glb"), "old");
  // The folder's owner's link is followed.
  ASSERT_EQ(::lchown((folder_ + "/planted.glb").c_str(), 1234, 1234), 0);
  EXPECT_TRUE(SaveFile(folder_ + "/planted.glb", Text("new"), error)) << error;
  EXPECT_EQ(Read("mine.glb"), "new");
}

// Two files of one save that are one file: the second would replace the
// first.
TEST_F(SafeSave, RefusesTwoFilesOfASaveThatAreOne) {
  Write("a.mtl", "old");
  ASSERT_EQ(::symlink("a.mtl", (folder_ + "/a.obj").c_str()), 0);
  std::string error;
  EXPECT_FALSE(SaveFiles({FileToSave{folder_ + "/a.mtl", Text("mtl")},
                          FileToSave{folder_ + "/a.obj", Text("obj")}},
                         error));
  EXPECT_EQ(error, "cannot save " + folder_ + "/a.obj: it is the same file as " + folder_ +
                       "/a.mtl");
  EXPECT_EQ(Read("a.mtl"), "old");
}

// The temporary's name does not grow with the target's: every name the file
// system takes can be saved to.
TEST_F(SafeSave, SavesUnderNamesOfAnyLength) {
  for (const size_t length : {5u, 248u, 249u, 252u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".glb";
    std::string error;
    EXPECT_TRUE(SaveFile(folder_ + "/" + name, Text("new"), error)) << length << ": " << error;
    EXPECT_EQ(Read(name), "new");
  }
}

TEST_F(SafeSave, KeepsThePermissionsOfTheFileItReplaces) {
  Write("a.glb", "old");
  ASSERT_EQ(::chmod((folder_ + "/a.glb").c_str(), 0640), 0);
  std::string error;
  ASSERT_TRUE(SaveFile(folder_ + "/a.glb", Text("new"), error)) << error;
  struct stat s;
  ASSERT_EQ(::stat((folder_ + "/a.glb").c_str(), &s), 0);
  EXPECT_EQ(s.st_mode & 0777, 0640u);
}

// A FIFO or a device in the target's place is never replaced by a file.
TEST_F(SafeSave, RefusesATargetThatIsNoRegularFile) {
  ASSERT_EQ(::mkfifo((folder_ + "/a.glb").c_str(), 0644), 0);
  std::string error;
  EXPECT_FALSE(SaveFile(folder_ + "/a.glb", Text("new"), error));
  EXPECT_EQ(error, "cannot save " + folder_ + "/a.glb: it is a FIFO, not a regular file");
  struct stat s;
  ASSERT_EQ(::lstat((folder_ + "/a.glb").c_str(), &s), 0);
  EXPECT_TRUE(S_ISFIFO(s.st_mode));
  EXPECT_EQ(Files(), std::vector<std::string>{"a.glb"});
}

// A writer that runs out of memory: the exception passes on, and neither a
// temporary nor a half-written file stays.
TEST_F(SafeSave, RemovesItsTemporariesWhenAWriterThrows) {
  Write("a.mtl", "old");
  std::string error;
  EXPECT_THROW(SaveFiles({FileToSave{folder_ + "/a.mtl", Text("new mtl")},
                          FileToSave{folder_ + "/a.obj",
                                     [](std::ostream& out) -> bool {
                                       out << "half";
                                       throw std::bad_alloc();
                                     }}},
                         error),
               std::bad_alloc);
  EXPECT_EQ(Files(), std::vector<std::string>{"a.mtl"});
  EXPECT_EQ(Read("a.mtl"), "old");
}

// A write the system refuses says the system's reason; a writer that fails
// on a healthy stream could not form its content. The file size limit stands
// in for a full disk here (the same path through the stream); the full disk
// itself is tested with qmhost on a small tmpfs.
TEST_F(SafeSave, TellsAFailedWriteFromContentThatCouldNotBeFormed) {
  Write("a.glb", "old");
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
  rlimit limit{}, saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  limit.rlim_cur = 1000;
  limit.rlim_max = saved.rlim_max;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  // As the glTF and PNG writers do, the writer fails when its stream failed.
  std::string tooLarge;
  const bool saved1 = SaveFile(
      folder_ + "/a.glb",
      [](std::ostream& out) { return static_cast<bool>(out << std::string(1 << 21, 'x')); },
      tooLarge);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_FALSE(saved1);
  EXPECT_EQ(tooLarge, "cannot save " + folder_ + "/a.glb: File too large");

  std::string unformed;
  EXPECT_FALSE(SaveFile(folder_ + "/a.glb", [](std::ostream&) { return false; }, unformed));
  EXPECT_EQ(unformed, "cannot save " + folder_ + "/a.glb: its content could not be formed");
  EXPECT_EQ(Read("a.glb"), "old");
  EXPECT_EQ(Files(), std::vector<std::string>{"a.glb"});
}

}  // namespace
