// Reading a mesh's elements many at a time through the host's copies
// (qmModelRead.h), for the savers: one call per run of elements rather than
// several per element.
#ifndef QM_EXPORT_MESHREAD_H
#define QM_EXPORT_MESHREAD_H

#include <cstdint>
#include <vector>

#include "qmModelRead.h"

// Elements read at a time: 4096 triangles are 48 KB.
constexpr int kReadRun = 4096;

// A triangle as read: its 3 vertex indices, then its 3 normal indices.
// Whole when every index lies within its mesh (a mesh without normals has
// normal indices that point at nothing, and are not looked at).
inline bool IsWhole(const std::uint16_t* t, int vertexCount, int normalCount) {
  for (int c = 0; c < 3; ++c)
    if (t[c] >= vertexCount || (normalCount > 0 && t[3 + c] >= normalCount)) return false;
  return true;
}

// Calls visit(const std::uint16_t* triangle) for every triangle, in order.
template <typename Visit>
void ForEachTriangle(qmMesh* mesh, std::vector<std::uint16_t>& buffer, Visit visit) {
  buffer.resize(6 * kReadRun);
  const int count = qmMesh_GetTriangleCount(mesh);
  for (int first = 0; first < count; first += kReadRun) {
    const int read = qmMesh_CopyTriangles(mesh, first, kReadRun, buffer.data());
    for (int n = 0; n < read; ++n) visit(buffer.data() + 6 * n);
  }
}

// Calls visit(int vertex, const float* position, const float* texCoords) for
// vertices [first, end), in order; without `texCoords` wanted it gets null.
template <typename Visit>
void ForEachVertex(qmMesh* mesh, int first, int end, bool texCoords, std::vector<float>& buffer,
                   Visit visit) {
  buffer.resize(5 * kReadRun);
  float* positions = buffer.data();
  float* uvs = texCoords ? buffer.data() + 3 * kReadRun : nullptr;
  for (int at = first; at < end; at += kReadRun) {
    const int wanted = end - at < kReadRun ? end - at : kReadRun;
    const int read = qmMesh_CopyVertices(mesh, at, wanted, positions, uvs);
    for (int n = 0; n < read; ++n)
      visit(at + n, positions + 3 * n, uvs != nullptr ? uvs + 2 * n : nullptr);
  }
}

#endif  // QM_EXPORT_MESHREAD_H
