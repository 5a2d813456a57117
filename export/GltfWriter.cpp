// The host model as glTF 2.0, built as a tinygltf document and written by
// tinygltf.
//
// glTF keeps one index per corner for all attributes, where the host's
// triangles carry a vertex index and a normal index each: every distinct
// (vertex, normal) pair of a mesh becomes one glTF vertex, so no normal is
// lost. Vertices no triangle uses (marker points) go to a POINTS primitive.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <vector>

#include <tiny_gltf.h>

#include "Export.h"
#include "NameText.h"
#include "SafeSave.h"
#include "ValueFix.h"
#include "qmModelRead.h"

namespace {

using tinygltf::Value;

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

// The double that prints shortest among those that read back as `value`, so
// 0.3f is written as 0.3 rather than 0.30000001192092896.
double ShortestDouble(float value) {
  char text[32];
  for (int digits = 1; digits < 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) return std::strtod(text, nullptr);
  }
  return static_cast<double>(value);
}

Value Number(float value) { return Value(ShortestDouble(value)); }

Value Colour(const float* rgba, ExportNotes& notes) {
  Value::Array list;
  for (int n = 0; n < 4; ++n) list.push_back(Number(Finite(rgba[n], notes)));
  return Value(std::move(list));
}

// Appends accessors to the document's one buffer, each with a buffer view of
// its own, 4-byte aligned.
class Accessors {
 public:
  explicit Accessors(tinygltf::Model& gltf) : gltf_(gltf) {}

  int Add(const void* data, size_t bytes, size_t count, int componentType, int type, int target) {
    std::vector<unsigned char>& buffer = Buffer();
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = buffer.size();
    view.byteLength = bytes;
    view.target = target;
    const auto* from = static_cast<const unsigned char*>(data);
    buffer.insert(buffer.end(), from, from + bytes);
    buffer.resize((buffer.size() + 3) / 4 * 4, 0);
    gltf_.bufferViews.push_back(view);

    tinygltf::Accessor accessor;
    accessor.bufferView = static_cast<int>(gltf_.bufferViews.size() - 1);
    accessor.byteOffset = 0;
    accessor.componentType = componentType;
    accessor.type = type;
    accessor.count = count;
    gltf_.accessors.push_back(accessor);
    return static_cast<int>(gltf_.accessors.size() - 1);
  }

  int Floats(const std::vector<float>& values, int type, int size) {
    return Add(values.data(), values.size() * sizeof(float), values.size() / size,
               TINYGLTF_COMPONENT_TYPE_FLOAT, type, kArrayBuffer);
  }

  // Positions need their bounds, which glTF requires to be finite: the values
  // are made finite before they get here.
  int Positions(const std::vector<float>& xyz) {
    const int index = Floats(xyz, TINYGLTF_TYPE_VEC3, 3);
    tinygltf::Accessor& accessor = gltf_.accessors[static_cast<size_t>(index)];
    accessor.minValues.assign(3, 0.0);
    accessor.maxValues.assign(3, 0.0);
    for (int axis = 0; axis < 3; ++axis) {
      float low = xyz[static_cast<size_t>(axis)];
      float high = low;
      for (size_t at = static_cast<size_t>(axis); at < xyz.size(); at += 3) {
        low = std::min(low, xyz[at]);
        high = std::max(high, xyz[at]);
      }
      accessor.minValues[static_cast<size_t>(axis)] = low;
      accessor.maxValues[static_cast<size_t>(axis)] = high;
    }
    return index;
  }

  // 16-bit indices when they fit; 65535 is avoided, as it means "restart".
  int Indices(const std::vector<std::uint32_t>& indices, size_t vertexCount) {
    if (vertexCount <= 65535) {
      std::vector<std::uint16_t> narrow(indices.begin(), indices.end());
      return Add(narrow.data(), narrow.size() * sizeof(std::uint16_t), narrow.size(),
                 TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR,
                 kElementArrayBuffer);
    }
    return Add(indices.data(), indices.size() * sizeof(std::uint32_t), indices.size(),
               TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, kElementArrayBuffer);
  }

 private:
  std::vector<unsigned char>& Buffer() {
    if (gltf_.buffers.empty()) gltf_.buffers.emplace_back();
    return gltf_.buffers.front().data;
  }

  tinygltf::Model& gltf_;
};

void AppendPosition(const qmVertex* vertex, std::vector<float>& xyz, ExportNotes& notes) {
  const float* position = qmVertex_GetPosition(vertex);
  for (int n = 0; n < 3; ++n) xyz.push_back(Finite(position[n], notes));
}

void AppendTexCoords(const qmVertex* vertex, std::vector<float>& uv, ExportNotes& notes) {
  const float* texCoords = qmVertex_GetTexCoords(vertex);
  for (int n = 0; n < 2; ++n) uv.push_back(Finite(texCoords[n], notes));
}

// glTF normals must be of unit length. One that is off by more than rounding
// is normalised; one with no direction (zero, or not finite) becomes +z.
void AppendNormal(const float* normal, std::vector<float>& xyz, ExportNotes& notes) {
  ExportNotes own;  // a normal counts once, however many of its parts change
  double v[3];
  for (int n = 0; n < 3; ++n) v[n] = Finite(normal[n], own);
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (own.Empty() && std::fabs(length - 1.0) <= 1e-4) {
    xyz.insert(xyz.end(), normal, normal + 3);
    return;
  }
  ++notes.adjustedValues;
  if (!(length > 1e-20)) {
    xyz.insert(xyz.end(), {0.0f, 0.0f, 1.0f});
    return;
  }
  for (int n = 0; n < 3; ++n) xyz.push_back(static_cast<float>(v[n] / length));
}

// A primitive of the mesh's triangles, one vertex per (vertex, normal) pair.
// Marks the vertices it uses in `used`; returns false when no triangle is
// whole.
bool AddTriangles(qmMesh* mesh, int material, Accessors& accessors, tinygltf::Mesh& out,
                  std::vector<bool>& used, ExportNotes& notes) {
  const int vertexCount = qmMesh_GetVertexCount(mesh);
  const int normalCount = qmMesh_GetNormalCount(mesh);
  const bool hasNormals = normalCount > 0;
  std::vector<std::uint64_t> corners;
  for (int t = 0, n = qmMesh_GetTriangleCount(mesh); t < n; ++t) {
    const qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, t);
    const std::uint16_t* vertices = qmTriangle_GetVertexIndices(triangle);
    const std::uint16_t* normals = qmTriangle_GetNormalIndices(triangle);
    bool whole = true;
    for (int c = 0; c < 3; ++c)
      whole = whole && vertices[c] < vertexCount && (!hasNormals || normals[c] < normalCount);
    if (!whole) {
      ++notes.droppedTriangles;
      continue;
    }
    for (int c = 0; c < 3; ++c) {
      const std::uint64_t normal = hasNormals ? normals[c] : 0;
      corners.push_back(std::uint64_t{vertices[c]} << 32 | normal);
    }
  }
  if (corners.empty()) return false;

  std::vector<std::uint64_t> pairs = corners;
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  std::vector<float> positions, normals, texCoords;
  for (std::uint64_t pair : pairs) {
    const int vertexIndex = static_cast<int>(pair >> 32);
    used[static_cast<size_t>(vertexIndex)] = true;
    const qmVertex* vertex = qmMesh_GetVertexAt(mesh, vertexIndex);
    AppendPosition(vertex, positions, notes);
    AppendTexCoords(vertex, texCoords, notes);
    if (hasNormals)
      AppendNormal(qmMesh_GetNormalAt(mesh, static_cast<int>(pair & 0xFFFFFFFFu)), normals, notes);
  }
  std::vector<std::uint32_t> indices;
  indices.reserve(corners.size());
  for (std::uint64_t corner : corners)
    indices.push_back(static_cast<std::uint32_t>(
        std::lower_bound(pairs.begin(), pairs.end(), corner) - pairs.begin()));

  tinygltf::Primitive primitive;
  primitive.mode = TINYGLTF_MODE_TRIANGLES;
  primitive.material = material;
  primitive.attributes["POSITION"] = accessors.Positions(positions);
  if (hasNormals) primitive.attributes["NORMAL"] = accessors.Floats(normals, TINYGLTF_TYPE_VEC3, 3);
  primitive.attributes["TEXCOORD_0"] = accessors.Floats(texCoords, TINYGLTF_TYPE_VEC2, 2);
  primitive.indices = accessors.Indices(indices, pairs.size());
  out.primitives.push_back(std::move(primitive));
  return true;
}

void AddPoints(qmMesh* mesh, int material, const std::vector<bool>& used, Accessors& accessors,
               tinygltf::Mesh& out, ExportNotes& notes) {
  std::vector<float> positions, texCoords;
  for (size_t v = 0; v < used.size(); ++v) {
    if (used[v]) continue;
    const qmVertex* vertex = qmMesh_GetVertexAt(mesh, static_cast<int>(v));
    AppendPosition(vertex, positions, notes);
    AppendTexCoords(vertex, texCoords, notes);
  }
  if (positions.empty()) return;
  tinygltf::Primitive primitive;
  primitive.mode = TINYGLTF_MODE_POINTS;
  primitive.material = material;
  primitive.attributes["POSITION"] = accessors.Positions(positions);
  primitive.attributes["TEXCOORD_0"] = accessors.Floats(texCoords, TINYGLTF_TYPE_VEC2, 2);
  out.primitives.push_back(std::move(primitive));
}

// The glTF mesh of a host mesh, or -1 for a mesh without vertices.
int AddMesh(qmModel* model, qmMesh* mesh, Accessors& accessors, tinygltf::Model& gltf,
            ExportNotes& notes) {
  const int vertexCount = qmMesh_GetVertexCount(mesh);
  if (vertexCount <= 0) return -1;
  int material = qmMesh_GetMaterialIndex(mesh);
  if (qmModel_GetMaterialAt(model, material) == nullptr) material = -1;

  tinygltf::Mesh out;
  out.name = NameText(qmMesh_GetName(mesh));
  std::vector<bool> used(static_cast<size_t>(vertexCount), false);
  AddTriangles(mesh, material, accessors, out, used, notes);
  AddPoints(mesh, material, used, accessors, out, notes);
  gltf.meshes.push_back(std::move(out));
  return static_cast<int>(gltf.meshes.size() - 1);
}

// The host's material is a Phong one; glTF's is physically based. The
// diffuse colour and the opacity make the base colour, the emissive colour
// the emissive factor; the rest travels in extras. The surface is a
// dielectric (metallic 0), as the host has no notion of metal.
tinygltf::Material MaterialOf(const qmMaterial* material, ExportNotes& notes) {
  tinygltf::Material out;
  out.name = NameText(qmMaterial_GetName(material));
  const float* diffuse = qmMaterial_GetDiffuse(material);
  const float* emissive = qmMaterial_GetEmissive(material);
  const float transparency = Finite(qmMaterial_GetTransparency(material), notes);
  const float alpha = Clamped01(1.0f - transparency, notes);
  out.pbrMetallicRoughness.baseColorFactor = {ShortestDouble(Clamped01(diffuse[0], notes)),
                                              ShortestDouble(Clamped01(diffuse[1], notes)),
                                              ShortestDouble(Clamped01(diffuse[2], notes)),
                                              ShortestDouble(alpha)};
  out.pbrMetallicRoughness.metallicFactor = 0.0;
  if (alpha < 1.0f) out.alphaMode = "BLEND";
  out.emissiveFactor = {ShortestDouble(Clamped01(emissive[0], notes)),
                        ShortestDouble(Clamped01(emissive[1], notes)),
                        ShortestDouble(Clamped01(emissive[2], notes))};
  Value::Object extras;
  extras["ambient"] = Colour(qmMaterial_GetAmbient(material), notes);
  extras["specular"] = Colour(qmMaterial_GetSpecular(material), notes);
  extras["shininess"] = Number(Finite(qmMaterial_GetShininess(material), notes));
  extras["transparency"] = Number(transparency);
  out.extras = Value(std::move(extras));
  return out;
}

int AddNode(tinygltf::Model& gltf, const std::string& name, Value::Object extras) {
  tinygltf::Node node;
  node.name = name;
  // An empty object would be written as null, which readers reject.
  if (!extras.empty()) node.extras = Value(std::move(extras));
  gltf.nodes.push_back(std::move(node));
  return static_cast<int>(gltf.nodes.size() - 1);
}

// The level's red value, as its mesh's name prints it.
float RedValue(const std::string& text, ExportNotes& notes) {
  char* end = nullptr;
  const float red = std::strtof(text.c_str(), &end);
  if (end == text.c_str()) {
    ++notes.adjustedValues;
    return 0.0f;
  }
  return Finite(red, notes);
}

// Groups, under each its levels (the level mesh's node where there is one),
// under each level its meshes; the markers under one node; meshes that follow
// no naming pattern at the root.
std::vector<int> TreeRoots(const ModelStructure& tree, tinygltf::Model& gltf, ExportNotes& notes) {
  std::vector<int> roots;
  for (const GroupNode& group : tree.groups) {
    const int groupNode =
        AddNode(gltf, "group " + std::to_string(group.number), {{"group", Value(group.number)}});
    for (const LevelNode& level : group.levels) {
      int levelNode = level.levelMesh;
      if (levelNode == -1) {
        levelNode = AddNode(gltf, "detail level " + std::to_string(level.number),
                            {{"level", Value(level.number)}});
      } else {
        // A red cut with the host's name is not known: it is left out.
        Value::Object extras{{"level", Value(level.number)}};
        if (!level.redCut) extras["red"] = Number(RedValue(level.red, notes));
        gltf.nodes[static_cast<size_t>(levelNode)].extras = Value(std::move(extras));
      }
      gltf.nodes[static_cast<size_t>(levelNode)].children = level.meshes;
      gltf.nodes[static_cast<size_t>(groupNode)].children.push_back(levelNode);
    }
    roots.push_back(groupNode);
  }
  if (!tree.markers.empty()) {
    const int hardpoints = AddNode(gltf, "hardpoints", {});
    gltf.nodes[static_cast<size_t>(hardpoints)].children = tree.markers;
    roots.push_back(hardpoints);
  }
  roots.insert(roots.end(), tree.others.begin(), tree.others.end());
  return roots;
}

}  // namespace

void BuildGltf(qmModel* model, const ModelStructure* tree, tinygltf::Model& gltf,
               ExportNotes& notes) {
  gltf = tinygltf::Model();
  gltf.asset.version = "2.0";
  gltf.asset.generator = "qmhost";
  Accessors accessors(gltf);
  for (int m = 0, n = qmModel_GetMaterialCount(model); m < n; ++m)
    gltf.materials.push_back(MaterialOf(qmModel_GetMaterialAt(model, m), notes));
  const int meshCount = qmModel_GetMeshCount(model);
  for (int m = 0; m < meshCount; ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    tinygltf::Node node;
    node.name = NameText(qmMesh_GetName(mesh));
    node.mesh = AddMesh(model, mesh, accessors, gltf, notes);
    gltf.nodes.push_back(std::move(node));
  }

  tinygltf::Scene scene;
  if (tree != nullptr) {
    scene.nodes = TreeRoots(*tree, gltf, notes);
  } else {
    for (int m = 0; m < meshCount; ++m) scene.nodes.push_back(m);
  }
  // A scene must list at least one node; an empty model has none.
  if (!scene.nodes.empty()) {
    gltf.scenes.push_back(std::move(scene));
    gltf.defaultScene = 0;
  }
}

bool WriteGltf(qmModel* model, const ModelStructure* tree, GltfForm form, std::ostream& out,
               ExportNotes& notes) {
  tinygltf::Model gltf;
  BuildGltf(model, tree, gltf, notes);
  tinygltf::TinyGLTF writer;
  const bool binary = form == GltfForm::Binary;
  return writer.WriteGltfSceneToStream(&gltf, out, !binary, binary) && out.good();
}

bool SaveGltfFile(qmModel* model, const ModelStructure* tree, GltfForm form,
                  const std::string& path, ExportNotes& notes, std::string& error) {
  return SaveFile(
      path, [&](std::ostream& out) { return WriteGltf(model, tree, form, out, notes); }, error);
}

std::vector<std::string> GltfSavePaths(const std::string& path) { return {path}; }
