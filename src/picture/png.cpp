// PNG loader and saver. The library calls and their error recovery live in
// png_glue.c; this side chooses the pixel layout, keeps palettes and their
// transparency, and moves rows between the library and the picture.
//
// Read: gray, gray+alpha, RGB, RGBA and paletted pictures of every depth,
// interlaced or not, as 8 bits per channel (16-bit samples are scaled,
// 1/2/4-bit gray widened, a transparent colour key turned into alpha,
// linear samples encoded as sRGB).
// Written: 8 bits, not interlaced, in the layout nearest the picture's.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/fail.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture/png_glue.h"

namespace zepcon {

namespace {

// Files beyond this are refused before they are read into memory.
constexpr uint64_t kMaxFileBytes = uint64_t{256} << 20;

uint32_t ModeForLayout(int layout) {
  switch (layout) {
    case ZPNG_GRAY:
      return MODE_GRAY_8BIT;
    case ZPNG_GRAY_ALPHA:
      return MODE_GRAY_ALPHA_88;
    case ZPNG_RGB:
      return MODE_RGB888;
    case ZPNG_RGBA:
      return MODE_RGBA8888;
    case ZPNG_PALETTE:
      return MODE_PALETTE_8BIT;
    default:
      return MODE_UNDEFINED;
  }
}

const char* FileColourName(int colour_type) {
  switch (colour_type) {
    case 0:
      return "gray";
    case 2:
      return "RGB";
    case 3:
      return "paletted";
    case 4:
      return "gray+alpha";
    case 6:
      return "RGBA";
    default:
      return "unknown";
  }
}

struct DecodeTarget {
  BitmapData* picture;
  std::vector<uint8_t> row;
  uint32_t width = 0;
  bool linear_light = false;
};

// Linear-light samples (a file gamma of 1.0) encoded with the sRGB curve,
// the encoding every other picture of the program is shown in.
uint8_t EncodeLinear(uint8_t sample) {
  const double quantum = sample * 257.0;
  const double encoded = quantum <= 0.0031306684425005883 * 65535.0
                             ? 12.92 * quantum
                             : 65535.0 * (1.055 * std::pow(quantum / 65535.0, 1.0 / 2.4) - 0.055);
  const uint32_t rounded = static_cast<uint32_t>(std::clamp(encoded, 0.0, 65535.0) + 0.5);
  return static_cast<uint8_t>((rounded + 128 - ((rounded + 128) >> 8)) >> 8);
}

// Encodes the colour channels (never alpha) of the loaded picture, or of
// its palette.
int EncodeLinearPicture(BitmapData& picture) {
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = EncodeLinear(static_cast<uint8_t>(i));
  if (picture.Mode() == MODE_PALETTE_8BIT) {
    for (uint32_t i = 0; i < BitmapData::kPaletteEntries; ++i) {
      uint8_t red, green, blue, alpha;
      if (!picture.GetPaletteEntry(i, red, green, blue, alpha) ||
          !picture.SetPaletteEntry(i, table[red], table[green], table[blue], alpha))
        return 0;
    }
    return 1;
  }
  const uint32_t bytes = picture.BytesPerPixel();
  const uint32_t colours = picture.ModeHasAlpha(picture.Mode()) ? bytes - 1 : bytes;
  const uint32_t piece = BitmapData::kLineBufferSize / bytes;
  uint8_t* buffer = picture.LineBuffer();
  for (uint32_t first = 0; first < picture.PixelCount(); first += piece) {
    const uint32_t count = std::min(piece, picture.PixelCount() - first);
    if (!picture.GetPixels(first, count, buffer)) return 0;
    for (uint32_t i = 0; i < count; ++i)
      for (uint32_t c = 0; c < colours; ++c) buffer[i * bytes + c] = table[buffer[i * bytes + c]];
    if (!picture.SetPixels(first, count, buffer)) return 0;
  }
  return 1;
}

unsigned char* OnDecodeStart(void* context, const ZpngImageInfo* info) {
  DecodeTarget& target = *static_cast<DecodeTarget*>(context);
  LogFormatted(LOG_DETAIL, " png %u x %u, %d bits %s%s\n", info->width, info->height, info->file_bit_depth,
               FileColourName(info->file_colour_type), info->interlaced ? ", interlaced" : "");
  const uint32_t mode = ModeForLayout(info->layout);
  if (mode == MODE_UNDEFINED) {
    LogMessage("png: unknown pixel layout\n", LOG_ERROR);
    return nullptr;
  }
  if (!target.picture->InitPicture(info->width, info->height, mode)) return nullptr;
  if (mode == MODE_PALETTE_8BIT) {
    LogFormatted(LOG_DETAIL, " reading palette (%d entries)\n", info->palette_entries);
    for (uint32_t i = 0; i < BitmapData::kPaletteEntries; ++i) {
      const unsigned char* entry = info->palette[i];
      if (!target.picture->SetPaletteEntry(i, entry[0], entry[1], entry[2], entry[3])) return nullptr;
    }
  }
  target.width = info->width;
  target.linear_light = info->linear_light != 0;
  target.row.assign(info->row_bytes, 0);
  LogMessage(" reading image\n", LOG_DETAIL);
  return target.row.data();
}

int OnFetchRow(void* context, unsigned row, unsigned char* pixels) {
  DecodeTarget& target = *static_cast<DecodeTarget*>(context);
  return target.picture->GetPixels(row * target.width, target.width, pixels);
}

int OnDecodedRow(void* context, unsigned row, const unsigned char* pixels) {
  DecodeTarget& target = *static_cast<DecodeTarget*>(context);
  if (!target.picture->SetPixels(row * target.width, target.width, pixels)) {
    LogFormatted(LOG_ERROR, "png: could not store row %u\n", row);
    return 0;
  }
  return 1;
}

void LogDecodeFailure(const ZpngResult& result) {
  switch (result.status) {
    case ZPNG_LIBRARY_ERROR:
      LogFormatted(LOG_ERROR, "png: damaged file (%s)\n", result.message);
      break;
    case ZPNG_NOT_PNG:
      LogMessage("png: no PNG signature\n", LOG_ERROR);
      break;
    case ZPNG_TOO_LARGE:
      LogFormatted(LOG_ERROR, "png: picture of %u x %u pixels is empty or larger than the file can hold\n",
                   result.declared_width, result.declared_height);
      break;
    case ZPNG_UNSUPPORTED:
      LogMessage("png: unsupported colour type or bit depth\n", LOG_ERROR);
      break;
    default:
      break;  // a refusing callback has logged its reason
  }
}

// What the saver writes for a picture in each mode.
int LayoutForMode(uint32_t mode) {
  switch (mode) {
    case MODE_PALETTE_4BIT:
    case MODE_PALETTE_8BIT:
      return ZPNG_PALETTE;
    case MODE_GRAY_8BIT:
      return ZPNG_GRAY;
    case MODE_GRAY_ALPHA_88:
      return ZPNG_GRAY_ALPHA;
    case MODE_RGBA5551:
    case MODE_BGRA5551:
    case MODE_BGRA5551_AFLIP:
    case MODE_RGBA8888:
    case MODE_BGRA8888:
    case MODE_ARGB8888:
      return ZPNG_RGBA;
    default:
      return ZPNG_RGB;
  }
}

struct EncodeSource {
  BitmapData* picture;
  bool unpack_nibbles;  // 4-bit palette: packed two a byte, written one a byte
  std::vector<uint8_t> packed;
};

int OnEncodeRow(void* context, unsigned row, unsigned char* pixels) {
  EncodeSource& source = *static_cast<EncodeSource*>(context);
  BitmapData& picture = *source.picture;
  const uint32_t width = picture.SizeX();
  if (!source.unpack_nibbles) {
    if (picture.GetPixels(row * width, width, pixels)) return 1;
  } else if (picture.GetPixels(row * width, width, source.packed.data())) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t pair = source.packed[x / 2];
      pixels[x] = x % 2 ? pair >> 4 : pair & 0x0F;
    }
    return 1;
  }
  LogFormatted(LOG_ERROR, "png: can't read pixels of row %u\n", row);
  return 0;
}

// The palette as written: every entry up to the highest index in use, and
// transparency up to the last entry that is not opaque.
void FillPalette(const BitmapData& picture, ZpngWriteInfo& info) {
  const uint32_t entries = picture.Mode() == MODE_PALETTE_4BIT ? 16 : BitmapData::kPaletteEntries;
  info.palette_entries = static_cast<int>(entries);
  info.transparent_entries = 0;
  for (uint32_t i = 0; i < entries; ++i) {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
    picture.GetPaletteEntry(i, red, green, blue, alpha);
    info.palette[i][0] = red;
    info.palette[i][1] = green;
    info.palette[i][2] = blue;
    info.palette[i][3] = alpha;
    if (alpha != 255) info.transparent_entries = static_cast<int>(i + 1);
  }
}

}  // namespace

int LoadPng(BitmapData& picture, FILE* file) {
  LogMessage("Loading png...\n", LOG_MAJOR);
  if (file == nullptr) return Fail("LoadPng: no file\n");
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "png", kMaxFileBytes)) return 0;
  DecodeTarget target{&picture, {}, 0, false};
  ZpngResult result;
  LogMessage(" reading header\n", LOG_DETAIL);
  ZpngDecode(bytes.data(), bytes.size(), &target, OnDecodeStart, OnFetchRow, OnDecodedRow, &result);
  if (result.status != ZPNG_OK) {
    LogDecodeFailure(result);
    return 0;
  }
  if (target.linear_light) {
    LogMessage(" linear samples (gamma 1.0) encoded for display\n", LOG_DETAIL);
    if (!EncodeLinearPicture(picture)) return Fail("png: could not encode the linear samples\n");
  }
  if (result.end_error[0])
    LogFormatted(LOG_DETAIL, " damaged data after the pixels ignored (%s)\n", result.end_error);
  if (result.warnings)
    LogFormatted(LOG_DETAIL, " %u warnings, the first: %s\n", result.warnings, result.first_warning);
  LogMessage("...png loaded\n", LOG_MAJOR);
  return 1;
}

int SavePng(BitmapData& picture, FILE* file) {
  LogMessage("Saving png...\n", LOG_MAJOR);
  if (file == nullptr) return Fail("SavePng: no file\n");
  if (picture.SizeX() == 0 || picture.SizeY() == 0)
    return Fail("png: empty picture (%ux%u)\n", picture.SizeX(), picture.SizeY());
  const uint32_t mode = picture.Mode();
  const int layout = LayoutForMode(mode);
  // Every other layout is converted, which applies the alpha options.
  if (layout == ZPNG_RGB && mode != MODE_RGB888 && !picture.BitmapConvertToMode(MODE_RGB888, 0)) return 0;
  if (layout == ZPNG_RGBA && mode != MODE_RGBA8888 && !picture.BitmapConvertToMode(MODE_RGBA8888, 0)) return 0;
  ZpngWriteInfo info{};
  info.width = picture.SizeX();
  info.height = picture.SizeY();
  info.layout = layout;
  EncodeSource source{&picture, picture.Mode() == MODE_PALETTE_4BIT, {}};
  if (layout == ZPNG_PALETTE) FillPalette(picture, info);
  if (source.unpack_nibbles) source.packed.assign((size_t{info.width} + 1) / 2, 0);
  LogFormatted(LOG_DETAIL, " %u x %u, %s\n", info.width, info.height, picture.ModeName(picture.Mode()));
  std::vector<uint8_t> row(size_t{info.width} * (layout == ZPNG_PALETTE ? 1 : picture.BytesPerPixel()));
  LogMessage(" writing image\n", LOG_DETAIL);
  ZpngResult result;
  ZpngEncode(file, &info, row.data(), &source, OnEncodeRow, &result);
  if (result.status == ZPNG_LIBRARY_ERROR) return Fail("png: error writing (%s)\n", result.message);
  if (result.status == ZPNG_UNSUPPORTED) return Fail("png: cannot write this picture\n");
  if (result.status != ZPNG_OK) return 0;
  LogMessage("...png saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
