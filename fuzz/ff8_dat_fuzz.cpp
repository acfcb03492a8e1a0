// seeds: models/dat models/dat/edge
// FF8 battle model loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is checked and saved as OFF. Its textures are
// inside the file, so nothing outside the input is opened.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadFf8Dat, zepcon::SaveOff);
}
