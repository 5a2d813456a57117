#include "ImageDecode.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <new>

// The decoders are this file's own (static), so they never meet the
// prebuilt libstb's that the PNG writer comes from.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#include <stb_image.h>
#include <stb_image_write.h>

namespace {

struct PixelsFree {
  void operator()(unsigned char* pixels) const { stbi_image_free(pixels); }
};

}  // namespace

std::vector<unsigned char> ImageAsPng(const unsigned char* bytes, std::size_t size,
                                      std::string& why) {
  std::vector<unsigned char> png;
  if (size > static_cast<std::size_t>(INT_MAX)) {
    why = "larger than 2 GiB";
    return png;
  }
  const int length = static_cast<int>(size);
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes, length, &width, &height, &channels)) {
    why = std::string("not an image of a kind read here: TGA, BMP or PNG (") +
          stbi_failure_reason() + ")";
    return png;
  }
  if (width > kMaxImageSide || height > kMaxImageSide) {
    why = std::to_string(width) + "x" + std::to_string(height) + " pixels, more than " +
          std::to_string(kMaxImageSide) + " a side";
    return png;
  }
  // A few bytes can claim the largest picture, and a truncated file decodes
  // as if the rest were zeros: what the pixels take is held to what the
  // file's bytes can hold.
  const std::uint64_t pixelBytes = static_cast<std::uint64_t>(width) *
                                   static_cast<std::uint64_t>(height) *
                                   static_cast<std::uint64_t>(channels);
  if (pixelBytes > kMaxImageBytesAlways && pixelBytes / kMaxImageExpansion > size) {
    why = std::to_string(width) + "x" + std::to_string(height) +
          " pixels, more than a file of its size can hold";
    return png;
  }
  std::unique_ptr<unsigned char, PixelsFree> pixels(
      stbi_load_from_memory(bytes, length, &width, &height, &channels, 0));
  if (pixels == nullptr) {
    const std::string reason = stbi_failure_reason();
    if (reason == "outofmem") throw std::bad_alloc();
    why = "damaged (" + reason + ")";
    return png;
  }
  // Rows top first, as stb_image hands them whatever the file's own order,
  // and as PNG keeps them.
  const int written = stbi_write_png_to_func(
      [](void* context, void* data, int count) {
        auto* out = static_cast<std::vector<unsigned char>*>(context);
        const auto* from = static_cast<const unsigned char*>(data);
        out->insert(out->end(), from, from + count);
      },
      &png, width, height, channels, pixels.get(), width * channels);
  if (written == 0) {
    png.clear();
    why = "its PNG could not be formed";
  }
  return png;
}
