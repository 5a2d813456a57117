// The naming scheme: names formed as the import forms them read back to the
// numbers and texts they were formed from, cut ones included, and nothing
// else reads as a structure name.
#include <gtest/gtest.h>

#include <string>

#include "NameScheme.h"

namespace {

struct Formed {
  std::string name;
  int length;  // of the whole name
};

Formed LevelMesh(int group, int level, float red) {
  HostName name;
  const int length = FormLevelMeshName(name, group, level, red);
  return {name, length};
}

Formed Mesh(int group, int level, int mesh) {
  HostName name;
  const int length = FormMeshName(name, group, level, mesh);
  return {name, length};
}

Formed Marker(const std::string& hardpoint) {
  HostName name;
  const int length = FormMarkerName(name, hardpoint.data(), static_cast<int>(hardpoint.size()));
  return {name, length};
}

Formed Material(const std::string& texture, bool flagged) {
  HostName name;
  const int length =
      FormMaterialName(name, texture.data(), static_cast<int>(texture.size()), flagged);
  return {name, length};
}

TEST(NameScheme, FormedNamesReadBackToWhatFormedThem) {
  struct Case {
    Formed formed;
    const char* name;
    NameKind kind;
    int group, level, mesh;
    const char* text;
    bool cut;
  };
  const Case cases[] = {
      {LevelMesh(0, 1, 12.5f), "L00LD01#red 012.50#", NameKind::LevelMesh, 0, 1, -1, "012.50", false},
      {LevelMesh(123, 4, -1.5f), "L123LD04#red -01.50#", NameKind::LevelMesh, 123, 4, -1, "-01.50", false},
      {LevelMesh(65534, 65535, 0), "L65534LD65535#red 000.00#", NameKind::LevelMesh, 65534, 65535, -1,
       "000.00", false},
      // A red too wide for the host's 31 characters loses its end and the "#".
      {LevelMesh(7, 0, 1e30f), "L07LD00#red 1000000015047466219", NameKind::LevelMesh, 7, 0, -1,
       "1000000015047466219", true},
      {LevelMesh(0, 0, -1e30f), "L00LD00#red -100000001504746621", NameKind::LevelMesh, 0, 0, -1,
       "-100000001504746621", true},
      {Mesh(2, 0, 11), "L02LD00M11", NameKind::Mesh, 2, 0, 11, "", false},
      {Mesh(65534, 65535, 65535), "L65534LD65535M65535", NameKind::Mesh, 65534, 65535, 65535, "", false},
      {Marker("dock_a"), "#dock_a#", NameKind::Marker, -1, -1, -1, "dock_a", false},
      {Marker(""), "##", NameKind::Marker, -1, -1, -1, "", false},
      {Marker(std::string(kHardpointNameLimit, 'h')), nullptr, NameKind::Marker, -1, -1, -1, nullptr,
       false},
      {Marker(std::string(kHardpointNameLimit + 1, 'h')), nullptr, NameKind::Marker, -1, -1, -1,
       nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formed.name);
    if (c.name != nullptr) {
      EXPECT_EQ(c.formed.name, c.name);
    }
    EXPECT_EQ(c.formed.length > kHostNameLength, c.cut);
    const ParsedName parsed = ParseName(c.formed.name.c_str());
    EXPECT_EQ(parsed.kind, c.kind);
    EXPECT_EQ(parsed.group, c.group);
    EXPECT_EQ(parsed.level, c.level);
    EXPECT_EQ(parsed.mesh, c.mesh);
    EXPECT_EQ(parsed.cut, c.cut);
    if (c.text != nullptr) {
      EXPECT_EQ(parsed.text, c.text);
    }
  }
  // The hardpoint's name comes back whole, or as much as the host kept.
  EXPECT_EQ(ParseName(Marker(std::string(40, 'h')).name.c_str()).text, std::string(30, 'h'));
}

TEST(NameScheme, LimitsAreWhereNamesStartToBeCut) {
  EXPECT_EQ(Material(std::string(kTextureNameLimit, 't'), false).length, kHostNameLength);
  EXPECT_GT(Material(std::string(kTextureNameLimit + 1, 't'), false).length, kHostNameLength);
  EXPECT_EQ(Material(std::string(kFlaggedTextureNameLimit, 't'), true).length, kHostNameLength);
  const Formed flagged = Material(std::string(kFlaggedTextureNameLimit + 1, 't'), true);
  EXPECT_EQ(flagged.length, kHostNameLength + 1);
  EXPECT_EQ(flagged.name, std::string(28, 't') + "@bo");
  EXPECT_EQ(Marker(std::string(kHardpointNameLimit, 'h')).length, kHostNameLength);
  EXPECT_EQ(Material("hull.tga", true).name, "hull.tga@boo");
  // A name is taken as its length of bytes, not to a NUL beyond it.
  HostName name;
  EXPECT_EQ(FormMaterialName(name, "abcdef", 3, false), 3);
  EXPECT_STREQ(name, "abc");
}

TEST(NameScheme, OnlyTheImportsOwnSpellingsReadAsStructure) {
  const char* others[] = {
      "L7LD00M00",             // one digit where the import prints two
      "L007LD00M00",           // a leading zero past two digits
      "L00LD00M00x",           // more after the mesh number
      "L00LD00M",              // no mesh number
      "L00LD00#red 012.50",    // no closing "#", yet shorter than a cut name
      "L00LD00#blue 012.50#",  // not a red
      "L-1LD00M00",
      "l00LD00M00",
      "#x",                    // a marker's opening "#" without its closing one
      "hull.tga",
      "",
  };
  for (const char* name : others) EXPECT_EQ(ParseName(name).kind, NameKind::Other) << name;
}

}  // namespace
