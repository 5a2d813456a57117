// The images of a save. A material named after a texture file ("hull.tga",
// or "hull.tga@boo" for a flagged record) shows that file's image: looked up
// by name in any letter case (the files come from a system that ignores
// case) beside the .msh file and then in each texture folder, decoded
// (TGA, BMP, PNG or JPEG: ImageDecode.h) and written as PNG: inside a .glb,
// beside a .gltf or an .obj.
//
//   SaveTextures textures(model, settings, usedMaterials, "out/ship.gltf");
//   textures.Load();                          // before the save's files are written
//   int image = textures.ImageOf(material);   // -1: none
//
// A texture that is not found or can't be read is left out, said in one line
// (MissingText), and never fails the save.
#ifndef QM_EXPORT_TEXTURES_H
#define QM_EXPORT_TEXTURES_H

#include <string>
#include <vector>

#include "SaveSettings.h"
#include "qmModelLib.h"

struct TextureImage {
  std::string texture;  // the name looked up, as its first material spells it
  std::string source;   // the file it was found as
  // Its PNG beside a .gltf or .obj: the saved file's name without its
  // extension, a dot, and the texture's name in lower case with anything but
  // letters, digits, '.', '-' and '_' written as '_': "ship.hull.tga.png".
  // Models saved into one folder never share one, whatever their textures.
  std::string besideName;
  std::vector<unsigned char> png;  // the image as PNG, once loaded
};

class SaveTextures {
 public:
  // Finds the textures of the materials marked in `materials` (by material
  // index) for a save to `savePath`; reads nothing yet. With textures off in
  // the settings, or no folder to look in (no source and no texture
  // folders), finds none and says nothing.
  SaveTextures(qmModel* model, const SaveSettings& settings, const std::vector<bool>& materials,
               const std::string& savePath);

  // Reads each image found and forms its PNG. An image that can't be read
  // (not TGA, BMP, PNG or JPEG, damaged, larger than 16384 pixels a side,
  // no memory for it) is dropped: its materials show none, and MissingText
  // says why.
  void Load();

  // The image material `material` shows (an index into Images()), or -1.
  int ImageOf(int material) const;
  const std::vector<TextureImage>& Images() const { return images_; }

  // The PNG files a save beside `savePath` writes, one per image found.
  std::vector<std::string> BesidePaths() const;

  // Whether one of `written` is a file this save reads an image from; then a
  // sentence for the user ("its out/a.hull.tga.png would replace the texture
  // out/a.hull.tga.png"), else empty.
  std::string Replaced(const std::vector<std::string>& written) const;

  // One line naming the textures left out and why; empty when none was.
  std::string MissingText() const;

 private:
  struct Folder;
  std::string Find(const std::string& texture, std::vector<Folder>& folders) const;

  std::string folder_;  // where the save's files go, "" for the current folder
  std::string sourceName_;
  std::vector<std::string> textureFolders_;
  std::vector<int> imageOf_;
  std::vector<TextureImage> images_;
  std::vector<std::string> notFound_;
  std::vector<std::string> unreadable_;  // "engine.tga (why)"
};

#endif  // QM_EXPORT_TEXTURES_H
