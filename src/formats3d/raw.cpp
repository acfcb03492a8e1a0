// Placeholder: replaced when this codec is built.
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {

int LoadRaw(ModelData&, FILE*) {
  LogMessage("LoadRaw: not built yet\n", LOG_ERROR);
  return 0;
}

int SaveRaw(ModelData&, FILE*) {
  LogMessage("SaveRaw: not built yet\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
