// Writes the sample model to the path given: make_sample samples/sample.msh
#include <cstdio>

#include "GeneratorCommandLine.h"
#include "SampleFile.h"

int main(int argc, char** argv) {
  int status = 0;
  const std::string out = GeneratorPath(argc, argv, "Writes the sample model, samples/sample.msh.",
                                        "OUT.msh", "The file to write", status);
  if (out.empty()) return status;
  if (!SaveMsh(WriteMsh(SampleFile()), out)) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
