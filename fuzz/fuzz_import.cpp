// ./build-fuzz/fuzz/fuzz_import -rss_limit_mb=512 -malloc_limit_mb=256 -dict=fuzz/msh.dict build-fuzz/fuzz/corpus/fuzz_import build-fuzz/fuzz/seeds
//
// A file of any bytes through FileBuffer and ImportMeshFile into the stand-in
// host model, which is checked and freed afterwards, and through check's walk
// of the same bytes, which must find what the import found.
#include <cstddef>
#include <cstdint>

#include "FuzzModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ImportBytes(data, size);
  return 0;
}
