// Thumbnails for the desktop: a picture scaled down to fit, or a model drawn
// by the preview's drawing code into an offscreen context, lit and framed by
// its bounding box, on a transparent background.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zepcon::ui {

// RGBA pixels, top row first.
struct Thumbnail {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

inline constexpr uint32_t kMaxThumbnailSide = 1024;

// Loads `path` as the type its contents (or name) say and draws it with no
// side above `size` (1 to kMaxThumbnailSide); pictures smaller than that
// keep their size. False with the reason in `error`.
bool MakeThumbnail(const std::string& path, uint32_t size, Thumbnail& thumbnail, std::string& error);

// The picture shrunk by averaging to fit a size x size square, keeping its
// proportions; the colour of a pixel is averaged over the covered part only,
// so transparent surroundings do not darken the edges. Pictures that fit
// already come back unchanged.
Thumbnail ShrinkToFit(const Thumbnail& source, uint32_t size);

// Writes the thumbnail as a PNG file, replacing `path` in one step.
bool WriteThumbnailPng(const Thumbnail& thumbnail, const std::string& path, std::string& error);

}  // namespace zepcon::ui
