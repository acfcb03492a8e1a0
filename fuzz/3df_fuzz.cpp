// seeds: models/off models/raw
// Helion loader on arbitrary bytes: never a crash, a hang or a read past
// the data; what loads is checked and saved again. (No real files of this
// type are at hand; other text meshes seed it.)
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::Load3df, zepcon::Save3df);
}
