// Zero curves by marching squares with linear interpolation, over a grid that
// is refined where a curve or the edge of an undefined region passes. Qt-free.
#pragma once

#include <array>
#include <functional>
#include <vector>

namespace plot {

struct Segment {
  double x0, y0, x1, y1;
};

// A cell of the grid (in the plane's units).
struct Cell {
  double x0, y0, x1, y1;
};

struct ContourOptions {
  int cellsX = 150;  // the coarse grid
  int cellsY = 120;
  int refine = 3;    // a cell that needs it is split refine x refine ...
  int depth = 2;     // ... this many times
  // Asked after each cell; true ends the sampling there (a time budget).
  std::function<bool()> stop;
};

struct Contours {
  std::array<std::vector<Segment>, 2> curves;  // the zero curve of each equation
  std::array<std::vector<Cell>, 2> undefined;  // cells where it cannot be evaluated
  long evaluations = 0;
  // False when options.stop ended the sampling: the curves are traced from
  // the box's bottom up to tracedUpTo only.
  bool complete = true;
  double tracedUpTo = 0;
};

// f(x, y, out) writes F1 and F2 at (x, y) into out[0..1], NaN where an
// equation cannot be evaluated. A sign change across a pole (the value at the
// interpolated crossing is no nearer 0 than at both ends) is no crossing.
Contours TraceZeroCurves(double xMin, double xMax, double yMin, double yMax,
                         const std::function<void(double, double, double*)>& f,
                         const ContourOptions& options = {});

}  // namespace plot
