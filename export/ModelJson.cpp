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

// The lists of a mesh can be long: each element is made and written on its
// own, so the save needs memory for one element rather than for the model.
template <typename Element>
void WriteList(std::ostream& out, int count, const Element& element) {
  out << '[';
  for (int n = 0; n < count; ++n) {
    if (n > 0) out << ',';
    out << element(n).dump();
  }
  out << ']';
}

void WriteMesh(std::ostream& out, qmMesh* mesh) {
  out << "{\"name\":" << Json(NameText(qmMesh_GetName(mesh))).dump()
      << ",\"material\":" << Json(qmMesh_GetMaterialIndex(mesh)).dump() << ",\"vertices\":";
  WriteList(out, qmMesh_GetVertexCount(mesh), [mesh](int v) {
    const qmVertex* vertex = qmMesh_GetVertexAt(mesh, v);
    return Json{{"position", Numbers(qmVertex_GetPosition(vertex), 3)},
                {"texCoords", Numbers(qmVertex_GetTexCoords(vertex), 2)},
                {"boneIndex", qmVertex_GetBoneIndex(vertex)}};
  });
  out << ",\"normals\":";
  WriteList(out, qmMesh_GetNormalCount(mesh),
            [mesh](int v) { return Numbers(qmMesh_GetNormalAt(mesh, v), 3); });
  out << ",\"triangles\":";
  WriteList(out, qmMesh_GetTriangleCount(mesh), [mesh](int t) {
    const qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, t);
    return Json{{"vertices", Indices(qmTriangle_GetVertexIndices(triangle))},
                {"normals", Indices(qmTriangle_GetNormalIndices(triangle))}};
  });
  out << '}';
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

// The document's frame is written here; every value in it, and every element
// of its lists, is made and printed by the JSON library.
void WriteModelJson(qmModel* model, std::ostream& out) {
  out << "{\"format\":\"qmhost-model\",\"version\":1,\"totalFrames\":"
      << Json(qmModel_GetTotalFrames(model)).dump() << ",\"meshes\":[";
  for (int m = 0, n = qmModel_GetMeshCount(model); m < n; ++m) {
    if (m > 0) out << ',';
    WriteMesh(out, qmModel_GetMeshAt(model, m));
  }
  out << "],\"materials\":";
  WriteList(out, qmModel_GetMaterialCount(model),
            [model](int m) { return MaterialJson(qmModel_GetMaterialAt(model, m)); });
  out << "}\n";
}

std::string ModelJson(qmModel* model) {
  std::ostringstream out;
  WriteModelJson(model, out);
  return out.str();
}
