#include "BenchSupport.h"

#include "qmModelRead.h"

std::uint64_t ModelPayloadBytes(qmModel* model) {
  constexpr std::uint64_t kName = 32;
  constexpr std::uint64_t kVertex = 3 * 4 + 2 * 4 + 4;
  constexpr std::uint64_t kNormal = 3 * 4;
  constexpr std::uint64_t kTriangle = 2 * 3 * 2;
  constexpr std::uint64_t kMesh = kName + 4;
  constexpr std::uint64_t kMaterial = kName + 4 * 16 + 4 + 4;
  std::uint64_t bytes = 0;
  for (int m = 0; m < qmModel_GetMeshCount(model); ++m) {
    const qmMesh* mesh = qmModel_GetMeshAt(model, m);
    bytes += kMesh + kVertex * static_cast<std::uint64_t>(qmMesh_GetVertexCount(mesh)) +
             kNormal * static_cast<std::uint64_t>(qmMesh_GetNormalCount(mesh)) +
             kTriangle * static_cast<std::uint64_t>(qmMesh_GetTriangleCount(mesh));
  }
  return bytes + kMaterial * static_cast<std::uint64_t>(qmModel_GetMaterialCount(model));
}
