// Writes the sample model and, beside it, its textures:
//   make_sample samples/sample.msh     (also samples/hull.tga, glass.tga, ...)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "SampleFile.h"
#include "SampleTextures.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr,
                 "usage: make_sample OUT.msh\n"
                 "writes the sample model to OUT.msh and its textures (hull.tga, ...) beside it\n");
    return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
  }
  const std::string path = argv[1];
  if (!SaveMsh(WriteMsh(SampleFile()), path)) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", path.c_str());
    return 1;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  for (const SampleTexture& texture : SampleTextures()) {
    const std::string file = folder + texture.name;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(texture.bytes.data()),
              static_cast<std::streamsize>(texture.bytes.size()));
    if (!out.flush()) {
      std::fprintf(stderr, "make_sample: cannot write %s\n", file.c_str());
      return 1;
    }
  }
  return 0;
}
