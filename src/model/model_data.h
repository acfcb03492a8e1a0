// The in-memory 3D model. (Placeholder until the geometry store lands: the
// pipeline needs only the members below.)
#pragma once

#include "core/conversion_settings.h"
#include "core/segment_pool.h"

namespace zepcon {

class ModelData {
 public:
  ConversionSettings settings{};

  int InitData();
  int DestroyData();
  int CheckModel();

 private:
  SegmentPool pool_;
};

}  // namespace zepcon
