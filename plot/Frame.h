// Where things go on the picture: the plot area for a picture size, the
// mapping from the plane (or iteration and log max|F|) to pixels, and the
// ticks of an axis. Qt-free, so tests can say where a root must land.
#pragma once

#include <string>
#include <vector>

#include "Scene.h"

namespace plot {

struct Rect {
  double left, top, width, height;
};

// The height of one row of the legend in pixels: the layout leaves room for
// the rows, the drawing puts the entries on them.
inline constexpr double kLegendRow = 20;
// From the plot area's bottom to the legend's first baseline: tick numbers and
// the axis name.
inline constexpr double kLegendTop = 58;

// The area inside the axes for a picture of width x height pixels with
// legendRows rows of legend below the axes.
Rect PlotArea(int width, int height, int legendRows);

// Legend rows the scene needs (entries laid out in two columns).
int LegendRows(const Scene& scene);

// Maps the box onto the plot area. For zero curves both unknowns get the same
// scale when the box's sides are within a factor 4 of the area's (a circle
// stays round); the box is then centred in the area and the axes span it.
class Frame {
 public:
  Frame() : Frame(Box{}, Rect{0, 0, 1, 1}, false) {}
  Frame(const Box& box, const Rect& area, bool sameScale);
  double PixelX(double x) const { return area_.left + (x - xMin_) * scaleX_; }
  double PixelY(double y) const { return area_.top + area_.height - (y - yMin_) * scaleY_; }
  // The box as drawn (the area it fills, possibly narrower than PlotArea).
  const Rect& Area() const { return area_; }

 private:
  Rect area_;
  double xMin_, yMin_, scaleX_, scaleY_;
};

// The frame a Scene's picture uses (LayoutScene's, as the drawing's).
Frame SceneFrame(const Scene& scene);

// The grid the zero curves are sampled on for a scene: about one coarse cell
// per kCellPixels of the plot area.
inline constexpr double kCellPixels = 6;
ContourOptions SceneContourOptions(const Scene& scene);

// About `target` round numbers (1, 2 or 5 times a power of ten) within [lo, hi].
std::vector<double> Ticks(double lo, double hi, int target);
// The text of a tick: as few digits as tell neighbouring ticks apart.
std::string TickText(double value, double step);
// Short text of a coordinate for labels: 4 significant digits.
std::string CoordinateText(double value);

// The convergence picture's y range in decades: [floor, ceil] of log10 of the
// finite, positive values, at least one decade, the tolerance included.
void DecadeRange(const Scene& scene, int& lowDecade, int& highDecade);
// The convergence picture's last iteration (at least 1).
double LastIteration(const Scene& scene);

}  // namespace plot
