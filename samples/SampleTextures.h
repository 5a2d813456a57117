// The sample's textures, drawn by our own code and written as TGA files (the
// format its material names give) beside sample.msh, so that the saved models
// show images. Each picture's top half differs from its bottom half, so a
// viewer shows at once which way up a texture lies.
#ifndef QM_SAMPLES_SAMPLETEXTURES_H
#define QM_SAMPLES_SAMPLETEXTURES_H

#include <cstdint>
#include <string>
#include <vector>

struct SampleTexture {
  std::string name;  // "hull.tga", as the sample's materials name it
  std::vector<std::uint8_t> bytes;
};

std::vector<SampleTexture> SampleTextures();

#endif  // QM_SAMPLES_SAMPLETEXTURES_H
