#include "SampleTextures.h"

#include <cmath>
#include <functional>

#include <stb_image_write.h>

namespace {

struct Colour {
  int r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
  return {static_cast<int>(std::lround(a.r + (b.r - a.r) * t)),
          static_cast<int>(std::lround(a.g + (b.g - a.g) * t)),
          static_cast<int>(std::lround(a.b + (b.b - a.b) * t))};
}

// A picture of `size` x `size` pixels, `paint` giving the colour at x, y
// (y = 0 the top row), as an RLE-compressed TGA file.
std::vector<std::uint8_t> Draw(int size, const std::function<Colour(int x, int y)>& paint) {
  std::vector<unsigned char> pixels(static_cast<size_t>(size) * size * 3);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const Colour c = paint(x, y);
      unsigned char* p = pixels.data() + (static_cast<size_t>(y) * size + x) * 3;
      p[0] = static_cast<unsigned char>(c.r);
      p[1] = static_cast<unsigned char>(c.g);
      p[2] = static_cast<unsigned char>(c.b);
    }
  }
  std::vector<std::uint8_t> file;
  stbi_write_tga_to_func(
      [](void* context, void* data, int length) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(context);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        out->insert(out->end(), bytes, bytes + length);
      },
      &file, size, size, 3, pixels.data());
  return file;
}

}  // namespace

std::vector<SampleTexture> SampleTextures() {
  // Hull plates: light above, darker below, seams every 16 pixels (off the
  // edges, so that the corners show the plates) and a red band along the top.
  const auto hull = [](int x, int y) {
    Colour plate = y < 32 ? Colour{206, 210, 218} : Colour{128, 132, 142};
    if (x % 16 == 8 || y % 16 == 8) plate = Mix(plate, {40, 44, 52}, 0.6);
    if (y >= 4 && y < 10) plate = {196, 36, 30};
    return plate;
  };
  // Glass: a pale sky reflected above, the deep blue of the cockpit below.
  const auto glass = [](int, int y) {
    return y < 32 ? Mix({214, 236, 250}, {120, 180, 230}, y / 31.0)
                  : Mix({30, 70, 140}, {10, 24, 60}, (y - 32) / 31.0);
  };
  // The engine's nozzle: a hot glow in the upper half, soot below.
  const auto engine = [](int x, int y) {
    if (y >= 32) return Mix({60, 52, 48}, {24, 20, 18}, (y - 32) / 31.0);
    const double d = std::hypot(x - 31.5, y - 16.0) / 24.0;
    return Mix({255, 236, 160}, {220, 90, 20}, std::fmin(d, 1.0));
  };
  // The turret: hazard stripes above, plain gun metal below.
  const auto turret = [](int x, int y) {
    if (y >= 32) return Colour{70, 72, 80};
    return ((x + y) / 8) % 2 == 0 ? Colour{232, 190, 30} : Colour{30, 30, 34};
  };
  return {{"hull.tga", Draw(64, hull)},
          {"glass.tga", Draw(64, glass)},
          {"engine.tga", Draw(64, engine)},
          {"turret.tga", Draw(64, turret)}};
}
