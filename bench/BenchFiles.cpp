#include "BenchFiles.h"

#include <cstdio>
#include <string>

#include "MshWriter.h"

namespace {

// A side x side grid of vertices in the z = 0 plane with unit normals.
std::vector<MshVertex> Grid(int side) {
  std::vector<MshVertex> vertices;
  vertices.reserve(static_cast<size_t>(side) * side);
  const float step = 1.0f / static_cast<float>(side - 1);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      MshVertex v;
      v.position = {static_cast<float>(x) * step, static_cast<float>(y) * step, 0.0f};
      v.normal = {0.0f, 0.0f, 1.0f};
      v.texCoords = {static_cast<float>(x) * step, static_cast<float>(y) * step};
      vertices.push_back(v);
    }
  }
  return vertices;
}

// Triangle t of a grid's quads, starting at quad `offset`, so that meshes that
// share the vertices still have index ranges of their own.
void AppendGridTriangles(std::vector<std::uint16_t>& indices, int side, int count, int offset) {
  const int quads = (side - 1) * (side - 1);
  for (int t = 0; t < count; ++t) {
    const int quad = (t / 2 + offset) % quads;
    const int x = quad % (side - 1);
    const int y = quad / (side - 1);
    const int a = y * side + x;
    const int b = a + 1;
    const int c = a + side;
    const int d = c + 1;
    const int corners[2][3] = {{a, b, d}, {a, d, c}};
    for (int n : corners[t % 2]) indices.push_back(static_cast<std::uint16_t>(n));
  }
}

std::string Numbered(const char* format, int n) {
  char text[32];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

}  // namespace

std::vector<std::uint8_t> MakeBigFile(bool small, bool oneLevel) {
  const int side = small ? 50 : 250;                  // 62,500 vertices per mesh
  const int triangles = small ? 5'000 : 125'000;      // 375,000 pool entries per mesh
  MshFile file;
  file.vertices = Grid(side);
  file.indices.reserve(16 * 3 * static_cast<size_t>(triangles));
  // 2 groups of 2 levels of 4 meshes, or of 1 level of 8.
  const int levels = oneLevel ? 1 : 2;
  const int meshesPerLevel = 8 / levels;
  for (int g = 0; g < 2; ++g) {
    MshGroup group;
    for (int l = 0; l < levels; ++l) {
      MshLevel level;
      level.red = static_cast<float>(l) * 100.0f;
      for (int m = 0; m < meshesPerLevel; ++m) {
        const int meshNumber = (g * levels + l) * meshesPerLevel + m;
        MshMesh mesh;
        mesh.textureName = Numbered("hull%02d.tga", m % 4);
        mesh.vertexCount = static_cast<std::uint32_t>(file.vertices.size());
        mesh.firstIndex = static_cast<std::uint32_t>(file.indices.size());
        mesh.triangleCount = static_cast<std::uint32_t>(triangles);
        AppendGridTriangles(file.indices, side, triangles, meshNumber * 7919);
        level.meshes.push_back(mesh);
      }
      group.levels.push_back(std::move(level));
    }
    file.groups.push_back(std::move(group));
  }
  return WriteMsh(file);
}

std::vector<std::uint8_t> MakeBatchFile(int variant, bool small) {
  const int side = small ? 50 : 250;
  const int triangles = small ? 2'500 : 62'500;
  MshFile file;
  file.vertices = Grid(side);
  MshLevel level;
  for (int m = 0; m < 4; ++m) {
    MshMesh mesh;
    mesh.textureName = Numbered("hull%02d.tga", m);
    mesh.vertexCount = static_cast<std::uint32_t>(file.vertices.size());
    mesh.firstIndex = static_cast<std::uint32_t>(file.indices.size());
    mesh.triangleCount = static_cast<std::uint32_t>(triangles);
    AppendGridTriangles(file.indices, side, triangles, (variant * 4 + m) * 7919);
    level.meshes.push_back(mesh);
  }
  MshGroup group;
  group.levels.push_back(std::move(level));
  file.groups.push_back(std::move(group));
  return WriteMsh(file);
}

std::vector<std::uint8_t> MakeManyFile(int scale, bool small) {
  const int divisor = scale * (small ? 20 : 1);
  const int meshes = 20'000 / divisor;
  const int materials = 5'000 / divisor;
  const int hardpoints = 10'000 / divisor;
  const int hardpointNames = 2'000 / divisor;
  const int groups = 20;

  // 250 small boxes of 8 vertices and 12 triangles; mesh n draws box n % 250.
  MshFile file;
  constexpr int kShapes = 250;
  for (int s = 0; s < kShapes; ++s) {
    const std::uint16_t base = static_cast<std::uint16_t>(file.vertices.size());
    for (int corner = 0; corner < 8; ++corner) {
      MshVertex v;
      v.position = {static_cast<float>(s) + static_cast<float>(corner & 1),
                    static_cast<float>((corner >> 1) & 1), static_cast<float>((corner >> 2) & 1)};
      v.normal = {0.0f, 1.0f, 0.0f};
      v.texCoords = {static_cast<float>(corner & 1), static_cast<float>((corner >> 1) & 1)};
      file.vertices.push_back(v);
    }
    const int faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
                              {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
    for (const auto& face : faces)
      for (int n : face) file.indices.push_back(static_cast<std::uint16_t>(base + n));
  }

  // Names whose families cover every marker shape.
  const char* const kPrefixes[] = {"blink", "dock", "slot", "light"};
  const int meshesPerGroup = meshes / groups;
  const int hardpointsPerGroup = hardpoints / groups;
  int meshNumber = 0;
  int hardpointNumber = 0;
  for (int g = 0; g < groups; ++g) {
    MshGroup group;
    // Levels of at most 100 meshes, as the mesh names print two digits.
    for (int first = 0; first < meshesPerGroup; first += 100) {
      MshLevel level;
      level.red = static_cast<float>(first);
      for (int k = first; k < meshesPerGroup && k < first + 100; ++k, ++meshNumber) {
        const int shape = meshNumber % kShapes;
        MshMesh mesh;
        mesh.textureName = Numbered("panel%05d.tga", meshNumber % materials);
        mesh.firstVertex = static_cast<std::uint32_t>(shape * 8);
        mesh.vertexCount = 8;
        mesh.firstIndex = static_cast<std::uint32_t>(shape * 36);
        mesh.triangleCount = 12;
        level.meshes.push_back(mesh);
      }
      group.levels.push_back(std::move(level));
    }
    for (int h = 0; h < hardpointsPerGroup; ++h, ++hardpointNumber) {
      const int name = hardpointNumber % hardpointNames;
      MshHardpoint hardpoint;
      hardpoint.name = std::string(kPrefixes[name % 4]) + Numbered("%05d", name);
      for (int p = 0; p < 3; ++p)
        hardpoint.points.push_back({static_cast<float>(h), static_cast<float>(p), 0.0f});
      group.hardpoints.push_back(std::move(hardpoint));
    }
    file.groups.push_back(std::move(group));
  }
  return WriteMsh(file);
}

std::vector<std::uint8_t> MakeTinyFile() {
  MshFile file;
  MshGroup group;
  MshLevel level;
  level.red = 1.0f;
  group.levels.push_back(level);
  MshHardpoint hardpoint;
  hardpoint.name = "fire";
  hardpoint.points.push_back({1.0f, 2.0f, 3.0f});
  group.hardpoints.push_back(hardpoint);
  file.groups.push_back(group);
  return WriteMsh(file);
}
