#include "Frame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Labels.h"

namespace plot {
namespace {

// Margins in pixels at any size: room for the title above, the tick numbers
// and the axis name below and to the left, the legend under everything.
constexpr double kTop = 62;
constexpr double kLeft = 78;
constexpr double kRight = 24;
constexpr double kBottom = 48;
constexpr double kLegendPad = 10;
constexpr double kMinArea = 40;
constexpr double kSameScaleRatio = 4;

}  // namespace

Rect PlotArea(int width, int height, int legendRows) {
  const double bottom = kBottom + (legendRows > 0 ? kLegendPad + legendRows * kLegendRow : 0);
  return {kLeft, kTop, std::max(kMinArea, width - kLeft - kRight), std::max(kMinArea, height - kTop - bottom)};
}

int LegendRows(const Scene& scene) {
  int entries = static_cast<int>(scene.runs.size());
  if (scene.kind == Kind::ZeroCurves) {
    entries += 2 + (scene.roots.empty() ? 0 : 1) + 1;  // curves, roots, undefined regions
  } else if (scene.tolerance > 0) {
    ++entries;
  }
  return (entries + 1) / 2;
}

Frame::Frame(const Box& box, const Rect& area, bool sameScale)
    : area_(area), xMin_(box.xMin), yMin_(box.yMin) {
  scaleX_ = area.width / (box.xMax - box.xMin);
  scaleY_ = area.height / (box.yMax - box.yMin);
  const double ratio = scaleX_ / scaleY_;
  if (sameScale && ratio <= kSameScaleRatio && ratio >= 1 / kSameScaleRatio) {
    const double scale = std::min(scaleX_, scaleY_);
    const double width = (box.xMax - box.xMin) * scale, height = (box.yMax - box.yMin) * scale;
    area_ = {area.left + (area.width - width) / 2, area.top + (area.height - height) / 2, width, height};
    scaleX_ = scaleY_ = scale;
  }
}

Frame SceneFrame(const Scene& scene) { return LayoutScene(scene).frame; }

ContourOptions SceneContourOptions(const Scene& scene) {
  const Rect area = SceneFrame(scene).Area();
  ContourOptions options;
  options.cellsX = std::max(20, static_cast<int>(area.width / kCellPixels));
  options.cellsY = std::max(20, static_cast<int>(area.height / kCellPixels));
  return options;
}

std::vector<double> Ticks(double lo, double hi, int target) {
  std::vector<double> ticks;
  if (!(hi > lo) || target < 1) return ticks;
  const double raw = (hi - lo) / target;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= raw) break;
  }
  const double first = std::ceil(lo / step - 1e-9);
  for (double k = first; k * step <= hi + step * 1e-9; k += 1) {
    const double value = k * step;
    ticks.push_back(std::fabs(value) < step * 1e-9 ? 0.0 : value);
  }
  return ticks;
}

std::string TickText(double value, double step) {
  char text[32];
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  if (std::fabs(value) >= 1e6 || (value != 0 && std::fabs(value) < 1e-4)) {
    std::snprintf(text, sizeof text, "%.3g", value);
  } else {
    std::snprintf(text, sizeof text, "%.*f", std::min(decimals, 10), value);
  }
  return text;
}

std::string CoordinateText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", std::fabs(value) < 5e-15 ? 0.0 : value);
  return text;
}

double LastIteration(const Scene& scene) {
  double last = 1;
  for (const Run& run : scene.runs)
    for (double k : run.iterations) last = std::max(last, k);
  return last;
}

void DecadeRange(const Scene& scene, int& lowDecade, int& highDecade) {
  double low = INFINITY, high = -INFINITY;
  for (const Run& run : scene.runs)
    for (double value : run.maxAbs)
      if (std::isfinite(value) && value > 0) {
        low = std::min(low, value);
        high = std::max(high, value);
      }
  if (scene.tolerance > 0) {
    low = std::min(low, scene.tolerance);
    high = std::max(high, scene.tolerance);
  }
  if (!std::isfinite(low)) low = high = 1;
  lowDecade = static_cast<int>(std::floor(std::log10(low)));
  highDecade = static_cast<int>(std::ceil(std::log10(high)));
  // Values of exactly 0 sit one decade below the lowest.
  const bool zero = std::any_of(scene.runs.begin(), scene.runs.end(), [](const Run& run) {
    return std::find(run.maxAbs.begin(), run.maxAbs.end(), 0.0) != run.maxAbs.end();
  });
  if (zero) --lowDecade;
  if (highDecade <= lowDecade) highDecade = lowDecade + 1;
}

}  // namespace plot
