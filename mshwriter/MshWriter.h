// A writer of .msh files, for tests, the shipped sample, fuzz seeds and
// benchmarks. It lays every field out at its byte offset on its own, so the
// reader's record layouts are checked against an independent description.
//
// A file is stated as plain data; every count defaults to the size of its
// list, and can be overridden to write a damaged file:
//
//   MshFile file;
//   file.vertices = {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}};
//   file.indices = {0, 1, 2};
//   MshMesh mesh;
//   mesh.textureName = "hull.tga";
//   mesh.vertexCount = 3;
//   mesh.triangleCount = 1;
//   file.groups.push_back({{MshLevel{12.5f, {mesh}}}});
//   std::vector<std::uint8_t> bytes = WriteMsh(file);
#ifndef QM_MSHWRITER_MSHWRITER_H
#define QM_MSHWRITER_MSHWRITER_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct MshVertex {
  std::array<float, 3> position{};
  std::array<float, 3> normal{};
  std::array<float, 2> texCoords{};
};

using MshColour = std::array<float, 4>;

struct MshMesh {
  // Written into the 262-byte field; a text of 262 characters or more fills
  // the field with no NUL.
  std::string textureName;
  std::uint8_t materialFlag = 0;
  MshColour diffuse{1, 1, 1, 1};
  MshColour ambient{0.2f, 0.2f, 0.2f, 1};
  MshColour specular{0, 0, 0, 1};
  MshColour emissive{0, 0, 0, 1};
  std::uint32_t shininessBits = 0x41000000;  // 8.0f
  float alpha = 1;
  std::uint32_t firstVertex = 0;
  std::uint32_t vertexCount = 0;
  std::uint32_t firstIndex = 0;
  std::uint32_t triangleCount = 0;
};

struct MshLevel {
  float red = 0;
  std::vector<MshMesh> meshes;
  std::uint32_t block28Count = 0;
  std::uint32_t block2Count = 0;
  std::optional<std::uint16_t> meshCount;  // default: meshes.size()
};

struct MshHardpoint {
  std::string name;  // into the 101-byte field, as textureName
  MshColour diffuse{1, 0, 0, 1};
  std::uint32_t shininessBits = 0;
  std::vector<std::array<float, 3>> points;
  std::optional<std::int32_t> pointCount;  // default: points.size()
};

struct MshGroup {
  std::vector<MshLevel> levels;
  std::vector<MshHardpoint> hardpoints;
  std::uint16_t block12Count = 0;
  std::uint16_t block4Count = 0;
  std::uint16_t block19Count = 0;
  std::optional<std::uint16_t> detailLevelCount;  // default: levels.size()
  std::optional<std::uint16_t> hardpointCount;    // default: hardpoints.size()
};

struct MshFile {
  std::vector<MshVertex> vertices;
  std::vector<std::uint16_t> indices;
  std::vector<MshGroup> groups;
  std::optional<std::uint32_t> vertexCount;  // default: vertices.size()
  std::optional<std::uint32_t> indexCount;   // default: indices.size()
  std::optional<std::uint16_t> groupCount;   // default: groups.size()
  std::vector<std::uint8_t> trailer;         // bytes after the last group
};

// Shorthands for the records tests and generators state most often.
MshMesh MeshOf(const std::string& textureName, std::uint32_t firstVertex,
               std::uint32_t vertexCount, std::uint32_t firstIndex, std::uint32_t triangleCount);
MshLevel LevelOf(float red, std::vector<MshMesh> meshes, std::uint32_t block28Count = 0,
                 std::uint32_t block2Count = 0);

// The file's bytes. Uninterpreted bytes and trailing blocks are filled with
// non-zero patterns, so a reader that lands in the wrong place reads nonsense.
std::vector<std::uint8_t> WriteMsh(const MshFile& file);

// Writes the bytes to `path`; false when the file could not be written.
bool SaveMsh(const std::vector<std::uint8_t>& bytes, const std::string& path);

#endif  // QM_MSHWRITER_MSHWRITER_H
