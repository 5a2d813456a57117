// Every input that ever broke a fuzz target is kept in tests/data/fuzz-finds,
// named after what it broke, and goes through what the targets do with it:
// the import, the model's promises, check's agreement with the import, and
// every saver (fuzz/FuzzModel.h, fuzz/FuzzSave.h), or for a texture file
// (image-*), the decoding a save does. A broken promise aborts.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "FuzzModel.h"
#include "FuzzSave.h"
#include "ImageDecode.h"

namespace {

std::vector<std::uint8_t> Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
}

TEST(FuzzFinds, EveryKeptInputPassesWhatTheTargetsCheck) {
  const std::filesystem::path folder =
      std::filesystem::path(QM_SOURCE_DIR) / "tests" / "data" / "fuzz-finds";
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".msh") continue;
    // Said before the replay: a broken promise aborts the test program.
    std::cerr << "replaying " << entry.path().filename().string() << '\n';
    const std::vector<std::uint8_t> bytes = Contents(entry.path());
    qmModelPtr model = ImportBytes(bytes.data(), bytes.size());
    SaveEveryFormat(model.get());
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

// As fuzz_image checks: a PNG or the reason there is none, never both.
TEST(FuzzFinds, EveryKeptImageGivesAPngOrAReason) {
  const std::filesystem::path folder =
      std::filesystem::path(QM_SOURCE_DIR) / "tests" / "data" / "fuzz-finds";
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind("image-", 0) != 0) continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<std::uint8_t> bytes = Contents(entry.path());
    std::string why;
    const std::vector<unsigned char> png = ImageAsPng(bytes.data(), bytes.size(), why);
    EXPECT_NE(png.empty(), why.empty()) << why;
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
