// Small host models stated as plain data, for the savers' tests.
#ifndef QM_TESTS_EXPORT_HOSTMODEL_H
#define QM_TESTS_EXPORT_HOSTMODEL_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qmModelRead.h"

inline qmModelPtr NewModel() { return qmModelPtr(qmModel_Create()); }

struct TestTriangle {
  std::array<std::uint16_t, 3> vertices;
  std::array<std::uint16_t, 3> normals;
};

struct TestMesh {
  std::string name;
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 3>> normals;
  std::vector<TestTriangle> triangles;
  int material = -1;
  std::vector<std::array<float, 2>> texCoords;  // default: (0, 0) for each vertex
};

inline int AddMesh(qmModel* model, const TestMesh& data) {
  const int index = qmModel_AddMesh(model);
  qmMesh* mesh = qmModel_GetMeshAt(model, index);
  qmMesh_SetName(mesh, data.name.c_str());
  qmMesh_SetMaterialIndex(mesh, data.material);
  for (size_t v = 0; v < data.positions.size(); ++v) {
    qmVertex* vertex = qmMesh_GetVertexAt(mesh, qmMesh_AddVertex(mesh));
    qmVertex_SetVertex(vertex, data.positions[v].data());
    if (v < data.texCoords.size()) qmVertex_SetTexCoords(vertex, data.texCoords[v].data());
  }
  for (const auto& normal : data.normals)
    qmMesh_SetVertexNormalAt(mesh, qmMesh_AddVertexNormal(mesh), normal.data());
  for (const TestTriangle& t : data.triangles) {
    qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, qmMesh_AddTriangle(mesh));
    qmTriangle_SetVertexIndices(triangle, t.vertices.data());
    qmTriangle_SetNormalIndices(triangle, t.normals.data());
  }
  return index;
}

struct TestMaterial {
  std::string name;
  std::array<float, 4> ambient{0, 0, 0, 1};
  std::array<float, 4> diffuse{1, 1, 1, 1};
  std::array<float, 4> specular{0, 0, 0, 1};
  std::array<float, 4> emissive{0, 0, 0, 1};
  float shininess = 0;
  float transparency = 0;
};

inline int AddMaterial(qmModel* model, const TestMaterial& data) {
  const int index = qmModel_AddMaterial(model);
  qmMaterial* material = qmModel_GetMaterialAt(model, index);
  qmMaterial_SetName(material, data.name.c_str());
  qmMaterial_SetAmbient(material, data.ambient.data());
  qmMaterial_SetDiffuse(material, data.diffuse.data());
  qmMaterial_SetSpecular(material, data.specular.data());
  qmMaterial_SetEmissive(material, data.emissive.data());
  qmMaterial_SetShininess(material, data.shininess);
  qmMaterial_SetTransparency(material, data.transparency);
  return index;
}

// A unit triangle with one normal per vertex, all +z.
inline TestMesh Triangle(const std::string& name, int material = -1) {
  return TestMesh{name,
                  {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                  {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}},
                  {{{0, 1, 2}, {0, 1, 2}}},
                  material,
                  {}};
}

#endif  // QM_TESTS_EXPORT_HOSTMODEL_H
