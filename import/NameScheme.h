// The names the import gives the host's meshes and materials, the only place
// where the file's structure survives in the host model:
//
//   level mesh    "L%02iLD%02i#red %06.2f#"   group, level, the level's red
//   mesh          "L%02iLD%02iM%02i"          group, level, mesh record
//   material      "%s" or "%s@boo"            texture name; "@boo" with the material flag
//   marker        "#%s#"                      hardpoint name, for its mesh and its material
//
// The host keeps 31 characters of a name; a longer one is cut. Formed here by
// the import, and read back here by whatever follows the structure (the savers'
// tree, the picture), so the two never drift apart.
//
//   HostName name;
//   if (FormMarkerName(name, record.name, length) > kHostNameLength) ...  // was cut
//   const ParsedName parsed = ParseName(qmMesh_GetName(mesh));
#ifndef QM_IMPORT_NAMESCHEME_H
#define QM_IMPORT_NAMESCHEME_H

#include <cstddef>
#include <cstring>
#include <string_view>

// The host's names are 32-byte buffers: 31 characters and the NUL.
constexpr int kHostNameLength = 31;
using HostName = char[kHostNameLength + 1];

// The formats, built from their parts so that the limits below and the
// parser follow them.
#define QM_GROUP_LEVEL_FORMAT "L%02iLD%02i"  // group, level: how a level's names begin
#define QM_RED_FORMAT "#red %06.2f#"         // the red value, widened to double
#define QM_MESH_NUMBER_FORMAT "M%02i"        // the mesh record's number in its level
#define QM_LEVEL_MESH_FORMAT QM_GROUP_LEVEL_FORMAT QM_RED_FORMAT
#define QM_MESH_FORMAT QM_GROUP_LEVEL_FORMAT QM_MESH_NUMBER_FORMAT
// Added to a texture name when the mesh record's material flag is set.
#define QM_FLAGGED_MATERIAL_SUFFIX "@boo"
#define QM_MATERIAL_FORMAT "%.*s"
#define QM_FLAGGED_MATERIAL_FORMAT "%.*s" QM_FLAGGED_MATERIAL_SUFFIX
// Around a hardpoint name, for its marker mesh and material.
#define QM_MARKER_MARK "#"
#define QM_MARKER_FORMAT QM_MARKER_MARK "%.*s" QM_MARKER_MARK

constexpr std::size_t kFlaggedSuffixLength = sizeof QM_FLAGGED_MATERIAL_SUFFIX - 1;
constexpr std::size_t kMarkerMarkLength = sizeof QM_MARKER_MARK - 1;

// The longest names that reach the host whole.
constexpr int kTextureNameLimit = kHostNameLength;
constexpr int kFlaggedTextureNameLimit = kHostNameLength - static_cast<int>(kFlaggedSuffixLength);
constexpr int kHardpointNameLimit = kHostNameLength - 2 * static_cast<int>(kMarkerMarkLength);
static_assert(kFlaggedTextureNameLimit == 27 && kHardpointNameLimit == 29,
              "the limits that the file format's users know");

inline void ClearName(HostName& name) { std::memset(name, 0, sizeof name); }

// Each Form... forms its name into the `size` bytes at `name`, cut to fit
// with its NUL, and returns the length of the whole name. Texts are taken as
// `length` bytes (a file's text field up to its NUL, never past its width).
int FormLevelMeshName(char* name, std::size_t size, int group, int level, float red);
int FormMeshName(char* name, std::size_t size, int group, int level, int mesh);
int FormMaterialName(char* name, std::size_t size, const char* textureName, int length,
                     bool flagged);
int FormMarkerName(char* name, std::size_t size, const char* hardpointName, int length);

// The same into a host name, zero-filled first: above kHostNameLength the
// returned length says the host got the name cut.
inline int FormLevelMeshName(HostName& name, int group, int level, float red) {
  ClearName(name);
  return FormLevelMeshName(name, sizeof name, group, level, red);
}
inline int FormMeshName(HostName& name, int group, int level, int mesh) {
  ClearName(name);
  return FormMeshName(name, sizeof name, group, level, mesh);
}
inline int FormMaterialName(HostName& name, const char* textureName, int length, bool flagged) {
  ClearName(name);
  return FormMaterialName(name, sizeof name, textureName, length, flagged);
}
inline int FormMarkerName(HostName& name, const char* hardpointName, int length) {
  ClearName(name);
  return FormMarkerName(name, sizeof name, hardpointName, length);
}

// The shape a hardpoint's points take in its marker mesh, chosen by the first
// letters of the hardpoint's name (case-sensitive, the whole prefix).
enum class MarkerFamily {
  None,    // one lone vertex per point
  Point,   // every point: a triangle of three coincident vertices     blink, center, fire
  Pair,    // every second point: a triangle (odd point, even point, even point)
           //                                        dock, breach, angle, booster
  Triple,  // every third point: a triangle of the last three points   slot
};

// The family of the hardpoint named by the `length` bytes at `name`.
MarkerFamily MarkerFamilyOf(const char* name, std::size_t length);

enum class NameKind {
  LevelMesh,  // "L%02iLD%02i#red %06.2f#"
  Mesh,       // "L%02iLD%02iM%02i"
  Marker,     // "#%s#"
  Other,      // none of these
};

// What a host mesh's name says. `text` points into the parsed name: the red as
// printed for a level mesh, the hardpoint's name for a marker. `cut` is set
// when the name has the host's full 31 characters and has lost its closing
// "#" to the cut, so `text` lost its end; a level mesh's group and level
// numbers and a mesh's numbers are never cut (19 characters at the most).
struct ParsedName {
  NameKind kind = NameKind::Other;
  int group = -1;
  int level = -1;
  int mesh = -1;
  std::string_view text;
  bool cut = false;
};

// Reads back exactly what the Form... functions write: a name is a level mesh
// or a mesh only if forming it again from the numbers read gives the same
// characters (so "L7LD00M00" or "L00LD00M00x" are Other).
ParsedName ParseName(const char* name);

#endif  // QM_IMPORT_NAMESCHEME_H
