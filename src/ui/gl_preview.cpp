#include "ui/gl_preview.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <algorithm>

#include <GL/gl.h>
#include <GL/glu.h>

#include "core/format_table.h"
#include "core/log.h"
#include "core/pipeline/file_converter.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon::ui {
namespace {

// Fixed-function drawing needs the old profile.
QSurfaceFormat PreviewFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(2, 1);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setDepthBufferSize(16);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  return format;
}

}  // namespace

GlPreview::GlPreview(FileConverter& converter, const OptionsRecord& options, QWidget* parent)
    : QOpenGLWidget(parent), converter_(converter), options_(options) {
  setFormat(PreviewFormat());
  setToolTip(QString::fromLatin1(options_.viewing_mode == kFlyThrough ? kFlyThroughHelp : kRotateZoomHelp));
}

GlPreview::~GlPreview() {
  // The base class destroys the context after this object is gone.
  disconnect(context_watch_);
  if (context()) {
    makeCurrent();
    FreeGlResources();
    doneCurrent();
  }
}

void GlPreview::initializeGL() {
  // Textures die with the context (a widget moved to another window gets a
  // new one): give them back then, and upload them again into the next.
  disconnect(context_watch_);
  context_watch_ = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
    makeCurrent();
    FreeGlResources();
    doneCurrent();
  });
}

void GlPreview::resizeGL(int w, int h) { glViewport(0, 0, w, h); }

void GlPreview::FreeGlResources() {
  if (!model_textures_.empty()) {
    glDeleteTextures(static_cast<GLsizei>(model_textures_.size()), model_textures_.data());
    model_textures_.clear();
  }
  if (picture_texture_) {
    glDeleteTextures(1, &picture_texture_);
    picture_texture_ = 0;
  }
  picture_uploaded_ = false;
}

void GlPreview::Gl3dInit() {
  if (model_ready_) return;
  if (converter_.GetHeldKind() != KIND_MODEL) return;
  ModelData& model = converter_.Model();
  if (!model.bounding_box_valid) model.CalculateBoundingBox();
  const Box box{{model.bounding_min.x, model.bounding_min.y, model.bounding_min.z},
                {model.bounding_max.x, model.bounding_max.y, model.bounding_max.z}};
  view_ = InitialModelView(options_.viewing_mode, box, std::min(width(), height()));
  model.PrintStatistics();

  model_pending_.clear();
  textures_present_ = false;
  if (model.textures_count > 0) {
    if (!PrepareModelTextures(model, model_pending_)) return;
    textures_present_ = true;
  }
  model_ready_ = true;
}

void GlPreview::ReleaseModelTextures() {
  if (context() && !model_textures_.empty()) {
    makeCurrent();
    glDeleteTextures(static_cast<GLsizei>(model_textures_.size()), model_textures_.data());
    doneCurrent();
  }
  model_textures_.clear();
  model_pending_.clear();
  model_ready_ = false;
  textures_present_ = false;
}

void GlPreview::UploadPicture() {
  if (picture_ready_ || converter_.GetHeldKind() != KIND_BITMAP) return;
  PictureTexture prepared;
  if (!PreparePictureTexture(converter_.Picture(), prepared)) return;
  view_ = ViewParams{};
  view_.zoom = 1.05;
  picture_ = std::move(prepared);
  picture_uploaded_ = false;
  picture_ready_ = true;
}

void GlPreview::ReleasePicture() {
  if (context() && picture_texture_) {
    makeCurrent();
    glDeleteTextures(1, &picture_texture_);
    doneCurrent();
  }
  picture_texture_ = 0;
  picture_uploaded_ = false;
  picture_ = {};
  picture_ready_ = false;
}

void GlPreview::Redraw() { update(); }

void GlPreview::UploadPending() {
  if (model_ready_ && textures_present_ && model_textures_.empty()) {
    for (const TexturePixels& pending : model_pending_)
      model_textures_.push_back(CreateTexture(pending));
  }
  if (picture_ready_ && !picture_uploaded_) {
    if (picture_texture_) glDeleteTextures(1, &picture_texture_);
    picture_texture_ = CreateTexture(picture_.texture);
    picture_uploaded_ = true;
  }
}

void GlPreview::paintGL() {
  const qreal ratio = devicePixelRatioF();
  glViewport(0, 0, static_cast<GLsizei>(width() * ratio), static_cast<GLsizei>(height() * ratio));
  UploadPending();
  const uint32_t held = converter_.GetHeldKind();
  if (held == KIND_MODEL && model_ready_) {
    PaintModel();
  } else if (held == KIND_BITMAP && picture_ready_) {
    PaintPicture();
  } else {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
}

// The clear colour is opaque: the widget's picture is composed into the
// window with its alpha, and a clear alpha of 0 would show what lies behind.
void GlPreview::PaintModel() {
  ModelScene scene;
  scene.options = &options_;
  scene.view = view_;
  scene.textures = &model_textures_;
  scene.textures_present = textures_present_;
  scene.frame = frame_;
  scene.animated = animated_;
  scene.clear_alpha = 1.0f;
  DrawModelScene(converter_.Model(), scene);
}

void GlPreview::PaintPicture() { DrawPictureScene(options_, view_, picture_texture_, picture_); }

void GlPreview::mousePressEvent(QMouseEvent* event) {
  if (hooks_.press) hooks_.press(event->button(), event->globalPosition().toPoint());
  QOpenGLWidget::mousePressEvent(event);
}

void GlPreview::mouseReleaseEvent(QMouseEvent* event) {
  if (hooks_.release) hooks_.release(event->button());
  QOpenGLWidget::mouseReleaseEvent(event);
}

void GlPreview::mouseMoveEvent(QMouseEvent* event) {
  if (hooks_.move) hooks_.move(event->globalPosition().toPoint(), (event->modifiers() & Qt::ShiftModifier) != 0);
  QOpenGLWidget::mouseMoveEvent(event);
}

}  // namespace zepcon::ui
