// The preview's drawing: the fixed-function OpenGL that paints a prepared
// model or picture into whatever context is current. No widget toolkit
// here, so the window's preview and the desktop thumbnailer draw the same
// picture of a file.
#pragma once

#include <cstdint>
#include <vector>

#include "core/conversion_settings.h"
#include "ui/preview_navigation.h"

namespace zepcon {
class BitmapData;
class ModelData;
}  // namespace zepcon

namespace zepcon::ui {

// A square RGBA texture, side x side pixels, ready to upload.
struct TexturePixels {
  uint32_t side = 0;
  std::vector<uint8_t> pixels;
};

// The model's textures scaled to square power-of-two sides. A texture that
// cannot be read stays blank; false (logged) only when memory runs out.
bool PrepareModelTextures(ModelData& model, std::vector<TexturePixels>& textures);

// A picture as one texture and where it lies in it.
struct PictureTexture {
  TexturePixels texture;
  double extent_u = 1.0, extent_v = 1.0;  // picture size over texture size
  double half_x = 1.0, half_y = 1.0;      // half extents of the drawn quad
};

// The picture (turned to RGBA, halved until it fits the texture limit) laid
// into a texture; false when it cannot be read.
bool PreparePictureTexture(BitmapData& picture, PictureTexture& prepared);

// Uploads one texture into the current context; its name.
unsigned CreateTexture(const TexturePixels& texture);

// What a model picture needs besides the model.
struct ModelScene {
  const OptionsRecord* options = nullptr;
  ViewParams view;
  const std::vector<unsigned>* textures = nullptr;  // uploaded names, by texture index
  bool textures_present = false;
  float frame = 0.0f;
  bool animated = false;
  // Clear alpha: 1 for an opaque window picture, 0 for a thumbnail whose
  // background shows through.
  float clear_alpha = 1.0f;
  // A light from above the viewer's shoulder instead of the preview's own,
  // whose direction is zero in the rotating view: faces turned differently
  // then differ in brightness, which a small still picture needs.
  bool shoulder_light = false;
};

// Clears and draws the model (joints, bones, polygons, optionally points)
// through the current viewport.
void DrawModelScene(ModelData& model, const ModelScene& scene);

// Clears and draws the picture's texture with its corner marks.
void DrawPictureScene(const OptionsRecord& options, const ViewParams& view, unsigned texture,
                      const PictureTexture& prepared);

}  // namespace zepcon::ui
