// Shared by the tests that work with files: a temporary folder per test,
// reading a file back, and running the built qmhost (or any command) in the
// folder with its output caught.
#ifndef QM_TESTS_SUPPORT_QMHOSTRUN_H
#define QM_TESTS_SUPPORT_QMHOSTRUN_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "MshWriter.h"

// How a command ended, and what it wrote.
struct Outcome {
  int status = -1;  // the exit status; -1 when a signal ended it
  std::string out;
  std::string err;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

inline const std::string& SamplePath() {
  static const std::string path = std::string(QM_SOURCE_DIR) + "/samples/sample.msh";
  return path;
}

// A test with a folder of its own under /tmp, removed after it.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qm_test_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  // Writes a mesh file into the test's folder and returns its path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = Path(name);
    EXPECT_TRUE(SaveMsh(bytes, path));
    return path;
  }
  std::string WriteText(const std::string& name, const std::string& text) const {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // The names in a folder of the test's (the test's own by default), hidden
  // ones too, in order.
  std::vector<std::string> Listing(const std::string& folder = "") const {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(Path(folder), error), end;
         !error && entry != end; entry.increment(error))
      names.push_back(entry->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs qmhost with `args` (shell words) in the test's folder, standard
  // input from the file `input`. A run that hangs is ended after a minute
  // (status 124).
  Outcome Qmhost(const std::string& args, const std::string& input = "/dev/null") const {
    return Shell("timeout -k 5 60 " + QmhostPath() + " " + args, input);
  }

  // Runs a shell command in the test's folder. What it writes is caught
  // beside the folder, so the folder holds only what the command made.
  Outcome Shell(const std::string& command, const std::string& input = "/dev/null") const {
    const std::string out = folder_ + ".stdout", err = folder_ + ".stderr";
    const std::string line =
        "cd '" + folder_ + "' && " + command + " <'" + input + "' >" + out + " 2>" + err;
    const int raw = std::system(line.c_str());
    Outcome run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
  }

  static std::string QmhostPath() { return std::string(QM_BINARY_DIR) + "/qmhost"; }

  std::string folder_;
};

#endif  // QM_TESTS_SUPPORT_QMHOSTRUN_H
