// The in-memory picture. (Placeholder until the picture container lands: the
// pipeline needs only the members below.)
#pragma once

#include "core/conversion_settings.h"
#include "core/segment_pool.h"

namespace zepcon {

class BitmapData {
 public:
  ConversionSettings settings{};

  int InitData();
  int DestroyData();
  int RemoveAlpha();

 private:
  SegmentPool pool_;
};

}  // namespace zepcon
