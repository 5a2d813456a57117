// Shared by the tests of qmhost's tools: a temporary folder per test, and
// running the built qmhost in it.
#ifndef QM_TESTS_TOOLS_TOOLSSUPPORT_H
#define QM_TESTS_TOOLS_TOOLSSUPPORT_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "MshWriter.h"

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline bool Exists(const std::string& path) { return std::ifstream(path).good(); }

class ToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qm_tools_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  // Writes the file into the test's folder and returns its path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = Path(name);
    EXPECT_TRUE(SaveMsh(bytes, path));
    return path;
  }

  // Runs qmhost with `args` (shell words) in the test's folder, standard
  // input from `input`. A run that hangs is ended after a minute (status 124).
  Outcome Qmhost(const std::string& args, const std::string& input = "/dev/null") const {
    return Shell("timeout -k 5 60 " + QmhostPath() + " " + args, input);
  }

  // Runs a shell command in the test's folder.
  Outcome Shell(const std::string& command, const std::string& input = "/dev/null") const {
    const std::string out = Path("stdout.txt"), err = Path("stderr.txt");
    const std::string line =
        "cd '" + folder_ + "' && " + command + " <" + input + " >" + out + " 2>" + err;
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

#endif  // QM_TESTS_TOOLS_TOOLSSUPPORT_H
