// seeds: models/3dm
// Rhinoceros loader on arbitrary bytes: never a crash, a hang, a read past
// the data or an allocation the bytes do not justify; what loads is checked
// (the type has no saver).
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::Load3dm, nullptr);
}
