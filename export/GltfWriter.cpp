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
// tinygltf forms the JSON text from its document, which knows every
// property's name, its defaults and its escaping. What it cannot do is
// stream: its writer takes the whole buffer in memory, and copies it again
// to write it. So the document goes through tinygltf without its buffer, and
// this file adds the thin rest itself: the one buffer entry, the GLB
// container (a 12-byte header and two chunk headers) and the buffer's bytes.
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
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include <tiny_gltf.h>

#include "Export.h"
#include "MarkerPoints.h"
#include "MeshRead.h"
#include "NameText.h"
#include "NumberText.h"
#include "SaveContent.h"
#include "Textures.h"
#include "ValueFix.h"
#include "qmModelRead.h"

namespace {

using tinygltf::Value;

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
// The largest index 16 bits hold that is no primitive restart.
constexpr std::size_t kMaxShortIndex = 65534;
// A .glb counts its length in 32 bits: header, two chunk headers, content.
constexpr std::uint64_t kMaxGlbBytes = UINT32_MAX;
constexpr std::size_t kBlockBytes = 1 << 20;

Value Number(float value) { return Value(ShortestDouble(value)); }

Value Colour(const float* rgba, ExportNotes& notes) {
  Value::Array list;
  for (int n = 0; n < 4; ++n) list.push_back(Number(Finite(rgba[n], notes)));
  return Value(std::move(list));
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
  int changed = 0;  // a normal counts once, however many of its parts change
  double v[3];
  for (int n = 0; n < 3; ++n) v[n] = Finite(normal[n], changed);
  const double squared = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  // |length - 1| <= 1e-4, without a square root for the common unit normal.
  constexpr double kLow = (1 - 1e-4) * (1 - 1e-4);
  constexpr double kHigh = (1 + 1e-4) * (1 + 1e-4);
  float unit[3];
  if (changed == 0 && squared >= kLow && squared <= kHigh) {
    std::memcpy(unit, normal, sizeof unit);
  } else {
    ++notes.adjustedValues;
    const double length = std::sqrt(squared);
    for (int n = 0; n < 3; ++n)
      unit[n] = length > 1e-20 ? static_cast<float>(v[n] / length) : n == 2 ? 1.0f : 0.0f;
  }
  Turn(unit, out, up);
}

struct Bounds {
  float low[3] = {0, 0, 0};
  float high[3] = {0, 0, 0};
  bool any = false;

  void Add(const float* p) {
    for (int n = 0; n < 3; ++n) {
      low[n] = any ? std::min(low[n], p[n]) : p[n];
      high[n] = any ? std::max(high[n], p[n]) : p[n];
    }
    any = true;
  }
};

// One kept host mesh with vertices, as the first pass found it.
struct MeshPart {
  qmMesh* mesh = nullptr;
  int vertexCount = 0;
  int normalCount = 0;  // its triangles carry normals when above 0
  bool sameIndices = true;  // every whole triangle's normal indices are its vertex indices
  std::vector<bool> used;   // the vertices of whole triangles
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
  part.used.assign(static_cast<std::size_t>(part.vertexCount), false);
  ForEachTriangle(mesh, scratch.triangles, [&](const std::uint16_t* t) {
    if (!IsWhole(t, part.vertexCount, part.normalCount)) return;
    ++part.triangles;
    part.used[t[0]] = true;
    part.used[t[1]] = true;
    part.used[t[2]] = true;
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

// Adds buffer views and accessors to the document, each view at the next
// 4-byte boundary of the one buffer, in the order the second pass writes
// their bytes.
class Layout {
 public:
  explicit Layout(tinygltf::Model& gltf) : gltf_(gltf) {}

  int View(std::uint64_t bytes, int target) {
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = static_cast<std::size_t>(end_);
    view.byteLength = static_cast<std::size_t>(bytes);
    view.target = target;
    end_ = (end_ + bytes + 3) / 4 * 4;
    gltf_.bufferViews.push_back(view);
    return static_cast<int>(gltf_.bufferViews.size() - 1);
  }

  int Accessor(std::size_t count, int componentType, int type, int target) {
    const int size = tinygltf::GetComponentSizeInBytes(static_cast<std::uint32_t>(componentType)) *
                     tinygltf::GetNumComponentsInType(static_cast<std::uint32_t>(type));
    tinygltf::Accessor accessor;
    accessor.bufferView = View(std::uint64_t{count} * static_cast<std::uint64_t>(size), target);
    accessor.byteOffset = 0;
    accessor.componentType = componentType;
    accessor.type = type;
    accessor.count = count;
    gltf_.accessors.push_back(accessor);
    return static_cast<int>(gltf_.accessors.size() - 1);
  }

  int Floats(std::size_t count, int type) {
    return Accessor(count, TINYGLTF_COMPONENT_TYPE_FLOAT, type, kArrayBuffer);
  }

  // Positions carry their bounds, exactly as the floats are written.
  int Positions(std::size_t count, const Bounds& bounds) {
    const int index = Floats(count, TINYGLTF_TYPE_VEC3);
    tinygltf::Accessor& accessor = gltf_.accessors[static_cast<std::size_t>(index)];
    accessor.minValues.assign(bounds.low, bounds.low + 3);
    accessor.maxValues.assign(bounds.high, bounds.high + 3);
    return index;
  }

  std::uint64_t Bytes() const { return end_; }

 private:
  tinygltf::Model& gltf_;
  std::uint64_t end_ = 0;
};

// The glTF mesh of a measured host mesh.
tinygltf::Mesh MeshOf(const MeshPart& part, int material, Layout& layout) {
  tinygltf::Mesh out;
  out.name = NameText(qmMesh_GetName(part.mesh));
  if (part.triangles > 0) {
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.material = material;
    primitive.attributes["POSITION"] = layout.Positions(part.vertices, part.triangleBounds);
    if (part.normalCount > 0)
      primitive.attributes["NORMAL"] = layout.Floats(part.vertices, TINYGLTF_TYPE_VEC3);
    primitive.attributes["TEXCOORD_0"] = layout.Floats(part.vertices, TINYGLTF_TYPE_VEC2);
    primitive.indices = layout.Accessor(
        3 * part.triangles,
        WideIndices(part) ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT
                          : TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
        TINYGLTF_TYPE_SCALAR, kElementArrayBuffer);
    out.primitives.push_back(std::move(primitive));
  }
  if (part.points > 0) {
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_POINTS;
    primitive.material = material;
    primitive.attributes["POSITION"] = layout.Positions(part.points, part.pointBounds);
    primitive.attributes["TEXCOORD_0"] = layout.Floats(part.points, TINYGLTF_TYPE_VEC2);
    out.primitives.push_back(std::move(primitive));
  }
  return out;
}

// The host's material is a Phong one; glTF's is physically based. The
// diffuse colour and the opacity make the base colour (which multiplies the
// texture's image), the emissive colour the emissive factor; the rest
// travels in extras. The surface is a dielectric (metallic 0), as the host
// has no notion of metal, and double-sided: the file does not say which way
// its triangles wind.
tinygltf::Material MaterialOf(const qmMaterial* material, int texture, ExportNotes& notes) {
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
  out.pbrMetallicRoughness.baseColorTexture.index = texture;
  out.doubleSided = true;
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

// The points of a marker as empty nodes under the marker's node.
void AddMarkerPoints(qmMesh* mesh, int markerNode, UpAxis up, tinygltf::Model& gltf,
                     ExportNotes& notes) {
  const std::string name = NameText(qmMesh_GetName(mesh));
  const std::vector<int> points = MarkerPointVertices(mesh);
  for (std::size_t n = 0; n < points.size(); ++n) {
    float p[3];
    Position(qmVertex_GetPosition(qmMesh_GetVertexAt(mesh, points[n])), up, p, notes);
    const int node = AddNode(gltf, name + " " + std::to_string(n), {});
    gltf.nodes[static_cast<std::size_t>(node)].translation = {
        ShortestDouble(p[0]), ShortestDouble(p[1]), ShortestDouble(p[2])};
    gltf.nodes[static_cast<std::size_t>(markerNode)].children.push_back(node);
  }
}

// Groups, under each its kept levels (the level mesh's node where there is
// one), under each level its meshes; the markers under one node, their points
// under each; meshes that follow no naming pattern at the root. `nodeOf` maps
// a host mesh to its node, -1 for one left out.
std::vector<int> TreeRoots(qmModel* model, const ModelStructure& tree, const FileContent& file,
                           const std::vector<int>& nodeOf, UpAxis up, tinygltf::Model& gltf,
                           ExportNotes& notes) {
  std::vector<int> roots;
  for (const GroupNode& group : tree.groups) {
    int groupNode = -1;
    std::vector<int> levelNodes;
    for (const LevelNode& level : group.levels) {
      if (file.level != SaveSettings::kAllLevels && level.number != file.level) continue;
      if (groupNode == -1)
        groupNode =
            AddNode(gltf, "group " + std::to_string(group.number), {{"group", Value(group.number)}});
      int levelNode =
          level.levelMesh == -1 ? -1 : nodeOf[static_cast<std::size_t>(level.levelMesh)];
      if (levelNode == -1) {
        levelNode = AddNode(gltf, "detail level " + std::to_string(level.number),
                            {{"level", Value(level.number)}});
      } else {
        // A red cut with the host's name is not known: it is left out.
        Value::Object extras{{"level", Value(level.number)}};
        if (!level.redCut) extras["red"] = Number(RedValue(level.red, notes));
        gltf.nodes[static_cast<std::size_t>(levelNode)].extras = Value(std::move(extras));
      }
      for (int mesh : level.meshes)
        gltf.nodes[static_cast<std::size_t>(levelNode)].children.push_back(
            nodeOf[static_cast<std::size_t>(mesh)]);
      gltf.nodes[static_cast<std::size_t>(groupNode)].children.push_back(levelNode);
      levelNodes.push_back(levelNode);
    }
    // Tools that switch levels find the coarser ones from the finest.
    if (levelNodes.size() > 1) {
      Value::Array ids;
      for (std::size_t n = 1; n < levelNodes.size(); ++n) ids.push_back(Value(levelNodes[n]));
      gltf.nodes[static_cast<std::size_t>(levelNodes.front())].extensions["MSFT_lod"] =
          Value(Value::Object{{"ids", Value(std::move(ids))}});
    }
    if (groupNode != -1) roots.push_back(groupNode);
  }
  if (file.markers && !tree.markers.empty()) {
    const int hardpoints = AddNode(gltf, "hardpoints", {});
    for (int mesh : tree.markers) {
      const int node = nodeOf[static_cast<std::size_t>(mesh)];
      gltf.nodes[static_cast<std::size_t>(hardpoints)].children.push_back(node);
      AddMarkerPoints(qmModel_GetMeshAt(model, mesh), node, up, gltf, notes);
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
  std::string json;  // the document without its buffer entry and closing brace
  std::vector<MeshPart> parts;
  std::vector<int> images;  // the save's images whose PNG goes into the buffer
  std::uint64_t bufferBytes = 0;
};

// The first pass: the document of `file` and the layout of its buffer.
GltfFile FormFile(qmModel* model, const SaveSettings& settings, GltfForm form,
                  const ModelStructure& tree, const FileContent& file,
                  const SaveTextures& textures, ExportNotes& notes) {
  GltfFile out;
  tinygltf::Model gltf;
  gltf.asset.version = "2.0";
  gltf.asset.generator = "qmhost";
  Layout layout(gltf);

  // Images and their textures, one texture per image, in the save's order.
  for (std::size_t n = 0; n < textures.Images().size(); ++n) {
    tinygltf::Texture texture;
    texture.source = static_cast<int>(n);
    gltf.textures.push_back(texture);
  }
  const int materialCount = qmModel_GetMaterialCount(model);
  for (int m = 0; m < materialCount; ++m)
    gltf.materials.push_back(
        MaterialOf(qmModel_GetMaterialAt(model, m), textures.ImageOf(m), notes));

  const int meshCount = qmModel_GetMeshCount(model);
  std::vector<int> nodeOf(static_cast<std::size_t>(meshCount), -1);
  Scratch scratch;
  std::vector<int> keptNodes;
  for (int m = 0; m < meshCount; ++m) {
    if (!file.kept[static_cast<std::size_t>(m)]) continue;
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    tinygltf::Node node;
    node.name = NameText(qmMesh_GetName(mesh));
    if (qmMesh_GetVertexCount(mesh) > 0) {
      out.parts.push_back(Measure(mesh, settings.up, scratch));
      int material = qmMesh_GetMaterialIndex(mesh);
      if (qmModel_GetMaterialAt(model, material) == nullptr) material = -1;
      gltf.meshes.push_back(MeshOf(out.parts.back(), material, layout));
      node.mesh = static_cast<int>(gltf.meshes.size() - 1);
    }
    nodeOf[static_cast<std::size_t>(m)] = static_cast<int>(gltf.nodes.size());
    keptNodes.push_back(static_cast<int>(gltf.nodes.size()));
    gltf.nodes.push_back(std::move(node));
  }

  for (std::size_t n = 0; n < textures.Images().size(); ++n) {
    const TextureImage& image = textures.Images()[n];
    tinygltf::Image entry;
    entry.name = NameText(image.texture.c_str());
    entry.mimeType = "image/png";
    if (form == GltfForm::Binary) {
      entry.bufferView = layout.View(image.png.size(), 0);  // an image's view has no target
      out.images.push_back(static_cast<int>(n));
    } else {
      entry.uri = UriOf(image.besideName);
    }
    gltf.images.push_back(std::move(entry));
  }

  tinygltf::Scene scene;
  if (settings.flat)
    scene.nodes = keptNodes;
  else
    scene.nodes = TreeRoots(model, tree, file, nodeOf, settings.up, gltf, notes);
  if (std::any_of(gltf.nodes.begin(), gltf.nodes.end(),
                  [](const tinygltf::Node& node) { return node.extensions.count("MSFT_lod") > 0; }))
    gltf.extensionsUsed.push_back("MSFT_lod");
  // A scene must list at least one node; an empty model has none.
  if (!scene.nodes.empty()) {
    gltf.scenes.push_back(std::move(scene));
    gltf.defaultScene = 0;
  }
  out.bufferBytes = layout.Bytes();

  std::ostringstream text;
  tinygltf::TinyGLTF writer;
  // Image URIs as given: the images are written beside the file by the save.
  writer.SetImageWriter(nullptr, nullptr);
  writer.WriteGltfSceneToStream(&gltf, text, false, false);
  out.json = text.str();
  // The object's closing brace, and the line end after it, come back with
  // the buffer entry.
  while (!out.json.empty() && out.json.back() != '}') out.json.pop_back();
  if (!out.json.empty()) out.json.pop_back();
  return out;
}

// The buffer's bytes on their way out: raw, or as base64 text, through a
// block of memory written to the stream when full.
class BufferSink {
 public:
  BufferSink(std::ostream& out, bool base64) : out_(out), base64_(base64) {
    block_.reserve(kBlockBytes);
  }

  void Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    written_ += size;
    if (!base64_) {
      while (size > 0) {
        const std::size_t part = std::min(size, kBlockBytes - block_.size());
        block_.insert(block_.end(), bytes, bytes + part);
        bytes += part;
        size -= part;
        if (block_.size() == kBlockBytes) Flush();
      }
      return;
    }
    for (std::size_t n = 0; n < size; ++n) {
      carry_[carried_++] = bytes[n];
      if (carried_ == 3) {
        Encode(3);
        carried_ = 0;
      }
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
      Encode(carried_);
      carried_ = 0;
    }
    Flush();
  }

 private:
  // Three bytes as four characters; the last group of fewer bytes ends in '='.
  void Encode(int count) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::uint32_t group =
        std::uint32_t{carry_[0]} << 16 | std::uint32_t{carry_[1]} << 8 | carry_[2];
    const unsigned char text[4] = {
        static_cast<unsigned char>(kDigits[group >> 18 & 63]),
        static_cast<unsigned char>(kDigits[group >> 12 & 63]),
        static_cast<unsigned char>(count > 1 ? kDigits[group >> 6 & 63] : '='),
        static_cast<unsigned char>(count > 2 ? kDigits[group & 63] : '=')};
    block_.insert(block_.end(), text, text + 4);
    if (block_.size() + 4 > kBlockBytes) Flush();
  }

  void Flush() {
    out_.write(reinterpret_cast<const char*>(block_.data()),
               static_cast<std::streamsize>(block_.size()));
    block_.clear();
  }

  std::ostream& out_;
  bool base64_;
  std::vector<unsigned char> block_;
  unsigned char carry_[3] = {0, 0, 0};
  int carried_ = 0;
  std::uint64_t written_ = 0;
};

template <typename Index>
void WriteIndices(const MeshPart& part, Scratch& scratch, BufferSink& sink, ExportNotes& notes) {
  std::vector<Index> block;
  block.reserve(kBlockBytes / sizeof(Index));
  std::size_t corner = 0;
  const bool pairs = part.Pairs();
  ForEachTriangle(part.mesh, scratch.triangles, [&](const std::uint16_t* t) {
    if (!IsWhole(t, part.vertexCount, part.normalCount)) {
      ++notes.droppedTriangles;
      return;
    }
    for (int c = 0; c < 3; ++c) {
      // The pairs come in the order of the triangles' corners.
      const std::uint32_t vertex =
          pairs ? static_cast<std::uint32_t>(std::lower_bound(scratch.pairs.begin(),
                                                              scratch.pairs.end(),
                                                              scratch.corners[corner++]) -
                                             scratch.pairs.begin())
                : scratch.index[t[c]];
      block.push_back(static_cast<Index>(vertex));
    }
    if (block.size() + 3 > block.capacity()) {
      sink.Write(block.data(), block.size() * sizeof(Index));
      block.clear();
    }
  });
  sink.Write(block.data(), block.size() * sizeof(Index));
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

// The JSON text of the file, with its buffer entry; a .gltf's stops inside
// the data URI, where the base64 text follows.
std::string JsonText(const GltfFile& file, GltfForm form) {
  std::string json = file.json;
  if (file.bufferBytes > 0) {
    json += ",\"buffers\":[{\"byteLength\":" + std::to_string(file.bufferBytes);
    if (form == GltfForm::Embedded) return json + ",\"uri\":\"data:application/octet-stream;base64,";
    json += "}]";
  }
  return json + "}";
}

std::uint64_t GlbBytes(const GltfFile& file) {
  const std::uint64_t json = (JsonText(file, GltfForm::Binary).size() + 3) / 4 * 4;
  return 12 + 8 + json + (file.bufferBytes > 0 ? 8 + file.bufferBytes : 0);
}

// The second pass: the whole file.
bool WriteFile(const GltfFile& file, UpAxis up, GltfForm form, const SaveTextures& textures,
               std::ostream& out, ExportNotes& notes) {
  std::string json = JsonText(file, form);
  if (form == GltfForm::Binary) {
    json.resize((json.size() + 3) / 4 * 4, ' ');
    out.write("glTF", 4);
    WriteUint32(out, 2);
    WriteUint32(out, static_cast<std::uint32_t>(GlbBytes(file)));
    WriteUint32(out, static_cast<std::uint32_t>(json.size()));
    out.write("JSON", 4);
    out << json;
    if (file.bufferBytes > 0) {
      WriteUint32(out, static_cast<std::uint32_t>(file.bufferBytes));
      out.write("BIN\0", 4);
    }
  } else {
    out << json;
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
struct GltfSave {
  SaveContent content;
  std::unique_ptr<SaveTextures> textures;
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

}  // namespace

bool GltfFiles(qmModel* model, const SaveSettings& settings, GltfForm form, const std::string& path,
               ExportNotes& notes, std::vector<FileToSave>& files, std::string& error) {
  auto save = std::make_shared<GltfSave>();
  save->content = PlanContent(model, settings, path);
  if (!save->content.error.empty()) {
    error = "cannot save " + path + ": " + save->content.error;
    return false;
  }
  save->textures = std::make_unique<SaveTextures>(model, settings,
                                                  UsedMaterials(model, save->content), path);
  const std::vector<std::string> paths = SavePaths(save->content, *save->textures, form);
  const std::string replaced = save->textures->Replaced(paths);
  if (!replaced.empty()) {
    error = "cannot save " + path + ": " + replaced;
    return false;
  }
  save->textures->Load();
  notes.levelsLeftOut = LevelsLeftOutText(save->content.levelsLeftOut);
  notes.texturesLeftOut = save->textures->MissingText();

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
  if (form == GltfForm::Embedded) {
    for (std::size_t n = 0; n < save->textures->Images().size(); ++n)
      files.push_back({save->textures->BesidePaths()[n], [save, n](std::ostream& out) {
                         const std::vector<unsigned char>& png = save->textures->Images()[n].png;
                         out.write(reinterpret_cast<const char*>(png.data()),
                                   static_cast<std::streamsize>(png.size()));
                         return out.good();
                       }});
  }
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
  const SaveContent content = PlanContent(model, settings, path);
  if (!content.error.empty()) return {path};
  const SaveTextures textures(model, settings, UsedMaterials(model, content), path);
  return SavePaths(content, textures, form);
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
