#include "PictureView.h"

#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace studio {
namespace {

// A press and release closer than this (in pixels) is a click, not a drag.
constexpr int kClickSlack = 4;
// One notch of the wheel (120 units) zooms by this factor.
constexpr double kZoomPerNotch = 1.25;

}  // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 320);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setMouseTracking(false);
}

void PictureView::SetImage(QImage image) {
  image_ = std::move(image);
  drag_ = QPoint();
  update();
}

void PictureView::SetNote(QString note) {
  note_ = std::move(note);
  update();
}

void PictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!image_.isNull()) painter.drawImage(drag_, image_);
  if (!note_.isEmpty()) {
    const QRect box = rect().adjusted(8, 8, -8, -8);
    QFont font = painter.font();
    painter.setFont(font);
    const QRect needed = painter.boundingRect(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, note_);
    painter.fillRect(needed.adjusted(-4, -2, 4, 2), QColor(255, 255, 224, 230));
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, note_);
  }
}

void PictureView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !interactive_) return;
  pressed_ = true;
  pressedAt_ = event->position().toPoint();
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_) return;
  const QPoint delta = event->position().toPoint() - pressedAt_;
  if (delta.manhattanLength() > kClickSlack) {
    drag_ = delta;
    update();
  }
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_ || event->button() != Qt::LeftButton) return;
  pressed_ = false;
  const QPoint delta = event->position().toPoint() - pressedAt_;
  if (delta.manhattanLength() <= kClickSlack) {
    drag_ = QPoint();
    if (clicked) clicked(QPointF(pressedAt_));
  } else if (panned) {
    panned(delta);  // the moved image stays until the redraw replaces it
  }
}

void PictureView::wheelEvent(QWheelEvent* event) {
  if (!interactive_ || event->angleDelta().y() == 0) return;
  const double notches = event->angleDelta().y() / 120.0;
  if (zoomed) zoomed(std::pow(kZoomPerNotch, -notches), event->position());
  event->accept();
}

}  // namespace studio
