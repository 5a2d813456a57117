// A texture file's image as PNG, for a save to hold. Texture files lie beside
// the .msh files and come from anyone, so each kind goes to a decoder that
// is fuzzed where it is made, or that we build and fuzz ourselves: PNG to
// libpng, JPEG to libjpeg-turbo, TGA (the files' own kind) and BMP to
// stb_image, compiled in ImageDecode.cpp from Debian's header with those two
// decoders alone, built with the sanitizers and fuzzed (fuzz/fuzz_image.cpp)
// as the rest of the code is. This stb_image (2022) was left the kinds it
// decodes soundly: its JPEG decoder lets a Huffman table of more than 256
// codes write past its arrays, and its PNG decoder asks for as much memory
// as a chunk's header claims, both found by our fuzzing at once. GIF, PSD,
// HDR, PIC and PNM are not decoded.
//
//   std::string why;
//   std::vector<unsigned char> png = ImageAsPng(bytes.data(), bytes.size(), why);
//   if (png.empty()) ... why: "not an image of a kind read here: TGA, BMP, PNG or JPEG (...)"
#ifndef QM_EXPORT_IMAGEDECODE_H
#define QM_EXPORT_IMAGEDECODE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Larger images are refused before they are decoded: a texture of these
// files' time is a few hundred pixels a side.
constexpr int kMaxImageSide = 16384;
// So are pixels that would take more than kMaxImageExpansion times the
// file's size, beyond kMaxImageBytesAlways (a 1024 x 1024 picture with alpha):
// no PNG holds more than about 1,030 times its size, no TGA or BMP more than
// 128 times, and a JPEG texture far less.
constexpr std::uint64_t kMaxImageExpansion = 1100;
constexpr std::uint64_t kMaxImageBytesAlways = 4u << 20;

// The image in `bytes` as PNG, its rows top first; empty with `why` set when
// it can't be decoded (not TGA, BMP, PNG or JPEG, damaged, larger than
// kMaxImageSide a side or than its file can hold). Throws std::bad_alloc when memory runs out.
std::vector<unsigned char> ImageAsPng(const unsigned char* bytes, std::size_t size,
                                      std::string& why);

#endif  // QM_EXPORT_IMAGEDECODE_H
