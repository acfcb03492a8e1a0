// seeds: models/flt
// Open Flight loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is checked (the type has no saver). References
// to other files are looked up beside the working folder and are absent.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadFlt, nullptr);
}
