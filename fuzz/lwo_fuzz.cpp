// seeds: models/lwo
// LightWave LWOB loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is checked and saved again in both LightWave forms.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

namespace {

// The object is saved in the older form, then (through the same fuzzing
// run's model, already turned and triangulated) in the later one.
int SaveBoth(zepcon::ModelData& model, FILE* file) {
  const int older = zepcon::SaveLwo(model, file);
  const int later = zepcon::SaveLwo2(model, file);
  return older && later;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadLwo, SaveBoth);
}
