// The walk's builder for check: a model that keeps nothing. It remembers only
// what decides the walk's findings: which material names exist (found or new)
// and how many vertices each marker mesh holds (the indices its triangles
// get). So checking a file takes memory for its names, never for the model it
// describes. Private to import/.
#ifndef QM_IMPORT_COUNTINGBUILDER_H
#define QM_IMPORT_COUNTINGBUILDER_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "MeshRecords.h"

class CountingBuilder {
 public:
  // A marker mesh is its vertex count; other meshes are nothing.
  struct Mesh {
    int* vertexCount = nullptr;
  };
  struct Material {};
  // The vertex pool is passed over: no vertex is looked at.
  static constexpr bool kKeepsVertices = false;

  void Empty() {}
  void SetFrames() {}

  Mesh AddMesh() { return Mesh{}; }
  void NameMesh(Mesh, const char*) {}

  Mesh FindOrAddMarkerMesh(const char* name, bool& added) {
    const auto entry = markerVertices_.try_emplace(name, 0);
    added = entry.second;
    return Mesh{&entry.first->second};
  }

  Material FindOrAddMaterial(Mesh, const char* name, bool& added) {
    added = materials_.insert(name).second;
    return Material{};
  }

  void SetMeshMaterial(Material, const MeshRecord&) {}
  void SetMarkerMaterial(Material, const HardpointRecord&) {}
  void AddVertices(Mesh, const VertexRecord*, const VertexRecord*) {}
  void AddTriangle(Mesh, const std::uint16_t (&)[4]) {}

  // The index the host gives a vertex appended to the marker mesh.
  int AddMarkerVertex(Mesh mesh, const float*) { return (*mesh.vertexCount)++; }
  void AddMarkerTriangle(Mesh, const std::uint16_t (&)[3]) {}

 private:
  std::unordered_map<std::string, int> markerVertices_;
  std::unordered_set<std::string> materials_;
};

#endif  // QM_IMPORT_COUNTINGBUILDER_H
