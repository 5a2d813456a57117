// ./build-fuzz/fuzz/fuzz_import_save -rss_limit_mb=512 -malloc_limit_mb=256 -dict=fuzz/msh.dict build-fuzz/fuzz/corpus/fuzz_import_save build-fuzz/fuzz/seeds
//
// A file of any bytes imported as fuzz_import does, then saved in every format
// qmhost writes, so the savers meet whatever a file can make: NaNs and
// infinities, empty meshes, names of raw bytes, meshes without a material,
// level and marker names that only look like the structure they name. The
// OBJ and MTL text is read line by line as it is written: no name may start a
// line of its own.
#include <cstddef>
#include <cstdint>

#include "FuzzModel.h"
#include "FuzzSave.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qmModelPtr model = ImportBytes(data, size);
  SaveEveryFormat(model.get());
  return 0;
}
