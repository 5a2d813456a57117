#include "PictureFile.h"

#include <algorithm>
#include <ostream>

#include <stb_image_write.h>

#include "SafeSave.h"
#include "SaveContent.h"

namespace {

// JPEG's quality, 1 to 100: high enough that the edges of flat colours stay clean.
constexpr int kJpegQuality = 92;

void Sink(void* context, void* data, int size) {
  static_cast<std::ostream*>(context)->write(static_cast<const char*>(data), size);
}

bool WritePng(const Picture& picture, std::ostream& out) {
  const int written = stbi_write_png_to_func(Sink, &out, picture.width, picture.height, 3,
                                             picture.rgb.data(), picture.width * 3);
  return written != 0 && static_cast<bool>(out);
}

bool WriteJpeg(const Picture& picture, std::ostream& out) {
  const int written = stbi_write_jpg_to_func(Sink, &out, picture.width, picture.height, 3,
                                             picture.rgb.data(), kJpegQuality);
  return written != 0 && static_cast<bool>(out);
}

}  // namespace

const std::vector<PictureFormat>& PictureFormats() {
  static const std::vector<PictureFormat> formats = {
      {"png", {"png"}, "PNG, lossless", WritePng},
      {"jpg", {"jpg", "jpeg"}, "JPEG, smaller, with the faint blur of its compression", WriteJpeg},
  };
  return formats;
}

const PictureFormat* PictureFormatNamed(const std::string& name) {
  const std::string lower = LowerCase(name);
  for (const PictureFormat& format : PictureFormats())
    if (lower == format.name || std::find(format.extensions.begin(), format.extensions.end(),
                                          lower) != format.extensions.end())
      return &format;
  return nullptr;
}

const PictureFormat* PictureFormatOfPath(const std::string& path) {
  const std::string extension = ExtensionOf(path);
  if (extension.empty()) return nullptr;
  for (const PictureFormat& format : PictureFormats())
    if (std::find(format.extensions.begin(), format.extensions.end(), extension) !=
        format.extensions.end())
      return &format;
  return nullptr;
}

std::string PictureExtensionList() {
  std::vector<std::string> extensions;
  for (const PictureFormat& format : PictureFormats())
    for (const std::string& extension : format.extensions) extensions.push_back("." + extension);
  std::string text;
  for (std::size_t n = 0; n < extensions.size(); ++n)
    text += (n == 0 ? "" : n + 1 == extensions.size() ? " or " : ", ") + extensions[n];
  return text;
}

bool SavePicture(const Picture& picture, const PictureFormat& format, const std::string& path,
                 std::string& error) {
  return SaveFile(
      path, [&](std::ostream& out) { return format.write(picture, out); }, error);
}
