// Placeholder: replaced when this codec is built.
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {

int LoadOff(ModelData&, FILE*) {
  LogMessage("LoadOff: not built yet\n", LOG_ERROR);
  return 0;
}

int SaveOff(ModelData&, FILE*) {
  LogMessage("SaveOff: not built yet\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
