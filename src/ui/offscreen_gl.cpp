#include "ui/offscreen_gl.h"

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <cstring>
#include <new>

namespace zepcon::ui {
namespace {

// Far beyond any thumbnail, small enough that the buffer size cannot wrap.
constexpr uint32_t kMaxSide = 4096;

}  // namespace

OffscreenGl::~OffscreenGl() {
  if (!context_) return;
  // Released first: the renderer frees the buffer's bookkeeping only when
  // the context stops being current.
  OSMesaMakeCurrent(nullptr, nullptr, GL_UNSIGNED_BYTE, 0, 0);
  OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

bool OffscreenGl::Open(uint32_t width, uint32_t height) {
  if (context_) {
    error_ = "the context is open already";
    return false;
  }
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    error_ = "the picture size must be 1 to 4096 pixels a side";
    return false;
  }
  try {
    buffer_.assign(size_t{width} * height * 4, 0);
  } catch (const std::bad_alloc&) {
    error_ = "not enough memory for the picture";
    return false;
  }
  OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
  if (!context) {
    error_ = "the software OpenGL renderer could not make a context";
    return false;
  }
  if (!OSMesaMakeCurrent(context, buffer_.data(), GL_UNSIGNED_BYTE, static_cast<GLsizei>(width),
                         static_cast<GLsizei>(height))) {
    OSMesaDestroyContext(context);
    error_ = "the software OpenGL context could not be made current";
    return false;
  }
  context_ = context;
  width_ = width;
  height_ = height;
  glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
  return true;
}

std::vector<uint8_t> OffscreenGl::ReadPixels() const {
  if (!context_) return {};
  glFinish();
  // The renderer keeps the bottom row first, as OpenGL counts rows.
  std::vector<uint8_t> top_down(buffer_.size());
  const size_t row_bytes = size_t{width_} * 4;
  for (uint32_t row = 0; row < height_; ++row)
    std::memcpy(top_down.data() + size_t{row} * row_bytes, buffer_.data() + size_t{height_ - 1 - row} * row_bytes,
                row_bytes);
  return top_down;
}

}  // namespace zepcon::ui
