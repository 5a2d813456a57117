#include "Rasteriser.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

#include "qmModelRead.h"

namespace {

using Point3 = std::array<double, 3>;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double Dot(const Point3& a, const Point3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Point3 Minus(const Point3& a, const Point3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

Point3 Cross(const Point3& a, const Point3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

bool Finite(const Point3& p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
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

// Lambert's law for a light over the viewer's left shoulder, lit from either
// side, as the files' winding says nothing about which side is outside. The
// corners are in view coordinates, where the light is (-0.35, 0.55, -0.76).
Colour Shade(const Point3& a, const Point3& b, const Point3& c, const Colour& colour) {
  const Point3 normal = Cross(Minus(b, a), Minus(c, a));
  const double length = std::sqrt(Dot(normal, normal));
  double lambert = 0;
  if (length > 0 && std::isfinite(length)) {
    const Point3 light = {-0.35, 0.55, -0.76};
    lambert = std::fabs(Dot(normal, light)) / (length * std::sqrt(Dot(light, light)));
  }
  const float intensity = static_cast<float>(0.25 + 0.7 * lambert);
  return {colour.r * intensity, colour.g * intensity, colour.b * intensity};
}

// NaN, like anything below 0, is 0.
std::uint8_t Byte(float value) {
  if (value >= 1) return 255;
  return value > 0 ? static_cast<std::uint8_t>(std::lround(value * 255.0f)) : 0;
}

// A sample's colour as the canvas keeps it: red, green and blue in its
// first three bytes.
std::uint32_t Rgbx(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const std::uint8_t bytes[4] = {r, g, b, 0};
  std::uint32_t rgbx;
  std::memcpy(&rgbx, bytes, sizeof rgbx);
  return rgbx;
}

std::uint32_t Rgbx(const Colour& colour) {
  return Rgbx(Byte(colour.r), Byte(colour.g), Byte(colour.b));
}

// Triangles name vertices with 16-bit indices, so no triangle reaches past
// this many vertices of its mesh.
constexpr int kNamedVertices = 65536;

int NamedVertexCount(qmMesh* mesh) { return std::min(qmMesh_GetVertexCount(mesh), kNamedVertices); }

Point3 PositionOf(qmMesh* mesh, int vertex) {
  const float* p = qmVertex_GetPosition(qmMesh_GetVertexAt(mesh, vertex));
  return {p[0], p[1], p[2]};
}

// Triangle t's corners, false when one names no vertex of the mesh.
bool CornersOf(qmMesh* mesh, int t, int vertexCount, int (&corners)[3]) {
  const std::uint16_t* indices = qmTriangle_GetVertexIndices(qmMesh_GetTriangleAt(mesh, t));
  for (int n = 0; n < 3; ++n) {
    if (indices[n] >= vertexCount) return false;
    corners[n] = indices[n];
  }
  return true;
}

// Calls `line(a, b, colour)` for each side of each marker triangle whose
// ends differ, in scene coordinates, and then `point(p, colour)` for each
// marker vertex.
template <typename Line, typename Point>
void WalkMarkers(const Scene& scene, Line&& line, Point&& point) {
  for (const SceneMesh& marker : scene.markers) {
    const int vertexCount = qmMesh_GetVertexCount(marker.mesh);
    for (int t = 0; t < qmMesh_GetTriangleCount(marker.mesh); ++t) {
      int corners[3];
      if (!CornersOf(marker.mesh, t, vertexCount, corners)) continue;
      const Point3 ends[3] = {PositionOf(marker.mesh, corners[0]),
                              PositionOf(marker.mesh, corners[1]),
                              PositionOf(marker.mesh, corners[2])};
      for (int n = 0; n < 3; ++n)
        if (ends[n] != ends[(n + 1) % 3]) line(ends[n], ends[(n + 1) % 3], marker.colour);
    }
  }
  for (const SceneMesh& marker : scene.markers)
    for (int v = 0; v < qmMesh_GetVertexCount(marker.mesh); ++v)
      point(PositionOf(marker.mesh, v), marker.colour);
}

// What the framing covers: x and y of everything drawn, and the depth of the
// surfaces.
struct Extent {
  double low[3] = {kInfinity, kInfinity, kInfinity};
  double high[3] = {-kInfinity, -kInfinity, -kInfinity};

  void Add(const Point3& v, int axes) {
    for (int axis = 0; axis < axes; ++axis) {
      low[axis] = std::min(low[axis], v[axis]);
      high[axis] = std::max(high[axis], v[axis]);
    }
  }
};

// View coordinates to the samples of the canvas, chosen so that every point
// drawn lies inside it, and depth to 0 (the nearest surface) to 1 (the
// farthest).
struct Framing {
  double scale = 1, centreX = 0, centreY = 0, halfWidth = 0, halfHeight = 0;
  double nearest = 0, depthScale = 0;

  Point3 ToPixels(const Point3& v) const {
    return {halfWidth + (v[0] - centreX) * scale, halfHeight - (v[1] - centreY) * scale,
            (v[2] - nearest) * depthScale};
  }
};

Framing FrameView(const Extent& extent, int width, int height) {
  Framing framing;
  framing.halfWidth = 0.5 * width;
  framing.halfHeight = 0.5 * height;
  if (extent.low[2] < extent.high[2] && std::isfinite(extent.high[2] - extent.low[2])) {
    framing.nearest = extent.low[2];
    framing.depthScale = 1 / (extent.high[2] - extent.low[2]);
  } else if (extent.low[2] <= extent.high[2]) {
    framing.nearest = extent.low[2];
  }
  if (extent.low[0] > extent.high[0]) return framing;  // nothing to frame
  // Halves first: no overflow near DBL_MAX.
  framing.centreX = 0.5 * extent.low[0] + 0.5 * extent.high[0];
  framing.centreY = 0.5 * extent.low[1] + 0.5 * extent.high[1];
  // A margin of 8% on each side; a span of zero (one point, or a flat model
  // seen edge on) sets no scale in its direction.
  const double usable = 0.84;
  const double spanX = extent.high[0] - extent.low[0], spanY = extent.high[1] - extent.low[1];
  double scale = kInfinity;
  if (spanX > 0) scale = std::min(scale, usable * width / spanX);
  if (spanY > 0) scale = std::min(scale, usable * height / spanY);
  framing.scale = std::isfinite(scale) && scale > 0 ? scale : 1.0;
  return framing;
}

// A vertex in samples of the canvas, and its depth from 0 to 1.
struct Projected {
  float x, y, z;
};

bool operator==(const Projected& a, const Projected& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// A triangle to draw. Corners are in the order of their coordinates, so that
// copies of one triangle (a file can repeat a mesh's triangles many times
// over) sort next to each other and are drawn once.
struct DrawItem {
  std::uint64_t order;      // the nearest corner's depth, then a hash of the corners
  std::uint32_t corner[3];  // into the projected vertices
  std::uint32_t rgbx;       // the shaded colour, as the canvas keeps it
};

bool DrawnBefore(const DrawItem& a, const DrawItem& b) {
  if (a.order != b.order) return a.order < b.order;
  return std::lexicographical_compare(a.corner, a.corner + 3, b.corner, b.corner + 3);
}

// The sample rows and columns whose centres (x + 0.5, y + 0.5) lie within
// the triangle's bounds, on a canvas of width x height; false when none do.
struct SampleBounds {
  int x0, x1, y0, y1;
};

bool SamplesCovered(const Projected& a, const Projected& b, const Projected& c, int width,
                    int height, SampleBounds& bounds) {
  const double left = std::min({a.x, b.x, c.x}), right = std::max({a.x, b.x, c.x});
  const double top = std::min({a.y, b.y, c.y}), bottom = std::max({a.y, b.y, c.y});
  const double x0 = std::max(std::ceil(left - 0.5), 0.0);
  const double x1 = std::min(std::floor(right - 0.5), width - 1.0);
  const double y0 = std::max(std::ceil(top - 0.5), 0.0);
  const double y1 = std::min(std::floor(bottom - 0.5), height - 1.0);
  if (!(x0 <= x1 && y0 <= y1)) return false;
  bounds = {static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y0), static_cast<int>(y1)};
  return true;
}

// Samples come in tiles of 8 x 8 and blocks of 8 x 8 tiles. Each keeps the
// farthest depth drawn in it (infinity while a sample is empty), so that a
// triangle behind all of it is passed over with one test.
constexpr int kTileBits = 3;
constexpr int kTileSide = 1 << kTileBits;
constexpr int kBlockBits = 6;
constexpr int kTilesPerBlockBits = kBlockBits - kTileBits;

// A triangle ready to be tested against samples: three edge functions, each
// 0 or more on the triangle's side, and its depth as a plane.
class TriangleSetup {
 public:
  // False for a triangle with no area.
  bool Set(const Projected& p0, const Projected& p1, const Projected& p2) {
    const Projected* p[3] = {&p0, &p1, &p2};
    const double d1x = double{p1.x} - p0.x, d1y = double{p1.y} - p0.y;
    const double d2x = double{p2.x} - p0.x, d2y = double{p2.y} - p0.y;
    const double area = d1x * d2y - d1y * d2x;
    if (area == 0 || !std::isfinite(area)) return false;
    const double sign = area > 0 ? 1 : -1;
    // Edge n runs from corner n + 1 to corner n + 2, as corner n's weight.
    for (int n = 0; n < 3; ++n) {
      const Projected& from = *p[(n + 1) % 3];
      const Projected& to = *p[(n + 2) % 3];
      edge_[n] = {sign * -(double{to.y} - from.y), sign * (double{to.x} - from.x), from.x, from.y};
    }
    const double dz1 = double{p1.z} - p0.z, dz2 = double{p2.z} - p0.z;
    zx_ = (dz1 * d2y - dz2 * d1y) / area;
    zy_ = (d1x * dz2 - d2x * dz1) / area;
    x0_ = p0.x;
    y0_ = p0.y;
    z0_ = p0.z;
    zLow_ = std::min({p0.z, p1.z, p2.z});
    zHigh_ = std::max({p0.z, p1.z, p2.z});
    return true;
  }

  // Whether no sample centre of the rectangle lies inside.
  bool Misses(const SampleBounds& r) const {
    for (const Edge& e : edge_)
      if (e.Highest(r) < 0) return true;
    return false;
  }

  // Whether every sample centre of the rectangle lies inside.
  bool Covers(const SampleBounds& r) const {
    for (const Edge& e : edge_)
      if (e.Lowest(r) < 0) return false;
    return true;
  }

  // No sample of the rectangle inside the triangle is nearer than this.
  float NearestIn(const SampleBounds& r) const {
    const double x = (zx_ > 0 ? r.x0 : r.x1) + 0.5;
    const double y = (zy_ > 0 ? r.y0 : r.y1) + 0.5;
    return static_cast<float>(std::max(zLow_, z0_ + zx_ * (x - x0_) + zy_ * (y - y0_)));
  }

  // Tests each sample of the rectangle, which lies within one tile, against
  // the depth buffer (rows `stride` samples apart, the tile's rows whole in
  // memory) and paints the nearer ones; `covers`: all lie inside. Returns
  // whether any was painted, and sets `farthest` to the farthest depth in
  // the tile's rows from r.y0 to r.y1 afterwards.
  //
  // The samples are tested without a branch, as masks, four at a time where
  // the processor can (SSE2); where triangles cross or lie in one plane,
  // which one is nearer changes from sample to sample. Float is exact
  // enough: a sample changes sides only within a millionth of a pixel of an
  // edge.
  bool Fill(const SampleBounds& r, bool covers, int stride, float* depth, std::uint32_t* colour,
            std::uint32_t rgbx, float& farthest) const {
    const int tileX = r.x0 & ~(kTileSide - 1);
    const double cx = tileX + 0.5, cy = r.y0 + 0.5;
    // Sample n of a row: depth z + n dz, edge functions edge[k] + n step[k];
    // from one row to the next z grows by dzRow and edge[k] by stepRow[k].
    const float dz = static_cast<float>(zx_), dzRow = static_cast<float>(zy_);
    const float low = static_cast<float>(zLow_), high = static_cast<float>(zHigh_);
    float z = static_cast<float>(z0_ + zx_ * (cx - x0_) + zy_ * (cy - y0_));
    float step[3], stepRow[3], edge[3];
    for (int k = 0; k < 3; ++k) {
      step[k] = covers ? 0 : static_cast<float>(edge_[k].a);
      stepRow[k] = covers ? 0 : static_cast<float>(edge_[k].b);
      edge[k] = covers ? 1 : static_cast<float>(edge_[k].At(cx, cy));
    }
#if defined(__SSE2__)
    const __m128 lanes[2] = {_mm_setr_ps(0, 1, 2, 3), _mm_setr_ps(4, 5, 6, 7)};
    const __m128i numbers[2] = {_mm_setr_epi32(0, 1, 2, 3), _mm_setr_epi32(4, 5, 6, 7)};
    __m128 columns[2];  // the samples of the rectangle's columns
    for (int half = 0; half < 2; ++half)
      columns[half] = _mm_castsi128_ps(
          _mm_and_si128(_mm_cmpgt_epi32(numbers[half], _mm_set1_epi32(r.x0 - tileX - 1)),
                        _mm_cmplt_epi32(numbers[half], _mm_set1_epi32(r.x1 - tileX + 1))));
    const __m128 dzs = _mm_set1_ps(dz), lows = _mm_set1_ps(low), highs = _mm_set1_ps(high);
    const __m128 steps[3] = {_mm_set1_ps(step[0]), _mm_set1_ps(step[1]), _mm_set1_ps(step[2])};
    const __m128 dzRows = _mm_set1_ps(dzRow);
    const __m128 stepRows[3] = {_mm_set1_ps(stepRow[0]), _mm_set1_ps(stepRow[1]),
                                _mm_set1_ps(stepRow[2])};
    __m128 zs = _mm_set1_ps(z);
    __m128 edges[3] = {_mm_set1_ps(edge[0]), _mm_set1_ps(edge[1]), _mm_set1_ps(edge[2])};
    const __m128 zero = _mm_setzero_ps();
    const __m128 paint = _mm_castsi128_ps(_mm_set1_epi32(static_cast<int>(rgbx)));
    __m128 painted = zero, far = zero;
#else
    bool painted = false;
    farthest = 0;
#endif
    for (int y = r.y0; y <= r.y1; ++y) {
      const std::size_t row = static_cast<std::size_t>(y) * stride + tileX;
#if defined(__SSE2__)
      for (int half = 0; half < 2; ++half) {
        const __m128 at = lanes[half];
        float* depths = depth + row + 4 * half;
        std::uint32_t* colours = colour + row + 4 * half;
        const __m128 d = _mm_min_ps(_mm_max_ps(_mm_add_ps(zs, _mm_mul_ps(dzs, at)), lows), highs);
        const __m128 old = _mm_loadu_ps(depths);
        __m128 nearer = _mm_and_ps(columns[half], _mm_cmplt_ps(d, old));
        for (int k = 0; k < 3; ++k)
          nearer = _mm_and_ps(nearer,
                              _mm_cmpge_ps(_mm_add_ps(edges[k], _mm_mul_ps(steps[k], at)), zero));
        const __m128 now = _mm_or_ps(_mm_and_ps(nearer, d), _mm_andnot_ps(nearer, old));
        _mm_storeu_ps(depths, now);
        __m128i* colourLanes = reinterpret_cast<__m128i*>(colours);
        const __m128 was = _mm_castsi128_ps(_mm_loadu_si128(colourLanes));
        _mm_storeu_si128(colourLanes, _mm_castps_si128(_mm_or_ps(_mm_and_ps(nearer, paint),
                                                                 _mm_andnot_ps(nearer, was))));
        painted = _mm_or_ps(painted, nearer);
        far = _mm_max_ps(far, now);  // depths are 0 or more, never NaN
      }
      zs = _mm_add_ps(zs, dzRows);
      for (int k = 0; k < 3; ++k) edges[k] = _mm_add_ps(edges[k], stepRows[k]);
#else
      for (int n = 0; n < kTileSide; ++n) {
        const float at = static_cast<float>(n);
        float& stored = depth[row + n];
        const float d = std::min(std::max(z + dz * at, low), high);
        const bool nearer = tileX + n >= r.x0 && tileX + n <= r.x1 && d < stored &&
                            edge[0] + step[0] * at >= 0 && edge[1] + step[1] * at >= 0 &&
                            edge[2] + step[2] * at >= 0;
        if (nearer) {
          stored = d;
          colour[row + n] = rgbx;
          painted = true;
        }
        farthest = std::max(farthest, stored);
      }
      z += dzRow;
      for (int k = 0; k < 3; ++k) edge[k] += stepRow[k];
#endif
    }
#if defined(__SSE2__)
    float lanesFar[4];
    _mm_storeu_ps(lanesFar, far);
    farthest = std::max(std::max(lanesFar[0], lanesFar[1]), std::max(lanesFar[2], lanesFar[3]));
    return _mm_movemask_ps(painted) != 0;
#else
    return painted;
#endif
  }

 private:
  // a * (x - fromX) + b * (y - fromY).
  struct Edge {
    double a, b, fromX, fromY;

    double At(double x, double y) const { return b * (y - fromY) + a * (x - fromX); }
    double Highest(const SampleBounds& r) const {
      return At((a > 0 ? r.x1 : r.x0) + 0.5, (b > 0 ? r.y1 : r.y0) + 0.5);
    }
    double Lowest(const SampleBounds& r) const {
      return At((a > 0 ? r.x0 : r.x1) + 0.5, (b > 0 ? r.y0 : r.y1) + 0.5);
    }
  };

  Edge edge_[3];
  double zx_ = 0, zy_ = 0, x0_ = 0, y0_ = 0, z0_ = 0, zLow_ = 0, zHigh_ = 0;
};

class Canvas {
 public:
  Canvas(int width, int height)
      : width_(width),
        height_(height),
        stride_((width + kTileSide - 1) & ~(kTileSide - 1)),
        tilesX_(((width - 1) >> kTileBits) + 1),
        tilesY_(((height - 1) >> kTileBits) + 1),
        blocksX_(((width - 1) >> kBlockBits) + 1),
        blocksY_(((height - 1) >> kBlockBits) + 1),
        colour_(static_cast<std::size_t>(stride_) * height,
                Rgbx(kBackground[0], kBackground[1], kBackground[2])),
        depth_(static_cast<std::size_t>(stride_) * height, std::numeric_limits<float>::infinity()),
        tileFarthest_(static_cast<std::size_t>(tilesX_) * tilesY_,
                      std::numeric_limits<float>::infinity()),
        blockFarthest_(static_cast<std::size_t>(blocksX_) * blocksY_,
                       std::numeric_limits<float>::infinity()) {
    // The columns that pad each row to whole tiles are never drawn; at depth
    // 0 they leave a tile's farthest depth to its samples.
    for (int y = 0; y < height_; ++y)
      std::fill(depth_.begin() + static_cast<std::ptrdiff_t>(y) * stride_ + width_,
                depth_.begin() + static_cast<std::ptrdiff_t>(y + 1) * stride_, 0.0f);
  }

  int BlockRows() const { return blocksY_; }

  // Draws the triangles of `items` in their order whose block rows are
  // `first`, `first + step`, ...: threads given different `first` share no
  // sample. Adds the work done to `work` and stops once `stop` is set; sets
  // it once `work` passes `limit`.
  void DrawTriangles(const std::vector<DrawItem>& items, const std::vector<Projected>& projected,
                     int first, int step, std::atomic<std::uint64_t>& work, std::uint64_t limit,
                     std::atomic<bool>& stop) {
    constexpr std::uint64_t kReportEvery = 1 << 16;
    std::uint64_t done = 0;
    TriangleSetup setup;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (done >= kReportEvery) {
        if (work.fetch_add(done) + done > limit) stop = true;
        done = 0;
      }
      if (stop.load(std::memory_order_relaxed)) return;
      const DrawItem& item = items[i];
      const Projected& p0 = projected[item.corner[0]];
      const Projected& p1 = projected[item.corner[1]];
      const Projected& p2 = projected[item.corner[2]];
      if (i > 0 && items[i - 1].order == item.order && projected[items[i - 1].corner[0]] == p0 &&
          projected[items[i - 1].corner[1]] == p1 && projected[items[i - 1].corner[2]] == p2)
        continue;  // a copy of the triangle just drawn
      SampleBounds bounds;
      if (!SamplesCovered(p0, p1, p2, width_, height_, bounds)) continue;
      const int lastRow = bounds.y1 >> kBlockBits;
      int row = bounds.y0 >> kBlockBits;
      row += ((first - row) % step + step) % step;
      if (row > lastRow || !setup.Set(p0, p1, p2)) continue;
      for (; row <= lastRow; row += step)
        for (int column = bounds.x0 >> kBlockBits; column <= bounds.x1 >> kBlockBits; ++column)
          done += DrawInBlock(setup, bounds, column, row, item.rgbx);
    }
    work.fetch_add(done);
  }

  // A line `thickness` samples wide, over everything drawn before.
  void DrawLine(const Point3& a, const Point3& b, int thickness, const Colour& colour) {
    const int count = LineSteps(a, b, width_, height_);
    for (int n = 0; n <= count; ++n) {
      const double t = count == 0 ? 0 : static_cast<double>(n) / count;
      FillSquare(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), thickness, colour);
    }
  }

  static int LineSteps(const Point3& a, const Point3& b, int width, int height) {
    const double steps = std::ceil(std::max(std::fabs(b[0] - a[0]), std::fabs(b[1] - a[1])));
    return static_cast<int>(std::min(steps, 4.0 * (width + height)));
  }

  // A square of `side` samples centred on (x, y), over everything.
  void FillSquare(double x, double y, int side, const Colour& colour) {
    const int left = Clamp(std::floor(x - 0.5 * side + 0.5), width_);
    const int top = Clamp(std::floor(y - 0.5 * side + 0.5), height_);
    const int right = Clamp(std::floor(x - 0.5 * side + 0.5) + side - 1, width_);
    const int bottom = Clamp(std::floor(y - 0.5 * side + 0.5) + side - 1, height_);
    const std::uint32_t rgbx = Rgbx(colour);
    for (int row = top; row <= bottom; ++row)
      for (int column = left; column <= right; ++column)
        colour_[static_cast<std::size_t>(row) * stride_ + column] = rgbx;
  }

  // Averages each factor x factor block into one pixel of the picture; the
  // canvas is empty afterwards.
  Picture Reduce(int factor) {
    // Assigning {} would keep the memory.
    depth_ = std::vector<float>();
    tileFarthest_ = std::vector<float>();
    blockFarthest_ = std::vector<float>();
    Picture picture;
    picture.width = width_ / factor;
    picture.height = height_ / factor;
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    const int samples = factor * factor;
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        int sum[3] = {0, 0, 0};
        for (int dy = 0; dy < factor; ++dy) {
          for (int dx = 0; dx < factor; ++dx) {
            std::uint8_t rgb[4];
            std::memcpy(
                rgb,
                &colour_[static_cast<std::size_t>(y * factor + dy) * stride_ + x * factor + dx],
                sizeof rgb);
            for (int c = 0; c < 3; ++c) sum[c] += rgb[c];
          }
        }
        for (int c = 0; c < 3; ++c)
          picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3 + c] =
              static_cast<std::uint8_t>((sum[c] + samples / 2) / samples);
      }
    }
    colour_ = std::vector<std::uint32_t>();
    return picture;
  }

 private:
  // The part of block or tile (column, row) of `size` = 1 << bits samples
  // within `bounds`.
  SampleBounds Within(const SampleBounds& bounds, int column, int row, int bits) const {
    return {std::max(bounds.x0, column << bits), std::min(bounds.x1, ((column + 1) << bits) - 1),
            std::max(bounds.y0, row << bits), std::min(bounds.y1, ((row + 1) << bits) - 1)};
  }

  // Returns the work done.
  std::uint64_t DrawInBlock(const TriangleSetup& setup, const SampleBounds& bounds, int column,
                            int row, std::uint32_t rgbx) {
    const SampleBounds part = Within(bounds, column, row, kBlockBits);
    float& farthest = blockFarthest_[static_cast<std::size_t>(row) * blocksX_ + column];
    if (setup.NearestIn(part) >= farthest || setup.Misses(part)) return 1;
    std::uint64_t done = 1;
    bool painted = false;
    for (int ty = part.y0 >> kTileBits; ty <= part.y1 >> kTileBits; ++ty) {
      for (int tx = part.x0 >> kTileBits; tx <= part.x1 >> kTileBits; ++tx) {
        const SampleBounds samples = Within(part, tx, ty, kTileBits);
        float& tileFarthest = tileFarthest_[static_cast<std::size_t>(ty) * tilesX_ + tx];
        ++done;
        if (setup.NearestIn(samples) >= tileFarthest || setup.Misses(samples)) continue;
        done += static_cast<std::uint64_t>(samples.x1 - samples.x0 + 1) *
                static_cast<std::uint64_t>(samples.y1 - samples.y0 + 1);
        float rowsFarthest;
        if (setup.Fill(samples, setup.Covers(samples), stride_, depth_.data(), colour_.data(), rgbx,
                       rowsFarthest)) {
          // The rows filled are the whole tile, or the rest has to be looked at.
          tileFarthest = samples.y0 == ty << kTileBits &&
                                 samples.y1 == std::min(height_, (ty + 1) << kTileBits) - 1
                             ? rowsFarthest
                             : Farthest(tx, ty);
          painted = true;
        }
      }
    }
    if (painted) farthest = BlockFarthest(column, row);
    return done;
  }

  float Farthest(int tx, int ty) const {
    const int x1 = std::min(width_, (tx + 1) << kTileBits);
    const int y1 = std::min(height_, (ty + 1) << kTileBits);
    float farthest = 0;
    for (int y = ty << kTileBits; y < y1; ++y)
      for (int x = tx << kTileBits; x < x1; ++x)
        farthest = std::max(farthest, depth_[static_cast<std::size_t>(y) * stride_ + x]);
    return farthest;
  }

  float BlockFarthest(int column, int row) const {
    const int x1 = std::min(tilesX_, (column + 1) << kTilesPerBlockBits);
    const int y1 = std::min(tilesY_, (row + 1) << kTilesPerBlockBits);
    float farthest = 0;
    for (int ty = row << kTilesPerBlockBits; ty < y1; ++ty)
      for (int tx = column << kTilesPerBlockBits; tx < x1; ++tx)
        farthest = std::max(farthest, tileFarthest_[static_cast<std::size_t>(ty) * tilesX_ + tx]);
    return farthest;
  }

  // Clamped in floating point before the conversion, which is only defined
  // for values an int holds.
  static int Clamp(double value, int size) {
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(size - 1)));
  }

  int width_, height_;
  int stride_;  // samples from one row to the next: whole tiles, so that a tile's row is whole
  int tilesX_, tilesY_, blocksX_, blocksY_;
  std::vector<std::uint32_t> colour_;  // Rgbx
  std::vector<float> depth_;
  std::vector<float> tileFarthest_;
  std::vector<float> blockFarthest_;
};

// Orders depths from 0 to 1 (and any float) by their bits.
std::uint32_t OrderedBits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

// FNV-1a over the corners' coordinates: copies of a triangle hash alike.
std::uint32_t HashOf(const Projected* const (&corners)[3]) {
  std::uint32_t hash = 2166136261u;
  for (const Projected* p : corners) {
    for (float value : {p->x, p->y, p->z}) {
      std::uint32_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      hash = (hash ^ bits) * 16777619u;
    }
  }
  return hash;
}

bool CoordinatesBefore(const Projected& a, const Projected& b) {
  if (a.x != b.x) return a.x < b.x;
  if (a.y != b.y) return a.y < b.y;
  return a.z < b.z;
}

// Above this many pixels the picture is drawn without smoothing its edges,
// to bound the memory the canvas takes (8 bytes a sample).
constexpr long kSmoothedPixels = 1024L * 1024L;

// Triangles are sorted and drawn this many at a time (96 MiB of them), so
// that a model of very many triangles takes no more: each batch goes
// nearest first, and the depth buffer carries what was drawn to the next.
constexpr std::size_t kDrawBatch = std::size_t{1} << 22;

// What the drawing needs of the model, in view coordinates: the framing, the
// projected vertices of the surfaces and the triangles to draw.
class Preparation {
 public:
  Preparation(const Scene& scene, int width, int height) : scene_(scene) { Frame(width, height); }

  const Framing& framing() const { return framing_; }
  std::size_t Triangles() const { return triangles_; }
  std::size_t Points() const { return points_; }

  // The triangles with all corners finite, each a unit of work to list.
  std::size_t FiniteTriangles() const { return finiteTriangles_; }

  // Projects the surfaces' vertices and lists the triangles that cover a
  // sample, `batch` at most at a time, for `draw(items)`, which sorts and
  // draws them and returns false to stop.
  template <typename Draw>
  void ListTriangles(int width, int height, std::vector<Projected>& projected, std::size_t batch,
                     Draw&& draw) {
    std::size_t vertices = 0;
    for (const SceneMesh& surface : scene_.surfaces) vertices += NamedVertexCount(surface.mesh);
    projected.reserve(vertices);
    std::vector<DrawItem> items;
    items.reserve(std::min(finiteTriangles_, batch));
    std::vector<Point3> view;
    for (const SceneMesh& surface : scene_.surfaces) {
      const std::uint32_t first = static_cast<std::uint32_t>(projected.size());
      ViewOf(surface.mesh, view);
      for (const Point3& v : view) {
        const Point3 p = framing_.ToPixels(v);
        projected.push_back(
            {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
      }
      const int vertexCount = static_cast<int>(view.size());
      for (int t = 0; t < qmMesh_GetTriangleCount(surface.mesh); ++t) {
        int c[3];
        if (!CornersOf(surface.mesh, t, vertexCount, c)) continue;
        if (!Finite(view[c[0]]) || !Finite(view[c[1]]) || !Finite(view[c[2]])) continue;
        const Projected* corners[3] = {&projected[first + c[0]], &projected[first + c[1]],
                                       &projected[first + c[2]]};
        SampleBounds bounds;
        TriangleSetup setup;
        if (!SamplesCovered(*corners[0], *corners[1], *corners[2], width, height, bounds) ||
            !setup.Set(*corners[0], *corners[1], *corners[2]))
          continue;
        std::uint32_t ids[3] = {first + static_cast<std::uint32_t>(c[0]),
                                first + static_cast<std::uint32_t>(c[1]),
                                first + static_cast<std::uint32_t>(c[2])};
        // Into the order of their coordinates.
        for (int pass = 0; pass < 2; ++pass)
          for (int n = 0; n + 1 < 3 - pass; ++n)
            if (CoordinatesBefore(*corners[n + 1], *corners[n]) ||
                (*corners[n + 1] == *corners[n] && ids[n + 1] < ids[n])) {
              std::swap(corners[n], corners[n + 1]);
              std::swap(ids[n], ids[n + 1]);
            }
        const float nearest = std::min({corners[0]->z, corners[1]->z, corners[2]->z});
        const Colour shaded = Shade(view[c[0]], view[c[1]], view[c[2]], surface.colour);
        DrawItem item;
        item.order = std::uint64_t{OrderedBits(nearest)} << 32 | HashOf(corners);
        std::copy(ids, ids + 3, item.corner);
        item.rgbx = Rgbx(shaded);
        items.push_back(item);
        if (items.size() == batch) {
          if (!draw(items)) return;
          items.clear();
        }
      }
    }
    if (!items.empty()) draw(items);
  }

 private:
  // The view coordinates of the vertices triangles of `mesh` can name.
  static void ViewOf(qmMesh* mesh, std::vector<Point3>& view) {
    static const View kView;
    view.resize(static_cast<std::size_t>(NamedVertexCount(mesh)));
    for (std::size_t v = 0; v < view.size(); ++v)
      view[v] = kView.Apply(PositionOf(mesh, static_cast<int>(v)));
  }

  void Frame(int width, int height) {
    const View view;
    Extent extent;
    std::vector<Point3> viewed;
    for (const SceneMesh& surface : scene_.surfaces) {
      ViewOf(surface.mesh, viewed);
      const int vertexCount = static_cast<int>(viewed.size());
      for (int t = 0; t < qmMesh_GetTriangleCount(surface.mesh); ++t) {
        int c[3];
        if (!CornersOf(surface.mesh, t, vertexCount, c)) continue;
        ++triangles_;
        if (!Finite(viewed[c[0]]) || !Finite(viewed[c[1]]) || !Finite(viewed[c[2]])) continue;
        ++finiteTriangles_;
        for (int n : c) extent.Add(viewed[n], 3);
      }
    }
    WalkMarkers(
        scene_,
        [&](const Point3& a, const Point3& b, const Colour&) {
          const Point3 ends[2] = {view.Apply(a), view.Apply(b)};
          if (Finite(a) && Finite(b) && Finite(ends[0]) && Finite(ends[1]))
            for (const Point3& end : ends) extent.Add(end, 2);
        },
        [&](const Point3& p, const Colour&) {
          ++points_;
          const Point3 at = view.Apply(p);
          if (Finite(p) && Finite(at)) extent.Add(at, 2);
        });
    framing_ = FrameView(extent, width, height);
  }

  const Scene& scene_;
  Framing framing_;
  std::size_t triangles_ = 0;
  std::size_t finiteTriangles_ = 0;
  std::size_t points_ = 0;
};

}  // namespace

Drawing DrawScene(const Scene& scene, int width, int height, std::uint64_t workLimit) {
  assert(width >= 1 && width <= kMaxPictureSide && height >= 1 && height <= kMaxPictureSide);
  const int factor = static_cast<long>(width) * height <= kSmoothedPixels ? 2 : 1;
  const int canvasWidth = width * factor, canvasHeight = height * factor;
  const View view;

  Drawing drawing;
  Preparation preparation(scene, canvasWidth, canvasHeight);
  drawing.triangles = preparation.Triangles();
  drawing.points = preparation.Points();
  const Framing& framing = preparation.framing();

  // The markers' work, and listing the triangles, known before anything is
  // drawn.
  const int side = std::max(3, std::min(width, height) / 90) * factor;
  std::uint64_t known = preparation.FiniteTriangles(), markerElements = 0;
  WalkMarkers(
      scene,
      [&](const Point3& a, const Point3& b, const Colour&) {
        ++markerElements;
        const Point3 ends[2] = {framing.ToPixels(view.Apply(a)), framing.ToPixels(view.Apply(b))};
        if (Finite(ends[0]) && Finite(ends[1]))
          known += static_cast<std::uint64_t>(
                       Canvas::LineSteps(ends[0], ends[1], canvasWidth, canvasHeight) + 1) *
                   factor * factor;
      },
      [&](const Point3&, const Colour&) {
        ++markerElements;
        known += static_cast<std::uint64_t>(side) * side;
      });
  if (workLimit == 0)
    workLimit = kWorkPerSample * static_cast<std::uint64_t>(canvasWidth) * canvasHeight +
                kWorkPerElement * (drawing.triangles + markerElements);
  if (known > workLimit) {
    drawing.tooMuch = true;
    return drawing;
  }

  Canvas canvas(canvasWidth, canvasHeight);
  std::atomic<std::uint64_t> work{known};
  std::atomic<bool> stop{false};
  // Block rows go to the threads in turn, so that each has its share of a
  // model that fills only part of the picture.
  const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), 8u));
  const int threads = static_cast<int>(std::min<unsigned>(cores, canvas.BlockRows()));
  std::vector<Projected> projected;
  preparation.ListTriangles(
      canvasWidth, canvasHeight, projected, kDrawBatch, [&](std::vector<DrawItem>& items) {
        std::sort(items.begin(), items.end(), DrawnBefore);
        auto band = [&](int first) {
          canvas.DrawTriangles(items, projected, first, threads, work, workLimit, stop);
        };
        std::vector<std::thread> helpers;
        std::vector<int> left;
        for (int first = 1; first < threads; ++first) {
          try {
            helpers.emplace_back(band, first);
          } catch (const std::system_error&) {
            left.push_back(first);  // no thread to be had: drawn here instead
          }
        }
        band(0);
        for (int first : left) band(first);
        for (std::thread& helper : helpers) helper.join();
        return !stop;
      });
  if (stop || work > workLimit) {
    drawing.tooMuch = true;
    return drawing;
  }
  projected = std::vector<Projected>();

  WalkMarkers(
      scene,
      [&](const Point3& a, const Point3& b, const Colour& colour) {
        const Point3 ends[2] = {view.Apply(a), view.Apply(b)};
        if (Finite(ends[0]) && Finite(ends[1]))
          canvas.DrawLine(framing.ToPixels(ends[0]), framing.ToPixels(ends[1]), factor, colour);
      },
      [&](const Point3& p, const Colour& colour) {
        const Point3 at = view.Apply(p);
        if (!Finite(at)) return;
        const Point3 pixel = framing.ToPixels(at);
        canvas.FillSquare(pixel[0], pixel[1], side, colour);
      });
  drawing.picture = canvas.Reduce(factor);
  return drawing;
}
