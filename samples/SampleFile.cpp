#include "SampleFile.h"

#include <array>
#include <cstdint>

namespace {

using Point = std::array<float, 3>;

// Appends a box as six faces of four vertices with face normals, and its 12
// triangles; returns the mesh record's ranges.
MshMesh Box(MshFile& file, Point low, Point high, const char* texture) {
  MshMesh mesh;
  mesh.textureName = texture;
  mesh.firstVertex = static_cast<std::uint32_t>(file.vertices.size());
  mesh.firstIndex = static_cast<std::uint32_t>(file.indices.size());
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      const int u = (axis + 1) % 3;
      const int v = (axis + 2) % 3;
      const std::uint16_t base = static_cast<std::uint16_t>(file.vertices.size());
      for (int corner = 0; corner < 4; ++corner) {
        MshVertex vertex;
        vertex.position[axis] = side ? high[axis] : low[axis];
        vertex.position[u] = (corner == 1 || corner == 2) ? high[u] : low[u];
        vertex.position[v] = corner >= 2 ? high[v] : low[v];
        vertex.normal[axis] = side ? 1.0f : -1.0f;
        vertex.texCoords = {(corner == 1 || corner == 2) ? 1.0f : 0.0f, corner >= 2 ? 1.0f : 0.0f};
        file.vertices.push_back(vertex);
      }
      // Outward winding on either side.
      const std::uint16_t a = base, b = static_cast<std::uint16_t>(base + 1),
                          c = static_cast<std::uint16_t>(base + 2),
                          d = static_cast<std::uint16_t>(base + 3);
      if (side)
        file.indices.insert(file.indices.end(), {a, b, c, a, c, d});
      else
        file.indices.insert(file.indices.end(), {a, c, b, a, d, c});
    }
  }
  mesh.vertexCount = 24;
  mesh.triangleCount = 12;
  return mesh;
}

// The same vertices as `full`, but only the first `triangles` of its
// triangles: a lower detail level drawn from the same pool range.
MshMesh Coarser(const MshMesh& full, std::uint32_t triangles) {
  MshMesh mesh = full;
  mesh.triangleCount = triangles;
  return mesh;
}

MshHardpoint Hardpoint(const char* name, MshColour colour, std::vector<Point> points) {
  MshHardpoint hardpoint;
  hardpoint.name = name;
  hardpoint.diffuse = colour;
  hardpoint.shininessBits = 0x40800000;  // 4.0f
  hardpoint.points = std::move(points);
  return hardpoint;
}

}  // namespace

MshFile SampleFile() {
  MshFile file;

  MshMesh hull = Box(file, {-4, -1, -0.5f}, {4, 1, 0.5f}, "hull.tga");
  hull.diffuse = {0.6f, 0.62f, 0.66f, 1};
  MshMesh wing = Box(file, {-1, -5, -0.1f}, {1.5f, 5, 0.1f}, "hull.tga");
  wing.diffuse = hull.diffuse;
  MshMesh cockpit = Box(file, {2, -0.4f, 0.5f}, {3.2f, 0.4f, 1.0f}, "glass.tga");
  cockpit.materialFlag = 1;
  cockpit.diffuse = {0.3f, 0.6f, 0.9f, 0.5f};
  cockpit.alpha = 0.5f;
  cockpit.specular = {1, 1, 1, 1};
  cockpit.shininessBits = 0x42000000;  // 32.0f
  MshMesh engine = Box(file, {-4.6f, -0.6f, -0.4f}, {-4, 0.6f, 0.4f}, "engine.tga");
  engine.emissive = {1, 0.5f, 0.1f, 1};

  MshMesh turretBase = Box(file, {-0.8f, -0.8f, 1}, {0.8f, 0.8f, 1.6f}, "hull.tga");
  turretBase.diffuse = hull.diffuse;
  MshMesh barrel = Box(file, {0.8f, -0.1f, 1.2f}, {3, 0.1f, 1.4f}, "turret.tga");
  barrel.diffuse = {0.25f, 0.25f, 0.3f, 1};

  MshGroup ship;
  ship.levels.push_back(LevelOf(100.0f, {hull, wing, cockpit, engine}, 2, 3));
  ship.levels.push_back(LevelOf(400.0f, {Coarser(hull, 10), Coarser(wing, 10)}, 0, 1));
  ship.block12Count = 1;
  ship.block4Count = 2;
  ship.block19Count = 1;
  ship.hardpoints = {
      Hardpoint("blink_tail", {1, 0, 0, 1}, {{-4, 0, 0.6f}, {1.5f, 5, 0.2f}, {1.5f, -5, 0.2f}}),
      Hardpoint("dock_main", {0, 1, 0, 1}, {{0, 0, -0.6f}, {0, 0, -1.6f}}),
      Hardpoint("slot_cargo", {0, 0, 1, 0.75f}, {{-2, -1, -0.5f}, {-1, -1, -0.5f}, {-1.5f, -1.8f, -0.5f}}),
      Hardpoint("fire_engine", {1, 0.5f, 0, 1}, {{-4.7f, 0, 0}}),
      Hardpoint("light_nav", {1, 1, 1, 1}, {{0, 5.2f, 0}, {0, -5.2f, 0}}),
  };

  MshGroup turret;
  turret.levels.push_back(LevelOf(60.0f, {turretBase, barrel}, 0, 0));
  turret.levels.push_back(LevelOf(250.0f, {Coarser(turretBase, 6)}, 1, 0));
  turret.hardpoints = {
      Hardpoint("center_turret", {1, 1, 0, 1}, {{0, 0, 1.3f}}),
      Hardpoint("breach_barrel", {1, 0, 1, 1}, {{3, 0, 1.3f}, {3.4f, 0, 1.3f}}),
      Hardpoint("angle_turret", {0, 1, 1, 1}, {{0, 0, 1.6f}, {0, 0, 2.4f}}),
      Hardpoint("booster_left", {0.5f, 0.5f, 1, 1}, {{-4.6f, 0.4f, 0}, {-5.4f, 0.4f, 0}}),
      Hardpoint("dock_main", {0, 0.8f, 0.2f, 1}, {{0, 0, 1.6f}, {0, 0, 2.6f}}),
  };

  file.groups = {ship, turret};
  return file;
}
