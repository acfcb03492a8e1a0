// seeds:
// Virtua Fighter 1 loader on arbitrary bytes: it refuses every file, and
// must do so without a crash or a read past the data.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadBin, nullptr);
}
