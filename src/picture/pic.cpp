// "Pic" pictures are recognised by their header but not read.
#include <cstdio>

#include "core/log.h"
#include "picture/picture_codecs.h"

namespace zepcon {

int LoadPic(BitmapData&, FILE*) {
  LogMessage("Loading pic...\n", LOG_MAJOR);
  LogMessage("unusupported\n", LOG_MAJOR);
  return 0;
}

}  // namespace zepcon
