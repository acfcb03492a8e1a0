// JPEG loader and saver. The library calls and their error recovery live in
// jpeg_glue.c; this side checks sizes, chooses the pixel layout and moves
// rows between the library and the picture through its line buffer.
#include <cstdint>
#include <cstdio>

#include <vector>

#include "core/byte_reader.h"
#include "core/fail.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/jpeg_glue.h"
#include "picture/jpeg_memory.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr int kSaveQuality = 100;

struct DecodeTarget {
  BitmapData* picture;
  int colour_model;
  uint32_t width;
};

uint32_t ModeForComponents(int components) {
  switch (components) {
    case 1:
      return MODE_GRAY_8BIT;
    case 3:
      return MODE_RGB888;
    case 4:
      return MODE_BGRA8888;
    default:
      return MODE_UNDEFINED;
  }
}

unsigned char* OnDecodeStart(void* context, const ZjpegImageInfo* info) {
  DecodeTarget& target = *static_cast<DecodeTarget*>(context);
  const uint64_t row_bytes = uint64_t{static_cast<uint32_t>(info->components)} * info->width;
  if (row_bytes >= BitmapData::kLineBufferSize) {
    LogMessage("One line would not fit into buffer, exiting\n", LOG_ERROR);
    return nullptr;
  }
  LogFormatted(LOG_DETAIL, " picture %lu x %lu, %lu streams\n", static_cast<unsigned long>(info->width),
               static_cast<unsigned long>(info->height), static_cast<unsigned long>(info->components));
  const uint32_t mode = ModeForComponents(info->components);
  if (mode == MODE_UNDEFINED) {
    LogFormatted(LOG_ERROR, "Error, uknown number of streams (%i)\n", info->components);
    return nullptr;
  }
  if (!target.picture->InitPicture(info->width, info->height, mode)) return nullptr;
  target.colour_model = info->colour_model;
  target.width = info->width;
  LogMessage(" reading image\n", LOG_DETAIL);
  return target.picture->LineBuffer();
}

// Inverted CMYK (as written by Adobe applications, and what the library makes
// of YCCK) into blue, green, red, opaque: each colour is its inverted ink
// times the inverted black.
void InvertedCmykRowToBgra(uint8_t* row, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) {
    uint8_t* pixel = row + uint64_t{x} * 4;
    const unsigned cyan = pixel[0], magenta = pixel[1], yellow = pixel[2], black = pixel[3];
    pixel[0] = static_cast<uint8_t>((yellow * black + 127) / 255);
    pixel[1] = static_cast<uint8_t>((magenta * black + 127) / 255);
    pixel[2] = static_cast<uint8_t>((cyan * black + 127) / 255);
    pixel[3] = 255;
  }
}

// The row arrives in the picture's line buffer (handed out by OnDecodeStart).
int OnDecodedRow(void* context, unsigned row, const unsigned char*) {
  DecodeTarget& target = *static_cast<DecodeTarget*>(context);
  uint8_t* line = target.picture->LineBuffer();
  if (target.colour_model == ZJPEG_CMYK_INVERTED) InvertedCmykRowToBgra(line, target.width);
  if (!target.picture->SetPixels(row * target.width, target.width, line)) {
    LogFormatted(LOG_ERROR, "Could not store row %u\n", row);
    return 0;
  }
  return 1;
}

void LogDecodeFailure(const ZjpegResult& result) {
  switch (result.status) {
    case ZJPEG_LIBRARY_ERROR:
      LogFormatted(LOG_ERROR, "Jpeg err:(%s)", result.message);
      LogMessage(" ... exiting\n", LOG_ERROR);
      break;
    case ZJPEG_BAD_HEADER:
      LogMessage("Error reading header\n", LOG_ERROR);
      break;
    case ZJPEG_START_FAILED:
      LogMessage("Error starting decompress\n", LOG_ERROR);
      break;
    case ZJPEG_TOO_LARGE:
      LogFormatted(LOG_ERROR, "Picture of %u x %u pixels is larger than the file can hold, exiting\n",
                   result.declared_width, result.declared_height);
      break;
    case ZJPEG_ROWS_FAILED:
      LogMessage("Error reading image rows\n", LOG_ERROR);
      break;
    default:
      break;  // a refusing callback has logged its reason
  }
}

// The stream's bytes are all in memory: the library reads nothing but them.
int DecodeStream(BitmapData& picture, const uint8_t* data, size_t size) {
  DecodeTarget target{&picture, 0, 0};
  ZjpegResult result;
  LogMessage(" reading header\n", LOG_DETAIL);
  ZjpegDecode(data, size, &target, OnDecodeStart, OnDecodedRow, &result);
  if (result.status != ZJPEG_OK) {
    LogDecodeFailure(result);
    return 0;
  }
  if (result.warnings)
    LogFormatted(LOG_DETAIL, " jpeg data damaged, repaired where possible (%u warnings, the first: %s)\n", result.warnings, result.first_warning);
  LogMessage("...jpg loaded\n", LOG_MAJOR);
  return 1;
}

struct EncodeSource {
  BitmapData* picture;
};

void OnEncodeStage(void*, int stage) {
  switch (stage) {
    case ZJPEG_STAGE_CREATED:
      LogMessage(" compress created\n", LOG_DETAIL);
      break;
    case ZJPEG_STAGE_DESTINATION:
      LogMessage(" destination assigned\n", LOG_DETAIL);
      break;
    case ZJPEG_STAGE_WRITING:
      LogMessage(" writing .. ", LOG_DETAIL);
      break;
    case ZJPEG_STAGE_FINISHING:
      LogMessage("finished.\n", LOG_DETAIL);
      break;
    default:
      break;
  }
}

int OnEncodeRow(void* context, unsigned row, unsigned char* pixels) {
  BitmapData& picture = *static_cast<EncodeSource*>(context)->picture;
  if (!picture.GetPixels(row * picture.SizeX(), picture.SizeX(), pixels)) {
    LogFormatted(LOG_ERROR, "Could not read row %u\n", row);
    return 0;
  }
  return 1;
}

}  // namespace

int LoadJpeg(BitmapData& picture, FILE* file) {
  LogMessage("Loading jpg...\n", LOG_MAJOR);
  if (file == nullptr) return Fail("LoadJpeg: no file\n");
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "jpg")) return 0;
  return DecodeStream(picture, bytes.data(), bytes.size());
}

int LoadJpegFromMemory(BitmapData& picture, const uint8_t* data, size_t size) {
  LogMessage("Loading jpg...\n", LOG_MAJOR);
  return DecodeStream(picture, data, size);
}

int SaveJpeg(BitmapData& picture, FILE* file) {
  LogMessage("Saving jpg...\n", LOG_MAJOR);
  if (file == nullptr) {
    LogMessage("SaveJpeg: no file\n", LOG_ERROR);
    return 0;
  }
  if (!picture.BitmapConvertToMode(MODE_RGB888, 0)) return 0;
  if (uint64_t{picture.SizeX()} * 3 > BitmapData::kLineBufferSize) {
    LogMessage(" Can not save to jpeg, size x is too big.\n", LOG_ERROR);
    return 0;
  }
  EncodeSource source{&picture};
  ZjpegResult result;
  ZjpegEncode(file, picture.SizeX(), picture.SizeY(), kSaveQuality, picture.LineBuffer(), &source,
              OnEncodeStage, OnEncodeRow, &result);
  if (result.status == ZJPEG_LIBRARY_ERROR) {
    LogFormatted(LOG_ERROR, "Jpeg err:(%s)", result.message);
    LogMessage(" ... exiting\n", LOG_ERROR);
    return 0;
  }
  if (result.status != ZJPEG_OK) return 0;
  LogMessage("...jpg saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
