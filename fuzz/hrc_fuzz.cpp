// seeds: models/ff7 models/ff7/cloud_field
// FF7 field skeleton loader on arbitrary bytes: never a crash, a hang or a read past the
// data; what loads is checked and saved as OFF. The companion files it
// names are looked for in a folder that does not exist, so the input never
// reaches files of the machine it runs on.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"
#include "model/model_data.h"

namespace {

void Prepare(zepcon::ModelData& model, size_t size) {
  zepcon::fuzz::PlaceInMissingFolder(model, "skel", "hrc");
  model.settings.ff7_field_anims = static_cast<int32_t>(size % 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadHrc, zepcon::SaveOff, Prepare);
}
