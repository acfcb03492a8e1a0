// seeds: models/ff7 models/ff7/cloud_field
// FF7 battle skeleton loader on arbitrary bytes: never a crash, a hang or a read past the
// data; what loads is checked and saved as OFF. The companion files it
// names are looked for in a folder that does not exist, so the input never
// reaches files of the machine it runs on.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"
#include "model/model_data.h"

namespace {

void Prepare(zepcon::ModelData& model, size_t) {
  zepcon::fuzz::PlaceInMissingFolder(model, "RTAA", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadFf7Battle, zepcon::SaveOff, Prepare);
}
