#include "ImageDecode.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Each block stb_image asks for while it decodes one file, held to what the
// file can fill: a header alone can ask for far more than the file holds.
// Set per decode, per thread.
struct StbBudget {
  std::size_t limit = 0;
  bool refused = false;
};
thread_local StbBudget t_stbBudget;

void* StbMalloc(std::size_t bytes) {
  if (bytes > t_stbBudget.limit) {
    t_stbBudget.refused = true;
    return nullptr;
  }
  return std::malloc(bytes);
}

// stb_image takes the three or none; its TGA and BMP decoders never grow a
// block.
[[maybe_unused]] void* StbRealloc(void* block, std::size_t bytes) {
  if (bytes > t_stbBudget.limit) {
    t_stbBudget.refused = true;
    return nullptr;
  }
  return std::realloc(block, bytes);
}

}  // namespace

// The decoders are this file's own (static), so they never meet the
// prebuilt libstb's that the PNG writer comes from.
#define STBI_MALLOC(bytes) StbMalloc(bytes)
#define STBI_REALLOC(block, bytes) StbRealloc(block, bytes)
#define STBI_FREE(block) std::free(block)
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#include <stb_image.h>
#include <stb_image_write.h>

#include <jpeglib.h>
#include <png.h>

namespace {

// A decoded picture, rows top first, `channels` bytes a pixel.
struct Picture {
  int width = 0, height = 0, channels = 0;
  std::vector<unsigned char> pixels;
};

// Why a picture of this size is not decoded, or nothing.
std::string SizeRefusal(int width, int height, int channels, std::size_t fileBytes) {
  // A decoder may hand back a picture of no pixels, which no PNG holds.
  if (width <= 0 || height <= 0)
    return std::to_string(width) + "x" + std::to_string(height) + " pixels: no picture";
  if (width > kMaxImageSide || height > kMaxImageSide)
    return std::to_string(width) + "x" + std::to_string(height) + " pixels, more than " +
           std::to_string(kMaxImageSide) + " a side";
  // A few bytes can claim the largest picture, and a truncated file decodes
  // as if the rest were zeros: what the pixels take is held to what the
  // file's bytes can hold.
  const std::uint64_t pixelBytes = static_cast<std::uint64_t>(width) *
                                   static_cast<std::uint64_t>(height) *
                                   static_cast<std::uint64_t>(channels);
  if (pixelBytes > kMaxImageBytesAlways && pixelBytes / kMaxImageExpansion > fileBytes)
    return std::to_string(width) + "x" + std::to_string(height) +
           " pixels, more than a file of its size can hold";
  return std::string();
}

struct PixelsFree {
  void operator()(unsigned char* pixels) const { stbi_image_free(pixels); }
};

// TGA and BMP through stb_image; false with `why`.
bool DecodeWithStb(const unsigned char* bytes, std::size_t size, Picture& picture,
                   std::string& why) {
  if (size > static_cast<std::size_t>(INT_MAX)) {
    why = "larger than 2 GiB";
    return false;
  }
  const int length = static_cast<int>(size);
  // Twice what the picture may take, and a megabyte for the decoders'
  // tables.
  t_stbBudget.limit = static_cast<std::size_t>(
      2 * std::max<std::uint64_t>(kMaxImageBytesAlways, kMaxImageExpansion * size) + (1u << 20));
  t_stbBudget.refused = false;
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes, length, &width, &height, &channels)) {
    why = std::string("not an image of a kind read here: TGA, BMP, PNG or JPEG (") +
          stbi_failure_reason() + ")";
    return false;
  }
  why = SizeRefusal(width, height, channels, size);
  if (!why.empty()) return false;
  std::unique_ptr<unsigned char, PixelsFree> pixels(
      stbi_load_from_memory(bytes, length, &width, &height, &channels, 0));
  if (pixels == nullptr) {
    const std::string reason = stbi_failure_reason();
    if (t_stbBudget.refused)
      why = "damaged (it asks for more memory than a file of its size can fill)";
    else if (reason == "outofmem")
      throw std::bad_alloc();
    else
      why = "damaged (" + reason + ")";
    return false;
  }
  picture.width = width;
  picture.height = height;
  picture.channels = channels;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                            static_cast<std::size_t>(channels);
  picture.pixels.assign(pixels.get(), pixels.get() + count);
  return true;
}

// libjpeg ends a decompression that fails by calling error_exit, which must
// not return: it jumps back to where DecodeJpeg set `back`, with the reason.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf back;
  char reason[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegFailed(j_common_ptr info) {
  auto* errors = reinterpret_cast<JpegErrors*>(info->err);
  errors->manager.format_message(info, errors->reason);
  std::longjmp(errors->back, 1);
}

// Warnings of a damaged stream (the picture still decodes) are not printed.
void JpegMessage(j_common_ptr, int) {}

// Room for the decoded picture; false when there is no memory for it.
bool Allocate(std::vector<unsigned char>& pixels, std::size_t bytes) {
  try {
    pixels.resize(bytes);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// JPEG through libjpeg-turbo (Debian's, fuzzed where it is made); false with
// `why`. Nothing with a destructor lives in this frame between the setjmp
// and a jump back to it: the picture's vector is the caller's.
bool DecodeJpeg(const unsigned char* bytes, std::size_t size, Picture& picture,
                std::string& why) {
  jpeg_decompress_struct info;
  JpegErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JpegFailed;
  errors.manager.emit_message = JpegMessage;
  errors.reason[0] = '\0';
  // 0: failed, 1: too large, 2: out of memory.
  volatile int outcome = 0;
  if (setjmp(errors.back) != 0) {
    jpeg_destroy_decompress(&info);
    if (outcome == 2 || std::strstr(errors.reason, "Insufficient memory") != nullptr)
      throw std::bad_alloc();
    if (outcome != 1) why = std::string("damaged (") + errors.reason + ")";
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  // Colour pictures as RGB (CMYK and YCCK too), grey ones as they are.
  info.out_color_space = info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_calc_output_dimensions(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  const int channels = info.output_components;
  why = SizeRefusal(width, height, channels, size);
  if (!why.empty()) {
    outcome = 1;
    std::longjmp(errors.back, 1);
  }
  // A progressive picture holds all its coefficients while it decodes (up to
  // 2 bytes a sample of each component): its decoder gets no more memory
  // than that, and the picture its own.
  const std::uint64_t samples = static_cast<std::uint64_t>(width) *
                                static_cast<std::uint64_t>(height) *
                                static_cast<std::uint64_t>(info.num_components);
  info.mem->max_memory_to_use =
      static_cast<long>(std::min<std::uint64_t>(LONG_MAX, 3 * samples + (8u << 20)));
  jpeg_start_decompress(&info);
  const std::size_t row = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  if (!Allocate(picture.pixels, row * static_cast<std::size_t>(height))) {
    outcome = 2;
    std::longjmp(errors.back, 1);
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW line = picture.pixels.data() + row * info.output_scanline;
    jpeg_read_scanlines(&info, &line, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  picture.width = width;
  picture.height = height;
  picture.channels = channels;
  return true;
}

// PNG through libpng's simplified reader (Debian's, fuzzed where it is
// made); false with `why`. Colour pictures as RGB, grey ones as grey, each
// with its alpha if it has any, 8 bits a sample.
bool DecodePng(const unsigned char* bytes, std::size_t size, Picture& picture,
               std::string& why) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  struct Release {
    png_image* image;
    ~Release() { png_image_free(image); }
  } release{&image};
  if (!png_image_begin_read_from_memory(&image, bytes, size)) {
    why = std::string("damaged (") + image.message + ")";
    return false;
  }
  const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  if ((image.format & PNG_FORMAT_FLAG_COLOR) != 0)
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  else
    image.format = alpha ? PNG_FORMAT_GA : PNG_FORMAT_GRAY;
  // PNG's sides are at most 2^31 - 1 (libpng refuses more, and by default
  // anything over a million): they fit an int.
  const int width = static_cast<int>(image.width);
  const int height = static_cast<int>(image.height);
  const int channels = static_cast<int>(PNG_IMAGE_PIXEL_CHANNELS(image.format));
  why = SizeRefusal(width, height, channels, size);
  if (!why.empty()) return false;
  picture.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
    why = std::string("damaged (") + image.message + ")";
    return false;
  }
  picture.width = width;
  picture.height = height;
  picture.channels = channels;
  return true;
}

bool IsJpeg(const unsigned char* bytes, std::size_t size) {
  return size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

bool IsPng(const unsigned char* bytes, std::size_t size) {
  return size >= 8 && png_sig_cmp(bytes, 0, 8) == 0;
}

}  // namespace

std::vector<unsigned char> ImageAsPng(const unsigned char* bytes, std::size_t size,
                                      std::string& why) {
  std::vector<unsigned char> png;
  Picture picture;
  const bool decoded = IsPng(bytes, size)    ? DecodePng(bytes, size, picture, why)
                       : IsJpeg(bytes, size) ? DecodeJpeg(bytes, size, picture, why)
                                             : DecodeWithStb(bytes, size, picture, why);
  if (!decoded) return png;
  const int written = stbi_write_png_to_func(
      [](void* context, void* data, int count) {
        auto* out = static_cast<std::vector<unsigned char>*>(context);
        const auto* from = static_cast<const unsigned char*>(data);
        out->insert(out->end(), from, from + count);
      },
      &png, picture.width, picture.height, picture.channels, picture.pixels.data(),
      picture.width * picture.channels);
  if (written == 0) {
    png.clear();
    why = "its PNG could not be formed";
  }
  return png;
}
