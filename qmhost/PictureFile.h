// The picture formats render writes, in one table as the model's formats
// are (SaveFormats.h): PNG and JPEG, through stb_image_write.
#ifndef QMHOST_PICTUREFILE_H
#define QMHOST_PICTUREFILE_H

#include <iosfwd>
#include <string>
#include <vector>

#include "Rasteriser.h"

struct PictureFormat {
  const char* name;                     // for --to: "png"
  std::vector<std::string> extensions;  // in lower case, without the dot
  const char* help;                     // one line
  // Writes the picture; false when it could not be encoded or written.
  bool (*write)(const Picture& picture, std::ostream& out);
};

const std::vector<PictureFormat>& PictureFormats();
// By name, or by a path's extension, in any letter case; null when none has it.
const PictureFormat* PictureFormatNamed(const std::string& name);
const PictureFormat* PictureFormatOfPath(const std::string& path);
// ".png, .jpg or .jpeg", for a sentence.
std::string PictureExtensionList();

// Saves safely (SafeSave.h): a failed save leaves no file and no old one
// clobbered; `error` names the file and the reason.
bool SavePicture(const Picture& picture, const PictureFormat& format, const std::string& path,
                 std::string& error);

#endif  // QMHOST_PICTUREFILE_H
