// Placeholder: replaced when this codec is built.
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

int LoadTga(BitmapData&, FILE*) {
  LogMessage("LoadTga: not built yet\n", LOG_ERROR);
  return 0;
}

int SaveTga(BitmapData&, FILE*) {
  LogMessage("SaveTga: not built yet\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
