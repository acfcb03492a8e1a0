// seeds: models/raw
// Raw 3d loader on arbitrary bytes; what loads is checked and saved again.
#include <cstdio>

#include "formats3d/model_codecs.h"
#include "fuzz_support.h"
#include "model/model_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zepcon::fuzz::QuietLog();
  FILE* file = zepcon::fuzz::OpenBytes(data, size);
  if (!file) return 0;
  static zepcon::ModelData model;
  if (!model.InitData()) __builtin_trap();
  const int loaded = zepcon::LoadRaw(model, file);
  std::fclose(file);
  if (loaded) {
    model.CheckModel();
    if (FILE* sink = std::fopen("/dev/null", "wb")) {
      zepcon::SaveRaw(model, sink);
      std::fclose(sink);
    }
  }
  model.DestroyData();
  return 0;
}
