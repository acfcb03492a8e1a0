// The 3D and picture preview: draws the model or the picture that the main
// window's converter holds, with fixed-function OpenGL. The view parameters
// are changed by the preview navigation; the widget itself only sets up its
// context, follows its size and paints.
#pragma once

#include <QOpenGLWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/conversion_settings.h"
#include "ui/preview_drawing.h"
#include "ui/preview_navigation.h"

namespace zepcon {
class FileConverter;
}

namespace zepcon::ui {

class GlPreview : public QOpenGLWidget {
  Q_OBJECT

 public:
  GlPreview(FileConverter& converter, const OptionsRecord& options, QWidget* parent = nullptr);
  ~GlPreview() override;

  // The model view and textures, for a model loaded and prepared by the
  // preview load. Nothing happens while the model is ready already.
  void Gl3dInit();
  void DrawModel() { update(); }
  void ReleaseModelTextures();
  // The picture the converter holds, as a texture with its view.
  void UploadPicture();
  void DrawPicture() { update(); }
  void ReleasePicture();
  // Repaints whatever is shown.
  void Redraw();

  bool ModelReady() const { return model_ready_; }
  bool PictureReady() const { return picture_ready_; }
  bool TexturesPresent() const { return textures_present_; }
  ViewParams& View() { return view_; }
  int32_t ViewingMode() const { return options_.viewing_mode; }
  double HalfX() const { return picture_.half_x; }
  double HalfY() const { return picture_.half_y; }
  // The frame drawn; `animated` is off for models without frames.
  void SetFrame(float frame, bool animated) {
    frame_ = frame;
    animated_ = animated;
  }

  // Mouse buttons and moves over the preview, handed to the navigation.
  struct MouseHooks {
    std::function<void(Qt::MouseButton, QPoint global)> press;
    std::function<void(Qt::MouseButton)> release;
    std::function<void(QPoint global, bool shift)> move;
  };
  void SetMouseHooks(MouseHooks hooks) { hooks_ = std::move(hooks); }

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void PaintModel();
  void PaintPicture();
  // Uploads what Gl3dInit / UploadPicture prepared; the context is current.
  void UploadPending();
  // Frees the textures while the context still exists.
  void FreeGlResources();

  FileConverter& converter_;
  const OptionsRecord& options_;
  ViewParams view_;
  float frame_ = 0.0f;
  bool animated_ = false;
  MouseHooks hooks_;
  QMetaObject::Connection context_watch_;

  bool model_ready_ = false;
  bool textures_present_ = false;
  std::vector<TexturePixels> model_pending_;
  std::vector<unsigned> model_textures_;

  bool picture_ready_ = false;
  PictureTexture picture_;
  unsigned picture_texture_ = 0;
  bool picture_uploaded_ = false;
};

}  // namespace zepcon::ui
