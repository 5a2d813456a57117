#include "FileSets.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

MshFile OneLevel(const FileBasis& basis, std::vector<MshMesh> meshes, float red) {
  MshFile file = basis.pools(8, 18);
  MshGroup group;
  group.levels.push_back(LevelOf(red, std::move(meshes)));
  file.groups.push_back(group);
  return file;
}

std::vector<NamedFile> MarkerFiles(const FileBasis& basis,
                                   const std::vector<std::string>& extraNames) {
  std::vector<std::string> names = {"blink_a",  "center_b", "fire_c",    "dock_d",
                                    "breach_e", "angle_f",  "booster_g", "slot_h",
                                    "light_i",  "doc",      "Dock_j",    ""};
  names.insert(names.end(), extraNames.begin(), extraNames.end());
  std::vector<NamedFile> files;
  for (const std::string& name : names) {
    std::vector<MshHardpoint> hardpoints;
    for (int points : {0, 1, 2, 3, 4, 5, 7}) hardpoints.push_back(basis.hardpoint(name, points));
    const std::string label = name.empty() ? "empty" : name.size() > 32 ? "long-name" : name;
    files.push_back({"marker-" + label, WriteMsh(basis.withHardpoints(hardpoints))});
  }
  return files;
}

MshFile SharedMarkerFile(const FileBasis& basis) {
  MshFile file = basis.withHardpoints({basis.hardpoint("dock_main", 2)});
  file.groups.push_back(file.groups[0]);
  file.groups[1].hardpoints.push_back(basis.hardpoint("slot_x", 6));
  return file;
}

std::vector<MshMesh> OddNameMeshes() {
  MshMesh full = MeshOf("", 0, 3, 0, 1);
  full.textureName = std::string(262, 't');
  MshMesh boo = MeshOf("abcdefghijklmnopqrstuvwxyz01234", 0, 3, 0, 1);
  boo.materialFlag = 0xFF;
  MshMesh high = MeshOf("\xC3\xA9t\xE9\xFF.tga", 3, 3, 3, 1);
  MshMesh again = MeshOf("\xC3\xA9t\xE9\xFF.tga", 0, 8, 0, 6);
  return {full, boo, high, again, MeshOf("", 0, 0, 0, 0)};
}

MshFile OddFloatsFile(const FileBasis& basis, const OddFloats& odd) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::array<float, 8>& values = odd.values;
  MshFile file = OneLevel(basis, {MeshOf(odd.textureName, 0, 8, 0, 6)});
  for (std::size_t v = 0; v < file.vertices.size(); ++v) {
    file.vertices[v].position = {values[v], values[(v + 1) % 8], values[(v + 2) % 8]};
    file.vertices[v].normal = {values[(v + 3) % 8], 0, values[(v + 5) % 8]};
    file.vertices[v].texCoords = {values[(v + 6) % 8], values[(v + 7) % 8]};
  }
  MshMesh& mesh = file.groups[0].levels[0].meshes[0];
  mesh.diffuse = {nan, inf, -inf, -0.0f};
  mesh.alpha = odd.alpha;
  mesh.shininessBits = odd.shininessBits;
  file.groups[0].levels[0].red = -3.4e38f;
  file.groups[0].levels.push_back(LevelOf(nan, {}));
  file.groups[0].levels.push_back(LevelOf(odd.lastLevelRed, {}));
  MshHardpoint marker = basis.hardpoint("slot_nan", 3);
  marker.points[1] = {nan, inf, -inf};
  marker.diffuse = {0, 0, 0, nan};
  marker.shininessBits = odd.markerShininessBits;
  file.groups[0].hardpoints.push_back(marker);
  return file;
}

MshFile TrailerFile(const FileBasis& basis) {
  MshFile file = basis.withHardpoints({basis.hardpoint("center", 1)});
  file.trailer.assign(64, 0xAB);
  return file;
}

MshFile PointCountFile(const FileBasis& basis, std::int32_t pointCount) {
  MshFile file = basis.withHardpoints({basis.hardpoint("blink_a", 2)});
  file.groups[0].hardpoints[0].pointCount = pointCount;
  return file;
}

MshFile RangeFile(const FileBasis& basis, const MeshRange& range) {
  return OneLevel(basis, {MeshOf("t.tga", range.firstVertex, range.vertexCount, range.firstIndex,
                                 range.triangleCount)});
}

NamedFile CutFile(const std::vector<std::uint8_t>& bytes, const std::string& prefix,
                  std::size_t length) {
  const std::size_t kept = std::min(length, bytes.size());
  return {
      prefix + std::to_string(length),
      std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept))};
}

std::vector<NamedFile> SpreadCuts(const std::vector<std::uint8_t>& bytes, const std::string& prefix,
                                  int count, int jitter) {
  std::vector<NamedFile> cuts;
  for (int n = 0; n < count; ++n) {
    const std::size_t length =
        bytes.size() * static_cast<std::size_t>(n) / static_cast<std::size_t>(count) +
        static_cast<std::size_t>(n % jitter);
    cuts.push_back(CutFile(bytes, prefix, length));
  }
  return cuts;
}

bool SaveFiles(const std::vector<NamedFile>& files, const std::string& folder,
               const char* program) {
  for (const NamedFile& file : files) {
    const std::string path = folder + "/" + file.name + ".msh";
    if (!SaveMsh(file.bytes, path)) {
      std::fprintf(stderr, "%s: cannot write %s\n", program, path.c_str());
      return false;
    }
  }
  return true;
}
