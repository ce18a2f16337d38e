// The picture pane: shows the drawing at one pixel per pixel of the scene,
// and turns the mouse into requests: a click at a point, a drag (pan) by a
// number of pixels, the wheel (zoom) by a factor around a point. The window
// maps pixels to the plane through the scene's frame.
#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <functional>

namespace studio {

class PictureView : public QWidget {
 public:
  explicit PictureView(QWidget* parent = nullptr);

  // The picture; a null image shows `note` instead.
  void SetImage(QImage image);
  const QImage& Image() const { return image_; }
  // A line over the picture while it is redrawn, or why there is none.
  void SetNote(QString note);
  const QString& Note() const { return note_; }
  // Whether the picture takes clicks, drags and the wheel (zero curves only).
  void SetInteractive(bool interactive) { interactive_ = interactive; }

  std::function<void(QPointF pixel)> clicked;
  std::function<void(QPoint delta)> panned;  // the picture moved by delta pixels
  std::function<void(double factor, QPointF pixel)> zoomed;  // factor < 1 zooms in

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  QImage image_;
  QString note_;
  bool interactive_ = false;
  bool pressed_ = false;
  QPoint pressedAt_;
  QPoint drag_;  // the current drag's offset, shown before the redraw
};

}  // namespace studio
