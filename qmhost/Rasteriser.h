// Drawing a scene of coloured triangles, lines and points into an RGB
// picture on the CPU: an orthographic three-quarter view (the z axis up,
// seen from the front right and above) framing everything, triangles shaded
// with a fixed light behind a depth buffer, and lines and points drawn over
// them. Nothing needs a GPU or a display.
//
//   Scene scene;
//   scene.triangles.push_back({{{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}}}, {1, 0, 0}});
//   Picture picture = DrawScene(scene, 800, 600);
//   std::string error;
//   if (!SavePng(picture, "ship.png", error)) ...
#ifndef QMHOST_RASTERISER_H
#define QMHOST_RASTERISER_H

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

using Point3 = std::array<double, 3>;

struct Colour {
  float r = 0, g = 0, b = 0;  // 0 to 1
};

struct SceneTriangle {
  std::array<Point3, 3> corners;
  Colour colour;
};

struct SceneLine {
  std::array<Point3, 2> ends;
  Colour colour;
};

struct ScenePoint {
  Point3 at;
  Colour colour;
};

// Anything with a coordinate that is NaN or infinite is left out, of the
// picture and of the framing alike.
struct Scene {
  std::vector<SceneTriangle> triangles;  // shaded, hidden behind one another
  std::vector<SceneLine> lines;          // drawn over the triangles
  std::vector<ScenePoint> points;        // small squares, over everything
};

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows from the top, 3 bytes a pixel
};

// The colour of the picture where nothing is drawn.
constexpr std::uint8_t kBackground[3] = {44, 48, 56};

// The largest picture DrawScene makes, in either direction.
constexpr int kMaxPictureSide = 4096;

// Draws the scene into a picture of width x height pixels (1 to
// kMaxPictureSide each). An empty scene gives the plain background; a scene
// of one point, or one flat in the view, is framed around its middle.
Picture DrawScene(const Scene& scene, int width, int height);

// The picture as PNG, through stb_image_write; false if it could not be
// encoded or written.
bool WritePng(const Picture& picture, std::ostream& out);
// Saves safely (SafeSave.h): a failed save leaves no file and no old one
// clobbered; `error` names the file and the reason.
bool SavePng(const Picture& picture, const std::string& path, std::string& error);

#endif  // QMHOST_RASTERISER_H
