// Virtua Fighter 1 models (.bin). Nothing public describes how these files
// lay out their geometry, and they carry no header to tell them by, so a
// file of this type is refused rather than read by guesswork.
#include <cstdio>

#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {

int LoadBin(ModelData& model, FILE* file) {
  (void)model;
  (void)file;
  LogMessage("Loading Virtua Fighter 1 bin...\n", LOG_MAJOR);
  LogMessage("LoadBin: the Virtua Fighter 1 model layout has no public description; nothing loaded\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
