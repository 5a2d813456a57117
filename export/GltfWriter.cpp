// The host model as glTF 2.0, written in two passes over the model.
//
// The first pass measures each kept mesh (which of its triangles are whole,
// which vertices they use, the bounds) and forms the document: nodes, meshes,
// accessors, materials, images, and where every accessor's bytes will lie in
// the one buffer. The second pass writes the buffer straight from the host
// model in large blocks, raw into a .glb's binary chunk or as base64 into a
// .gltf's data URI; the buffer is never held whole, so a save takes little
// memory beside the model.
//
// The JSON text is formed element by element: each node, mesh, accessor or
// material is a small nlohmann-json document, dumped (names escaped, numbers
// in their shortest round-trip text) and appended to its array's text, so
// the text is the only whole thing held. tinygltf, which reads these files
// back in the tests, is no writer for them: its writer holds its own model of
// the document, then a JSON tree of it, then the text, and the whole buffer
// beside them, and copies the buffer again to write it (a .glb of 44 MB took
// 2x the model; a model of 20,000 meshes and 30,000 marker points took 120
// MB for its document alone). What is left is thin and written here: the
// arrays' framing, the one buffer entry, the GLB container (a 12-byte header
// and two chunk headers) and the buffer's bytes.
//
// glTF keeps one index per corner for all attributes, where the host's
// triangles carry a vertex index and a normal index each. Where every whole
// triangle's normal indices are its vertex indices (the import always gives
// that) the used vertices become the glTF vertices in order; otherwise every
// distinct (vertex, normal) pair of a mesh becomes one glTF vertex, so no
// normal is lost. Vertices no triangle uses (marker points) go to a POINTS
// primitive.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <vector>

#include <nlohmann/json.hpp>

#include "Export.h"
#include "MarkerPoints.h"
#include "MeshRead.h"
#include "NameText.h"
#include "NumberText.h"
#include "SaveContent.h"
#include "SavePlan.h"
#include "Textures.h"
#include "ValueFix.h"
#include "qmModelRead.h"

namespace {

using Json = nlohmann::json;

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;
constexpr int kModePoints = 0;
constexpr int kModeTriangles = 4;
// The largest index 16 bits hold that is no primitive restart.
constexpr std::size_t kMaxShortIndex = 65534;
// A .glb counts its length in 32 bits: header, two chunk headers, content.
constexpr std::uint64_t kMaxGlbBytes = UINT32_MAX;
// The buffer goes to the stream (the save's own 1 MiB buffer) in blocks of this.
constexpr std::size_t kBlockBytes = 256 << 10;

Json Number(float value) { return ShortestDouble(value); }

Json Colour(const float* rgba, ExportNotes& notes) {
  Json list = Json::array();
  for (int n = 0; n < 4; ++n) list.push_back(Number(Finite(rgba[n], notes)));
  return list;
}

// The host's axes turned to the file's: with +Y up, (x, y, z) -> (x, z, -y).
void Turn(const float* host, float* out, UpAxis up) {
  if (up == UpAxis::Y) {
    out[0] = host[0];
    out[1] = host[2];
    out[2] = -host[1];
  } else {
    std::memcpy(out, host, 3 * sizeof(float));
  }
}

void Position(const float* position, UpAxis up, float* out, int& changed) {
  const float finite[3] = {Finite(position[0], changed), Finite(position[1], changed),
                           Finite(position[2], changed)};
  Turn(finite, out, up);
}

void Position(const float* position, UpAxis up, float* out, ExportNotes& notes) {
  Position(position, up, out, notes.adjustedValues);
}

// glTF normals must be of unit length. One that is off by more than rounding
// (its length more than 1e-4 from 1) is normalised; one with no direction
// (zero, or not finite) becomes the host's +z.
void Normal(const float* normal, UpAxis up, float* out, ExportNotes& notes) {
  // The common case first: a unit normal passes the test on its squared
  // length, which a part that is not finite fails.
  const float squared = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
  if (squared >= 0.9998f && squared <= 1.0002f) {
    Turn(normal, out, up);
    return;
  }
  ++notes.adjustedValues;  // once, however many of its parts change
  int ignored = 0;
  double v[3];
  for (int n = 0; n < 3; ++n) v[n] = Finite(normal[n], ignored);
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  float unit[3];
  for (int n = 0; n < 3; ++n)
    unit[n] = length > 1e-20 ? static_cast<float>(v[n] / length) : n == 2 ? 1.0f : 0.0f;
  Turn(unit, out, up);
}

// The bounds of finite positions; they are written only for what has any.
struct Bounds {
  float low[3] = {kInfinity, kInfinity, kInfinity};
  float high[3] = {-kInfinity, -kInfinity, -kInfinity};

  void Add(const float* p) {
    for (int n = 0; n < 3; ++n) {
      low[n] = std::min(low[n], p[n]);
      high[n] = std::max(high[n], p[n]);
    }
  }

  static constexpr float kInfinity = std::numeric_limits<float>::infinity();
};

// One kept host mesh with vertices, as the first pass found it.
struct MeshPart {
  qmMesh* mesh = nullptr;
  int vertexCount = 0;
  int normalCount = 0;  // its triangles carry normals when above 0
  bool sameIndices = true;  // every whole triangle's normal indices are its vertex indices
  std::vector<std::uint8_t> used;  // 1 for the vertices of whole triangles
  std::size_t triangles = 0;  // whole triangles
  std::size_t vertices = 0;   // glTF vertices of the triangle primitive
  std::size_t points = 0;     // vertices no whole triangle uses
  Bounds triangleBounds, pointBounds;

  // Every distinct (vertex, normal) pair makes a glTF vertex, where normal
  // indices differ from vertex indices.
  bool Pairs() const { return normalCount > 0 && !sameIndices; }
};

// What the passes reuse from mesh to mesh.
struct Scratch {
  std::vector<std::uint16_t> triangles;
  std::vector<float> read;
  std::vector<std::uint32_t> corners, pairs;
  std::vector<std::uint32_t> index;  // glTF vertex of each host vertex
  std::vector<float> positions, texCoords, normals;  // host vertices and normals 0 to 65535
};

// The (vertex, normal) pairs of a mesh's whole triangles, as vertex << 16 |
// normal, one per corner in order into `corners`; the distinct ones,
// ascending, into `pairs`.
void CornerPairs(const MeshPart& part, Scratch& scratch) {
  std::vector<std::uint32_t>& corners = scratch.corners;
  corners.clear();
  ForEachTriangle(part.mesh, scratch.triangles, [&](const std::uint16_t* t) {
    if (!IsWhole(t, part.vertexCount, part.normalCount)) return;
    for (int c = 0; c < 3; ++c) corners.push_back(std::uint32_t{t[c]} << 16 | t[3 + c]);
  });
  scratch.pairs = corners;
  std::sort(scratch.pairs.begin(), scratch.pairs.end());
  scratch.pairs.erase(std::unique(scratch.pairs.begin(), scratch.pairs.end()), scratch.pairs.end());
}

// The first pass over one mesh.
MeshPart Measure(qmMesh* mesh, UpAxis up, Scratch& scratch) {
  MeshPart part;
  part.mesh = mesh;
  part.vertexCount = qmMesh_GetVertexCount(mesh);
  part.normalCount = qmMesh_GetNormalCount(mesh);
  part.used.assign(static_cast<std::size_t>(part.vertexCount), 0);
  ForEachTriangle(mesh, scratch.triangles, [&](const std::uint16_t* t) {
    if (!IsWhole(t, part.vertexCount, part.normalCount)) return;
    ++part.triangles;
    part.used[t[0]] = 1;
    part.used[t[1]] = 1;
    part.used[t[2]] = 1;
    if (t[3] != t[0] || t[4] != t[1] || t[5] != t[2]) part.sameIndices = false;
  });
  std::size_t used = 0;
  int uncounted = 0;  // values are counted as the second pass writes them
  ForEachVertex(mesh, 0, part.vertexCount, false, scratch.read,
                [&](int v, const float* position, const float*) {
                  float p[3];
                  Position(position, up, p, uncounted);
                  if (part.used[static_cast<std::size_t>(v)]) {
                    part.triangleBounds.Add(p);
                    ++used;
                  } else {
                    part.pointBounds.Add(p);
                  }
                });
  part.points = static_cast<std::size_t>(part.vertexCount) - used;
  part.vertices = used;
  if (part.Pairs() && part.triangles > 0) {
    CornerPairs(part, scratch);
    part.vertices = scratch.pairs.size();
  }
  return part;
}

bool WideIndices(const MeshPart& part) { return part.vertices > kMaxShortIndex + 1; }

// An array of the document: its elements' text, formed one at a time.
class JsonArray {
 public:
  int Add(const Json& element) {
    if (count_ > 0) text_ += ',';
    text_ += element.dump();
    return count_++;
  }
  int Count() const { return count_; }
  // ',"name":[...]' onto the document's pieces, the array's text moved, not
  // copied; nothing for an empty array, which glTF does not allow.
  void MoveTo(std::vector<std::string>& document, const char* name) {
    if (count_ == 0) return;
    document.push_back(std::string(",\"") + name + "\":[");
    text_ += ']';
    text_.shrink_to_fit();
    document.push_back(std::move(text_));
    text_.clear();
    count_ = 0;
  }

 private:
  std::string text_;
  int count_ = 0;
};

// Buffer views and accessors, each view at the next 4-byte boundary of the
// one buffer, in the order the second pass writes their bytes.
class Layout {
 public:
  int View(std::uint64_t bytes, int target) {
    Json view = {{"buffer", 0}, {"byteOffset", end_}, {"byteLength", bytes}};
    if (target != 0) view["target"] = target;  // an image's view has none
    end_ = (end_ + bytes + 3) / 4 * 4;
    return views.Add(view);
  }

  // Positions carry their bounds, exactly as the floats are written.
  int Accessor(std::size_t count, int componentType, const char* type, int components,
               int target, const Bounds* bounds = nullptr) {
    const std::uint64_t size = componentType == kUnsignedShort ? 2 : 4;
    Json accessor = {{"bufferView", View(count * static_cast<std::uint64_t>(components) * size,
                                         target)},
                     {"componentType", componentType},
                     {"count", count},
                     {"type", type}};
    if (bounds != nullptr) {
      accessor["min"] = {bounds->low[0], bounds->low[1], bounds->low[2]};
      accessor["max"] = {bounds->high[0], bounds->high[1], bounds->high[2]};
    }
    return accessors.Add(accessor);
  }

  std::uint64_t Bytes() const { return end_; }

  JsonArray views, accessors;

 private:
  std::uint64_t end_ = 0;
};

// The glTF mesh of a measured host mesh.
Json MeshOf(const MeshPart& part, int material, Layout& layout) {
  Json primitives = Json::array();
  auto primitive = [&](Json attributes, int mode) {
    Json out = {{"attributes", std::move(attributes)}, {"mode", mode}};
    if (material >= 0) out["material"] = material;
    return out;
  };
  if (part.triangles > 0) {
    Json attributes = {{"POSITION", layout.Accessor(part.vertices, kFloat, "VEC3", 3, kArrayBuffer,
                                                    &part.triangleBounds)}};
    if (part.normalCount > 0)
      attributes["NORMAL"] = layout.Accessor(part.vertices, kFloat, "VEC3", 3, kArrayBuffer);
    attributes["TEXCOORD_0"] = layout.Accessor(part.vertices, kFloat, "VEC2", 2, kArrayBuffer);
    Json triangles = primitive(std::move(attributes), kModeTriangles);
    triangles["indices"] = layout.Accessor(3 * part.triangles,
                                           WideIndices(part) ? kUnsignedInt : kUnsignedShort,
                                           "SCALAR", 1, kElementArrayBuffer);
    primitives.push_back(std::move(triangles));
  }
  if (part.points > 0) {
    Json attributes = {{"POSITION", layout.Accessor(part.points, kFloat, "VEC3", 3, kArrayBuffer,
                                                    &part.pointBounds)}};
    attributes["TEXCOORD_0"] = layout.Accessor(part.points, kFloat, "VEC2", 2, kArrayBuffer);
    primitives.push_back(primitive(std::move(attributes), kModePoints));
  }
  return {{"name", NameText(qmMesh_GetName(part.mesh))}, {"primitives", std::move(primitives)}};
}

// The host's material is a Phong one; glTF's is physically based. The
// diffuse colour and the opacity make the base colour (which multiplies the
// texture's image), the emissive colour the emissive factor; the rest
// travels in extras. The surface is a dielectric (metallic 0), as the host
// has no notion of metal, and double-sided: the file does not say which way
// its triangles wind.
Json MaterialOf(const qmMaterial* material, int texture, ExportNotes& notes) {
  const float* diffuse = qmMaterial_GetDiffuse(material);
  const float* emissive = qmMaterial_GetEmissive(material);
  const float transparency = Finite(qmMaterial_GetTransparency(material), notes);
  const float alpha = Clamped01(1.0f - transparency, notes);
  Json pbr = {{"baseColorFactor",
               {ShortestDouble(Clamped01(diffuse[0], notes)),
                ShortestDouble(Clamped01(diffuse[1], notes)),
                ShortestDouble(Clamped01(diffuse[2], notes)), ShortestDouble(alpha)}},
              {"metallicFactor", 0}};
  if (texture >= 0) pbr["baseColorTexture"] = {{"index", texture}};
  Json out = {{"name", NameText(qmMaterial_GetName(material))},
              {"pbrMetallicRoughness", std::move(pbr)},
              {"emissiveFactor",
               {ShortestDouble(Clamped01(emissive[0], notes)),
                ShortestDouble(Clamped01(emissive[1], notes)),
                ShortestDouble(Clamped01(emissive[2], notes))}},
              {"doubleSided", true}};
  if (alpha < 1.0f) out["alphaMode"] = "BLEND";
  out["extras"] = {{"ambient", Colour(qmMaterial_GetAmbient(material), notes)},
                   {"specular", Colour(qmMaterial_GetSpecular(material), notes)},
                   {"shininess", Number(Finite(qmMaterial_GetShininess(material), notes))},
                   {"transparency", Number(transparency)}};
  return out;
}

// A node as the tree forms it, written once the tree is whole.
struct Node {
  std::string name;
  int mesh = -1;
  std::vector<int> children;
  Json extras;  // null for none
  std::vector<double> translation;  // empty for none
  std::vector<int> coarser;  // MSFT_lod's ids: the group's coarser levels
};

int AddNode(std::vector<Node>& nodes, std::string name, Json extras) {
  nodes.push_back(Node{std::move(name), -1, {}, std::move(extras), {}, {}});
  return static_cast<int>(nodes.size() - 1);
}

Json NodeJson(const Node& node) {
  Json out = {{"name", node.name}};
  if (node.mesh >= 0) out["mesh"] = node.mesh;
  if (!node.children.empty()) out["children"] = node.children;
  if (!node.translation.empty()) out["translation"] = node.translation;
  if (!node.extras.is_null()) out["extras"] = node.extras;
  if (!node.coarser.empty()) out["extensions"] = {{"MSFT_lod", {{"ids", node.coarser}}}};
  return out;
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

// The points of a marker as empty nodes under the marker's node.
void AddMarkerPoints(qmMesh* mesh, int markerNode, UpAxis up, std::vector<Node>& nodes,
                     ExportNotes& notes) {
  const std::string name = NameText(qmMesh_GetName(mesh));
  const std::vector<int> points = MarkerPointVertices(mesh);
  for (std::size_t n = 0; n < points.size(); ++n) {
    float p[3];
    Position(qmVertex_GetPosition(qmMesh_GetVertexAt(mesh, points[n])), up, p, notes);
    const int node = AddNode(nodes, name + " " + std::to_string(n), Json());
    nodes[static_cast<std::size_t>(node)].translation = {ShortestDouble(p[0]),
                                                         ShortestDouble(p[1]),
                                                         ShortestDouble(p[2])};
    nodes[static_cast<std::size_t>(markerNode)].children.push_back(node);
  }
}

// Groups, under each its kept levels (the level mesh's node where there is
// one), under each level its meshes; the markers under one node, their points
// under each; meshes that follow no naming pattern at the root. `nodeOf` maps
// a host mesh to its node, -1 for one left out.
std::vector<int> TreeRoots(qmModel* model, const ModelStructure& tree, const FileContent& file,
                           const std::vector<int>& nodeOf, UpAxis up, std::vector<Node>& nodes,
                           ExportNotes& notes) {
  std::vector<int> roots;
  for (const GroupNode& group : tree.groups) {
    int groupNode = -1;
    std::vector<int> levelNodes;
    for (const LevelNode& level : group.levels) {
      if (file.level != SaveSettings::kAllLevels && level.number != file.level) continue;
      if (groupNode == -1)
        groupNode = AddNode(nodes, "group " + std::to_string(group.number), {{"group", group.number}});
      int levelNode =
          level.levelMesh == -1 ? -1 : nodeOf[static_cast<std::size_t>(level.levelMesh)];
      if (levelNode == -1) {
        levelNode = AddNode(nodes, "detail level " + std::to_string(level.number),
                            {{"level", level.number}});
      } else {
        // A red cut with the host's name is not known: it is left out.
        Json extras = {{"level", level.number}};
        if (!level.redCut) extras["red"] = Number(RedValue(level.red, notes));
        nodes[static_cast<std::size_t>(levelNode)].extras = std::move(extras);
      }
      for (int mesh : level.meshes)
        nodes[static_cast<std::size_t>(levelNode)].children.push_back(
            nodeOf[static_cast<std::size_t>(mesh)]);
      nodes[static_cast<std::size_t>(groupNode)].children.push_back(levelNode);
      levelNodes.push_back(levelNode);
    }
    // Tools that switch levels find the coarser ones from the finest.
    if (levelNodes.size() > 1)
      nodes[static_cast<std::size_t>(levelNodes.front())].coarser.assign(levelNodes.begin() + 1,
                                                                        levelNodes.end());
    if (groupNode != -1) roots.push_back(groupNode);
  }
  if (file.markers && !tree.markers.empty()) {
    const int hardpoints = AddNode(nodes, "hardpoints", Json());
    for (int mesh : tree.markers) {
      const int node = nodeOf[static_cast<std::size_t>(mesh)];
      nodes[static_cast<std::size_t>(hardpoints)].children.push_back(node);
      AddMarkerPoints(qmModel_GetMeshAt(model, mesh), node, up, nodes, notes);
    }
    roots.push_back(hardpoints);
  }
  if (file.markers)
    for (int mesh : tree.others) roots.push_back(nodeOf[static_cast<std::size_t>(mesh)]);
  return roots;
}

// A file name as a relative URI: every byte but the unreserved ones
// percent-encoded.
std::string UriOf(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri;
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

// One file of a glTF save, formed by the first pass.
struct GltfFile {
  // The document's text without its buffer entry and closing brace, in
  // pieces written one after another.
  std::vector<std::string> json;
  std::uint64_t JsonBytes() const {
    std::uint64_t bytes = 0;
    for (const std::string& piece : json) bytes += piece.size();
    return bytes;
  }
  std::vector<MeshPart> parts;
  std::vector<int> images;  // the save's images whose PNG goes into the buffer
  std::uint64_t bufferBytes = 0;
};

// The first pass: the document of `file` and the layout of its buffer.
GltfFile FormFile(qmModel* model, const SaveSettings& settings, GltfForm form,
                  const ModelStructure& tree, const FileContent& file,
                  const SaveTextures& textures, ExportNotes& notes) {
  GltfFile out;
  Layout layout;

  JsonArray materials;
  const int materialCount = qmModel_GetMaterialCount(model);
  for (int m = 0; m < materialCount; ++m)
    materials.Add(MaterialOf(qmModel_GetMaterialAt(model, m), textures.ImageOf(m), notes));

  const int meshCount = qmModel_GetMeshCount(model);
  std::vector<int> nodeOf(static_cast<std::size_t>(meshCount), -1);
  std::vector<Node> nodes;
  std::vector<int> keptNodes;
  JsonArray meshes;
  Scratch scratch;
  for (int m = 0; m < meshCount; ++m) {
    if (!file.kept[static_cast<std::size_t>(m)]) continue;
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    const int node = AddNode(nodes, NameText(qmMesh_GetName(mesh)), Json());
    if (qmMesh_GetVertexCount(mesh) > 0) {
      out.parts.push_back(Measure(mesh, settings.up, scratch));
      int material = qmMesh_GetMaterialIndex(mesh);
      if (qmModel_GetMaterialAt(model, material) == nullptr) material = -1;
      nodes[static_cast<std::size_t>(node)].mesh = meshes.Add(MeshOf(out.parts.back(), material, layout));
    }
    nodeOf[static_cast<std::size_t>(m)] = node;
    keptNodes.push_back(node);
  }

  // Images and their textures, one texture per image, in the save's order.
  JsonArray images, textureArray;
  for (std::size_t n = 0; n < textures.Images().size(); ++n) {
    const TextureImage& image = textures.Images()[n];
    Json entry = {{"name", NameText(image.texture.c_str())}, {"mimeType", "image/png"}};
    if (form == GltfForm::Binary) {
      entry["bufferView"] = layout.View(image.png.size(), 0);
      out.images.push_back(static_cast<int>(n));
    } else {
      entry["uri"] = UriOf(image.besideName);
    }
    images.Add(entry);
    textureArray.Add({{"source", n}});
  }

  const std::vector<int> roots =
      settings.flat ? keptNodes
                    : TreeRoots(model, tree, file, nodeOf, settings.up, nodes, notes);
  const bool levels = std::any_of(nodes.begin(), nodes.end(),
                                  [](const Node& node) { return !node.coarser.empty(); });
  out.bufferBytes = layout.Bytes();

  std::string head = R"({"asset":{"generator":"qmhost","version":"2.0"})";
  if (levels) head += R"(,"extensionsUsed":["MSFT_lod"])";
  // A scene must list at least one node; an empty model has none.
  if (!roots.empty()) head += R"(,"scene":0,"scenes":[)" + Json{{"nodes", roots}}.dump() + "]";
  out.json.push_back(std::move(head));
  JsonArray nodeArray;
  for (const Node& node : nodes) nodeArray.Add(NodeJson(node));
  nodes.clear();
  nodeArray.MoveTo(out.json, "nodes");
  meshes.MoveTo(out.json, "meshes");
  layout.accessors.MoveTo(out.json, "accessors");
  layout.views.MoveTo(out.json, "bufferViews");
  materials.MoveTo(out.json, "materials");
  textureArray.MoveTo(out.json, "textures");
  images.MoveTo(out.json, "images");
  return out;
}

// The buffer's bytes on their way out: raw, or as base64 text, through a
// block of memory written to the stream when full.
class BufferSink {
 public:
  BufferSink(std::ostream& out, bool base64)
      : out_(out), base64_(base64), block_(new unsigned char[kBlockBytes]) {}

  void Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    written_ += size;
    if (!base64_) {
      while (size > 0) {
        const std::size_t part = std::min(size, kBlockBytes - used_);
        std::memcpy(block_.get() + used_, bytes, part);
        used_ += part;
        bytes += part;
        size -= part;
        if (used_ == kBlockBytes) Flush();
      }
      return;
    }
    // Bytes left over from the last write first, then whole groups straight
    // from the data, then what is left over for the next.
    while (carried_ > 0 && carried_ < 3 && size > 0) {
      carry_[carried_++] = *bytes++;
      --size;
    }
    if (carried_ == 3) {
      Encode(carry_, 3);
      carried_ = 0;
    }
    for (; size >= 3; bytes += 3, size -= 3) Encode(bytes, 3);
    while (size > 0) {
      carry_[carried_++] = *bytes++;
      --size;
    }
  }

  // Zero bytes up to the next 4-byte boundary, where every view starts.
  void Pad() {
    static const unsigned char kZeros[3] = {0, 0, 0};
    if (written_ % 4 != 0) Write(kZeros, 4 - written_ % 4);
  }

  std::uint64_t Written() const { return written_; }

  void Finish() {
    if (base64_ && carried_ > 0) {
      for (int n = carried_; n < 3; ++n) carry_[n] = 0;
      Encode(carry_, carried_);
      carried_ = 0;
    }
    Flush();
  }

 private:
  // Three bytes as four characters; the last group of fewer bytes ends in '='.
  void Encode(const unsigned char* bytes, int count) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::uint32_t group = std::uint32_t{bytes[0]} << 16 |
                                std::uint32_t{count > 1 ? bytes[1] : 0u} << 8 |
                                (count > 2 ? bytes[2] : 0u);
    if (kBlockBytes - used_ < 4) Flush();
    unsigned char* text = block_.get() + used_;
    text[0] = static_cast<unsigned char>(kDigits[group >> 18 & 63]);
    text[1] = static_cast<unsigned char>(kDigits[group >> 12 & 63]);
    text[2] = static_cast<unsigned char>(count > 1 ? kDigits[group >> 6 & 63] : '=');
    text[3] = static_cast<unsigned char>(count > 2 ? kDigits[group & 63] : '=');
    used_ += 4;
  }

  void Flush() {
    out_.write(reinterpret_cast<const char*>(block_.get()), static_cast<std::streamsize>(used_));
    used_ = 0;
  }

  std::ostream& out_;
  bool base64_;
  std::unique_ptr<unsigned char[]> block_;
  std::size_t used_ = 0;
  unsigned char carry_[3] = {0, 0, 0};
  int carried_ = 0;
  std::uint64_t written_ = 0;
};

template <typename Index>
void WriteIndices(const MeshPart& part, Scratch& scratch, BufferSink& sink, ExportNotes& notes) {
  constexpr std::size_t kBlock = kBlockBytes / sizeof(Index);
  std::unique_ptr<Index[]> block(new Index[kBlock]);
  std::size_t filled = 0;
  std::size_t corner = 0;
  const bool pairs = part.Pairs();
  const std::uint32_t* index = scratch.index.data();
  ForEachTriangle(part.mesh, scratch.triangles, [&](const std::uint16_t* t) {
    if (!IsWhole(t, part.vertexCount, part.normalCount)) {
      ++notes.droppedTriangles;
      return;
    }
    if (filled + 3 > kBlock) {
      sink.Write(block.get(), filled * sizeof(Index));
      filled = 0;
    }
    for (int c = 0; c < 3; ++c) {
      // The pairs come in the order of the triangles' corners.
      const std::uint32_t vertex =
          pairs ? static_cast<std::uint32_t>(std::lower_bound(scratch.pairs.begin(),
                                                              scratch.pairs.end(),
                                                              scratch.corners[corner++]) -
                                             scratch.pairs.begin())
                : index[t[c]];
      block[filled++] = static_cast<Index>(vertex);
    }
  });
  sink.Write(block.get(), filled * sizeof(Index));
  sink.Pad();
}

void WriteFloats(const std::vector<float>& values, std::size_t count, BufferSink& sink) {
  sink.Write(values.data(), count * sizeof(float));
  sink.Pad();
}

// The host's vertices and normals that 16-bit indices reach, read at once.
void ReadReachable(const MeshPart& part, Scratch& scratch) {
  const int vertices = std::min(part.vertexCount, 65536);
  scratch.positions.resize(3 * static_cast<std::size_t>(vertices));
  scratch.texCoords.resize(2 * static_cast<std::size_t>(vertices));
  qmMesh_CopyVertices(part.mesh, 0, vertices, scratch.positions.data(), scratch.texCoords.data());
  const int normals = std::min(part.normalCount, 65536);
  scratch.normals.resize(3 * static_cast<std::size_t>(normals));
  qmMesh_CopyNormals(part.mesh, 0, normals, scratch.normals.data());
}

// The second pass over one mesh: its buffer views, in the order MeshOf laid
// them out.
void WriteMesh(const MeshPart& part, UpAxis up, Scratch& scratch, BufferSink& sink,
               ExportNotes& notes) {
  if (part.triangles == 0) {
    // Its triangles are all damaged: counted as they would be written.
    ForEachTriangle(part.mesh, scratch.triangles, [&](const std::uint16_t* t) {
      if (!IsWhole(t, part.vertexCount, part.normalCount)) ++notes.droppedTriangles;
    });
  } else {
    ReadReachable(part, scratch);
    std::vector<float> positions(3 * part.vertices), texCoords(2 * part.vertices);
    std::vector<float> normals(part.normalCount > 0 ? 3 * part.vertices : 0);
    std::size_t next = 0;
    auto add = [&](std::uint32_t v, std::uint32_t normal) {
      Position(&scratch.positions[3 * v], up, &positions[3 * next], notes);
      texCoords[2 * next] = Finite(scratch.texCoords[2 * v], notes);
      texCoords[2 * next + 1] = Finite(scratch.texCoords[2 * v + 1], notes);
      if (!normals.empty()) Normal(&scratch.normals[3 * normal], up, &normals[3 * next], notes);
      ++next;
    };
    if (part.Pairs()) {
      CornerPairs(part, scratch);
      for (std::uint32_t pair : scratch.pairs) add(pair >> 16, pair & 0xFFFF);
    } else {
      scratch.index.resize(static_cast<std::size_t>(std::min(part.vertexCount, 65536)));
      for (std::uint32_t v = 0; v < scratch.index.size(); ++v) {
        if (!part.used[v]) continue;
        scratch.index[v] = static_cast<std::uint32_t>(next);
        add(v, v);
      }
    }
    WriteFloats(positions, positions.size(), sink);
    if (!normals.empty()) WriteFloats(normals, normals.size(), sink);
    WriteFloats(texCoords, texCoords.size(), sink);
    if (WideIndices(part))
      WriteIndices<std::uint32_t>(part, scratch, sink, notes);
    else
      WriteIndices<std::uint16_t>(part, scratch, sink, notes);
  }

  if (part.points == 0) return;
  // Points may be many (a marker of a million lone points): in blocks.
  std::vector<float> block;
  for (int attribute = 0; attribute < 2; ++attribute) {
    block.clear();
    ForEachVertex(part.mesh, 0, part.vertexCount, attribute == 1, scratch.read,
                  [&](int v, const float* position, const float* uv) {
                    if (part.used[static_cast<std::size_t>(v)]) return;
                    if (attribute == 0) {
                      float p[3];
                      Position(position, up, p, notes);
                      block.insert(block.end(), p, p + 3);
                    } else {
                      block.push_back(Finite(uv[0], notes));
                      block.push_back(Finite(uv[1], notes));
                    }
                    if (block.size() * sizeof(float) >= kBlockBytes) {
                      sink.Write(block.data(), block.size() * sizeof(float));
                      block.clear();
                    }
                  });
    WriteFloats(block, block.size(), sink);
  }
}

void WriteUint32(std::ostream& out, std::uint32_t value) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  out.write(reinterpret_cast<const char*>(bytes), 4);
}

// What follows the document's text: the buffer entry and the closing brace;
// a .gltf's stops inside the data URI, where the base64 text follows.
std::string JsonEnd(const GltfFile& file, GltfForm form) {
  if (file.bufferBytes == 0) return "}";
  const std::string entry = ",\"buffers\":[{\"byteLength\":" + std::to_string(file.bufferBytes);
  if (form == GltfForm::Embedded) return entry + ",\"uri\":\"data:application/octet-stream;base64,";
  return entry + "}]}";
}

// The JSON chunk of a .glb, padded with spaces to whole 4-byte words.
std::uint64_t GlbJsonBytes(const GltfFile& file) {
  return (file.JsonBytes() + JsonEnd(file, GltfForm::Binary).size() + 3) / 4 * 4;
}

std::uint64_t GlbBytes(const GltfFile& file) {
  return 12 + 8 + GlbJsonBytes(file) + (file.bufferBytes > 0 ? 8 + file.bufferBytes : 0);
}

// The second pass: the whole file. The document's text goes out as it is,
// with no copy: a model of many meshes has megabytes of it.
bool WriteFile(const GltfFile& file, UpAxis up, GltfForm form, const SaveTextures& textures,
               std::ostream& out, ExportNotes& notes) {
  std::string end = JsonEnd(file, form);
  if (form == GltfForm::Binary) {
    const std::uint64_t jsonBytes = GlbJsonBytes(file);
    end.resize(static_cast<std::size_t>(jsonBytes - file.JsonBytes()), ' ');
    out.write("glTF", 4);
    WriteUint32(out, 2);
    WriteUint32(out, static_cast<std::uint32_t>(GlbBytes(file)));
    WriteUint32(out, static_cast<std::uint32_t>(jsonBytes));
    out.write("JSON", 4);
  }
  for (const std::string& piece : file.json)
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  out << end;
  if (form == GltfForm::Binary && file.bufferBytes > 0) {
    WriteUint32(out, static_cast<std::uint32_t>(file.bufferBytes));
    out.write("BIN\0", 4);
  }
  BufferSink sink(out, form == GltfForm::Embedded);
  Scratch scratch;
  for (const MeshPart& part : file.parts) WriteMesh(part, up, scratch, sink, notes);
  for (int image : file.images) {
    const std::vector<unsigned char>& png = textures.Images()[static_cast<std::size_t>(image)].png;
    sink.Write(png.data(), png.size());
    sink.Pad();
  }
  sink.Finish();
  if (form == GltfForm::Embedded && file.bufferBytes > 0) out << "\"}]}";
  if (form == GltfForm::Embedded) out << '\n';
  // The layout and the bytes come from one model: they agree, or the file
  // must not be kept.
  return sink.Written() == file.bufferBytes && out.good();
}

// The save's state, shared by the writers of its files.
struct GltfSave : SavePlan {
  std::vector<GltfFile> files;
};

// The paths of a save, its own last: the images beside a .gltf, then the
// level files, then the file saved to.
std::vector<std::string> SavePaths(const SaveContent& content, const SaveTextures& textures,
                                   GltfForm form) {
  std::vector<std::string> paths;
  if (form == GltfForm::Embedded) paths = textures.BesidePaths();
  for (std::size_t n = 1; n < content.files.size(); ++n) paths.push_back(content.files[n].path);
  paths.push_back(content.files.front().path);
  return paths;
}

SavePathsOf PathsOf(GltfForm form) {
  return [form](const SaveContent& content, const SaveTextures& textures) {
    return SavePaths(content, textures, form);
  };
}

}  // namespace

bool GltfFiles(qmModel* model, const SaveSettings& settings, GltfForm form, const std::string& path,
               ExportNotes& notes, std::vector<FileToSave>& files, std::string& error) {
  auto save = std::make_shared<GltfSave>();
  if (!PlanSave(model, settings, path, PathsOf(form), *save, notes, error)) return false;
  for (const FileContent& file : save->content.files) {
    save->files.push_back(
        FormFile(model, settings, form, save->content.tree, file, *save->textures, notes));
    if (form == GltfForm::Binary && GlbBytes(save->files.back()) > kMaxGlbBytes) {
      error = "cannot save " + file.path + ": the model needs " +
              std::to_string(GlbBytes(save->files.back()) >> 20) +
              " MiB, more than the 4 GiB a .glb holds (a .gltf holds more)";
      return false;
    }
  }

  files.clear();
  if (form == GltfForm::Embedded) AddImageFiles(save, files);
  const UpAxis up = settings.up;
  for (std::size_t n = 1; n <= save->files.size(); ++n) {
    // The file saved to comes last.
    const std::size_t index = n % save->files.size();
    files.push_back({save->content.files[index].path,
                     [save, index, up, form, &notes](std::ostream& out) {
                       return WriteFile(save->files[index], up, form, *save->textures, out, notes);
                     }});
  }
  return true;
}

bool SaveGlb(qmModel* model, const SaveSettings& settings, const std::string& path,
             ExportNotes& notes, std::string& error) {
  std::vector<FileToSave> files;
  return GltfFiles(model, settings, GltfForm::Binary, path, notes, files, error) &&
         SaveFiles(files, error);
}

bool SaveGltf(qmModel* model, const SaveSettings& settings, const std::string& path,
              ExportNotes& notes, std::string& error) {
  std::vector<FileToSave> files;
  return GltfFiles(model, settings, GltfForm::Embedded, path, notes, files, error) &&
         SaveFiles(files, error);
}

std::vector<std::string> GltfSavePaths(qmModel* model, const SaveSettings& settings,
                                       GltfForm form, const std::string& path) {
  return PlannedPaths(model, settings, path, PathsOf(form), {path});
}

bool WriteGltf(qmModel* model, const SaveSettings& settings, GltfForm form, std::ostream& out,
               ExportNotes& notes) {
  SaveSettings one = settings;
  one.levelFiles = false;
  std::vector<FileToSave> files;
  std::string error;
  if (!GltfFiles(model, one, form, form == GltfForm::Binary ? "model.glb" : "model.gltf", notes,
                 files, error))
    return false;
  return files.back().write(out);
}
