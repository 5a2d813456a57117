// Writes the whole-process benchmark's input: make_bench_files DIR [--small]
// writes DIR/big.msh, the big file of BenchFiles.h with its 16 meshes in
// detail level 0, so that a save with qmhost's defaults holds all of it, and
// DIR/batch/00.msh to 15.msh, the folder a convert takes.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "BenchFiles.h"
#include "MshWriter.h"

int main(int argc, char** argv) {
  const bool small = argc == 3 && std::strcmp(argv[2], "--small") == 0;
  if (argc < 2 || argc > 3 || (argc == 3 && !small) || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: make_bench_files DIR [--small]\n");
    return 2;
  }
  const std::string path = std::string(argv[1]) + "/big.msh";
  if (!SaveMsh(MakeBigFile(small, true), path)) {
    std::fprintf(stderr, "make_bench_files: cannot write %s\n", path.c_str());
    return 1;
  }
  const std::string batch = std::string(argv[1]) + "/batch";
  ::mkdir(batch.c_str(), 0777);
  for (int n = 0; n < 16; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "/%02d.msh", n);
    if (!SaveMsh(MakeBatchFile(n, small), batch + name)) {
      std::fprintf(stderr, "make_bench_files: cannot write %s%s\n", batch.c_str(), name);
      return 1;
    }
  }
  return 0;
}
