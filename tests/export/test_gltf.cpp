// The host model as glTF: names, the node tree, split vertices, points,
// materials and their extras, values glTF cannot hold, damaged triangles; the
// up axis, the detail levels and the markers' points. Every case reads the
// written file back with tinygltf.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include <tiny_gltf.h>

#include "Export.h"
#include "HostModel.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();

tinygltf::Model Read(const std::string& bytes, GltfForm form) {
  tinygltf::TinyGLTF loader;
  tinygltf::Model read;
  std::string error, warning;
  const bool loaded =
      form == GltfForm::Binary
          ? loader.LoadBinaryFromMemory(&read, &error, &warning,
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<unsigned int>(bytes.size()))
          : loader.LoadASCIIFromString(&read, &error, &warning, bytes.c_str(),
                                       static_cast<unsigned int>(bytes.size()), "");
  EXPECT_TRUE(loaded) << error;
  return read;
}

tinygltf::Model Build(qmModel* model, const SaveSettings& settings, ExportNotes& notes) {
  std::ostringstream out;
  EXPECT_TRUE(WriteGltf(model, settings, GltfForm::Binary, out, notes));
  return Read(out.str(), GltfForm::Binary);
}

// The host's own axes and every level: the model's numbers as they are.
SaveSettings AsTheHostHasIt(bool flat = false) {
  SaveSettings settings;
  settings.flat = flat;
  settings.up = UpAxis::Z;
  settings.level = SaveSettings::kAllLevels;
  return settings;
}

tinygltf::Model Build(qmModel* model, bool flat, ExportNotes& notes) {
  return Build(model, AsTheHostHasIt(flat), notes);
}

tinygltf::Model Build(qmModel* model, bool flat = false) {
  ExportNotes notes;
  return Build(model, flat, notes);
}

const unsigned char* Data(const tinygltf::Model& gltf, int accessorIndex) {
  const tinygltf::Accessor& accessor = gltf.accessors.at(static_cast<size_t>(accessorIndex));
  const tinygltf::BufferView& view = gltf.bufferViews.at(static_cast<size_t>(accessor.bufferView));
  return gltf.buffers.at(static_cast<size_t>(view.buffer)).data.data() + view.byteOffset +
         accessor.byteOffset;
}

// The accessor's elements, each as a list of its components.
std::vector<std::vector<float>> Floats(const tinygltf::Model& gltf, int accessorIndex) {
  const tinygltf::Accessor& accessor = gltf.accessors.at(static_cast<size_t>(accessorIndex));
  EXPECT_EQ(accessor.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
  const size_t size = accessor.type == TINYGLTF_TYPE_VEC2 ? 2 : 3;
  const unsigned char* data = Data(gltf, accessorIndex);
  std::vector<std::vector<float>> elements(accessor.count, std::vector<float>(size));
  for (size_t e = 0; e < accessor.count; ++e)
    std::memcpy(elements[e].data(), data + e * size * sizeof(float), size * sizeof(float));
  return elements;
}

std::vector<std::uint32_t> Indices(const tinygltf::Model& gltf, int accessorIndex) {
  const tinygltf::Accessor& accessor = gltf.accessors.at(static_cast<size_t>(accessorIndex));
  const unsigned char* data = Data(gltf, accessorIndex);
  std::vector<std::uint32_t> indices(accessor.count);
  for (size_t n = 0; n < accessor.count; ++n) {
    if (accessor.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
      std::uint16_t value;
      std::memcpy(&value, data + 2 * n, 2);
      indices[n] = value;
    } else {
      std::memcpy(&indices[n], data + 4 * n, 4);
    }
  }
  return indices;
}

std::vector<std::string> Names(const tinygltf::Model& gltf, const std::vector<int>& nodes) {
  std::vector<std::string> names;
  for (int node : nodes) names.push_back(gltf.nodes.at(static_cast<size_t>(node)).name);
  return names;
}

const tinygltf::Primitive& OnlyPrimitive(const tinygltf::Model& gltf, int mesh) {
  const tinygltf::Mesh& m = gltf.meshes.at(static_cast<size_t>(mesh));
  EXPECT_EQ(m.primitives.size(), 1u);
  return m.primitives.front();
}

// The model of a small file: two groups, one level without its level mesh,
// markers, and a mesh whose name follows no pattern.
qmModelPtr StructuredModel() {
  qmModelPtr model = NewModel();
  AddMesh(model.get(), TestMesh{"L00LD00#red 012.50#", {}, {}, {}, -1, {}});  // 0
  AddMesh(model.get(), Triangle("L00LD00M00"));                              // 1
  AddMesh(model.get(), Triangle("#dock_a#"));                                // 2
  AddMesh(model.get(), Triangle("L00LD00M01"));                              // 3
  AddMesh(model.get(), Triangle("L01LD00M00"));                              // 4
  AddMesh(model.get(), Triangle("stray"));                                   // 5
  AddMesh(model.get(), TestMesh{"#light_b#", {{1, 2, 3}}, {}, {}, -1, {}});  // 6
  return model;
}

TEST(GltfNodes, FormTheTreeTheNamesEncode) {
  qmModelPtr model = StructuredModel();
  const tinygltf::Model gltf = Build(model.get());

  ASSERT_EQ(gltf.scenes.size(), 1u);
  const std::vector<int>& roots = gltf.scenes[0].nodes;
  EXPECT_EQ(Names(gltf, roots),
            (std::vector<std::string>{"group 0", "group 1", "hardpoints", "stray"}));
  const tinygltf::Node& group0 = gltf.nodes[static_cast<size_t>(roots[0])];
  EXPECT_EQ(group0.children, std::vector<int>{0});  // the level mesh's own node
  EXPECT_EQ(gltf.nodes[0].children, (std::vector<int>{1, 3}));
  EXPECT_EQ(gltf.nodes[0].mesh, -1);
  EXPECT_DOUBLE_EQ(gltf.nodes[0].extras.Get("red").GetNumberAsDouble(), 12.5);
  EXPECT_EQ(gltf.nodes[0].extras.Get("level").GetNumberAsInt(), 0);

  // A level the file gave no level mesh still gets a node.
  const tinygltf::Node& group1 = gltf.nodes[static_cast<size_t>(roots[1])];
  ASSERT_EQ(group1.children.size(), 1u);
  const tinygltf::Node& level = gltf.nodes[static_cast<size_t>(group1.children[0])];
  EXPECT_EQ(level.name, "detail level 0");
  EXPECT_EQ(level.children, std::vector<int>{4});

  EXPECT_EQ(gltf.nodes[static_cast<size_t>(roots[2])].children, (std::vector<int>{2, 6}));
}

// Names the host cut to 31 characters still say where they belong; a red
// value that lost its end is not known, so it is left out.
TEST(GltfNodes, NamesCutByTheHostKeepTheirPlaceInTheTree) {
  qmModelPtr model = NewModel();
  AddMesh(model.get(), TestMesh{"L00LD00#red 1000000015047466219", {}, {}, {}, -1, {}});  // 0
  AddMesh(model.get(), Triangle("L00LD00M00"));                                           // 1
  AddMesh(model.get(), Triangle("#" + std::string(30, 'h')));                             // 2
  ExportNotes notes;
  const tinygltf::Model gltf = Build(model.get(), false, notes);
  const std::vector<int>& roots = gltf.scenes[0].nodes;
  EXPECT_EQ(Names(gltf, roots), (std::vector<std::string>{"group 0", "hardpoints"}));
  EXPECT_EQ(gltf.nodes[0].children, std::vector<int>{1});
  EXPECT_EQ(gltf.nodes[0].extras.Get("level").GetNumberAsInt(), 0);
  EXPECT_FALSE(gltf.nodes[0].extras.Has("red"));
  EXPECT_EQ(gltf.nodes[static_cast<size_t>(roots[1])].children, std::vector<int>{2});
  EXPECT_TRUE(notes.Empty());
}

TEST(GltfNodes, AreOnePerMeshNamedAsTheMeshInModelOrder) {
  qmModelPtr model = StructuredModel();
  for (bool flat : {false, true}) {
    const tinygltf::Model gltf = Build(model.get(), flat);
    for (int m = 0; m < qmModel_GetMeshCount(model.get()); ++m)
      EXPECT_EQ(gltf.nodes[static_cast<size_t>(m)].name,
                qmMesh_GetName(qmModel_GetMeshAt(model.get(), m)));
  }
  const tinygltf::Model flat = Build(model.get(), true);
  EXPECT_EQ(flat.nodes.size(), 7u);
  EXPECT_EQ(flat.scenes[0].nodes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  for (const tinygltf::Node& node : flat.nodes) EXPECT_TRUE(node.children.empty());
}

TEST(GltfNames, MapHighBytesAsLatin1ToUtf8) {
  qmModelPtr model = NewModel();
  AddMaterial(model.get(), TestMaterial{"caf\xE9\xFF.tga"});
  AddMesh(model.get(), Triangle("L00\xB0", 0));
  const tinygltf::Model gltf = Build(model.get(), true);
  EXPECT_EQ(gltf.nodes[0].name, "L00\xC2\xB0");
  EXPECT_EQ(gltf.meshes[0].name, "L00\xC2\xB0");
  EXPECT_EQ(gltf.materials[0].name, "caf\xC3\xA9\xC3\xBF.tga");
}

TEST(GltfMeshes, SplitVerticesWhoseCornersHaveDifferentNormals) {
  // Vertex 0 is a corner of both triangles, with normal 0 in one and normal 1
  // in the other: it becomes two glTF vertices.
  qmModelPtr model = NewModel();
  AddMesh(model.get(), TestMesh{"L00LD00M00",
                                {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                                {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
                                {{{0, 1, 2}, {0, 0, 0}}, {{0, 2, 3}, {1, 1, 2}}},
                                -1,
                                {{0.5f, 0.25f}, {1, 0}, {0, 1}, {1, 1}}});
  const tinygltf::Model gltf = Build(model.get(), true);
  const tinygltf::Primitive& primitive = OnlyPrimitive(gltf, 0);
  EXPECT_EQ(primitive.mode, TINYGLTF_MODE_TRIANGLES);
  const auto positions = Floats(gltf, primitive.attributes.at("POSITION"));
  const auto normals = Floats(gltf, primitive.attributes.at("NORMAL"));
  const auto texCoords = Floats(gltf, primitive.attributes.at("TEXCOORD_0"));
  const auto indices = Indices(gltf, primitive.indices);
  ASSERT_EQ(positions.size(), 6u);  // (0,0) (0,1) (1,0) (2,0) (2,1) (3,2)

  // Every corner keeps its own vertex's position and texture coordinates and
  // its own normal.
  const std::vector<std::array<int, 2>> corners = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {2, 1}, {3, 2}};
  const std::vector<std::vector<float>> hostPositions = {
      {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const std::vector<std::vector<float>> hostNormals = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}};
  const std::vector<std::vector<float>> hostTexCoords = {{0.5f, 0.25f}, {1, 0}, {0, 1}, {1, 1}};
  ASSERT_EQ(indices.size(), corners.size());
  for (size_t c = 0; c < corners.size(); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(positions[indices[c]], hostPositions[static_cast<size_t>(corners[c][0])]);
    EXPECT_EQ(texCoords[indices[c]], hostTexCoords[static_cast<size_t>(corners[c][0])]);
    EXPECT_EQ(normals[indices[c]], hostNormals[static_cast<size_t>(corners[c][1])]);
  }
}

TEST(GltfMeshes, PutUnusedVerticesInAPointsPrimitive) {
  qmModelPtr model = NewModel();
  AddMaterial(model.get(), TestMaterial{"#dock_a#"});
  // "dock" with three points: a line triangle and a lone last point.
  AddMesh(model.get(), TestMesh{"#dock_a#", {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {5, 6, 7}}, {},
                                {{{0, 1, 2}, {0, 0, 0}}}, 0, {}});
  AddMesh(model.get(), TestMesh{"#light_b#", {{1, 2, 3}, {4, 5, 6}}, {}, {}, -1, {}});
  AddMesh(model.get(), TestMesh{"#empty_c#", {}, {}, {}, 0, {}});
  const tinygltf::Model gltf = Build(model.get(), true);

  ASSERT_EQ(gltf.meshes.size(), 2u);
  const tinygltf::Mesh& dock = gltf.meshes[0];
  ASSERT_EQ(dock.primitives.size(), 2u);
  EXPECT_EQ(dock.primitives[0].mode, TINYGLTF_MODE_TRIANGLES);
  EXPECT_EQ(dock.primitives[0].attributes.count("NORMAL"), 0u);  // markers have no normals
  const tinygltf::Primitive& points = dock.primitives[1];
  EXPECT_EQ(points.mode, TINYGLTF_MODE_POINTS);
  EXPECT_EQ(points.indices, -1);
  EXPECT_EQ(points.material, 0);
  EXPECT_EQ(Floats(gltf, points.attributes.at("POSITION")),
            (std::vector<std::vector<float>>{{5, 6, 7}}));

  const tinygltf::Primitive& light = OnlyPrimitive(gltf, 1);
  EXPECT_EQ(light.mode, TINYGLTF_MODE_POINTS);
  EXPECT_EQ(light.material, -1);
  EXPECT_EQ(Floats(gltf, light.attributes.at("POSITION")).size(), 2u);

  EXPECT_EQ(gltf.nodes[2].mesh, -1);  // a mesh without vertices
}

TEST(GltfMeshes, UseThirtyTwoBitIndicesPastTheSixteenBitRange) {
  // 65535 would read as a primitive restart in 16-bit indices: 65536 glTF
  // vertices need 32-bit ones.
  for (int count : {65535, 65536}) {
    SCOPED_TRACE(count);
    TestMesh mesh{"L00LD00M00", {}, {}, {}, -1, {}};
    for (int v = 0; v < count; ++v) mesh.positions.push_back({static_cast<float>(v), 0, 0});
    for (int t = 0; t + 2 < count; t += 3)
      mesh.triangles.push_back({{static_cast<std::uint16_t>(t), static_cast<std::uint16_t>(t + 1),
                                 static_cast<std::uint16_t>(t + 2)},
                                {0, 0, 0}});
    mesh.triangles.push_back({{65534, static_cast<std::uint16_t>(count - 1), 0}, {0, 0, 0}});
    qmModelPtr model = NewModel();
    AddMesh(model.get(), mesh);
    const tinygltf::Model gltf = Build(model.get(), true);
    const tinygltf::Primitive& primitive = OnlyPrimitive(gltf, 0);
    EXPECT_EQ(gltf.accessors[static_cast<size_t>(primitive.indices)].componentType,
              count == 65535 ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT
                             : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
    const auto indices = Indices(gltf, primitive.indices);
    EXPECT_EQ(indices[indices.size() - 2], static_cast<std::uint32_t>(count - 1));
  }
}

TEST(GltfMaterials, MapTheHostColoursAndKeepTheRestInExtras) {
  qmModelPtr model = NewModel();
  TestMaterial glass{"glass.tga@boo"};
  glass.ambient = {0.2f, 0.2f, 0.2f, 1};
  glass.diffuse = {0.3f, 0.6f, 0.9f, 0.5f};
  glass.specular = {1, 1, 1, 1};
  glass.emissive = {2, 0.5f, -1, 1};
  glass.shininess = 32;
  glass.transparency = 0.25f;
  AddMaterial(model.get(), glass);
  AddMaterial(model.get(), TestMaterial{"hull.tga"});
  AddMesh(model.get(), Triangle("L00LD00M00", 0));
  AddMesh(model.get(), Triangle("L00LD00M01", 7));  // no such material
  ExportNotes notes;
  const tinygltf::Model gltf = Build(model.get(), true, notes);

  ASSERT_EQ(gltf.materials.size(), 2u);
  const tinygltf::Material& m = gltf.materials[0];
  EXPECT_EQ(m.pbrMetallicRoughness.baseColorFactor, (std::vector<double>{0.3, 0.6, 0.9, 0.75}));
  EXPECT_EQ(m.alphaMode, "BLEND");
  EXPECT_TRUE(m.doubleSided);  // the file does not say which way its triangles wind
  EXPECT_EQ(m.emissiveFactor, (std::vector<double>{1, 0.5, 0}));
  EXPECT_EQ(notes.adjustedValues, 2);  // the emissive colour, clamped
  EXPECT_EQ(m.extras.Get("ambient").Get(0).GetNumberAsDouble(), 0.2);
  EXPECT_EQ(m.extras.Get("ambient").ArrayLen(), 4u);
  EXPECT_EQ(m.extras.Get("specular").Get(3).GetNumberAsDouble(), 1.0);
  EXPECT_EQ(m.extras.Get("shininess").GetNumberAsDouble(), 32.0);
  EXPECT_EQ(m.extras.Get("transparency").GetNumberAsDouble(), 0.25);
  EXPECT_EQ(gltf.materials[1].alphaMode, "OPAQUE");
  EXPECT_EQ(gltf.materials[1].pbrMetallicRoughness.baseColorFactor[3], 1.0);

  EXPECT_EQ(OnlyPrimitive(gltf, 0).material, 0);
  EXPECT_EQ(OnlyPrimitive(gltf, 1).material, -1);
}

// Each case: one value the host holds and glTF cannot, where it lands, and
// what it is written as.
TEST(GltfValues, BecomeTheNearestValueGltfHoldsAndAreCounted) {
  struct Case {
    const char* what;
    float value;
    float written;
  };
  const Case positions[] = {{"NaN", kNaN, 0}, {"+inf", kInf, kMax}, {"-inf", -kInf, -kMax}};
  for (const Case& c : positions) {
    SCOPED_TRACE(c.what);
    qmModelPtr model = NewModel();
    TestMesh mesh = Triangle("L00LD00M00");
    mesh.positions[1][0] = c.value;
    AddMesh(model.get(), mesh);
    ExportNotes notes;
    const tinygltf::Model gltf = Build(model.get(), true, notes);
    const tinygltf::Primitive& primitive = OnlyPrimitive(gltf, 0);
    EXPECT_EQ(Floats(gltf, primitive.attributes.at("POSITION"))[1][0], c.written);
    const tinygltf::Accessor& accessor =
        gltf.accessors[static_cast<size_t>(primitive.attributes.at("POSITION"))];
    EXPECT_EQ(accessor.minValues[0], std::min(0.0f, c.written));
    EXPECT_EQ(accessor.maxValues[0], std::max(0.0f, c.written));
    EXPECT_EQ(notes.adjustedValues, 1);
  }

  const Case colours[] = {{"NaN", kNaN, 0}, {"above 1", 1.5f, 1}, {"below 0", -0.5f, 0}};
  for (const Case& c : colours) {
    SCOPED_TRACE(c.what);
    qmModelPtr model = NewModel();
    TestMaterial material{"m"};
    material.diffuse[1] = c.value;
    AddMaterial(model.get(), material);
    ExportNotes notes;
    const tinygltf::Model gltf = Build(model.get(), true, notes);
    EXPECT_EQ(gltf.materials[0].pbrMetallicRoughness.baseColorFactor[1], c.written);
    EXPECT_EQ(notes.adjustedValues, 1);
  }
}

TEST(GltfValues, WriteNormalsOfUnitLength) {
  qmModelPtr model = NewModel();
  TestMesh mesh = Triangle("L00LD00M00");
  mesh.normals = {{0, 0, 2}, {0, 0, 0}, {kNaN, 3, 4}};
  AddMesh(model.get(), mesh);
  ExportNotes notes;
  const tinygltf::Model gltf = Build(model.get(), true, notes);
  const auto normals = Floats(gltf, OnlyPrimitive(gltf, 0).attributes.at("NORMAL"));
  EXPECT_EQ(normals, (std::vector<std::vector<float>>{{0, 0, 1}, {0, 0, 1}, {0, 0.6f, 0.8f}}));
  EXPECT_EQ(notes.adjustedValues, 3);
}

TEST(GltfValues, CountAnUnreadableRedAndMaterialExtras) {
  qmModelPtr model = NewModel();
  AddMesh(model.get(), TestMesh{"L00LD00#red    nan#", {}, {}, {}, -1, {}});
  TestMaterial material{"m"};
  material.ambient = {kInf, 0, 0, 1};
  material.shininess = kNaN;
  AddMaterial(model.get(), material);
  ExportNotes notes;
  const tinygltf::Model gltf = Build(model.get(), false, notes);
  EXPECT_EQ(gltf.nodes[0].extras.Get("red").GetNumberAsDouble(), 0.0);
  EXPECT_EQ(static_cast<float>(gltf.materials[0].extras.Get("ambient").Get(0).GetNumberAsDouble()),
            kMax);
  EXPECT_EQ(gltf.materials[0].extras.Get("shininess").GetNumberAsDouble(), 0.0);
  EXPECT_EQ(notes.adjustedValues, 3);
}

TEST(GltfTriangles, PastTheirMeshAreLeftOutAndCounted) {
  qmModelPtr model = NewModel();
  TestMesh mesh = Triangle("L00LD00M00");
  mesh.triangles.push_back({{0, 1, 3}, {0, 1, 2}});   // vertex 3 of 3
  mesh.triangles.push_back({{0, 1, 2}, {0, 9, 2}});   // normal 9 of 3
  mesh.triangles.push_back({{0, 2, 1}, {0, 2, 1}});
  AddMesh(model.get(), mesh);
  TestMesh noneWhole = Triangle("L00LD00M01");
  noneWhole.triangles[0].vertices = {0, 1, 65535};
  AddMesh(model.get(), noneWhole);
  ExportNotes notes;
  const tinygltf::Model gltf = Build(model.get(), true, notes);
  EXPECT_EQ(notes.droppedTriangles, 3);
  EXPECT_EQ(Indices(gltf, OnlyPrimitive(gltf, 0).indices),
            (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 1}));
  // With no whole triangle left, its vertices are points.
  EXPECT_EQ(OnlyPrimitive(gltf, 1).mode, TINYGLTF_MODE_POINTS);
}

TEST(GltfFiles, ReadBackWithNamesExtrasAndEmbeddedBuffer) {
  qmModelPtr model = StructuredModel();
  AddMaterial(model.get(), TestMaterial{"hull.tga"});
  for (GltfForm form : {GltfForm::Binary, GltfForm::Embedded}) {
    SCOPED_TRACE(form == GltfForm::Binary ? "glb" : "gltf");
    std::ostringstream out;
    ExportNotes notes;
    ASSERT_TRUE(WriteGltf(model.get(), AsTheHostHasIt(), form, out, notes));
    const std::string bytes = out.str();
    const tinygltf::Model read = Read(bytes, form);
    EXPECT_EQ(bytes.compare(0, 4, "glTF") == 0, form == GltfForm::Binary);
    ASSERT_EQ(read.buffers.size(), 1u);
    // 7 meshes, 2 groups, a level, the hardpoints and the markers' 4 points.
    EXPECT_EQ(read.nodes.size(), 15u);
    EXPECT_EQ(read.nodes[0].name, "L00LD00#red 012.50#");
    EXPECT_DOUBLE_EQ(read.nodes[0].extras.Get("red").GetNumberAsDouble(), 12.5);
    EXPECT_EQ(read.materials[0].name, "hull.tga");
    EXPECT_EQ(Floats(read, OnlyPrimitive(read, 0).attributes.at("POSITION")),
              Floats(read, OnlyPrimitive(read, 1).attributes.at("POSITION")));
  }
}

TEST(GltfFiles, OfAnEmptyModelHaveNoScene) {
  qmModelPtr model = NewModel();
  const tinygltf::Model gltf = Build(model.get());
  EXPECT_TRUE(gltf.scenes.empty());
  EXPECT_TRUE(gltf.buffers.empty());
}

TEST(GltfAxes, TurnTheHostsZUpToYUpUnlessZIsAsked) {
  qmModelPtr model = NewModel();
  AddMesh(model.get(), TestMesh{"L00LD00M00",
                                {{1, 2, 3}, {4, 5, 6}, {-7, -8, -9}},
                                {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
                                {{{0, 1, 2}, {0, 1, 2}}},
                                -1,
                                {}});
  AddMesh(model.get(), TestMesh{"#light_a#", {{1, 2, 3}}, {}, {}, -1, {}});
  struct Case {
    UpAxis up;
    std::vector<std::vector<float>> positions, normals;
    std::vector<double> low, high, point;
  };
  const Case cases[] = {
      {UpAxis::Y,
       {{1, 3, -2}, {4, 6, -5}, {-7, -9, 8}},
       {{0, 1, 0}, {0, 0, -1}, {1, 0, 0}},
       {-7, -9, -5},
       {4, 6, 8},
       {1, 3, -2}},
      {UpAxis::Z,
       {{1, 2, 3}, {4, 5, 6}, {-7, -8, -9}},
       {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
       {-7, -8, -9},
       {4, 5, 6},
       {1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.up == UpAxis::Y ? "Y" : "Z");
    SaveSettings settings;
    settings.up = c.up;
    ExportNotes notes;
    const tinygltf::Model gltf = Build(model.get(), settings, notes);
    const tinygltf::Primitive& primitive = OnlyPrimitive(gltf, 0);
    EXPECT_EQ(Floats(gltf, primitive.attributes.at("POSITION")), c.positions);
    EXPECT_EQ(Floats(gltf, primitive.attributes.at("NORMAL")), c.normals);
    const tinygltf::Accessor& positions =
        gltf.accessors[static_cast<size_t>(primitive.attributes.at("POSITION"))];
    EXPECT_EQ(positions.minValues, c.low);
    EXPECT_EQ(positions.maxValues, c.high);
    // The marker's point, as an empty node and in its points primitive.
    ASSERT_EQ(gltf.nodes[1].children.size(), 1u);
    EXPECT_EQ(gltf.nodes[static_cast<size_t>(gltf.nodes[1].children[0])].translation, c.point);
    EXPECT_EQ(Floats(gltf, OnlyPrimitive(gltf, 1).attributes.at("POSITION")),
              (std::vector<std::vector<float>>{
                  {static_cast<float>(c.point[0]), static_cast<float>(c.point[1]),
                   static_cast<float>(c.point[2])}}));
    EXPECT_TRUE(notes.Empty());
  }
}

// Two groups, the first with two detail levels, and a marker.
qmModelPtr LeveledModel() {
  qmModelPtr model = NewModel();
  AddMesh(model.get(), TestMesh{"L00LD00#red 010.00#", {}, {}, {}, -1, {}});  // 0
  AddMesh(model.get(), Triangle("L00LD00M00"));                              // 1
  AddMesh(model.get(), TestMesh{"L00LD01#red 020.00#", {}, {}, {}, -1, {}});  // 2
  AddMesh(model.get(), Triangle("L00LD01M00"));                              // 3
  AddMesh(model.get(), TestMesh{"L01LD00#red 030.00#", {}, {}, {}, -1, {}});  // 4
  AddMesh(model.get(), Triangle("L01LD00M00"));                              // 5
  AddMesh(model.get(), TestMesh{"#light_a#", {{1, 2, 3}}, {}, {}, -1, {}});   // 6
  return model;
}

std::vector<std::string> MeshNodeNames(const tinygltf::Model& gltf) {
  std::vector<std::string> names;
  for (const tinygltf::Node& node : gltf.nodes)
    if (node.mesh >= 0 || node.name.rfind("L0", 0) == 0) names.push_back(node.name);
  return names;
}

TEST(GltfLevels, KeepLevelZeroByDefaultAndSayWhatIsLeftOut) {
  const std::string keepThem =
      " left out: --level all keeps every level in one file, --level-files writes each level "
      "to a file of its own";
  struct Case {
    int level;
    std::vector<std::string> meshes;
    std::vector<std::string> roots;
    std::string leftOut;
  };
  const Case cases[] = {
      {0,
       {"L00LD00#red 010.00#", "L00LD00M00", "L01LD00#red 030.00#", "L01LD00M00", "#light_a#"},
       {"group 0", "group 1", "hardpoints"},
       "detail level 1 was" + keepThem},
      {1, {"L00LD01#red 020.00#", "L00LD01M00", "#light_a#"}, {"group 0", "hardpoints"},
       "detail level 0 was" + keepThem},
      {SaveSettings::kAllLevels,
       {"L00LD00#red 010.00#", "L00LD00M00", "L00LD01#red 020.00#", "L00LD01M00",
        "L01LD00#red 030.00#", "L01LD00M00", "#light_a#"},
       {"group 0", "group 1", "hardpoints"},
       ""},
  };
  qmModelPtr model = LeveledModel();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    SaveSettings settings;
    settings.level = c.level;
    ExportNotes notes;
    const tinygltf::Model gltf = Build(model.get(), settings, notes);
    EXPECT_EQ(MeshNodeNames(gltf), c.meshes);
    EXPECT_EQ(Names(gltf, gltf.scenes.at(0).nodes), c.roots);
    EXPECT_EQ(notes.levelsLeftOut, c.leftOut);
    // Every level in one file: the finest names the coarser for tools that
    // switch levels; the validator knows MSFT_lod only by name.
    const bool all = c.level == SaveSettings::kAllLevels;
    EXPECT_EQ(gltf.extensionsUsed, all ? std::vector<std::string>{"MSFT_lod"}
                                       : std::vector<std::string>{});
    if (all) {
      EXPECT_EQ(gltf.nodes[0].extensions.at("MSFT_lod").Get("ids").Get(0).GetNumberAsInt(), 2);
      EXPECT_DOUBLE_EQ(gltf.nodes[2].extras.Get("red").GetNumberAsDouble(), 20.0);
      EXPECT_EQ(gltf.nodes[4].extensions.count("MSFT_lod"), 0u);  // one level only
    }
  }

  std::vector<FileToSave> files;
  ExportNotes notes;
  std::string error;
  SaveSettings settings;
  settings.level = 2;
  EXPECT_FALSE(GltfFiles(model.get(), settings, GltfForm::Binary, "out/ship.glb", notes, files,
                         error));
  EXPECT_EQ(error, "cannot save out/ship.glb: no group has detail level 2 (the levels are 0 and 1)");
}

TEST(GltfLevels, GoEachToAFileOfItsOwnBesideTheFirst) {
  qmModelPtr model = LeveledModel();
  SaveSettings settings;
  settings.levelFiles = true;
  ExportNotes notes;
  std::vector<FileToSave> files;
  std::string error;
  ASSERT_TRUE(GltfFiles(model.get(), settings, GltfForm::Binary, "out/ship.glb", notes, files,
                        error))
      << error;
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path, "out/ship.lod1.glb");
  EXPECT_EQ(files[1].path, "out/ship.glb");  // the file saved to comes last
  EXPECT_EQ(GltfSavePaths(model.get(), settings, GltfForm::Binary, "out/ship.glb"),
            (std::vector<std::string>{"out/ship.lod1.glb", "out/ship.glb"}));
  std::vector<tinygltf::Model> read;
  for (const FileToSave& file : files) {
    std::ostringstream out;
    ASSERT_TRUE(file.write(out));
    read.push_back(Read(out.str(), GltfForm::Binary));
  }
  EXPECT_EQ(MeshNodeNames(read[0]), (std::vector<std::string>{"L00LD01#red 020.00#", "L00LD01M00"}));
  EXPECT_EQ(Names(read[0], read[0].scenes.at(0).nodes), std::vector<std::string>{"group 0"});
  EXPECT_EQ(MeshNodeNames(read[1]),
            (std::vector<std::string>{"L00LD00#red 010.00#", "L00LD00M00", "L01LD00#red 030.00#",
                                      "L01LD00M00", "#light_a#"}));
  EXPECT_TRUE(notes.Empty());
}

// Each marker's points as empty nodes under its node, whatever copies of
// them its small triangles took (the import's shapes, NameScheme.h).
TEST(GltfMarkers, HaveAnEmptyNodePerPointAtThePoint) {
  struct Case {
    TestMesh mesh;
    std::vector<std::vector<double>> points;
  };
  const std::array<float, 3> a{1, 2, 3}, b{4, 5, 6}, c{7, 8, 9};
  const Case cases[] = {
      // Every point a triangle of three coincident vertices; two points may coincide.
      {{"#blink_a#", {a, a, a, b, b, b, b, b, b}, {}, {{{0, 1, 2}, {}}, {{3, 4, 5}, {}},
                                                        {{6, 7, 8}, {}}}, -1, {}},
       {{1, 2, 3}, {4, 5, 6}, {4, 5, 6}}},
      // Every second point copied for a triangle of the pair; an odd last one alone.
      {{"#dock_a#", {a, b, b, c}, {}, {{{0, 1, 2}, {}}}, -1, {}}, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}},
      // Three points to a triangle, none copied, though two coincide.
      {{"#slot_a#", {a, b, b}, {}, {{{0, 1, 2}, {}}}, -1, {}}, {{1, 2, 3}, {4, 5, 6}, {4, 5, 6}}},
      {{"#light_a#", {a, b}, {}, {}, -1, {}}, {{1, 2, 3}, {4, 5, 6}}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.mesh.name);
    qmModelPtr model = NewModel();
    AddMesh(model.get(), test.mesh);
    const tinygltf::Model gltf = Build(model.get());
    const tinygltf::Node& marker = gltf.nodes[0];
    EXPECT_EQ(marker.mesh, 0);  // the marker keeps its mesh
    ASSERT_EQ(marker.children.size(), test.points.size());
    for (size_t n = 0; n < test.points.size(); ++n) {
      const tinygltf::Node& point = gltf.nodes[static_cast<size_t>(marker.children[n])];
      EXPECT_EQ(point.name, test.mesh.name + " " + std::to_string(n));
      EXPECT_EQ(point.mesh, -1);
      EXPECT_EQ(point.translation, test.points[n]);
    }
  }
  // A flat list has no empties.
  qmModelPtr model = NewModel();
  AddMesh(model.get(), cases[1].mesh);
  EXPECT_EQ(Build(model.get(), true).nodes.size(), 1u);
}

}  // namespace
