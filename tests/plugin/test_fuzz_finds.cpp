// Every input that ever broke a fuzz target is kept in tests/data/fuzz-finds,
// named after what it broke, and goes through what the targets do with it:
// the import, the model's promises, check's agreement with the import, and
// every saver (fuzz/FuzzModel.h, fuzz/FuzzSave.h). A broken promise aborts.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "FuzzModel.h"
#include "FuzzSave.h"

namespace {

TEST(FuzzFinds, EveryKeptInputPassesWhatTheTargetsCheck) {
  const std::filesystem::path folder =
      std::filesystem::path(QM_SOURCE_DIR) / "tests" / "data" / "fuzz-finds";
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".msh") continue;
    // Said before the replay: a broken promise aborts the test program.
    std::cerr << "replaying " << entry.path().filename().string() << '\n';
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    qmModelPtr model = ImportBytes(bytes.data(), bytes.size());
    SaveEveryFormat(model.get());
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
