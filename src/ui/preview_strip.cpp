#include "ui/preview_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

#include "ui/preview_navigation.h"

namespace zepcon::ui {
namespace {

// A triangle pointing right (or left) inside the box from x0 to x1.
void Triangle(QPainter& painter, double x0, double x1, double top, double bottom, bool right) {
  const double middle = (top + bottom) / 2;
  QPolygonF shape;
  if (right)
    shape << QPointF(x0, top) << QPointF(x1, middle) << QPointF(x0, bottom);
  else
    shape << QPointF(x1, top) << QPointF(x0, middle) << QPointF(x1, bottom);
  painter.drawPolygon(shape);
}

void Bar(QPainter& painter, double x, double top, double bottom, double width) {
  painter.drawRect(QRectF(x, top, width, bottom - top));
}

}  // namespace

QImage StripPicture(int cell) {
  QImage image(cell * 8, cell, QImage::Format_RGB32);
  image.fill(QColor(212, 208, 200));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double c = cell;
  const double top = c * 0.28, bottom = c * 0.72, bar = std::max(1.0, c * 0.1);
  for (int i = 0; i < 8; ++i) {
    const double left = i * c;
    painter.setPen(QColor(128, 128, 128));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(left + 0.5, 0.5, c - 1, c - 1));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 90));
    const double a = left + c * 0.25, b = left + c * 0.75, mid = left + c * 0.5;
    switch (i) {
      case 0:  // first frame: bar and a left triangle
        Bar(painter, a, top, bottom, bar);
        Triangle(painter, a + bar, b, top, bottom, false);
        break;
      case 1:  // previous segment: two left triangles
        Triangle(painter, a, mid, top, bottom, false);
        Triangle(painter, mid, b, top, bottom, false);
        break;
      case 2:  // one step back: a left triangle and a bar
        Triangle(painter, a, b - bar, top, bottom, false);
        Bar(painter, b - bar, top, bottom, bar);
        break;
      case 3:  // play backwards
        Triangle(painter, a, b, top, bottom, false);
        break;
      case 4:  // stop
        painter.drawRect(QRectF(a, top, b - a, bottom - top));
        break;
      case 5:  // play
        Triangle(painter, a, b, top, bottom, true);
        break;
      case 6:  // one step forwards
        Bar(painter, a, top, bottom, bar);
        Triangle(painter, a + bar, b, top, bottom, true);
        break;
      default:  // next segment
        Triangle(painter, a, mid, top, bottom, true);
        Triangle(painter, mid, b, top, bottom, true);
        break;
    }
  }
  return image;
}

PreviewStrip::PreviewStrip(QWidget* parent) : QWidget(parent) { setObjectName("animationStrip"); }

void PreviewStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int cell = std::max(1, height());
  painter.drawImage(rect(), StripPicture(cell));
}

void PreviewStrip::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && clicked_) {
    const int button = StripButtonAt(static_cast<int>(event->position().x()), 0, width());
    if (button > 0) clicked_(button);
  }
  QWidget::mousePressEvent(event);
}

}  // namespace zepcon::ui
