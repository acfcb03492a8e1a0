// Conversions of a picture in place: every mode change goes through red,
// green, blue, alpha of 8 bits each, in runs of 1,000 pixels.
#include <cstring>

#include "core/log.h"
#include "picture/bitmap_data.h"

namespace zepcon {

namespace {

constexpr uint32_t kRunPixels = 1000;

struct Rgba {
  uint8_t red, green, blue, alpha;
};

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void Write16(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

uint8_t Field5(uint32_t value, int shift) { return static_cast<uint8_t>(((value >> shift) & 31) << 3); }
uint8_t Field6(uint32_t value, int shift) { return static_cast<uint8_t>(((value >> shift) & 63) << 2); }

// Source layouts that can be expanded: 2..15.
void ExpandRun(uint32_t mode, const uint8_t* in, uint32_t count, const uint8_t* palette, Rgba* out) {
  switch (mode) {
    case MODE_PALETTE_8BIT:
      for (uint32_t i = 0; i < count; ++i) std::memcpy(&out[i], palette + in[i] * 4, 4);
      break;
    case MODE_GRAY_8BIT:
      for (uint32_t i = 0; i < count; ++i) out[i] = {in[i], in[i], in[i], 255};
      break;
    case MODE_GRAY_ALPHA_88:
      for (uint32_t i = 0; i < count; ++i) out[i] = {in[2 * i], in[2 * i], in[2 * i], in[2 * i + 1]};
      break;
    case MODE_RGB565:
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t v = Read16(in + 2 * i);
        out[i] = {Field5(v, 0), Field6(v, 5), Field5(v, 11), 255};
      }
      break;
    case MODE_BGR565:
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t v = Read16(in + 2 * i);
        out[i] = {Field5(v, 11), Field6(v, 5), Field5(v, 0), 255};
      }
      break;
    case MODE_RGB555:
    case MODE_RGBA5551:
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t v = Read16(in + 2 * i);
        const uint8_t alpha = (mode == MODE_RGBA5551 && (v & 0x8000)) ? 0 : 255;
        out[i] = {Field5(v, 0), Field5(v, 5), Field5(v, 10), alpha};
      }
      break;
    case MODE_BGRA5551:
    case MODE_BGRA5551_AFLIP:
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t v = Read16(in + 2 * i);
        const bool top_bit = (v & 0x8000) != 0;
        const uint8_t alpha = (mode == MODE_BGRA5551) ? (top_bit ? 0 : 255) : (top_bit ? 255 : 0);
        out[i] = {Field5(v, 10), Field5(v, 5), Field5(v, 0), alpha};
      }
      break;
    case MODE_RGB888:
      for (uint32_t i = 0; i < count; ++i) out[i] = {in[3 * i], in[3 * i + 1], in[3 * i + 2], 255};
      break;
    case MODE_BGR888:
      for (uint32_t i = 0; i < count; ++i) out[i] = {in[3 * i + 2], in[3 * i + 1], in[3 * i], 255};
      break;
    case MODE_RGBA8888:
      std::memcpy(out, in, size_t{count} * 4);
      break;
    case MODE_BGRA8888:
      for (uint32_t i = 0; i < count; ++i) out[i] = {in[4 * i + 2], in[4 * i + 1], in[4 * i], in[4 * i + 3]};
      break;
    case MODE_ARGB8888:
      for (uint32_t i = 0; i < count; ++i) out[i] = {in[4 * i + 1], in[4 * i + 2], in[4 * i + 3], in[4 * i]};
      break;
    default:
      break;
  }
}

uint8_t Gray(const Rgba& p) { return static_cast<uint8_t>((p.red + p.green + p.blue) / 3); }

uint32_t Pack555(const Rgba& p) { return (p.red >> 3) | ((p.green >> 3) << 5) | ((p.blue >> 3) << 10); }

bool PackableDestination(uint32_t mode) {
  switch (mode) {
    case MODE_GRAY_8BIT:
    case MODE_GRAY_ALPHA_88:
    case MODE_RGB555:
    case MODE_RGBA5551:
    case MODE_RGB888:
    case MODE_BGR888:
    case MODE_RGBA8888:
    case MODE_BGRA8888:
    case MODE_ARGB8888:
      return true;
    default:
      return false;
  }
}

// Destination layouts: those PackableDestination accepts.
void PackRun(uint32_t mode, const Rgba* in, uint32_t count, uint8_t* out) {
  switch (mode) {
    case MODE_GRAY_8BIT:
      for (uint32_t i = 0; i < count; ++i) out[i] = Gray(in[i]);
      break;
    case MODE_GRAY_ALPHA_88:
      for (uint32_t i = 0; i < count; ++i) {
        out[2 * i] = Gray(in[i]);
        out[2 * i + 1] = in[i].alpha;
      }
      break;
    case MODE_RGB555:
      for (uint32_t i = 0; i < count; ++i) Write16(out + 2 * i, Pack555(in[i]));
      break;
    case MODE_RGBA5551:
      // Only alpha 255 counts as opaque.
      for (uint32_t i = 0; i < count; ++i) Write16(out + 2 * i, Pack555(in[i]) | (in[i].alpha < 255 ? 0x8000 : 0));
      break;
    case MODE_RGB888:
      for (uint32_t i = 0; i < count; ++i) {
        out[3 * i] = in[i].red;
        out[3 * i + 1] = in[i].green;
        out[3 * i + 2] = in[i].blue;
      }
      break;
    case MODE_BGR888:
      for (uint32_t i = 0; i < count; ++i) {
        out[3 * i] = in[i].blue;
        out[3 * i + 1] = in[i].green;
        out[3 * i + 2] = in[i].red;
      }
      break;
    case MODE_RGBA8888:
      std::memcpy(out, in, size_t{count} * 4);
      break;
    case MODE_BGRA8888:
      for (uint32_t i = 0; i < count; ++i) {
        out[4 * i] = in[i].blue;
        out[4 * i + 1] = in[i].green;
        out[4 * i + 2] = in[i].red;
        out[4 * i + 3] = in[i].alpha;
      }
      break;
    case MODE_ARGB8888:
      for (uint32_t i = 0; i < count; ++i) {
        out[4 * i] = in[i].alpha;
        out[4 * i + 1] = in[i].red;
        out[4 * i + 2] = in[i].green;
        out[4 * i + 3] = in[i].blue;
      }
      break;
    default:
      break;
  }
}

struct AlphaRules {
  bool alpha_zero_to_pink;  // alpha lost: transparent pixels become pink
  bool pink_to_alpha_zero;  // alpha gained: pink pixels become transparent
  bool clear_alpha;         // alpha not activated: destination alpha is 0
};

void ApplyAlphaRules(const AlphaRules& rules, Rgba* pixels, uint32_t count) {
  if (rules.alpha_zero_to_pink) {
    for (uint32_t i = 0; i < count; ++i)
      if (pixels[i].alpha == 0) pixels[i] = {255, 0, 255, pixels[i].alpha};
  }
  if (rules.pink_to_alpha_zero) {
    for (uint32_t i = 0; i < count; ++i)
      if (pixels[i].red == 255 && pixels[i].green == 0 && pixels[i].blue == 255) pixels[i].alpha = 0;
  }
  if (rules.clear_alpha) {
    for (uint32_t i = 0; i < count; ++i) pixels[i].alpha = 0;
  }
}

}  // namespace

int BitmapData::BitmapConvertToMode(uint32_t destination, uint32_t flags) {
  const uint32_t source = mode_;
  LogFormatted(LOG_DETAIL, "Converting from color depth %u to %u - ", source, destination);
  if (source < 1 || source >= kModeCount || destination < 1 || destination >= kModeCount) {
    LogMessage("Bad mode\n", LOG_ERROR);
    return 0;
  }
  LogFormatted(LOG_DETAIL, "%s => %s ...", ModeName(source), ModeName(destination));
  if ((source == destination && (flags & CONVERT_SKIP_SAME_MODE)) ||
      (source == MODE_PALETTE_8BIT && destination == MODE_PALETTE_8BIT)) {
    LogMessage("No need for that\n", LOG_DETAIL);
    return 1;
  }
  if (source == MODE_PALETTE_4BIT) {
    LogMessage("Conversion from this BitmapMode is not supported yet...\n", LOG_DETAIL);
    return 0;
  }
  if (!PackableDestination(destination)) {
    LogMessage("Conversion to this BitmapMode is not supported yet...\n", LOG_ERROR);
    if (destination == MODE_PALETTE_8BIT)
      LogMessage("Source bitmap has to be 256 color paletted bitmap too.\n", LOG_ERROR);
    return 0;
  }
  // Room for the widest layout, so every run converts in place.
  if (!pool_.Resize(pixel_segment_, pixel_count_ * 4)) {
    LogMessage("BitmapConvertToMode: error\n", LOG_ERROR);
    return 0;
  }

  // An alpha that is not activated is ignored: losing it turns nothing
  // pink (the fix stage has zeroed it by then, which would make the whole
  // picture pink).
  const AlphaRules rules = {
      settings.alpha_zero_to_pink != 0 && settings.alpha_activated != 0 && ModeHasAlpha(source) &&
          !ModeHasAlpha(destination),
      settings.pink_to_alpha_zero != 0 && !ModeHasAlpha(source) && ModeHasAlpha(destination),
      settings.alpha_activated == 0 && ModeHasAlpha(destination),
  };
  uint8_t palette[kPaletteEntries * 4];
  pool_.Read(palette_segment_, 0, sizeof palette, palette);

  // Bytes per pixel never fall as the mode number rises: shrinking runs go
  // forwards, growing ones backwards, so no run overwrites unread pixels.
  const uint32_t run_count = pixel_count_ / kRunPixels + 1;
  const bool forwards = source > destination;
  Rgba work[kRunPixels];
  for (uint32_t step = 0; step < run_count; ++step) {
    const uint32_t run = forwards ? step : run_count - 1 - step;
    const uint32_t first = run * kRunPixels;
    const uint32_t count = (first + kRunPixels > pixel_count_) ? pixel_count_ - first : kRunPixels;
    mode_ = source;
    if (!GetPixels(first, count, line_buffer_)) {
      LogMessage("BitmapConvertToMode: error\n", LOG_ERROR);
      return 0;
    }
    ExpandRun(source, line_buffer_, count, palette, work);
    ApplyAlphaRules(rules, work, count);
    PackRun(destination, work, count, line_buffer_);
    mode_ = destination;
    if (!SetPixels(first, count, line_buffer_)) {
      LogMessage("BitmapConvertToMode: error\n", LOG_ERROR);
      return 0;
    }
  }
  mode_ = destination;
  LogMessage("Ok\n", LOG_DETAIL);
  return 1;
}

namespace {

// Converts to the working layout and applies `change` to every pixel, in
// runs of at most 1,000 pixels.
template <typename Change>
int ChangeEveryPixel(BitmapData& picture, Change change) {
  if (picture.Mode() != MODE_RGBA8888) picture.BitmapConvertToMode(MODE_RGBA8888, 0);
  if (picture.Mode() != MODE_RGBA8888) {
    LogMessage(" could not convert to RGBA\n", LOG_ERROR);
    return 0;
  }
  uint8_t* buffer = picture.LineBuffer();
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; first < total; first += kRunPixels) {
    const uint32_t count = total - first < kRunPixels ? total - first : kRunPixels;
    if (!picture.GetPixels(first, count, buffer)) return 0;
    for (uint32_t i = 0; i < count; ++i) change(buffer + 4 * i);
    if (!picture.SetPixels(first, count, buffer)) return 0;
  }
  LogMessage("done\n", LOG_DETAIL);
  return 1;
}

}  // namespace

int BitmapData::AlphaToGray() {
  LogMessage("Converting bitmap alpha to gray..", LOG_DETAIL);
  return ChangeEveryPixel(*this, [](uint8_t* p) { p[0] = p[1] = p[2] = p[3]; });
}

int BitmapData::InvertColors() {
  LogMessage("Inverting bitmap..", LOG_DETAIL);
  return ChangeEveryPixel(*this, [](uint8_t* p) {
    p[0] = static_cast<uint8_t>(255 - p[0]);
    p[1] = static_cast<uint8_t>(255 - p[1]);
    p[2] = static_cast<uint8_t>(255 - p[2]);
  });
}

int BitmapData::Resize(uint32_t new_size_x, uint32_t new_size_y) {
  LogMessage("  resizing..", LOG_DETAIL);
  if (mode_ == MODE_PALETTE_4BIT) {
    LogMessage("not possible on this mode\n", LOG_ERROR);
    return 0;
  }
  const uint32_t old_x = size_x_;
  const uint32_t old_y = size_y_;
  const uint32_t bytes = StorageBytesPerPixel(mode_) ? StorageBytesPerPixel(mode_) : 1;
  const uint64_t old_bytes = uint64_t{old_x} * old_y * bytes;
  if (uint64_t{new_size_x} * new_size_y > 0 && old_bytes == 0) {
    LogMessage("nothing to resample from\n", LOG_ERROR);
    return 0;
  }
  LogMessage("allocating..", LOG_DETAIL);
  if (old_bytes > pool_.SegmentSize(pixel_segment_) ||
      !pool_.Resize(resize_segment_, static_cast<uint32_t>(old_bytes))) {
    LogMessage("error allocating memory\n", LOG_ERROR);
    return 0;
  }
  LogMessage("copying..", LOG_DETAIL);
  if (old_bytes) std::memcpy(pool_.SegmentData(resize_segment_), PixelStorage(), old_bytes);
  LogMessage("reiniting..", LOG_DETAIL);
  if (!InitPicture(new_size_x, new_size_y, mode_)) {
    pool_.Resize(resize_segment_, 0);
    return 0;
  }
  LogMessage("resampling..", LOG_DETAIL);
  const uint8_t* old_pixels = pool_.SegmentData(resize_segment_);
  uint8_t* target = PixelStorage();
  for (uint32_t y = 0; y < new_size_y; ++y) {
    const auto source_row = static_cast<uint32_t>(static_cast<double>(y) / new_size_y * old_y);
    const uint8_t* row = old_pixels + uint64_t{source_row} * old_x * bytes;
    for (uint32_t x = 0; x < new_size_x; ++x) {
      const auto source_column = static_cast<uint32_t>(static_cast<double>(x) / new_size_x * old_x);
      std::memcpy(target, row + uint64_t{source_column} * bytes, bytes);
      target += bytes;
    }
  }
  LogMessage("freeing..", LOG_DETAIL);
  if (pool_.Resize(resize_segment_, 0))
    LogMessage("done\n", LOG_DETAIL);
  else
    LogMessage("error freeing memory\n", LOG_ERROR);
  return 1;
}

// The fix stage. With "Alpha activated" off a picture that has alpha runs
// the full same-mode conversion, so its alpha follows the same rule as in
// every saver's conversion (all 0), whether or not the saver converts.
int BitmapData::RemoveAlpha() {
  if (settings.alpha_activated == 0 && mode_ < kModeCount && ModeHasAlpha(mode_)) {
    LogMessage("Removing alpha from bitmap...\n", LOG_DETAIL);
    BitmapConvertToMode(mode_, 0);
  }
  return 1;
}

}  // namespace zepcon
