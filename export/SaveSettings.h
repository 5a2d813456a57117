// How a saver maps the host model onto a format that other programs read. The
// defaults give what a person opening the file should see: +Y up, detail
// level 0 of every group, the markers, and the textures found beside the
// .msh file. The host model and the JSON save never depend on these.
#ifndef QM_EXPORT_SAVESETTINGS_H
#define QM_EXPORT_SAVESETTINGS_H

#include <string>
#include <vector>

// The host's files are +Z up. glTF defines +Y as up and OBJ readers assume
// it: with Y, positions, normals and marker points are turned right-handed,
// (x, y, z) -> (x, z, -y), a swap and a negation that change no bit of any
// value. Z keeps the host's axes, for tools set up for +Z up.
enum class UpAxis { Y, Z };

struct SaveSettings {
  // glTF: the kept meshes as a plain list of nodes in model order, rather
  // than the tree of groups, detail levels and markers.
  bool flat = false;

  UpAxis up = UpAxis::Y;

  // The detail level kept of each group; kAllLevels keeps every level in one
  // file (glTF: MSFT_lod on each group's level 0 node). Levels left out are
  // named in the save's notes. Markers and meshes outside any level are kept
  // whatever the level.
  static constexpr int kAllLevels = -1;
  int level = 0;
  // Every level, each to a file of its own: level 0 (with the markers) at
  // the path saved to, level N beside it as NAME.lodN.EXT. `level` is then
  // not used.
  bool levelFiles = false;

  // A material named after a texture file (its name without "@boo") gets
  // the image, looked up by name in any letter case beside `source` and in
  // each of `textureFolders`, in that order.
  bool textures = true;
  std::vector<std::string> textureFolders;
  // The .msh file the model was imported from; empty when there is none.
  std::string source;
};

#endif  // QM_EXPORT_SAVESETTINGS_H
