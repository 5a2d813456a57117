// Drawing meshes of the host model into an RGB picture on the CPU: an
// orthographic three-quarter view (the z axis up, seen from the front right
// and above) framing everything, triangles shaded with a fixed light behind a
// depth buffer, and marker lines and points drawn over them. Nothing needs a
// GPU or a display.
//
//   Scene scene;
//   scene.surfaces.push_back({mesh, {1, 0, 0}});
//   Drawing drawing = DrawScene(scene, 800, 600);
//   if (drawing.tooMuch) ...            // nothing was drawn
//   // then PictureFile.h saves drawing.picture
//
// The geometry is read from the model where it lies; what the drawing keeps
// besides the picture is 12 bytes a vertex and 24 a triangle it draws.
// Triangles are drawn nearest first, and a block or tile of the picture
// where a triangle lies behind everything drawn there already is passed over
// whole, so the work follows what is seen more than what is in the model.
// The work is still limited (kWorkPerSample, kWorkPerElement): a model that
// needs more is not drawn.
#ifndef QMHOST_RASTERISER_H
#define QMHOST_RASTERISER_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "qmModelLib.h"

struct Colour {
  float r = 0, g = 0, b = 0;  // 0 to 1
};

struct SceneMesh {
  qmMesh* mesh = nullptr;
  Colour colour;
};

// Anything with a coordinate that is NaN or infinite is left out, of the
// picture and of the framing alike, as is a triangle with a corner that is no
// vertex of its mesh.
struct Scene {
  std::vector<SceneMesh> surfaces;  // triangles, shaded, hidden behind one another
  std::vector<SceneMesh> markers;   // triangles as lines over the surfaces, vertices as points
                                    // over everything
};

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows from the top, 3 bytes a pixel
};

struct Drawing {
  Picture picture;            // empty when tooMuch
  bool tooMuch = false;       // the work ran past the limit and the drawing stopped
  std::size_t triangles = 0;  // surface triangles whose corners are vertices of their mesh
  std::size_t points = 0;     // marker vertices
};

// The colour of the picture where nothing is drawn.
constexpr std::uint8_t kBackground[3] = {44, 48, 56};

// The largest picture DrawScene makes, in either direction.
constexpr int kMaxPictureSide = 4096;

// The work a drawing may take: this much for each sample of the picture (a
// pixel, or each of the 4 of a pixel when edges are smoothed), and this much
// for each triangle, marker line and marker point. A unit is a depth test of
// one sample, or the test of a block or tile against a triangle, or a sample
// of a marker. A model that is seen lies only a few times over each sample;
// one whose triangles are stacked hundreds deep over the whole picture is
// not drawn.
constexpr std::uint64_t kWorkPerSample = 256;
constexpr std::uint64_t kWorkPerElement = 256;

// Draws the scene into a picture of width x height pixels (1 to
// kMaxPictureSide each). An empty scene gives the plain background; a scene
// of one point, or one flat in the view, is framed around its middle.
// `workLimit` 0 takes the limit above.
Drawing DrawScene(const Scene& scene, int width, int height, std::uint64_t workLimit = 0);

#endif  // QMHOST_RASTERISER_H
