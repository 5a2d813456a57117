// Writes the sample model and, beside it, its textures:
//   make_sample samples/sample.msh     (also samples/hull.tga, glass.tga, ...)
#include <cstdio>
#include <fstream>
#include <string>

#include "GeneratorCommandLine.h"
#include "SampleFile.h"
#include "SampleTextures.h"

int main(int argc, char** argv) {
  int status = 0;
  const std::string path =
      GeneratorPath(argc, argv,
                    "Writes the sample model, samples/sample.msh, and its textures (hull.tga, "
                    "...) beside it.",
                    "OUT.msh", "The file to write", status);
  if (path.empty()) return status;
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
