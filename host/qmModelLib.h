/*
 * qmModelLib: the host application's model library.
 *
 * Everything a plug-in builds goes through these plain C functions; the plug-in
 * keeps no model data of its own. A typical import calls them in this order:
 *
 *   qmModel_Destroy(model);                       empty the model, keep the handle
 *   qmModel_SetTotalFrames(model, 0);
 *   int m = qmModel_AddMesh(model);               new mesh, index counts up from 0
 *   qmMesh* mesh = qmModel_GetMeshAt(model, m);
 *   qmMesh_SetName(mesh, "L00LD00M00");
 *   int mat = qmModel_FindMaterialByName(model, "hull.tga");   -1: none yet
 *   if (mat == -1) mat = qmModel_AddMaterial(model);
 *   qmMesh_SetMaterialIndex(mesh, mat);
 *   int v = qmMesh_AddVertex(mesh);              vertex v ...
 *   int n = qmMesh_AddVertexNormal(mesh);        ... and normal n == v
 *   qmVertex_SetVertex(qmMesh_GetVertexAt(mesh, v), xyz);
 *   int t = qmMesh_AddTriangle(mesh);
 *   qmTriangle_SetVertexIndices(qmMesh_GetTriangleAt(mesh, t), corners);
 *
 * Ownership: the host owns every object; handles are borrowed. Every string and
 * array passed in is the caller's storage and is copied before the call returns.
 * Names are kept up to 31 characters (the host's names are 32-byte buffers).
 */
#ifndef QM_MODEL_LIB_H
#define QM_MODEL_LIB_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(QM_MODEL_LIB_BUILD)
#    define QM_MODEL_API __declspec(dllexport)
#  else
#    define QM_MODEL_API __declspec(dllimport)
#  endif
#else
#  define QM_MODEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct qmModel qmModel;
typedef struct qmMesh qmMesh;
typedef struct qmMaterial qmMaterial;
typedef struct qmVertex qmVertex;
typedef struct qmTriangle qmTriangle;

/* Empties the model: all meshes and materials are gone, the frame count is 0.
   The handle stays valid. */
QM_MODEL_API void qmModel_Destroy(qmModel* model);
/* Stores the model's frame count (importers pass 0). */
QM_MODEL_API void qmModel_SetTotalFrames(qmModel* model, int totalFrames);

/* Appends a new mesh (no name, material -1, empty) and returns its index:
   0 for the first mesh of a model, then one more per call. */
QM_MODEL_API int qmModel_AddMesh(qmModel* model);
/* Appends a new material (no name, black colours, shininess and transparency 0)
   and returns its index, counting up from 0. */
QM_MODEL_API int qmModel_AddMaterial(qmModel* model);
/* Turn an index into a handle; null for an index that names no object. */
QM_MODEL_API qmMesh* qmModel_GetMeshAt(qmModel* model, int index);
QM_MODEL_API qmMaterial* qmModel_GetMaterialAt(qmModel* model, int index);
/* Index of the first mesh or material whose name is exactly `name`, or -1 when
   none has it. Takes the same time however large the model is. */
QM_MODEL_API int qmModel_FindMeshByName(qmModel* model, const char* name);
QM_MODEL_API int qmModel_FindMaterialByName(qmModel* model, const char* name);

/* Copy the name, cut to 31 characters. */
QM_MODEL_API void qmMesh_SetName(qmMesh* mesh, const char* name);
QM_MODEL_API void qmMaterial_SetName(qmMaterial* material, const char* name);
/* The index of the mesh's material in the model; -1 for none. */
QM_MODEL_API void qmMesh_SetMaterialIndex(qmMesh* mesh, int materialIndex);

/* Colours are 4 floats: red, green, blue, alpha; copied. */
QM_MODEL_API void qmMaterial_SetAmbient(qmMaterial* material, const float* rgba);
QM_MODEL_API void qmMaterial_SetDiffuse(qmMaterial* material, const float* rgba);
QM_MODEL_API void qmMaterial_SetSpecular(qmMaterial* material, const float* rgba);
QM_MODEL_API void qmMaterial_SetEmissive(qmMaterial* material, const float* rgba);
/* Stored bit for bit, whatever the 32 bits hold. */
QM_MODEL_API void qmMaterial_SetShininess(qmMaterial* material, float shininess);
QM_MODEL_API void qmMaterial_SetTransparency(qmMaterial* material, float transparency);

/* Append a vertex (position 0, texture coordinates (0, 0), bone -1), a normal
   (0, 0, 0) or a triangle (all indices 0) and return its index within the mesh.
   Vertices and normals count separately, each from 0, one per call. */
QM_MODEL_API int qmMesh_AddVertex(qmMesh* mesh);
QM_MODEL_API int qmMesh_AddVertexNormal(qmMesh* mesh);
QM_MODEL_API int qmMesh_AddTriangle(qmMesh* mesh);
/* Handles stay valid until their mesh is emptied; null for an unknown index. */
QM_MODEL_API qmVertex* qmMesh_GetVertexAt(qmMesh* mesh, int index);
QM_MODEL_API qmTriangle* qmMesh_GetTriangleAt(qmMesh* mesh, int index);
/* Copies 3 floats x, y, z into normal `index`; an unknown index is ignored. */
QM_MODEL_API void qmMesh_SetVertexNormalAt(qmMesh* mesh, int index, const float* xyz);

QM_MODEL_API void qmVertex_SetVertex(qmVertex* vertex, const float* xyz);
QM_MODEL_API void qmVertex_SetTexCoords(qmVertex* vertex, const float* uv);
QM_MODEL_API void qmVertex_SetBoneIndex(qmVertex* vertex, int boneIndex);

/* Copy 3 indices within the triangle's mesh. */
QM_MODEL_API void qmTriangle_SetVertexIndices(qmTriangle* triangle, const uint16_t* indices);
QM_MODEL_API void qmTriangle_SetNormalIndices(qmTriangle* triangle, const uint16_t* indices);

#ifdef __cplusplus
}
#endif

#endif /* QM_MODEL_LIB_H */
