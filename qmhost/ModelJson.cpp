#include "ModelJson.h"

#include <cmath>
#include <cstdint>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "NameText.h"
#include "qmModelRead.h"

namespace {

// Numbers held as float32, so the library prints each float in its own
// shortest form rather than that of the double it widens to.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

Json Number(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return value;
}

Json Numbers(const float* values, int count) {
  Json list = Json::array();
  for (int n = 0; n < count; ++n) list.push_back(Number(values[n]));
  return list;
}

Json Indices(const std::uint16_t* values) { return Json::array({values[0], values[1], values[2]}); }

Json MeshJson(qmMesh* mesh) {
  Json json;
  json["name"] = NameText(qmMesh_GetName(mesh));
  json["material"] = qmMesh_GetMaterialIndex(mesh);
  Json vertices = Json::array();
  for (int v = 0, n = qmMesh_GetVertexCount(mesh); v < n; ++v) {
    const qmVertex* vertex = qmMesh_GetVertexAt(mesh, v);
    vertices.push_back(Json{{"position", Numbers(qmVertex_GetPosition(vertex), 3)},
                            {"texCoords", Numbers(qmVertex_GetTexCoords(vertex), 2)},
                            {"boneIndex", qmVertex_GetBoneIndex(vertex)}});
  }
  json["vertices"] = std::move(vertices);
  Json normals = Json::array();
  for (int v = 0, n = qmMesh_GetNormalCount(mesh); v < n; ++v)
    normals.push_back(Numbers(qmMesh_GetNormalAt(mesh, v), 3));
  json["normals"] = std::move(normals);
  Json triangles = Json::array();
  for (int t = 0, n = qmMesh_GetTriangleCount(mesh); t < n; ++t) {
    const qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, t);
    triangles.push_back(Json{{"vertices", Indices(qmTriangle_GetVertexIndices(triangle))},
                             {"normals", Indices(qmTriangle_GetNormalIndices(triangle))}});
  }
  json["triangles"] = std::move(triangles);
  return json;
}

Json MaterialJson(const qmMaterial* material) {
  return Json{{"name", NameText(qmMaterial_GetName(material))},
              {"ambient", Numbers(qmMaterial_GetAmbient(material), 4)},
              {"diffuse", Numbers(qmMaterial_GetDiffuse(material), 4)},
              {"specular", Numbers(qmMaterial_GetSpecular(material), 4)},
              {"emissive", Numbers(qmMaterial_GetEmissive(material), 4)},
              {"shininess", Number(qmMaterial_GetShininess(material))},
              {"transparency", Number(qmMaterial_GetTransparency(material))}};
}

}  // namespace

void WriteModelJson(qmModel* model, std::ostream& out) {
  Json json;
  json["format"] = "qmhost-model";
  json["version"] = 1;
  json["totalFrames"] = qmModel_GetTotalFrames(model);
  Json meshes = Json::array();
  for (int m = 0, n = qmModel_GetMeshCount(model); m < n; ++m)
    meshes.push_back(MeshJson(qmModel_GetMeshAt(model, m)));
  json["meshes"] = std::move(meshes);
  Json materials = Json::array();
  for (int m = 0, n = qmModel_GetMaterialCount(model); m < n; ++m)
    materials.push_back(MaterialJson(qmModel_GetMaterialAt(model, m)));
  json["materials"] = std::move(materials);
  out << json.dump() << '\n';
}

std::string ModelJson(qmModel* model) {
  std::ostringstream out;
  WriteModelJson(model, out);
  return out.str();
}
