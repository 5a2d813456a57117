/*
 * Host-side functions of the stand-in model library: creating a model for a
 * plug-in to fill, and reading back what it built. qmhost and the tests use
 * them; plug-ins do not.
 *
 * Pointers returned by the getters point into the model and stay valid until
 * the object they belong to is changed or the model is emptied.
 */
#ifndef QM_MODEL_READ_H
#define QM_MODEL_READ_H

#include "qmModelLib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new, empty model, and its release (the handle is gone afterwards). */
QM_MODEL_API qmModel* qmModel_Create(void);
QM_MODEL_API void qmModel_Free(qmModel* model);

/* The most memory the model may hold, in bytes; 0, the default, for no limit.
   Past it, a call that needs more memory (a new mesh or material, a name, an
   element that starts a new block of its list) throws std::bad_alloc, as it
   does when the system has no memory left, and leaves the model as it was
   before the call. Counted are the blocks the model takes from the heap. */
QM_MODEL_API void qmModel_SetMemoryLimit(qmModel* model, uint64_t bytes);
/* The bytes the model holds now, as counted against its limit. */
QM_MODEL_API uint64_t qmModel_GetMemoryHeld(const qmModel* model);
/* 1 when the limit refused memory since the model was last emptied, else 0. */
QM_MODEL_API int qmModel_GetMemoryLimitReached(const qmModel* model);

QM_MODEL_API int qmModel_GetTotalFrames(const qmModel* model);
QM_MODEL_API int qmModel_GetMeshCount(const qmModel* model);
QM_MODEL_API int qmModel_GetMaterialCount(const qmModel* model);

QM_MODEL_API const char* qmMesh_GetName(const qmMesh* mesh);
QM_MODEL_API int qmMesh_GetMaterialIndex(const qmMesh* mesh);
QM_MODEL_API int qmMesh_GetVertexCount(const qmMesh* mesh);
QM_MODEL_API int qmMesh_GetNormalCount(const qmMesh* mesh);
QM_MODEL_API int qmMesh_GetTriangleCount(const qmMesh* mesh);
/* 3 floats x, y, z; null for an unknown index. */
QM_MODEL_API const float* qmMesh_GetNormalAt(const qmMesh* mesh, int index);

QM_MODEL_API const float* qmVertex_GetPosition(const qmVertex* vertex);  /* x, y, z */
QM_MODEL_API const float* qmVertex_GetTexCoords(const qmVertex* vertex); /* u, v */
QM_MODEL_API int qmVertex_GetBoneIndex(const qmVertex* vertex);

QM_MODEL_API const uint16_t* qmTriangle_GetVertexIndices(const qmTriangle* triangle); /* 3 */
QM_MODEL_API const uint16_t* qmTriangle_GetNormalIndices(const qmTriangle* triangle); /* 3 */

/* Many elements at once, for readers of large models (the savers): copy the
   elements from `first` on, at most `count` of them, and return how many were
   copied (0 past the end). Triangles: 6 indices each, the 3 vertex indices
   then the 3 normal indices. Vertices: 3 floats of position into `positions`
   and 2 of texture coordinates into `texCoords`, either of them null to skip.
   Normals: 3 floats each. */
QM_MODEL_API int qmMesh_CopyTriangles(const qmMesh* mesh, int first, int count, uint16_t* indices);
QM_MODEL_API int qmMesh_CopyVertices(const qmMesh* mesh, int first, int count, float* positions,
                                     float* texCoords);
QM_MODEL_API int qmMesh_CopyNormals(const qmMesh* mesh, int first, int count, float* xyz);

QM_MODEL_API const char* qmMaterial_GetName(const qmMaterial* material);
QM_MODEL_API const float* qmMaterial_GetAmbient(const qmMaterial* material);  /* r, g, b, a */
QM_MODEL_API const float* qmMaterial_GetDiffuse(const qmMaterial* material);
QM_MODEL_API const float* qmMaterial_GetSpecular(const qmMaterial* material);
QM_MODEL_API const float* qmMaterial_GetEmissive(const qmMaterial* material);
QM_MODEL_API float qmMaterial_GetShininess(const qmMaterial* material);
QM_MODEL_API float qmMaterial_GetTransparency(const qmMaterial* material);

#ifdef __cplusplus
}

#include <memory>

/* A model made by qmModel_Create, freed with it. */
struct qmModelFree {
  void operator()(qmModel* model) const { qmModel_Free(model); }
};
using qmModelPtr = std::unique_ptr<qmModel, qmModelFree>;
#endif

#endif /* QM_MODEL_READ_H */
