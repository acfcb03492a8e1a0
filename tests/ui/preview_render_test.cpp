// The preview drawn for real: OpenGL on the virtual X display, read back
// from the widget's framebuffer.
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/log.h"
#include "core/pipeline/file_converter.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"
#include "ui/gl_preview.h"

namespace zepcon::ui {
namespace {

constexpr Rgb8 kBackground{0, 0, 255};

class PreviewRender : public ::testing::Test {
 protected:
  PreviewRender() {
    options.background_picture = kBackground;
    options.background_3d = kBackground;
    options.animation_stepping = 1.0f;
  }

  // The widget, shown at `side` pixels; false when the display has no OpenGL.
  void Show(int side) {
    preview = std::make_unique<GlPreview>(converter, options);
    preview->resize(side, side);
    preview->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preview.get()));
    ASSERT_TRUE(preview->isValid()) << "no OpenGL context on this display";
  }

  QImage Grab() { return preview->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

  // A w x h picture whose pixel (x, y) is colour(x, y).
  template <typename Colour>
  void MakePicture(uint32_t w, uint32_t h, Colour colour) {
    ASSERT_TRUE(converter.InitData(KIND_BITMAP));
    BitmapData& picture = converter.Picture();
    ASSERT_TRUE(picture.InitPicture(w, h, MODE_RGBA8888));
    std::vector<uint8_t> pixels(size_t{w} * h * 4);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        const QColor c = colour(x, y);
        uint8_t* p = &pixels[(size_t{y} * w + x) * 4];
        p[0] = static_cast<uint8_t>(c.red());
        p[1] = static_cast<uint8_t>(c.green());
        p[2] = static_cast<uint8_t>(c.blue());
        p[3] = 255;
      }
    ASSERT_TRUE(picture.SetPixels(0, w * h, pixels.data()));
  }

  // A cube of side 2 around the origin, each face with its own material
  // colour; `textured` gives every face the checker texture and corner
  // coordinates instead.
  void MakeCube(bool textured) {
    ASSERT_TRUE(converter.InitData(KIND_MODEL));
    ModelData& model = converter.Model();
    for (int k = 0; k < 8; ++k) model.StoreVertex(k & 1 ? 1 : -1, k & 2 ? 1 : -1, k & 4 ? 1 : -1);
    const uint32_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    const uint8_t colours[6][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
    int32_t texture = -1;
    if (textured) {
      ASSERT_TRUE(model.SetUpTexture(8, 8, "checker.tga", 0));
      texture = static_cast<int32_t>(model.textures_count) - 1;
      std::vector<uint8_t> texels(8 * 8 * 4);
      for (int i = 0; i < 64; ++i) {
        const bool dark = ((i % 8) / 4 + (i / 8) / 4) % 2 != 0;
        const uint8_t rgba[4] = {static_cast<uint8_t>(dark ? 0 : 255), static_cast<uint8_t>(dark ? 255 : 0), 0, 255};
        std::copy(rgba, rgba + 4, &texels[i * 4]);
      }
      ASSERT_TRUE(model.SetTextureData(static_cast<uint32_t>(texture), texels.data(), 0, 256));
      model.point_texcoords_present = 1;
    }
    model.poly_materials_present = 1;
    int32_t textured_material = -1;
    if (textured) {
      model.ResetMaterial();
      model.material.texture = texture;
      textured_material = model.AddMaterial();
    }
    for (int f = 0; f < 6; ++f) {
      ASSERT_TRUE(model.StorePolygon(4, faces[f]));
      const int32_t material =
          textured ? textured_material : model.MaterialOfColor(colours[f][0], colours[f][1], colours[f][2]);
      model.SetPolygonMaterial(static_cast<uint32_t>(f), material);
      if (textured) {
        const double uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (uint32_t k = 0; k < 4; ++k) model.SetPointTexcoord(f * 4 + k, uv[k][0], uv[k][1]);
      }
    }
    model.FinishObjects();
    model.CalculateBoundingBox();
    ASSERT_TRUE(model.TriangulatePolygons());
  }

  // Pixels by colour, background left out.
  static std::map<QRgb, int> Colours(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y) & 0xFFFFFF;
        if (p != (qRgb(kBackground.red, kBackground.green, kBackground.blue) & 0xFFFFFF)) ++counts[p];
      }
    return counts;
  }

  OptionsRecord options = DefaultOptions();
  FileConverter converter;
  std::unique_ptr<GlPreview> preview;
};

bool Near(QColor seen, int r, int g, int b, int tolerance = 8) {
  return std::abs(seen.red() - r) <= tolerance && std::abs(seen.green() - g) <= tolerance &&
         std::abs(seen.blue() - b) <= tolerance;
}

TEST_F(PreviewRender, PictureShowsItsFirstRowAtTheTopWithCornerMarks) {
  // Quadrants: red top left, green top right, black bottom left, white bottom right.
  MakePicture(100, 100, [](uint32_t x, uint32_t y) {
    if (y < 50) return x < 50 ? QColor(255, 0, 0) : QColor(0, 255, 0);
    return x < 50 ? QColor(0, 0, 0) : QColor(255, 255, 255);
  });
  Show(512);
  preview->UploadPicture();
  ASSERT_TRUE(preview->PictureReady());
  EXPECT_DOUBLE_EQ(preview->HalfX(), 1.0);
  const QImage image = Grab();
  ASSERT_EQ(image.width(), 512);
  struct Probe {
    int x, y, r, g, b;
  };
  // The picture spans 1 / 1.05 of the view around its centre.
  for (const Probe& p : {Probe{140, 140, 255, 0, 0}, Probe{372, 140, 0, 255, 0}, Probe{140, 372, 0, 0, 0},
                         Probe{372, 372, 255, 255, 255}, Probe{3, 3, 0, 0, 255}, Probe{256, 4, 0, 0, 255}}) {
    EXPECT_TRUE(Near(image.pixelColor(p.x, p.y), p.r, p.g, p.b)) << p.x << "," << p.y << " is "
                                                                 << image.pixelColor(p.x, p.y).name().toStdString();
  }
  // The marks stick out just beyond each corner, shaded from black to red
  // (the outer corner is red at the upper left and the lower right).
  for (const QPoint corner : {QPoint(11, 11), QPoint(500, 11), QPoint(11, 500), QPoint(500, 500)}) {
    const QColor seen = image.pixelColor(corner);
    if (corner.x() == corner.y()) {
      EXPECT_GT(seen.red(), 60) << corner.x() << "," << corner.y();
    }
    EXPECT_LT(seen.blue(), 40) << corner.x() << "," << corner.y();
    EXPECT_LT(seen.green(), 40) << corner.x() << "," << corner.y();
  }
}

TEST_F(PreviewRender, LargePictureIsHalvedUntilItFits) {
  MakePicture(1500, 600, [](uint32_t x, uint32_t) { return x < 750 ? QColor(255, 255, 0) : QColor(0, 255, 255); });
  std::vector<std::string> lines;
  SetLogObserver([&lines](std::string_view text, int) { lines.emplace_back(text); });
  Show(400);
  preview->UploadPicture();
  SetLogObserver(nullptr);
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "Picture too big for displaying, resizing from 1500x600 to 375x150\n"),
            1);
  EXPECT_EQ(converter.Picture().SizeX(), 375u);
  EXPECT_EQ(converter.Picture().SizeY(), 150u);
  EXPECT_DOUBLE_EQ(preview->HalfX(), 1.0);
  EXPECT_DOUBLE_EQ(preview->HalfY(), 0.4);
  const QImage image = Grab();
  EXPECT_TRUE(Near(image.pixelColor(100, 200), 255, 255, 0));
  EXPECT_TRUE(Near(image.pixelColor(300, 200), 0, 255, 255));
  EXPECT_TRUE(Near(image.pixelColor(200, 40), kBackground.red, kBackground.green, kBackground.blue));
}

TEST_F(PreviewRender, ColouredCubeShowsItsFaces) {
  MakeCube(false);
  Show(268);  // the preview's own size: the cube just fits
  preview->Gl3dInit();
  ASSERT_TRUE(preview->ModelReady());
  EXPECT_FALSE(preview->TexturesPresent());
  // The first view is close: a right drag down by 20 pixels steps back.
  preview->View().zoom *= 2.0;
  const std::map<QRgb, int> colours = Colours(Grab());
  // Two faces at least face the eye: large areas of one colour each, each
  // dominated by the components of its face's material.
  std::vector<QColor> faces;
  int drawn = 0;
  for (const auto& [rgb, count] : colours) {
    drawn += count;
    if (count > 600) faces.push_back(QColor::fromRgb(rgb));
  }
  EXPECT_GT(drawn, 268 * 268 / 20);
  ASSERT_GE(faces.size(), 2u);
  for (const QColor& face : faces) {
    const int high = std::max({face.red(), face.green(), face.blue()});
    const int low = std::min({face.red(), face.green(), face.blue()});
    EXPECT_GT(high - low, 60) << face.name().toStdString();  // a saturated colour, not grey
  }
}

TEST_F(PreviewRender, TexturedCubeShowsItsTexture) {
  MakeCube(true);
  Show(268);  // the preview's own size: the cube just fits
  preview->Gl3dInit();
  ASSERT_TRUE(preview->TexturesPresent());
  preview->View().zoom *= 2.0;
  int reddish = 0, greenish = 0;
  for (const auto& [rgb, count] : Colours(Grab())) {
    const QColor c = QColor::fromRgb(rgb);
    if (c.red() > 80 && c.green() < 30) reddish += count;
    if (c.green() > 80 && c.red() < 30) greenish += count;
  }
  EXPECT_GT(reddish, 500);
  EXPECT_GT(greenish, 500);
}

TEST_F(PreviewRender, AnimatedModelChangesBetweenFrames) {
  MakeCube(false);
  ModelData& model = converter.Model();
  ASSERT_TRUE(model.SetAnimFramesCount(2));
  ASSERT_TRUE(model.SetAnimVertCount(8));
  for (uint32_t v = 0; v < 8; ++v) {
    double x, y, z;
    model.ReadVertex(v, x, y, z);
    model.Animation_SetVertexPos(0, v, x, y, z);
    model.Animation_SetVertexPos(1, v, x * 0.3 + 0.5, y * 0.3, z * 0.3);  // smaller and moved aside
  }
  model.vertex_animation_present = 1;
  Show(268);  // the preview's own size: the cube just fits
  preview->Gl3dInit();
  preview->SetFrame(0.0f, true);
  const QImage first = Grab();
  preview->SetFrame(1.0f, true);
  const QImage second = Grab();
  EXPECT_NE(first, second);
  const auto drawn = [](const std::map<QRgb, int>& colours) {
    int sum = 0;
    for (const auto& entry : colours) sum += entry.second;
    return sum;
  };
  EXPECT_LT(drawn(Colours(second)) * 3, drawn(Colours(first)));  // the small frame covers much less
  EXPECT_EQ(model.current_frame, -2.0f);                          // the model's own selection is kept
}

}  // namespace
}  // namespace zepcon::ui
