// seeds: models/oni
// Oni character loader on arbitrary bytes: never a crash, a hang or a read
// past the data; the instances it links to are looked for in a folder that
// does not exist, so only the character's own bytes are exercised here.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadOncc, nullptr);
}
