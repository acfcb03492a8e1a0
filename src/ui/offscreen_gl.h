// An OpenGL context that draws into memory with the software renderer, so
// a picture of a model can be made where there is no display at all (a
// thumbnailer runs in the background, often sandboxed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zepcon::ui {

class OffscreenGl {
 public:
  OffscreenGl() = default;
  ~OffscreenGl();
  OffscreenGl(const OffscreenGl&) = delete;
  OffscreenGl& operator=(const OffscreenGl&) = delete;

  // Creates the context with a w x h RGBA colour buffer and a depth buffer
  // and makes it current. False (with Error()) when that is not possible.
  bool Open(uint32_t width, uint32_t height);

  // The colour buffer after the drawing has finished, top row first.
  std::vector<uint8_t> ReadPixels() const;

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  const std::string& Error() const { return error_; }

 private:
  void* context_ = nullptr;  // the renderer's context handle
  std::vector<uint8_t> buffer_;
  uint32_t width_ = 0, height_ = 0;
  std::string error_;
};

}  // namespace zepcon::ui
