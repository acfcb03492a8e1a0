// seeds: models/m
// Re-Volt mesh loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is checked (the type has no saver).
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

namespace {

// The type has no saver: nothing is written.
int NoSaver(zepcon::ModelData&, FILE*) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadM, NoSaver);
}
