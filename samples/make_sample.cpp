// Writes the sample model to the path given: make_sample samples/sample.msh
#include <cstdio>

#include "SampleFile.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUT.msh\n");
    return 2;
  }
  if (!SaveMsh(WriteMsh(SampleFile()), argv[1])) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
