#include "Rasteriser.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <ostream>

#include <stb_image_write.h>

#include "SafeSave.h"

namespace {

double Dot(const Point3& a, const Point3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Point3 Minus(const Point3& a, const Point3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

Point3 Cross(const Point3& a, const Point3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

bool Finite(const Point3& p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

template <std::size_t N>
bool Finite(const std::array<Point3, N>& points) {
  return std::all_of(points.begin(), points.end(), [](const Point3& p) { return Finite(p); });
}

// The view: x to the right, y up, depth away from the viewer, all in scene
// units. The viewer stands at the front right, 35 degrees up, with z up.
struct View {
  Point3 right, up, forward;

  View() {
    const double degrees = std::acos(-1.0) / 180;
    const double azimuth = -45 * degrees;
    const double elevation = 35 * degrees;
    const Point3 toViewer = {std::cos(elevation) * std::cos(azimuth),
                             std::cos(elevation) * std::sin(azimuth), std::sin(elevation)};
    forward = {-toViewer[0], -toViewer[1], -toViewer[2]};
    right = {-std::sin(azimuth), std::cos(azimuth), 0};
    up = Cross(right, forward);
  }

  Point3 Apply(const Point3& p) const { return {Dot(p, right), Dot(p, up), Dot(p, forward)}; }
};

// Scene view coordinates to pixels of the working canvas, chosen so that
// every point drawn lies inside it.
struct Framing {
  double scale = 1, centreX = 0, centreY = 0, halfWidth = 0, halfHeight = 0;

  Point3 ToPixels(const Point3& v) const {
    return {halfWidth + (v[0] - centreX) * scale, halfHeight - (v[1] - centreY) * scale, v[2]};
  }
};

Framing FrameView(const std::vector<Point3>& viewPoints, int width, int height) {
  Framing framing;
  framing.halfWidth = 0.5 * width;
  framing.halfHeight = 0.5 * height;
  if (viewPoints.empty()) return framing;
  double low[2] = {viewPoints[0][0], viewPoints[0][1]};
  double high[2] = {low[0], low[1]};
  for (const Point3& p : viewPoints) {
    for (int axis = 0; axis < 2; ++axis) {
      low[axis] = std::min(low[axis], p[axis]);
      high[axis] = std::max(high[axis], p[axis]);
    }
  }
  framing.centreX = 0.5 * low[0] + 0.5 * high[0];  // halves first: no overflow near DBL_MAX
  framing.centreY = 0.5 * low[1] + 0.5 * high[1];
  // A margin of 8% on each side; a span of zero (one point, or a flat model
  // seen edge on) sets no scale in its direction.
  const double usable = 0.84;
  const double spanX = high[0] - low[0], spanY = high[1] - low[1];
  double scale = std::numeric_limits<double>::infinity();
  if (spanX > 0) scale = std::min(scale, usable * width / spanX);
  if (spanY > 0) scale = std::min(scale, usable * height / spanY);
  framing.scale = std::isfinite(scale) && scale > 0 ? scale : 1.0;
  return framing;
}

class Canvas {
 public:
  Canvas(int width, int height)
      : width_(width),
        height_(height),
        colour_(static_cast<std::size_t>(width) * height * 3),
        depth_(static_cast<std::size_t>(width) * height, std::numeric_limits<double>::infinity()) {
    for (std::size_t n = 0; n < colour_.size(); n += 3)
      for (int c = 0; c < 3; ++c) colour_[n + c] = kBackground[c];
  }

  // Fills the triangle (in pixels, with depth) where it is nearer than what
  // is there: every pixel whose centre lies inside it or on its edge.
  void FillTriangle(const std::array<Point3, 3>& p, const Colour& colour) {
    const double area = Edge(p[0], p[1], p[2][0], p[2][1]);
    if (area == 0 || !std::isfinite(area)) return;
    int x0, x1, y0, y1;
    if (!Bounds(p, x0, x1, y0, y1)) return;
    for (int y = y0; y <= y1; ++y) {
      const double cy = y + 0.5;
      for (int x = x0; x <= x1; ++x) {
        const double cx = x + 0.5;
        const double w0 = Edge(p[1], p[2], cx, cy) / area;
        const double w1 = Edge(p[2], p[0], cx, cy) / area;
        const double w2 = Edge(p[0], p[1], cx, cy) / area;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        const double depth = w0 * p[0][2] + w1 * p[1][2] + w2 * p[2][2];
        const std::size_t at = static_cast<std::size_t>(y) * width_ + x;
        if (depth >= depth_[at]) continue;
        depth_[at] = depth;
        Set(at, colour);
      }
    }
  }

  // A line `thickness` pixels wide, over everything drawn before.
  void DrawLine(const Point3& a, const Point3& b, int thickness, const Colour& colour) {
    const double steps = std::ceil(std::max(std::fabs(b[0] - a[0]), std::fabs(b[1] - a[1])));
    const int count = static_cast<int>(std::min(steps, 4.0 * (width_ + height_)));
    for (int n = 0; n <= count; ++n) {
      const double t = count == 0 ? 0 : static_cast<double>(n) / count;
      FillSquare(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), thickness, colour);
    }
  }

  // A square of `side` pixels centred on (x, y), over everything.
  void FillSquare(double x, double y, int side, const Colour& colour) {
    const int left = Clamp(std::floor(x - 0.5 * side + 0.5), width_);
    const int top = Clamp(std::floor(y - 0.5 * side + 0.5), height_);
    const int right = Clamp(std::floor(x - 0.5 * side + 0.5) + side - 1, width_);
    const int bottom = Clamp(std::floor(y - 0.5 * side + 0.5) + side - 1, height_);
    for (int row = top; row <= bottom; ++row)
      for (int column = left; column <= right; ++column)
        Set(static_cast<std::size_t>(row) * width_ + column, colour);
  }

  // Averages each factor x factor block into one pixel of the picture.
  Picture Reduce(int factor) const {
    Picture picture;
    picture.width = width_ / factor;
    picture.height = height_ / factor;
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        for (int c = 0; c < 3; ++c) {
          int sum = 0;
          for (int dy = 0; dy < factor; ++dy)
            for (int dx = 0; dx < factor; ++dx)
              sum += colour_[(static_cast<std::size_t>(y * factor + dy) * width_ + x * factor + dx) *
                                 3 + c];
          const int samples = factor * factor;
          picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3 + c] =
              static_cast<std::uint8_t>((sum + samples / 2) / samples);
        }
      }
    }
    return picture;
  }

 private:
  static double Edge(const Point3& a, const Point3& b, double x, double y) {
    return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
  }

  // Clamped in floating point before the conversion, which is only defined
  // for values an int holds.
  static int Clamp(double value, int size) {
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(size - 1)));
  }

  bool Bounds(const std::array<Point3, 3>& p, int& x0, int& x1, int& y0, int& y1) const {
    const double left = std::min({p[0][0], p[1][0], p[2][0]});
    const double right = std::max({p[0][0], p[1][0], p[2][0]});
    const double top = std::min({p[0][1], p[1][1], p[2][1]});
    const double bottom = std::max({p[0][1], p[1][1], p[2][1]});
    if (right < 0 || bottom < 0 || left > width_ || top > height_) return false;
    x0 = Clamp(std::floor(left), width_);
    x1 = Clamp(std::ceil(right), width_);
    y0 = Clamp(std::floor(top), height_);
    y1 = Clamp(std::ceil(bottom), height_);
    return true;
  }

  void Set(std::size_t at, const Colour& colour) {
    colour_[at * 3] = Byte(colour.r);
    colour_[at * 3 + 1] = Byte(colour.g);
    colour_[at * 3 + 2] = Byte(colour.b);
  }

  // NaN, like anything below 0, is 0.
  static std::uint8_t Byte(float value) {
    if (value >= 1) return 255;
    return value > 0 ? static_cast<std::uint8_t>(std::lround(value * 255.0f)) : 0;
  }

  int width_, height_;
  std::vector<std::uint8_t> colour_;
  std::vector<double> depth_;
};

// Lambert's law for a light over the viewer's left shoulder, lit from either
// side, as the files' winding says nothing about which side is outside.
Colour Shade(const std::array<Point3, 3>& corners, const Colour& colour, const View& view) {
  const Point3 normal = Cross(Minus(corners[1], corners[0]), Minus(corners[2], corners[0]));
  const double length = std::sqrt(Dot(normal, normal));
  double lambert = 0;
  if (length > 0 && std::isfinite(length)) {
    Point3 light{};
    for (int axis = 0; axis < 3; ++axis)
      light[axis] = -0.35 * view.right[axis] + 0.55 * view.up[axis] - 0.76 * view.forward[axis];
    lambert = std::fabs(Dot(normal, light)) / (length * std::sqrt(Dot(light, light)));
  }
  const float intensity = static_cast<float>(0.25 + 0.7 * lambert);
  return {colour.r * intensity, colour.g * intensity, colour.b * intensity};
}

// Above this many pixels the picture is drawn without smoothing its edges,
// to bound the memory the canvas takes (11 bytes a sample).
constexpr long kSmoothedPixels = 1024L * 1024L;

}  // namespace

Picture DrawScene(const Scene& scene, int width, int height) {
  assert(width >= 1 && width <= kMaxPictureSide && height >= 1 && height <= kMaxPictureSide);
  const int factor = static_cast<long>(width) * height <= kSmoothedPixels ? 2 : 1;
  const View view;

  // Into view coordinates, dropping what holds a NaN or an infinity.
  std::vector<std::array<Point3, 3>> triangles;
  std::vector<Colour> triangleColours;
  std::vector<std::array<Point3, 2>> lines;
  std::vector<Point3> points, framed;
  for (const SceneTriangle& triangle : scene.triangles) {
    if (!Finite(triangle.corners)) continue;
    std::array<Point3, 3> v;
    for (int n = 0; n < 3; ++n) v[n] = view.Apply(triangle.corners[n]);
    if (!Finite(v)) continue;
    triangles.push_back(v);
    triangleColours.push_back(Shade(triangle.corners, triangle.colour, view));
    framed.insert(framed.end(), v.begin(), v.end());
  }
  for (const SceneLine& line : scene.lines) {
    const std::array<Point3, 2> v = {view.Apply(line.ends[0]), view.Apply(line.ends[1])};
    lines.push_back(v);
    if (Finite(line.ends) && Finite(v)) framed.insert(framed.end(), v.begin(), v.end());
  }
  for (const ScenePoint& point : scene.points) {
    points.push_back(view.Apply(point.at));
    if (Finite(point.at) && Finite(points.back())) framed.push_back(points.back());
  }

  Canvas canvas(width * factor, height * factor);
  const Framing framing = FrameView(framed, width * factor, height * factor);
  for (std::size_t n = 0; n < triangles.size(); ++n) {
    std::array<Point3, 3> pixels;
    for (int c = 0; c < 3; ++c) pixels[c] = framing.ToPixels(triangles[n][c]);
    canvas.FillTriangle(pixels, triangleColours[n]);
  }
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (!Finite(lines[n])) continue;
    canvas.DrawLine(framing.ToPixels(lines[n][0]), framing.ToPixels(lines[n][1]), factor,
                    scene.lines[n].colour);
  }
  const int side = std::max(3, std::min(width, height) / 90) * factor;
  for (std::size_t n = 0; n < points.size(); ++n) {
    if (!Finite(points[n])) continue;
    const Point3 at = framing.ToPixels(points[n]);
    canvas.FillSquare(at[0], at[1], side, scene.points[n].colour);
  }
  return canvas.Reduce(factor);
}

bool WritePng(const Picture& picture, std::ostream& out) {
  auto sink = [](void* context, void* data, int size) {
    static_cast<std::ostream*>(context)->write(static_cast<const char*>(data), size);
  };
  const int written = stbi_write_png_to_func(sink, &out, picture.width, picture.height, 3,
                                             picture.rgb.data(), picture.width * 3);
  return written != 0 && static_cast<bool>(out);
}

bool SavePng(const Picture& picture, const std::string& path, std::string& error) {
  return SaveFile(
      path, [&](std::ostream& out) { return WritePng(picture, out); }, error);
}
