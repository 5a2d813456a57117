// Writes a model file that puts the savers' edge cases in one place: every
// marker family (and a leftover point of each that has one), a marker without
// points, a name with bytes above 0x7F, and values glTF cannot hold as they
// are: NaN and infinite positions, normals and colours, colours outside
// [0, 1], normals that are not of unit length or have no direction, and a
// detail level whose red value is NaN.
//
//   make_export_fixture OUT.msh
#include <cstdio>
#include <limits>

#include "GeneratorCommandLine.h"
#include "MshWriter.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

MshHardpoint Hardpoint(const char* name, int points) {
  MshHardpoint hardpoint;
  hardpoint.name = name;
  for (int n = 0; n < points; ++n)
    hardpoint.points.push_back({static_cast<float>(n), 0.5f * static_cast<float>(n), 1.0f});
  return hardpoint;
}

// A quad of two triangles.
MshMesh Quad(MshFile& file, const char* texture, std::array<MshVertex, 4> corners) {
  MshMesh mesh;
  mesh.textureName = texture;
  mesh.firstVertex = static_cast<std::uint32_t>(file.vertices.size());
  mesh.firstIndex = static_cast<std::uint32_t>(file.indices.size());
  const auto base = static_cast<std::uint16_t>(file.vertices.size());
  file.vertices.insert(file.vertices.end(), corners.begin(), corners.end());
  for (int corner : {0, 1, 2, 0, 2, 3})
    file.indices.push_back(static_cast<std::uint16_t>(base + corner));
  mesh.vertexCount = 4;
  mesh.triangleCount = 2;
  return mesh;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  const std::string out = GeneratorPath(
      argc, argv,
      "Writes a model file with every marker family, values glTF cannot hold and a damaged "
      "triangle, for the format checks.",
      "OUT.msh", "The file to write", status);
  if (out.empty()) return status;
  MshFile file;
  MshMesh plain = Quad(file, "plain.tga",
                       {MshVertex{{0, 0, 0}, {0, 0, 1}, {0, 0}},
                        MshVertex{{1, 0, 0}, {0, 0, 1}, {1, 0}},
                        MshVertex{{1, 1, 0}, {0, 0, 1}, {1, 1}},
                        MshVertex{{0, 1, 0}, {0, 0, 1}, {0, 1}}});
  MshMesh odd = Quad(file, "caf\xE9-\xFF.tga",
                     {MshVertex{{kNaN, 0, 0}, {0, 0, 2}, {kNaN, 0}},
                      MshVertex{{kInf, 0, 0}, {0, 0, 0}, {1, kInf}},
                      MshVertex{{1, -kInf, 0}, {kNaN, 0, 1}, {1, 1}},
                      MshVertex{{0, 1, 1e30f}, {0.6f, 0.8f, 0}, {0, 1}}});
  odd.diffuse = {1.5f, -0.5f, kNaN, 1};
  odd.ambient = {kInf, 0, 0, 1};
  odd.specular = {0, -kInf, 0, 1};
  odd.emissive = {2, 0.5f, kNaN, 1};
  odd.shininessBits = 0x7FC00000;  // NaN
  odd.alpha = kNaN;

  MshGroup group;
  MshLevel level;
  level.red = 125.5f;
  level.meshes = {plain, odd};
  group.levels.push_back(level);
  MshLevel broken;
  broken.red = kNaN;
  broken.meshes = {plain};
  group.levels.push_back(broken);
  group.hardpoints = {Hardpoint("blink_a", 2),  Hardpoint("center_b", 1), Hardpoint("fire_c", 2),
                      Hardpoint("dock_d", 3),   Hardpoint("breach_e", 2), Hardpoint("angle_f", 2),
                      Hardpoint("booster_g", 3), Hardpoint("slot_h", 4),  Hardpoint("light_i", 2),
                      Hardpoint("empty_j", 0)};
  group.hardpoints[1].diffuse = {kNaN, 2, 0, 1.5f};
  file.groups = {group};

  if (!SaveMsh(WriteMsh(file), out)) {
    std::fprintf(stderr, "make_export_fixture: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
