// The walk's builder for the import: the host model, built through qmModelLib
// in the order the host's library documents. Private to import/.
#ifndef QM_IMPORT_HOSTMODELBUILDER_H
#define QM_IMPORT_HOSTMODELBUILDER_H

#include <cstdint>
#include <cstring>

#include "MeshRecords.h"
#include "qmModelLib.h"

class HostModelBuilder {
 public:
  using Mesh = qmMesh*;
  using Material = qmMaterial*;
  // The vertices are copied from the pool into the host.
  static constexpr bool kKeepsVertices = true;

  explicit HostModelBuilder(qmModel* model) : model_(model) {}

  void Empty() { qmModel_Destroy(model_); }
  void SetFrames() { qmModel_SetTotalFrames(model_, 0); }

  Mesh AddMesh() { return qmModel_GetMeshAt(model_, qmModel_AddMesh(model_)); }
  void NameMesh(Mesh mesh, const char* name) { qmMesh_SetName(mesh, name); }

  // The marker mesh of `name`, or a new one; named either way.
  Mesh FindOrAddMarkerMesh(const char* name, bool& added) {
    int index = qmModel_FindMeshByName(model_, name);
    added = index == -1;
    if (added) index = qmModel_AddMesh(model_);
    qmMesh* mesh = qmModel_GetMeshAt(model_, index);
    qmMesh_SetName(mesh, name);
    return mesh;
  }

  // The one find-or-add step of meshes and markers: the material of `name`,
  // or a new one, given to `mesh` and named.
  Material FindOrAddMaterial(Mesh mesh, const char* name, bool& added) {
    int index = qmModel_FindMaterialByName(model_, name);
    added = index == -1;
    if (added) index = qmModel_AddMaterial(model_);
    qmMaterial* material = qmModel_GetMaterialAt(model_, index);
    qmMesh_SetMaterialIndex(mesh, index);
    qmMaterial_SetName(material, name);
    return material;
  }

  // Every mesh record sets its material again, found or new.
  void SetMeshMaterial(Material material, const MeshRecord& record) {
    SetColour(qmMaterial_SetAmbient, material, &record.ambient);
    SetColour(qmMaterial_SetDiffuse, material, &record.diffuse);
    SetColour(qmMaterial_SetSpecular, material, &record.specular);
    SetColour(qmMaterial_SetEmissive, material, &record.emissive);
    SetShininess(material, record.shininess);
    const float alpha = record.alpha;
    qmMaterial_SetTransparency(material, static_cast<float>(1.0 - alpha));
  }

  // Of several hardpoints of one name, the last one read sets the material.
  void SetMarkerMaterial(Material material, const HardpointRecord& record) {
    float diffuse[4];
    std::memcpy(diffuse, &record.diffuse, sizeof diffuse);
    qmMaterial_SetDiffuse(material, diffuse);
    SetShininess(material, record.shininess);
    qmMaterial_SetTransparency(material, static_cast<float>(1.0 - diffuse[3]));
  }

  // The pool's records from `from` to `to`, a vertex and a normal each.
  void AddVertices(Mesh mesh, const VertexRecord* from, const VertexRecord* to) {
    for (; from != to; ++from) {
      const int index = qmMesh_AddVertex(mesh);
      qmVertex* vertex = qmMesh_GetVertexAt(mesh, index);
      qmVertex_SetVertex(vertex, from->position);
      qmVertex_SetTexCoords(vertex, from->texCoords);
      qmVertex_SetBoneIndex(vertex, -1);
      qmMesh_SetVertexNormalAt(mesh, qmMesh_AddVertexNormal(mesh), from->normal);
    }
  }

  // The corners serve as vertex and normal indices; the fourth is padding.
  void AddTriangle(Mesh mesh, const std::uint16_t (&corners)[4]) {
    qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, qmMesh_AddTriangle(mesh));
    qmTriangle_SetVertexIndices(triangle, corners);
    qmTriangle_SetNormalIndices(triangle, corners);
  }

  int AddMarkerVertex(Mesh mesh, const float* position) {
    const int index = qmMesh_AddVertex(mesh);
    qmVertex_SetVertex(qmMesh_GetVertexAt(mesh, index), position);
    return index;
  }

  void AddMarkerTriangle(Mesh mesh, const std::uint16_t (&corners)[3]) {
    qmTriangle_SetVertexIndices(qmMesh_GetTriangleAt(mesh, qmMesh_AddTriangle(mesh)), corners);
  }

 private:
  // Colours sit unaligned in packed records: the host gets an aligned copy,
  // and no float pointer to a packed member is ever formed.
  static void SetColour(void (*set)(qmMaterial*, const float*), qmMaterial* material,
                        const void* packed) {
    float rgba[4];
    std::memcpy(rgba, packed, sizeof rgba);
    set(material, rgba);
  }

  // The file's 32 bits reach the host unchanged: they go from the record into
  // the argument through memory, never through a float return value, which on
  // 32-bit x86 passes the x87 stack and would quiet a signalling NaN.
  static void SetShininess(qmMaterial* material, const std::uint8_t (&bits)[4]) {
    float shininess;
    std::memcpy(&shininess, bits, sizeof shininess);
    qmMaterial_SetShininess(material, shininess);
  }

  qmModel* model_;
};

#endif  // QM_IMPORT_HOSTMODELBUILDER_H
