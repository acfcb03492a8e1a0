// seeds: pictures/png
// PNG loader on arbitrary bytes: never a crash, a hang or a read past the
// data; what loads is whole and is saved again as PNG.
#include "fuzz_support.h"
#include "picture/picture_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzPictureLoader(data, size, zepcon::LoadPng, zepcon::SavePng);
}
