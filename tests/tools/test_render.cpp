// `qmhost render` and its rasteriser: the model framed in the picture,
// triangles shaded in their material's colour, markers drawn on top, one
// detail level chosen, and nothing drawn from values that are not numbers.
#include <stb_image.h>

#include <cmath>
#include <limits>

#include "Rasteriser.h"
#include "TestSupport.h"
#include "ToolsSupport.h"

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
  return ::testing::AssertionFailure() << "expected " << what << ", got (" << p.r << ", " << p.g
                                       << ", " << p.b << ")";
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

class Render : public ToolsTest {};

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
}

TEST_F(Render, ReportsWhatIsWrongAndStillDrawsADamagedModel) {
  Write("model.msh", WriteMsh(TwoLevels()));
  const Outcome level = Qmhost("render model.msh -o x.png --level 3");
  EXPECT_EQ(level.status, 2);
  EXPECT_EQ(level.err, "qmhost: model.msh: no group has detail level 3; the levels are 0 1\n");
  EXPECT_FALSE(Exists(Path("x.png")));

  const Outcome missing = Qmhost("render none.msh -o x.png");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "qmhost: none.msh: No such file or directory\n");

  MshFile file = TwoLevels();
  file.groups[0].levels[0].meshes[0].triangleCount = 5;  // past the index pool
  Write("damaged.msh", WriteMsh(file));
  const Outcome damaged = Qmhost("render damaged.msh -o damaged.png --size 40x30");
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("damaged.msh: The file is damaged"), std::string::npos)
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

SceneTriangle Flat(double size, Colour colour) {
  return {{{{-size, -size, 0}, {size, -size, 0}, {0, size, 0}}}, colour};
}

TEST(Rasteriser, LeavesOutWhatIsNoNumberAndFramesDegenerateScenes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Scene plain;
  plain.triangles.push_back(Flat(1, {1, 0, 0}));
  Scene noisy = plain;
  noisy.triangles.push_back({{{{nan, 0, 0}, {1, 1, 1}, {2, 2, 2}}}, {0, 1, 0}});
  noisy.triangles.push_back({{{{1e6, 0, 0}, {1e6, inf, 0}, {1e6, 1, 5}}}, {0, 1, 0}});
  noisy.lines.push_back({{{{0, 0, 0}, {-inf, 0, 0}}}, {0, 1, 0}});
  noisy.points.push_back({{nan, nan, nan}, {0, 1, 0}});
  EXPECT_EQ(DrawScene(noisy, 64, 48).rgb, DrawScene(plain, 64, 48).rgb);

  const Picture empty = DrawScene(Scene{}, 5, 4);
  ASSERT_EQ(empty.rgb.size(), 5u * 4 * 3);
  for (std::size_t n = 0; n < empty.rgb.size(); ++n) EXPECT_EQ(empty.rgb[n], kBackground[n % 3]);

  // One point: no extent to frame, so it sits in the middle.
  Scene point;
  point.points.push_back({{7, 8, 9}, {1, 1, 1}});
  const Picture dot = DrawScene(point, 30, 30);
  EXPECT_EQ(dot.rgb[(15 * 30 + 15) * 3], 255);
  EXPECT_EQ(dot.rgb[0], kBackground[0]);

  // Coordinates near the float limit are framed like any others.
  Scene huge;
  huge.triangles.push_back(Flat(3e38, {0, 0, 1}));
  const Picture far = DrawScene(huge, 30, 30);
  EXPECT_GT(far.rgb[(15 * 30 + 15) * 3 + 2], 100);
}

}  // namespace
