// The one file that paints: a Scene onto a QPainter, then into a PNG (QImage)
// or an SVG (QSvgGenerator). Works without a display: when the program has no
// Qt application, one is made for the call on the offscreen platform, which is
// all the fonts need.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <exception>
#include <string>

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

#include "AtomicFile.h"
#include "Contour.h"
#include "Frame.h"
#include "Labels.h"
#include "Scene.h"

namespace plot {
namespace {

// Colours: the two equations far apart, the roots in neither of them.
const QColor kCurveColours[2] = {QColor(0x1f, 0x5f, 0xc8), QColor(0xd6, 0x3c, 0x1e)};
const QColor kRootFill(0xff, 0xcc, 0x00);
const QColor kInk(0x20, 0x20, 0x20);
const QColor kGrid(0xe2, 0xe2, 0xe2);
const QColor kZeroAxis(0xb0, 0xb0, 0xb0);
const QColor kSubtitle(0x55, 0x55, 0x55);
const QColor kRunColours[] = {QColor(0x00, 0x80, 0x3c), QColor(0x8a, 0x2b, 0xb8), QColor(0x9a, 0x5b, 0x13),
                              QColor(0x00, 0x7f, 0x8c), QColor(0xc2, 0x18, 0x6a)};
const QColor kNewton(0x10, 0x10, 0x10);
const QColor kDescent(0x8a, 0x2b, 0xb8);
constexpr int kUndefinedAlpha = 48;
const QColor kOutsideBounds(0x70, 0x70, 0x70, 44);
const QColor kBoundLine(0x60, 0x60, 0x60);

constexpr int kTitlePixels = 17;
constexpr int kMinTitlePixels = 12;

QFont Font(int pixels, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

QColor RunColour(const Run& run, std::size_t index) {
  switch (run.stage) {
    case Stage::Newton: return kNewton;
    case Stage::Descent: return kDescent;
    case Stage::Robust: break;
  }
  return kRunColours[index % std::size(kRunColours)];
}

QPen RunPen(const Run& run, std::size_t index) {
  QPen pen(RunColour(run, index), 1.6);
  if (run.stage == Stage::Descent) pen.setStyle(Qt::DashLine);
  return pen;
}

// A text with a white backing so it stays readable over curves, in the box
// the layout gave it; a font wider than the layout's table shortens it.
void Label(QPainter& painter, const PlacedLabel& label) {
  painter.setFont(Font(kLabelPixels));
  const QFontMetricsF metrics(painter.font());
  const QRectF back(label.box.left, label.box.top, label.box.width, label.box.height);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 215));
  painter.drawRect(back);
  painter.setPen(kInk);
  const double baseline = back.top() + (back.height() - metrics.height()) / 2 + metrics.ascent();
  painter.drawText(QPointF(back.left() + 2, baseline),
                   metrics.elidedText(Text(label.text), Qt::ElideRight, back.width() - 3));
}

class Painter {
 public:
  Painter(QPainter& painter, const Scene& scene)
      : p_(painter), scene_(scene), layout_(LayoutScene(scene)), frame_(layout_.frame), area_(frame_.Area()) {}

  void Paint() {
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    p_.fillRect(QRectF(0, 0, scene_.width, scene_.height), Qt::white);
    Titles();
    if (scene_.kind == Kind::ZeroCurves) {
      ZeroCurves();
    } else {
      Convergence();
    }
    Legend();
  }

 private:
  QPointF At(double x, double y) const { return {frame_.PixelX(x), frame_.PixelY(y)}; }
  QRectF AreaRect() const { return {area_.left, area_.top, area_.width, area_.height}; }

  void Titles() {
    const double width = scene_.width - 2 * kMargin;
    p_.setPen(kInk);
    // A long system gets a smaller font before it is shortened.
    int pixels = kTitlePixels;
    for (; pixels > kMinTitlePixels; --pixels) {
      if (QFontMetricsF(Font(pixels, true)).horizontalAdvance(Text(scene_.title)) <= width) break;
    }
    p_.setFont(Font(pixels, true));
    const QFontMetricsF title(Font(kTitlePixels, true));
    p_.drawText(QPointF(kMargin, kMargin + title.ascent()),
                QFontMetricsF(p_.font()).elidedText(Text(scene_.title), Qt::ElideRight, width));
    p_.setFont(Font(kTextPixels));
    QFontMetricsF sub(p_.font());
    p_.setPen(kSubtitle);
    p_.drawText(QPointF(kMargin, kMargin + title.height() + 4 + sub.ascent()),
                sub.elidedText(Text(scene_.subtitle), Qt::ElideRight, width));
  }

  // Grid lines and numbers at the ticks; xs/ys are plane values, texts theirs.
  void Axes(const std::vector<double>& xs, const std::vector<QString>& xTexts, const std::vector<double>& ys,
            const std::vector<QString>& yTexts, const QString& xName, const QString& yName) {
    p_.setFont(Font(kTextPixels));
    const QFontMetricsF metrics(p_.font());
    const QRectF area = AreaRect();
    p_.setPen(QPen(kGrid, 1));
    for (double x : xs) p_.drawLine(QPointF(frame_.PixelX(x), area.top()), QPointF(frame_.PixelX(x), area.bottom()));
    for (double y : ys) p_.drawLine(QPointF(area.left(), frame_.PixelY(y)), QPointF(area.right(), frame_.PixelY(y)));
    p_.setPen(kInk);
    for (std::size_t i = 0; i < xs.size(); ++i) {
      const double px = frame_.PixelX(xs[i]);
      p_.drawLine(QPointF(px, area.bottom()), QPointF(px, area.bottom() + 5));
      p_.drawText(QPointF(px - metrics.horizontalAdvance(xTexts[i]) / 2, area.bottom() + 7 + metrics.ascent()),
                  xTexts[i]);
    }
    for (std::size_t i = 0; i < ys.size(); ++i) {
      const double py = frame_.PixelY(ys[i]);
      p_.drawLine(QPointF(area.left() - 5, py), QPointF(area.left(), py));
      p_.drawText(QPointF(area.left() - 8 - metrics.horizontalAdvance(yTexts[i]), py + metrics.ascent() / 2 - 1),
                  yTexts[i]);
    }
    p_.drawText(QPointF(area.center().x() - metrics.horizontalAdvance(xName) / 2,
                        area.bottom() + 10 + metrics.height() + metrics.ascent()),
                xName);
    p_.save();
    p_.translate(area.left() - 60, area.center().y() + metrics.horizontalAdvance(yName) / 2);
    p_.rotate(-90);
    p_.drawText(QPointF(0, 0), yName);
    p_.restore();
  }

  void Border() {
    p_.setPen(QPen(kInk, 1));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(AreaRect());
  }

  static std::vector<QString> Texts(const std::vector<double>& ticks) {
    std::vector<QString> texts;
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
    for (double t : ticks) texts.push_back(Text(TickText(t, step)));
    return texts;
  }

  void ZeroCurves() {
    const Box& box = scene_.box;
    const Contours contours =
        scene_.contours ? *scene_.contours
        : scene_.evaluate
            ? TraceZeroCurves(box.xMin, box.xMax, box.yMin, box.yMax, scene_.evaluate, SceneContourOptions(scene_))
            : Contours{};
    undefinedShown_ = !contours.undefined[0].empty() || !contours.undefined[1].empty();
    for (int e = 0; e < 2; ++e) noZero_[e] = contours.curves[static_cast<std::size_t>(e)].empty();

    p_.save();
    p_.setClipRect(AreaRect());
    for (int e = 0; e < 2; ++e) {
      QPainterPath shade;
      shade.setFillRule(Qt::WindingFill);
      for (const Cell& c : contours.undefined[static_cast<std::size_t>(e)])
        shade.addRect(QRectF(At(c.x0, c.y1), At(c.x1, c.y0)));
      QColor colour = kCurveColours[e];
      colour.setAlpha(kUndefinedAlpha);
      p_.setRenderHint(QPainter::Antialiasing, false);
      p_.fillPath(shade, colour);
      p_.setRenderHint(QPainter::Antialiasing, true);
    }
    p_.restore();
    OutsideBounds();

    const std::vector<double> xs = Ticks(box.xMin, box.xMax, std::max(2, static_cast<int>(area_.width / 90)));
    const std::vector<double> ys = Ticks(box.yMin, box.yMax, std::max(2, static_cast<int>(area_.height / 70)));
    Axes(xs, Texts(xs), ys, Texts(ys), Name(0), Name(1));

    p_.save();
    p_.setClipRect(AreaRect());
    p_.setPen(QPen(kZeroAxis, 1));
    if (box.xMin < 0 && box.xMax > 0) p_.drawLine(At(0, box.yMin), At(0, box.yMax));
    if (box.yMin < 0 && box.yMax > 0) p_.drawLine(At(box.xMin, 0), At(box.xMax, 0));
    for (int e = 0; e < 2; ++e) {
      QPainterPath curve;
      for (const Segment& s : contours.curves[static_cast<std::size_t>(e)]) {
        curve.moveTo(At(s.x0, s.y0));
        curve.lineTo(At(s.x1, s.y1));
      }
      QPen pen(kCurveColours[e], 2.2);
      pen.setCapStyle(Qt::RoundCap);
      pen.setJoinStyle(Qt::RoundJoin);
      p_.strokePath(curve, pen);
    }
    for (std::size_t r = 0; r < scene_.runs.size(); ++r) {
      const Run& run = scene_.runs[r];
      std::vector<QPointF> points;
      for (const std::vector<double>& point : run.points)
        points.push_back(std::isfinite(point[0]) && std::isfinite(point[1]) ? At(point[0], point[1])
                                                                            : QPointF(NAN, NAN));
      Polyline(points, RunPen(run, r));
    }
    for (const std::vector<double>& point : scene_.notIsolated) {
      p_.setPen(QPen(kInk, 1.2));
      p_.setBrush(Qt::NoBrush);
      p_.drawEllipse(At(point[0], point[1]), kRootRadius / 2, kRootRadius / 2);
    }
    for (const std::vector<double>& root : scene_.roots) {
      p_.setPen(QPen(kInk, 1.5));
      p_.setBrush(kRootFill);
      p_.drawEllipse(At(root[0], root[1]), kRootRadius, kRootRadius);
    }
    p_.restore();
    Border();

    for (const PlacedLabel& label : layout_.labels) Label(p_, label);
  }

  // The plane beyond the bounds, shaded grey, with a dashed line along each
  // finite bound that crosses the box.
  void OutsideBounds() {
    if (!scene_.bounds) return;
    const Box& b = *scene_.bounds;
    const Box& box = scene_.box;
    // The bounds' rectangle in pixels, its infinite sides a little beyond the area.
    const QRectF area = AreaRect();
    const double left = b.xMin > box.xMin ? frame_.PixelX(b.xMin) : area.left() - 2;
    const double right = b.xMax < box.xMax ? frame_.PixelX(b.xMax) : area.right() + 2;
    const double top = b.yMax < box.yMax ? frame_.PixelY(b.yMax) : area.top() - 2;
    const double bottom = b.yMin > box.yMin ? frame_.PixelY(b.yMin) : area.bottom() + 2;
    QPainterPath outside;
    outside.addRect(area);
    if (left < right && top < bottom) {
      QPainterPath inside;
      inside.addRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
      outside = outside.subtracted(inside);
    }
    if (outside.isEmpty()) return;
    outsideShown_ = true;
    p_.save();
    p_.setClipRect(area);
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.fillPath(outside, kOutsideBounds);
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setPen(QPen(kBoundLine, 1, Qt::DashLine));
    if (b.xMin > box.xMin && b.xMin < box.xMax) p_.drawLine(QPointF(left, area.top()), QPointF(left, area.bottom()));
    if (b.xMax > box.xMin && b.xMax < box.xMax) p_.drawLine(QPointF(right, area.top()), QPointF(right, area.bottom()));
    if (b.yMax > box.yMin && b.yMax < box.yMax) p_.drawLine(QPointF(area.left(), top), QPointF(area.right(), top));
    if (b.yMin > box.yMin && b.yMin < box.yMax) p_.drawLine(QPointF(area.left(), bottom), QPointF(area.right(), bottom));
    p_.restore();
  }

  // Dots joined in order; a point that is not finite breaks the line. Lines
  // are cut at the plot area here, since an SVG file keeps no clipping.
  void Polyline(const std::vector<QPointF>& points, const QPen& pen) {
    const QRectF area = AreaRect();
    QPainterPath path;
    QPointF last(NAN, NAN);
    for (std::size_t k = 1; k < points.size(); ++k) {
      QPointF a = points[k - 1], b = points[k];
      if (std::isnan(a.x()) || std::isnan(b.x()) || !Clip(area, a, b)) continue;
      if (a != last) path.moveTo(a);
      path.lineTo(b);
      last = b;
    }
    p_.strokePath(path, pen);
    p_.setPen(Qt::NoPen);
    p_.setBrush(pen.color());
    const QRectF near = area.adjusted(-1, -1, 1, 1);
    for (const QPointF& point : points)
      if (!std::isnan(point.x()) && near.contains(point)) p_.drawEllipse(point, kDot, kDot);
  }

  // Liang-Barsky: the part of the segment a-b inside r, or false when none.
  static bool Clip(const QRectF& r, QPointF& a, QPointF& b) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
      if (p[i] == 0) {
        if (q[i] < 0) return false;
        continue;
      }
      const double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
      if (t0 > t1) return false;
    }
    const QPointF from = a;
    a = from + QPointF(dx * t0, dy * t0);
    b = from + QPointF(dx * t1, dy * t1);
    return std::isfinite(a.x()) && std::isfinite(b.x());
  }

  void Convergence() {
    int low = 0, high = 0;
    DecadeRange(scene_, low, high);
    const double last = LastIteration(scene_);
    std::vector<double> xs = Ticks(0, last, std::max(2, static_cast<int>(area_.width / 80)));
    if (xs.size() > 1 && xs[1] - xs[0] < 1) {
      xs.clear();
      for (double k = 0; k <= last; ++k) xs.push_back(k);
    }
    const int decades = high - low;
    const int every = std::max(1, static_cast<int>(std::ceil(decades / std::max(1.0, area_.height / 36))));
    std::vector<double> ys;
    std::vector<QString> yTexts;
    for (int d = low; d <= high; d += every) {
      ys.push_back(d);
      yTexts.push_back(d == 0 ? QStringLiteral("1") : QStringLiteral("1E%1").arg(d));
    }
    Axes(xs, Texts(xs), ys, yTexts, QStringLiteral("iteration"), QStringLiteral("max |F|  (log scale)"));

    p_.save();
    p_.setClipRect(AreaRect().adjusted(-kDot - 1, -kDot - 1, kDot + 1, kDot + 1));
    if (scene_.tolerance > 0) {
      QPen pen(kInk, 1, Qt::DashLine);
      p_.setPen(pen);
      const double y = std::log10(scene_.tolerance);
      p_.drawLine(At(0, y), At(last, y));
    }
    for (std::size_t r = 0; r < scene_.runs.size(); ++r) {
      const Run& run = scene_.runs[r];
      std::vector<QPointF> points;
      for (std::size_t k = 0; k < run.maxAbs.size() && k < run.iterations.size(); ++k) {
        const double value = run.maxAbs[k];
        const double x = run.iterations[k];
        if (value == 0) points.push_back(At(x, low));
        else if (std::isfinite(value)) points.push_back(At(x, std::log10(value)));
        else points.emplace_back(NAN, NAN);
      }
      Polyline(points, RunPen(run, r));
    }
    p_.restore();
    Border();
  }

  QString Name(std::size_t i) const {
    return i < scene_.names.size() ? Text(scene_.names[i]) : QStringLiteral("x%1").arg(i + 1);
  }

  // Two columns of swatches and texts under the axes.
  void Legend() {
    const Rect& full = layout_.full;
    const double top = full.top + full.height + kLegendTop;
    const double column = (scene_.width - 2 * kMargin) / 2;
    int entry = 0;
    p_.setFont(Font(kTextPixels));
    const QFontMetricsF metrics(p_.font());
    // A wide entry takes a row of its own.
    auto place = [&](const QString& text, const std::function<void(QPointF)>& swatch, bool wide = false) {
      if (wide && entry % 2 == 1) ++entry;
      const QPointF at(kMargin + column * (entry % 2), top + kLegendRow * (entry / 2));
      swatch(at + QPointF(14, -metrics.ascent() / 2 + 1));
      p_.setPen(kInk);
      p_.drawText(at + QPointF(36, 0), metrics.elidedText(text, Qt::ElideRight, (wide ? 2 : 1) * column - 44));
      entry += wide ? 2 : 1;
    };
    auto line = [&](const QPen& pen, bool dots) {
      return [&, pen, dots](QPointF c) {
        p_.setPen(pen);
        p_.drawLine(c - QPointF(12, 0), c + QPointF(12, 0));
        if (!dots) return;
        p_.setPen(Qt::NoPen);
        p_.setBrush(pen.color());
        p_.drawEllipse(c - QPointF(8, 0), kDot, kDot);
        p_.drawEllipse(c + QPointF(8, 0), kDot, kDot);
      };
    };
    if (scene_.kind == Kind::ZeroCurves) {
      for (int e = 0; e < 2; ++e) {
        const std::string label = static_cast<std::size_t>(e) < scene_.curveLabels.size()
                                      ? scene_.curveLabels[static_cast<std::size_t>(e)]
                                      : "F" + std::to_string(e + 1);
        place(Text(label) + (noZero_[e] ? QStringLiteral("   (no zero in the box)") : QString()), line(QPen(kCurveColours[e], 2.2), false));
      }
      QString roots = (scene_.bounds ? QStringLiteral("roots found in the box within the bounds: %1")
                                     : QStringLiteral("roots found in the box: %1"))
                          .arg(scene_.roots.size());
      if (layout_.numbered && layout_.unplacedNumbers == 0) roots += QStringLiteral(", numbered as listed below");
      if (layout_.unplacedNumbers > 0)
        roots += QStringLiteral(", listed below (no room beside the markers for %1 of the numbers)")
                     .arg(layout_.unplacedNumbers);
      if (!scene_.roots.empty())
        place(
            roots,
            [&](QPointF c) {
              p_.setPen(QPen(kInk, 1.5));
              p_.setBrush(kRootFill);
              p_.drawEllipse(c, kRootRadius, kRootRadius);
            },
            layout_.numbered);
      if (!scene_.notIsolated.empty())
        place(QStringLiteral("points of roots that are not isolated: %1").arg(scene_.notIsolated.size()),
              [&](QPointF c) {
                p_.setPen(QPen(kInk, 1.2));
                p_.setBrush(Qt::NoBrush);
                p_.drawEllipse(c, kRootRadius / 2, kRootRadius / 2);
              });
      if (undefinedShown_)
        place(QStringLiteral("shaded: F1 (blue) or F2 (red) cannot be evaluated"), [&](QPointF c) {
          for (int e = 0; e < 2; ++e) {
            QColor colour = kCurveColours[e];
            colour.setAlpha(kUndefinedAlpha * 2);
            p_.fillRect(QRectF(c.x() - 12 + 12 * e, c.y() - 6, 12, 12), colour);
          }
        });
      if (outsideShown_)
        place(QStringLiteral("grey: beyond the bounds"), [&](QPointF c) {
          p_.fillRect(QRectF(c.x() - 12, c.y() - 6, 24, 12), kOutsideBounds);
          p_.setPen(QPen(kBoundLine, 1, Qt::DashLine));
          p_.drawLine(c + QPointF(0, -6), c + QPointF(0, 6));
        });
    } else if (scene_.tolerance > 0) {
      place(QStringLiteral("tolerance %1").arg(scene_.tolerance, 0, 'E', 0), line(QPen(kInk, 1, Qt::DashLine), false));
    }
    for (std::size_t r = 0; r < scene_.runs.size(); ++r)
      place(Text(scene_.runs[r].label), line(RunPen(scene_.runs[r], r), true));
    p_.setPen(kInk);
    for (const ListEntry& entry : layout_.rootList)
      p_.drawText(QPointF(entry.x, entry.baseline),
                  metrics.elidedText(Text(entry.text), Qt::ElideRight, layout_.rootListColumn - 4));
  }

  QPainter& p_;
  const Scene& scene_;
  SceneLayout layout_;
  plot::Frame frame_;
  Rect area_;
  bool undefinedShown_ = false;
  bool outsideShown_ = false;
  bool noZero_[2] = {false, false};  // the equation has no zero curve in the box
};

bool EndsWith(const std::string& text, const char* ending) {
  const std::string lower = QString::fromStdString(text).toLower().toStdString();
  const std::string end(ending);
  return lower.size() >= end.size() && lower.compare(lower.size() - end.size(), end.size(), end) == 0;
}

// The picture's bytes are made in memory and written in one go, so that a
// failed write leaves no part of a picture in place of the old one.
bool WritePng(const Scene& scene, const std::string& path, std::string& error) {
  QImage image(scene.width, scene.height, QImage::Format_RGB32);
  if (image.isNull()) {
    error = "cannot draw a " + std::to_string(scene.width) + "x" + std::to_string(scene.height) +
            " picture: not enough memory";
    return false;
  }
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    Painter(painter, scene).Paint();
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) {
    error = "cannot write " + path + ": " + writer.errorString().toStdString();
    return false;
  }
  return WriteFileAtomically(path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())), error);
}

bool WriteSvg(const Scene& scene, const std::string& path, std::string& error) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setSize(QSize(scene.width, scene.height));
  generator.setViewBox(QRect(0, 0, scene.width, scene.height));
  generator.setResolution(96);
  generator.setTitle(Text(scene.title));
  generator.setDescription(Text(scene.subtitle));
  {
    QPainter painter(&generator);
    Painter(painter, scene).Paint();
  }
  // The generator gives the size in millimetres, which viewers convert at
  // different resolutions; the picture's size is its size in pixels.
  QByteArray svg = buffer.data();
  const qsizetype width = svg.indexOf("width=\""), viewBox = svg.indexOf("viewBox=");
  if (width >= 0 && viewBox > width)
    svg.replace(width, viewBox - width,
                QStringLiteral("width=\"%1\" height=\"%2\"\n ").arg(scene.width).arg(scene.height).toUtf8());
  return WriteFileAtomically(path, std::string_view(svg.constData(), static_cast<std::size_t>(svg.size())), error);
}

void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool nlsolve_plot_write(int sceneVersion, const Scene* scene, const char* path, std::string* error) {
  if (sceneVersion != kSceneVersion) {
    *error = "the drawing library was built for another version of nlsolve";
    return false;
  }
  const std::string file(path);
  const bool png = EndsWith(file, ".png");
  if (!png && !EndsWith(file, ".svg")) {
    *error = "the picture's file name must end in .png or .svg: " + file;
    return false;
  }
  // Qt's own notes (runtime directories, font fallbacks) are not the user's
  // business; its errors still reach stderr.
  const QtMessageHandler previous = qInstallMessageHandler(QuietMessages);
  // Fonts need an application object. A program without one gets one on the
  // platform that needs no display, kept until the process ends (Qt is not
  // made to be started twice).
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 3;
    static char name[] = "nlsolve", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    (void)application;
  }
  bool written = false;
  try {
    written = png ? WritePng(*scene, file, *error) : WriteSvg(*scene, file, *error);
  } catch (const std::exception& failure) {
    *error = std::string("drawing failed: ") + failure.what();
  }
  qInstallMessageHandler(previous);
  return written;
}

}  // namespace plot
