// What both fuzz targets do with the bytes they are given: import them into a
// fresh stand-in model, check what the import built against what any host may
// rely on, and walk the same bytes as `qmhost check` does: its findings must
// be the import's, and the model it counts the model the import built. A
// broken promise aborts, so libFuzzer keeps the input. The suite replays every
// input that ever broke a target through the same code
// (tests/test_fuzz_finds.cpp).
#ifndef QM_FUZZ_FUZZMODEL_H
#define QM_FUZZ_FUZZMODEL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "FileBuffer.h"
#include "ImportMeshFile.h"
#include "qmModelRead.h"

[[noreturn]] inline void FuzzFail(const char* what, int mesh) {
  std::fprintf(stderr, "fuzz check failed: %s (mesh %d)\n", what, mesh);
  std::abort();
}

// Every triangle corner names a vertex of its own mesh (a saver indexes its
// vertex list with them), every mesh's material exists or is -1, and a mesh
// has no normals or one per vertex.
inline void CheckModel(qmModel* model) {
  const int materialCount = qmModel_GetMaterialCount(model);
  for (int m = 0, n = qmModel_GetMeshCount(model); m < n; ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    if (mesh == nullptr) FuzzFail("mesh index without a mesh", m);
    const int material = qmMesh_GetMaterialIndex(mesh);
    if (material < -1 || material >= materialCount) FuzzFail("material index outside", m);
    const int vertexCount = qmMesh_GetVertexCount(mesh);
    const int normalCount = qmMesh_GetNormalCount(mesh);
    if (normalCount != 0 && normalCount != vertexCount)
      FuzzFail("normals neither absent nor one per vertex", m);
    for (int t = 0, tn = qmMesh_GetTriangleCount(mesh); t < tn; ++t) {
      const std::uint16_t* corners = qmTriangle_GetVertexIndices(qmMesh_GetTriangleAt(mesh, t));
      for (int c = 0; c < 3; ++c) {
        if (corners[c] >= vertexCount) FuzzFail("triangle corner past the vertices", m);
      }
    }
  }
}

// Check's walk of the same bytes agrees with the import's: the same count of
// every kind of finding, so the same first error and message, the reader at
// the same place, and the model it counts is the one the import built.
inline void CheckAgreement(const std::uint8_t* data, std::size_t size, const ImportReport& report,
                           std::int32_t endPos, qmModel* model) {
  FileBuffer again(data, size);
  const ImportReport check = CheckMeshFile(again);
  for (int kind = 0; kind < kFindingKinds; ++kind) {
    if (check.Count(static_cast<FindingKind>(kind)) != report.Count(static_cast<FindingKind>(kind)))
      FuzzFail("check and the import count a kind of finding differently", kind);
  }
  if (check.Message() != report.Message()) FuzzFail("check's first error is not the import's", -1);
  if (again.pos != endPos) FuzzFail("check's walk ends elsewhere than the import's", -1);

  std::int64_t vertices = 0, normals = 0, triangles = 0;
  const int meshCount = qmModel_GetMeshCount(model);
  for (int m = 0; m < meshCount; ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    vertices += qmMesh_GetVertexCount(mesh);
    normals += qmMesh_GetNormalCount(mesh);
    triangles += qmMesh_GetTriangleCount(mesh);
  }
  if (check.model.meshes != meshCount || check.model.materials != qmModel_GetMaterialCount(model) ||
      check.model.vertices != vertices || check.model.normals != normals ||
      check.model.triangles != triangles)
    FuzzFail("check counts another model than the import built", -1);
}

// The file's bytes are copied into a buffer of their own size, so AddressSanitizer
// sees a read one byte past the end.
inline qmModelPtr ImportBytes(const std::uint8_t* data, std::size_t size) {
  qmModelPtr model(qmModel_Create());
  FileBuffer myfile(data, size);
  const ImportReport report = ImportMeshFile(model.get(), myfile);
  // The user's sentence is formed from the report at the edge; form it here too.
  if (report.Ok() != report.Message().empty()) FuzzFail("report message disagrees with Ok()", -1);
  CheckModel(model.get());
  CheckAgreement(data, size, report, myfile.pos, model.get());
  return model;
}

#endif  // QM_FUZZ_FUZZMODEL_H
