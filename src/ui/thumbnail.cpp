#include "ui/thumbnail.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "core/atomic_file.h"
#include "core/conversion_settings.h"
#include "core/format_table.h"
#include "core/pipeline/file_converter.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "ui/offscreen_gl.h"
#include "ui/preview_drawing.h"
#include "ui/preview_navigation.h"

namespace zepcon::ui {
namespace {

// Models are drawn at twice the size and averaged down: smooth edges
// without asking the renderer for multisampling.
constexpr uint32_t kSupersample = 2;

// The bounding sphere's radius on screen, in view units at the model's
// centre; the frustum shows 0.88 there, so this leaves a margin even for
// the near side of the sphere.
constexpr double kFramedRadius = 0.65;

bool LoadFile(FileConverter& converter, const std::string& path, std::string& error) {
  const int type = converter.DetermineTypeOfPath(path.c_str());
  if (type == TYPE_UNKNOWN) {
    error = "unknown file type";
    return false;
  }
  const uint32_t kind = converter.GetDataKind(type);
  if (kind != KIND_MODEL && kind != KIND_BITMAP) {
    error = "not a model or a picture";
    return false;
  }
  if (!converter.InitData(kind) || !converter.LoadFile(path.c_str(), type)) {
    error = "could not load the file";
    return false;
  }
  converter.FixData();
  return true;
}

bool PictureThumbnail(BitmapData& picture, uint32_t size, Thumbnail& thumbnail, std::string& error) {
  if (!picture.BitmapConvertToMode(MODE_RGBA8888) || picture.SizeX() == 0 || picture.SizeY() == 0) {
    error = "the picture could not be read as RGBA";
    return false;
  }
  Thumbnail whole;
  whole.width = picture.SizeX();
  whole.height = picture.SizeY();
  whole.rgba.resize(size_t{whole.width} * whole.height * 4);
  if (!picture.GetPixels(0, whole.width * whole.height, whole.rgba.data())) {
    error = "the picture's pixels could not be read";
    return false;
  }
  thumbnail = ShrinkToFit(whole, size);
  return true;
}

// Turns the drawing's colour buffer into the thumbnail: drawn pixels (the
// depth buffer was written) are opaque, everything else transparent.
Thumbnail DrawnPixels(const OffscreenGl& gl) {
  Thumbnail drawn;
  drawn.width = gl.Width();
  drawn.height = gl.Height();
  drawn.rgba = gl.ReadPixels();
  std::vector<float> depth(size_t{drawn.width} * drawn.height, 1.0f);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, static_cast<GLsizei>(drawn.width), static_cast<GLsizei>(drawn.height), GL_DEPTH_COMPONENT,
               GL_FLOAT, depth.data());
  for (uint32_t row = 0; row < drawn.height; ++row)
    for (uint32_t x = 0; x < drawn.width; ++x) {
      // Depth rows count from the bottom.
      const bool covered = depth[size_t{drawn.height - 1 - row} * drawn.width + x] < 1.0f;
      drawn.rgba[(size_t{row} * drawn.width + x) * 4 + 3] = covered ? 255 : 0;
    }
  return drawn;
}

bool ModelThumbnail(FileConverter& converter, uint32_t size, Thumbnail& thumbnail, std::string& error) {
  ModelData& model = converter.Model();
  model.CalculateBoundingBox();
  model.ConvertModelOrientation(4, 2, 1);
  converter.FixData();
  model.TriangulatePolygons();
  model.CalculateBoundingBox();
  if (model.polygons_count == 0 && model.joints_count == 0) {
    error = "the model has nothing to draw";
    return false;
  }
  const Box box{{model.bounding_min.x, model.bounding_min.y, model.bounding_min.z},
                {model.bounding_max.x, model.bounding_max.y, model.bounding_max.z}};

  const uint32_t side = size * kSupersample;
  OffscreenGl gl;
  if (!gl.Open(side, side)) {
    error = gl.Error();
    return false;
  }
  OptionsRecord options = DefaultOptions();
  options.viewing_mode = kRotateZoom;
  options.show_points = 0;
  ModelScene scene;
  scene.options = &options;
  // The preview's opening angle, with the zoom chosen so the bounding
  // sphere fills the picture whatever the picture's size.
  scene.view = InitialModelView(kRotateZoom, box, static_cast<int>(side));
  double radius_squared = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    const double half = (box.max[axis] - box.min[axis]) / 2.0;
    radius_squared += half * half;
  }
  const double radius = std::sqrt(radius_squared);
  scene.view.zoom = std::isfinite(radius) && radius > 0.0 ? radius / kFramedRadius : 1.0;
  scene.clear_alpha = 0.0f;
  scene.shoulder_light = true;

  std::vector<TexturePixels> pending;
  std::vector<unsigned> textures;
  if (model.textures_count > 0 && PrepareModelTextures(model, pending)) {
    for (const TexturePixels& texture : pending) textures.push_back(CreateTexture(texture));
    scene.textures = &textures;
    scene.textures_present = true;
  }
  DrawModelScene(model, scene);
  const Thumbnail drawn = DrawnPixels(gl);
  if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
  thumbnail = ShrinkToFit(drawn, size);
  return true;
}

}  // namespace

Thumbnail ShrinkToFit(const Thumbnail& source, uint32_t size) {
  if (size == 0 || (source.width <= size && source.height <= size)) return source;
  Thumbnail out;
  const double scale = std::max(source.width, source.height) / static_cast<double>(size);
  out.width = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(source.width / scale)), 1, size);
  out.height = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(source.height / scale)), 1, size);
  out.rgba.assign(size_t{out.width} * out.height * 4, 0);
  for (uint32_t y = 0; y < out.height; ++y) {
    const uint32_t top = static_cast<uint32_t>(uint64_t{y} * source.height / out.height);
    const uint32_t bottom = std::max(top + 1, static_cast<uint32_t>(uint64_t{y + 1} * source.height / out.height));
    for (uint32_t x = 0; x < out.width; ++x) {
      const uint32_t left = static_cast<uint32_t>(uint64_t{x} * source.width / out.width);
      const uint32_t right = std::max(left + 1, static_cast<uint32_t>(uint64_t{x + 1} * source.width / out.width));
      // Colours weighted by their alpha; alpha the plain average.
      double colour[3] = {0, 0, 0};
      double alpha_sum = 0.0;
      for (uint32_t sy = top; sy < bottom; ++sy)
        for (uint32_t sx = left; sx < right; ++sx) {
          const uint8_t* p = &source.rgba[(size_t{sy} * source.width + sx) * 4];
          for (int c = 0; c < 3; ++c) colour[c] += p[c] * static_cast<double>(p[3]);
          alpha_sum += p[3];
        }
      const double count = static_cast<double>(bottom - top) * (right - left);
      uint8_t* q = &out.rgba[(size_t{y} * out.width + x) * 4];
      for (int c = 0; c < 3; ++c) q[c] = alpha_sum > 0 ? static_cast<uint8_t>(std::lround(colour[c] / alpha_sum)) : 0;
      q[3] = static_cast<uint8_t>(std::lround(alpha_sum / count));
    }
  }
  return out;
}

bool MakeThumbnail(const std::string& path, uint32_t size, Thumbnail& thumbnail, std::string& error) {
  if (size == 0 || size > kMaxThumbnailSide) {
    error = "the size must be 1 to " + std::to_string(kMaxThumbnailSide);
    return false;
  }
  FileConverter converter;
  OptionsRecord options = DefaultOptions();
  converter.SetOptions(&options);
  if (!LoadFile(converter, path, error)) return false;
  if (converter.GetHeldKind() == KIND_BITMAP) return PictureThumbnail(converter.Picture(), size, thumbnail, error);
  return ModelThumbnail(converter, size, thumbnail, error);
}

bool WriteThumbnailPng(const Thumbnail& thumbnail, const std::string& path, std::string& error) {
  BitmapData picture;
  if (!picture.InitData() || !picture.InitPicture(thumbnail.width, thumbnail.height, MODE_RGBA8888) ||
      !picture.SetPixels(0, thumbnail.width * thumbnail.height, thumbnail.rgba.data())) {
    error = "the thumbnail could not be held as a picture";
    return false;
  }
  AtomicFile file;
  if (!file.Open(path)) {
    error = file.Error();
    return false;
  }
  if (!SavePng(picture, file.File())) {
    error = "the PNG could not be written";
    return false;
  }
  if (!file.Commit()) {
    error = file.Error();
    return false;
  }
  return true;
}

}  // namespace zepcon::ui
