// Writes the image target's seed corpus: make_image_seeds OUTDIR writes a
// small picture of ours as PNG (with and without alpha), BMP, TGA (plain and
// run-length coded) and JPEG (baseline), each kind a texture may be, so the
// fuzzer starts inside every decoder.
#include <cstdio>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "GeneratorCommandLine.h"

namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

bool Save(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  const std::string out =
      GeneratorPath(argc, argv, "Writes the image fuzz target's seed corpus into OUTDIR.", "OUTDIR",
                    "The folder to write into; it must exist", status);
  if (out.empty()) return status;
  // 16 x 16: a gradient in the top half, flat blue below, alpha falling
  // along the rows.
  constexpr int kSide = 16;
  std::vector<unsigned char> rgba(kSide * kSide * 4), rgb(kSide * kSide * 3);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const int n = y * kSide + x;
      const unsigned char pixel[4] = {static_cast<unsigned char>(y < kSide / 2 ? x * 16 : 0),
                                      static_cast<unsigned char>(y < kSide / 2 ? y * 32 : 0),
                                      static_cast<unsigned char>(y < kSide / 2 ? 64 : 255),
                                      static_cast<unsigned char>(255 - y * 8)};
      for (int c = 0; c < 4; ++c) rgba[n * 4 + c] = pixel[c];
      for (int c = 0; c < 3; ++c) rgb[n * 3 + c] = pixel[c];
    }
  struct Seed {
    const char* name;
    std::vector<unsigned char> bytes;
  };
  std::vector<Seed> seeds = {{"rgba.png", {}}, {"rgb.png", {}}, {"rgb.bmp", {}},
                             {"rgba.tga", {}}, {"rle.tga", {}}, {"rgb.jpg", {}}};
  bool formed = stbi_write_png_to_func(Append, &seeds[0].bytes, kSide, kSide, 4, rgba.data(),
                                       kSide * 4) != 0 &&
                stbi_write_png_to_func(Append, &seeds[1].bytes, kSide, kSide, 3, rgb.data(),
                                       kSide * 3) != 0 &&
                stbi_write_bmp_to_func(Append, &seeds[2].bytes, kSide, kSide, 3, rgb.data()) != 0;
  stbi_write_tga_with_rle = 0;
  formed = formed && stbi_write_tga_to_func(Append, &seeds[3].bytes, kSide, kSide, 4, rgba.data()) != 0;
  stbi_write_tga_with_rle = 1;
  formed = formed && stbi_write_tga_to_func(Append, &seeds[4].bytes, kSide, kSide, 3, rgb.data()) != 0 &&
           stbi_write_jpg_to_func(Append, &seeds[5].bytes, kSide, kSide, 3, rgb.data(), 75) != 0;
  if (!formed) {
    std::fprintf(stderr, "make_image_seeds: an image could not be formed\n");
    return 1;
  }
  for (const Seed& seed : seeds) {
    if (!Save(out + "/" + seed.name, seed.bytes)) {
      std::fprintf(stderr, "make_image_seeds: cannot write %s/%s\n", out.c_str(), seed.name);
      return 1;
    }
  }
  return 0;
}
