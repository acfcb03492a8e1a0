// seeds: models/x models/x/dwarf models/x/earth models/x/kwxport_cube models/x/test
// DirectX text loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is checked.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadX, nullptr);
}
