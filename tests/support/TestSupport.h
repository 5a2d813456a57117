// Shared by the plug-in's tests: importing a file stated with the test writer
// into a fresh stand-in model, and reading the model back.
#ifndef QM_TESTS_TESTSUPPORT_H
#define QM_TESTS_TESTSUPPORT_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FileBuffer.h"
#include "ImportMeshFile.h"
#include "MshWriter.h"
#include "qmModelRead.h"

inline qmModelPtr NewModel() { return qmModelPtr(qmModel_Create()); }

struct Imported {
  qmModelPtr model;
  ImportReport report;
  std::int32_t endPos = 0;  // the reader's position when the import ended
};

inline Imported ImportBytes(const std::vector<std::uint8_t>& bytes) {
  Imported result{NewModel(), ImportReport{}, 0};
  FileBuffer myfile(bytes.data(), bytes.size());
  result.report = ImportMeshFile(result.model.get(), myfile);
  result.endPos = myfile.pos;
  return result;
}

inline Imported Import(const MshFile& file) { return ImportBytes(WriteMsh(file)); }

inline std::uint32_t Bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline float FromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline std::vector<std::string> MeshNames(qmModel* model) {
  std::vector<std::string> names;
  for (int m = 0; m < qmModel_GetMeshCount(model); ++m)
    names.emplace_back(qmMesh_GetName(qmModel_GetMeshAt(model, m)));
  return names;
}

inline std::vector<std::string> MaterialNames(qmModel* model) {
  std::vector<std::string> names;
  for (int m = 0; m < qmModel_GetMaterialCount(model); ++m)
    names.emplace_back(qmMaterial_GetName(qmModel_GetMaterialAt(model, m)));
  return names;
}

inline qmMesh* MeshNamed(qmModel* model, const std::string& name) {
  return qmModel_GetMeshAt(model, qmModel_FindMeshByName(model, name.c_str()));
}

inline qmMaterial* MaterialNamed(qmModel* model, const std::string& name) {
  return qmModel_GetMaterialAt(model, qmModel_FindMaterialByName(model, name.c_str()));
}

// The triangles of a mesh as vertex index triples.
inline std::vector<std::vector<int>> Triangles(qmMesh* mesh) {
  std::vector<std::vector<int>> triangles;
  for (int t = 0; t < qmMesh_GetTriangleCount(mesh); ++t) {
    const std::uint16_t* v = qmTriangle_GetVertexIndices(qmMesh_GetTriangleAt(mesh, t));
    triangles.push_back({v[0], v[1], v[2]});
  }
  return triangles;
}

inline std::vector<float> Positions(qmMesh* mesh) {
  std::vector<float> positions;
  for (int v = 0; v < qmMesh_GetVertexCount(mesh); ++v) {
    const float* p = qmVertex_GetPosition(qmMesh_GetVertexAt(mesh, v));
    positions.insert(positions.end(), p, p + 3);
  }
  return positions;
}

// A vertex whose every float is distinct, so a copy from the wrong place or
// in the wrong order shows.
inline MshVertex NumberedVertex(int n) {
  const float f = static_cast<float>(n);
  MshVertex vertex;
  vertex.position = {f + 0.125f, f + 0.25f, f + 0.375f};
  vertex.normal = {-f - 0.5f, -f - 0.625f, -f - 0.75f};
  vertex.texCoords = {f * 0.5f + 0.0625f, f * 0.5f + 0.1875f};
  return vertex;
}

inline std::vector<MshVertex> NumberedVertices(int count) {
  std::vector<MshVertex> vertices;
  for (int n = 0; n < count; ++n) vertices.push_back(NumberedVertex(n));
  return vertices;
}

inline MshGroup GroupOf(std::vector<MshLevel> levels, std::vector<MshHardpoint> hardpoints = {}) {
  MshGroup group;
  group.levels = std::move(levels);
  group.hardpoints = std::move(hardpoints);
  return group;
}

inline MshHardpoint HardpointOf(const std::string& name, int pointCount) {
  MshHardpoint hardpoint;
  hardpoint.name = name;
  for (int p = 0; p < pointCount; ++p)
    hardpoint.points.push_back({static_cast<float>(p + 1), static_cast<float>(10 * (p + 1)), 0.5f});
  return hardpoint;
}

// One triangle with unit normals, in a few hundred bytes: every format saves
// it as it is.
inline MshFile OneTriangle() {
  MshFile file;
  file.vertices = NumberedVertices(3);
  for (MshVertex& vertex : file.vertices) vertex.normal = {0, 0, 1};
  file.indices = {0, 1, 2};
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("a.tga", 0, 3, 0, 1)})}));
  return file;
}

// A file of each record, at known offsets: header 0, vertex pool 29, index
// pool 253, group record 265, level record 277, mesh record 291, hardpoint
// record 644, its points 809, end 833.
inline MshFile LaidOutFile() {
  MshFile file;
  file.vertices = NumberedVertices(4);
  file.indices = {0, 1, 2, 0, 2, 3};
  file.groups.push_back(
      GroupOf({LevelOf(1, {MeshOf("hull.tga", 0, 4, 0, 2)})}, {HardpointOf("dock", 2)}));
  return file;
}

inline MshMesh& FirstMesh(MshFile& file) { return file.groups[0].levels[0].meshes[0]; }

#endif  // QM_TESTS_TESTSUPPORT_H
