// `qmhost render` and its rasteriser: the model framed in the picture,
// triangles shaded in their material's colour, markers drawn on top, one
// detail level chosen, and nothing drawn from values that are not numbers.
#include <stb_image.h>

#include <array>
#include <cmath>
#include <limits>

#include "QmhostRun.h"
#include "Rasteriser.h"
#include "TestSupport.h"
#include "qmModelRead.h"

namespace {

struct Pixel {
  int r, g, b;
};

struct Png {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  Pixel At(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
  }
};

Png ReadPng(const std::string& path) {
  Png png;
  int channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &png.width, &png.height, &channels, 3);
  if (data == nullptr) return png;
  png.rgb.assign(data, data + static_cast<std::size_t>(png.width) * png.height * 3);
  stbi_image_free(data);
  return png;
}

bool IsBackground(const Pixel& p) {
  return p.r == kBackground[0] && p.g == kBackground[1] && p.b == kBackground[2];
}

// Mostly one channel: shaded, but of the colour it was given.
bool IsShadeOf(const Pixel& p, int channel) {
  const int values[3] = {p.r, p.g, p.b};
  for (int c = 0; c < 3; ++c)
    if (c == channel ? values[c] < 120 : values[c] > 30) return false;
  return true;
}

::testing::AssertionResult Shows(const Pixel& p, const char* what, bool ok) {
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "expected " << what << ", got (" << p.r << ", " << p.g << ", " << p.b << ")";
}

// A square of side 2 around the origin in the z = 0 plane, as two triangles.
MshMesh Square(MshFile& file, MshColour diffuse) {
  const std::uint32_t first = static_cast<std::uint32_t>(file.vertices.size());
  for (const auto& xy : {std::array<float, 2>{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
    MshVertex vertex;
    vertex.position = {xy[0], xy[1], 0};
    file.vertices.push_back(vertex);
  }
  const std::uint32_t firstIndex = static_cast<std::uint32_t>(file.indices.size());
  for (int corner : {0, 1, 2, 0, 2, 3})
    file.indices.push_back(static_cast<std::uint16_t>(first + corner));
  MshMesh mesh = MeshOf(diffuse[0] > 0 ? "red" : "blue", first, 4, firstIndex, 2);
  mesh.diffuse = diffuse;
  return mesh;
}

// Level 0 a red square, level 1 a blue one, and a green marker point at the
// middle of both.
MshFile TwoLevels() {
  MshFile file;
  const MshMesh red = Square(file, {1, 0, 0, 1});
  const MshMesh blue = Square(file, {0, 0, 1, 1});
  MshHardpoint marker;
  marker.name = "blink_centre";
  marker.diffuse = {0, 1, 0, 1};
  marker.points = {{0, 0, 0}};
  file.groups.push_back(GroupOf({LevelOf(0, {red}), LevelOf(1, {blue})}, {marker}));
  return file;
}

class Render : public TempFolderTest {};

TEST_F(Render, FramesTheModelAndShadesItInItsColourWithMarkersOnTop) {
  Write("model.msh", WriteMsh(TwoLevels()));
  const Outcome run = Qmhost("render model.msh -o model.png --size 200x150");
  ASSERT_EQ(run.status, 0) << run.err;
  const Png png = ReadPng(Path("model.png"));
  ASSERT_EQ(png.width, 200);
  ASSERT_EQ(png.height, 150);
  // The square, seen from above at three quarters, is a diamond as wide as
  // the picture less a margin: from x = 16 to 184 on the middle row.
  EXPECT_TRUE(Shows(png.At(100, 75), "the green marker", IsShadeOf(png.At(100, 75), 1)));
  for (int x : {22, 60, 140, 178})
    EXPECT_TRUE(Shows(png.At(x, 75), "the red square", IsShadeOf(png.At(x, 75), 0))) << x;
  for (int x : {0, 8, 192, 199})
    EXPECT_TRUE(Shows(png.At(x, 75), "background", IsBackground(png.At(x, 75)))) << x;
  for (const auto& corner : {std::array<int, 2>{0, 0}, {199, 0}, {0, 149}, {199, 149}})
    EXPECT_TRUE(IsBackground(png.At(corner[0], corner[1])));

  const Outcome other = Qmhost("render model.msh -o level1.png --size 200x150 --level 1");
  ASSERT_EQ(other.status, 0) << other.err;
  const Png level1 = ReadPng(Path("level1.png"));
  EXPECT_TRUE(Shows(level1.At(60, 75), "the blue square", IsShadeOf(level1.At(60, 75), 2)));

  // Every level, as a viewer shows a save with --level all: the squares lie
  // in one plane, and one of them is seen where they overlap.
  const Outcome all = Qmhost("render model.msh -o all.png --size 200x150 --level all");
  ASSERT_EQ(all.status, 0) << all.err;
  const Png every = ReadPng(Path("all.png"));
  EXPECT_TRUE(IsShadeOf(every.At(60, 75), 0) || IsShadeOf(every.At(60, 75), 2));
  EXPECT_TRUE(Shows(every.At(100, 75), "the green marker", IsShadeOf(every.At(100, 75), 1)));
}

TEST_F(Render, ReportsWhatIsWrongAndStillDrawsADamagedModel) {
  Write("model.msh", WriteMsh(TwoLevels()));
  const Outcome level = Qmhost("render model.msh -o x.png --level 3");
  EXPECT_EQ(level.status, 2);
  EXPECT_EQ(level.err, "qmhost: model.msh: no group has detail level 3 (the levels are 0 and 1)\n");
  EXPECT_FALSE(Exists(Path("x.png")));

  const Outcome missing = Qmhost("render none.msh -o x.png");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "qmhost: none.msh: \"Couldn't open the file\"\nqmhost: none.msh: No such file or "
            "directory\n");

  MshFile file = TwoLevels();
  file.groups[0].levels[0].meshes[0].triangleCount = 5;  // past the index pool
  Write("damaged.msh", WriteMsh(file));
  const Outcome damaged = Qmhost("render damaged.msh -o damaged.png --size 40x30");
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("qmhost: damaged.msh: \"The file is damaged"), std::string::npos)
      << damaged.err;
  EXPECT_EQ(ReadPng(Path("damaged.png")).width, 40);

  for (const char* size : {"0x10", "10x", "x10", "10*10", "5000x10", "-1x5"})
    EXPECT_EQ(Qmhost(std::string("render model.msh -o x.png --size ") + size).status, 2) << size;
  EXPECT_EQ(Qmhost("render model.msh").status, 2);
  const Outcome folder = Qmhost("render model.msh -o no/such/x.png");
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.err.find("no/such/x.png"), std::string::npos) << folder.err;
  EXPECT_EQ(Qmhost("render --help").status, 0);
}

// Thousands of different triangles in one plane, each over half the picture:
// as near as each other everywhere, none hides another, so each is tested at
// every sample it covers, past the work limit. Render says so and writes
// nothing, not even over an old picture.
TEST_F(Render, StopsPastItsWorkLimitAndWritesNothing) {
  MshFile file;
  constexpr int kTriangles = 3000;
  for (int t = 0; t < kTriangles; ++t) {
    const float angle = 0.0002f * static_cast<float>(t);
    for (const auto& xy : {std::array<float, 2>{-1, -1}, {1, -1}, {0, 1}}) {
      MshVertex vertex;
      vertex.position = {xy[0] * std::cos(angle) - xy[1] * std::sin(angle),
                         xy[0] * std::sin(angle) + xy[1] * std::cos(angle), 0};
      file.indices.push_back(static_cast<std::uint16_t>(file.vertices.size()));
      file.vertices.push_back(vertex);
    }
  }
  const std::uint32_t count = static_cast<std::uint32_t>(file.vertices.size());
  file.groups.push_back(GroupOf({LevelOf(0, {MeshOf("stack", 0, count, 0, kTriangles)})}));
  Write("stack.msh", WriteMsh(file));
  std::ofstream(Path("stack.png")) << "old";

  const Outcome run = Qmhost("render stack.msh -o stack.png --size 32x32");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "qmhost: stack.msh: too much to draw at 32x32: its triangles lie over one another too "
            "many times (the limit is 256 depth tests a sample); nothing was written\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadText(Path("stack.png")), "old");
}

// Meshes of a model made by hand, for the rasteriser alone.
class Shapes {
 public:
  // A mesh of the triangles, each with three vertices of its own.
  qmMesh* Mesh(const std::vector<std::array<std::array<float, 3>, 3>>& triangles) {
    qmMesh* mesh = qmModel_GetMeshAt(model_.get(), qmModel_AddMesh(model_.get()));
    for (const auto& corners : triangles) {
      std::uint16_t indices[3];
      for (int n = 0; n < 3; ++n) indices[n] = static_cast<std::uint16_t>(Vertex(mesh, corners[n]));
      qmTriangle_SetVertexIndices(qmMesh_GetTriangleAt(mesh, qmMesh_AddTriangle(mesh)), indices);
    }
    return mesh;
  }

  // A mesh of points and no triangles.
  qmMesh* Points(const std::vector<std::array<float, 3>>& points) {
    qmMesh* mesh = qmModel_GetMeshAt(model_.get(), qmModel_AddMesh(model_.get()));
    for (const auto& point : points) Vertex(mesh, point);
    return mesh;
  }

 private:
  static int Vertex(qmMesh* mesh, const std::array<float, 3>& at) {
    const int index = qmMesh_AddVertex(mesh);
    qmVertex_SetVertex(qmMesh_GetVertexAt(mesh, index), at.data());
    return index;
  }

  qmModelPtr model_{qmModel_Create()};
};

// A triangle in the z = 0 plane around the origin, moved `towardsViewer`
// units along the line of sight, where it covers the same pixels nearer or
// farther.
std::array<std::array<float, 3>, 3> Flat(float size, float towardsViewer = 0) {
  // The viewer looks from the front right, 35 degrees up.
  const float degrees = 3.14159265f / 180;
  const float shift[3] = {std::cos(35 * degrees) * std::cos(-45 * degrees) * towardsViewer,
                          std::cos(35 * degrees) * std::sin(-45 * degrees) * towardsViewer,
                          std::sin(35 * degrees) * towardsViewer};
  return {{{-size + shift[0], -size + shift[1], shift[2]},
           {size + shift[0], -size + shift[1], shift[2]},
           {shift[0], size + shift[1], shift[2]}}};
}

// How many pixels show a shade of `channel`.
std::size_t ShadesOf(const Picture& picture, int channel) {
  std::size_t count = 0;
  for (std::size_t n = 0; n < picture.rgb.size(); n += 3)
    count += IsShadeOf({picture.rgb[n], picture.rgb[n + 1], picture.rgb[n + 2]}, channel);
  return count;
}

TEST(Rasteriser, LeavesOutWhatIsNoNumberAndFramesDegenerateScenes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  Shapes shapes;
  Scene plain;
  plain.surfaces.push_back({shapes.Mesh({Flat(1)}), {1, 0, 0}});
  Scene noisy = plain;
  noisy.surfaces.push_back({shapes.Mesh({{{{nan, 0, 0}, {1, 1, 1}, {2, 2, 2}}},
                                         {{{1e6, 0, 0}, {1e6, inf, 0}, {1e6, 1, 5}}}}),
                            {0, 1, 0}});
  qmMesh* marker = shapes.Points({{nan, nan, nan}, {-inf, 0, 0}});
  const std::uint16_t line[3] = {0, 1, 1};
  qmTriangle_SetVertexIndices(qmMesh_GetTriangleAt(marker, qmMesh_AddTriangle(marker)), line);
  noisy.markers.push_back({marker, {0, 1, 0}});
  EXPECT_EQ(DrawScene(noisy, 64, 48).picture.rgb, DrawScene(plain, 64, 48).picture.rgb);

  const Picture empty = DrawScene(Scene{}, 5, 4).picture;
  ASSERT_EQ(empty.rgb.size(), 5u * 4 * 3);
  for (std::size_t n = 0; n < empty.rgb.size(); ++n) EXPECT_EQ(empty.rgb[n], kBackground[n % 3]);

  // One point: no extent to frame, so it sits in the middle.
  Scene point;
  point.markers.push_back({shapes.Points({{7, 8, 9}}), {1, 1, 1}});
  const Picture dot = DrawScene(point, 30, 30).picture;
  EXPECT_EQ(dot.rgb[(15 * 30 + 15) * 3], 255);
  EXPECT_EQ(dot.rgb[0], kBackground[0]);

  // Coordinates near the float limit are framed like any others.
  Scene huge;
  huge.surfaces.push_back({shapes.Mesh({Flat(3e38f)}), {0, 0, 1}});
  const Picture far = DrawScene(huge, 30, 30).picture;
  EXPECT_GT(far.rgb[(15 * 30 + 15) * 3 + 2], 100);
}

// The drawing goes nearest first and draws each copy of a triangle once; what
// it shows is what a plain depth buffer shows in the model's order: the
// nearest surface, and of copies the one that comes first in the model.
TEST(Rasteriser, ShowsTheNearestSurfaceWhateverTheOrderAndTheFirstOfCopies) {
  Shapes shapes;
  const Colour red{1, 0, 0}, blue{0, 0, 1}, green{0, 1, 0};
  // A red triangle in front of a larger blue one, and a green one as large
  // behind both.
  qmMesh* near = shapes.Mesh({Flat(1, 1)});
  qmMesh* far = shapes.Mesh({Flat(2)});
  qmMesh* back = shapes.Mesh({Flat(2, -1)});
  Scene forward, backward, seen;
  forward.surfaces = {{near, red}, {far, blue}, {back, green}};
  backward.surfaces = {{back, green}, {far, blue}, {near, red}};
  seen.surfaces = {{near, red}, {far, blue}};
  const Picture picture = DrawScene(forward, 80, 60).picture;
  EXPECT_EQ(picture.rgb, DrawScene(backward, 80, 60).picture.rgb);
  EXPECT_EQ(picture.rgb, DrawScene(seen, 80, 60).picture.rgb);
  EXPECT_GT(ShadesOf(picture, 0), 200u);
  EXPECT_GT(ShadesOf(picture, 2), 200u);

  // A thousand copies of one triangle in two meshes: the first mesh's colour.
  std::vector<std::array<std::array<float, 3>, 3>> copies(500, Flat(1));
  Scene repeated;
  repeated.surfaces = {{shapes.Mesh(copies), blue}, {shapes.Mesh(copies), red}};
  Scene once;
  once.surfaces = {{shapes.Mesh({Flat(1)}), blue}};
  EXPECT_EQ(DrawScene(repeated, 80, 60).picture.rgb, DrawScene(once, 80, 60).picture.rgb);
}

TEST(Rasteriser, StopsAtItsWorkLimitAndDrawsNothing) {
  Shapes shapes;
  Scene scene;
  scene.surfaces.push_back({shapes.Mesh({Flat(1)}), {1, 0, 0}});
  const Drawing enough = DrawScene(scene, 64, 48, 1'000'000);
  EXPECT_FALSE(enough.tooMuch);
  EXPECT_EQ(enough.picture.width, 64);
  EXPECT_EQ(enough.triangles, 1u);
  const Drawing stopped = DrawScene(scene, 64, 48, 100);
  EXPECT_TRUE(stopped.tooMuch);
  EXPECT_TRUE(stopped.picture.rgb.empty());
}

}  // namespace
