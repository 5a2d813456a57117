// The open-file dialog's record as the run hands it over, member by member,
// prepared over storage full of stale bytes: what is not set must be zero.
#include <gtest/gtest.h>

#include <cstring>

#include "Dialogs.h"

namespace {

constexpr unsigned char kStale = 0xAB;

template <typename T>
void FillStale(T& object) {
  std::memset(&object, kStale, sizeof object);
}

TEST(OpenFileDialogRecord, EveryMemberIsSetOverStaleStorage) {
  OPENFILENAMEA ofn;
  char szFile[256];
  char szFileTitle[256];
  char szDefExt[32];
  char szFilter[128];
  FillStale(ofn);
  FillStale(szFile);
  FillStale(szFileTitle);
  FillStale(szDefExt);
  FillStale(szFilter);

  PrepareOpenFileDialog(ofn, szFile, szFileTitle, szDefExt, szFilter);

  EXPECT_EQ(ofn.lStructSize, 76u);
  EXPECT_EQ(ofn.hwndOwner, nullptr);
  EXPECT_EQ(ofn.hInstance, nullptr);
  EXPECT_EQ(ofn.lpstrFilter, szFilter);
  EXPECT_EQ(ofn.lpstrCustomFilter, nullptr);
  EXPECT_EQ(ofn.nMaxCustFilter, 0u);
  EXPECT_EQ(ofn.nFilterIndex, 0u);
  EXPECT_EQ(ofn.lpstrFile, szFile);
  EXPECT_EQ(ofn.nMaxFile, 256u);
  EXPECT_EQ(ofn.lpstrFileTitle, szFileTitle);
  EXPECT_EQ(ofn.nMaxFileTitle, 256u);
  EXPECT_EQ(ofn.lpstrInitialDir, nullptr);
  EXPECT_STREQ(ofn.lpstrTitle, "Import Velun 2030V Mesh *.msh");
  EXPECT_EQ(ofn.Flags, 0x1804u);
  EXPECT_EQ(ofn.nFileOffset, 0u);
  EXPECT_EQ(ofn.nFileExtension, 0u);
  EXPECT_EQ(ofn.lpstrDefExt, szDefExt);
  EXPECT_EQ(ofn.lCustData, 0);
  EXPECT_EQ(ofn.lpfnHook, nullptr);
  EXPECT_EQ(ofn.lpTemplateName, nullptr);

  EXPECT_EQ(szFile[0], '\0');
  EXPECT_EQ(szFileTitle[0], '\0');
  const char kDefExt[32] = "msh";
  EXPECT_EQ(0, std::memcmp(szDefExt, kDefExt, sizeof szDefExt));
  // The full 128 bytes: the pairs, the empty string that ends them, zeros.
  const char kFilter[128] =
      "Object Files (*.msh)\0*.msh\0Msh2030V Mesh File\0*.msh\0All Files (*.*)\0*.*\0";
  EXPECT_EQ(0, std::memcmp(szFilter, kFilter, sizeof szFilter));
}

}  // namespace
