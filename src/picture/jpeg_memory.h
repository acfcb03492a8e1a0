// The JPEG loader on a stream held in memory (JPEG data embedded in other
// picture formats). Same result and log lines as LoadJpeg.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zepcon {

class BitmapData;

[[nodiscard]] int LoadJpegFromMemory(BitmapData& picture, const uint8_t* data, size_t size);

}  // namespace zepcon
