// ./build-fuzz/fuzz/fuzz_image -rss_limit_mb=1024 -malloc_limit_mb=512 -dict=fuzz/image.dict build-fuzz/fuzz/corpus/fuzz_image build-fuzz/fuzz/images samples
//
// A texture file of any bytes through the decoding a save does: it is turned
// into PNG or refused with a reason, never both, and the PNG it forms is one
// (its signature and header chunk).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "ImageDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string why;
  std::vector<unsigned char> png;
  try {
    png = ImageAsPng(data, size, why);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (png.empty() == why.empty()) std::abort();
  if (!png.empty()) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 33 || std::memcmp(png.data(), kSignature, 8) != 0 ||
        std::memcmp(png.data() + 12, "IHDR", 4) != 0)
      std::abort();
  }
  return 0;
}
