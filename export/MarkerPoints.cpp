#include "MarkerPoints.h"

#include <cstdint>
#include <cstring>

#include "NameScheme.h"
#include "qmModelRead.h"

namespace {

// Whether vertex `copy` repeats vertex `of`, as the import forms a copy.
bool IsCopy(qmMesh* mesh, int of, int copy) {
  if (copy != of + 1) return false;
  const float* a = qmVertex_GetPosition(qmMesh_GetVertexAt(mesh, of));
  const float* b = qmVertex_GetPosition(qmMesh_GetVertexAt(mesh, copy));
  return std::memcmp(a, b, 3 * sizeof(float)) == 0;
}

}  // namespace

std::vector<int> MarkerPointVertices(qmMesh* mesh) {
  const ParsedName name = ParseName(qmMesh_GetName(mesh));
  const MarkerFamily family = MarkerFamilyOf(name.text.data(), name.text.size());
  const int vertexCount = qmMesh_GetVertexCount(mesh);
  std::vector<bool> copies(static_cast<size_t>(vertexCount), false);
  if (family == MarkerFamily::Point || family == MarkerFamily::Pair) {
    for (int t = 0, n = qmMesh_GetTriangleCount(mesh); t < n; ++t) {
      const std::uint16_t* v = qmTriangle_GetVertexIndices(qmMesh_GetTriangleAt(mesh, t));
      if (v[0] >= vertexCount || v[1] >= vertexCount || v[2] >= vertexCount) continue;
      // Point: (p, copy, copy); Pair: (odd point, even point, its copy).
      if (family == MarkerFamily::Point && IsCopy(mesh, v[0], v[1]) && IsCopy(mesh, v[1], v[2])) {
        copies[v[1]] = true;
        copies[v[2]] = true;
      } else if (family == MarkerFamily::Pair && IsCopy(mesh, v[1], v[2])) {
        copies[v[2]] = true;
      }
    }
  }
  std::vector<int> points;
  for (int v = 0; v < vertexCount; ++v)
    if (!copies[static_cast<size_t>(v)]) points.push_back(v);
  return points;
}
