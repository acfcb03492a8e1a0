// The animation control strip under the preview: eight equal cells, from
// left to right "first frame", "previous segment", "step back", "play
// backwards", "stop", "play", "step forwards", "next segment".
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace zepcon::ui {

// The strip's picture, eight cells of cell x cell pixels side by side.
QImage StripPicture(int cell);

class PreviewStrip : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewStrip(QWidget* parent = nullptr);
  // Told the button (1 to 8) a left click landed on.
  void SetClickHandler(std::function<void(int button)> handler) { clicked_ = std::move(handler); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::function<void(int)> clicked_;
};

}  // namespace zepcon::ui
