// What a picture shows, as plain data: the command line fills it from the
// equations and the solver's reports, the drawing library (Draw.cpp, the only
// Qt in the program) turns it into a PNG or SVG file. Nothing here knows Qt.
//
// Two kinds of picture:
//   ZeroCurves  - two unknowns: the zero curves of F1 and F2 over the box,
//                 the regions where an equation cannot be evaluated, the
//                 roots, and the path of each run (points in the plane).
//   Convergence - any number of unknowns: max|F| (log scale) against the
//                 iteration, one line per run.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Contour.h"

namespace plot {

// Changes whenever Scene or the entry point changes, so that a program never
// draws with a library built from other headers.
inline constexpr int kSceneVersion = 3;

enum class Kind { ZeroCurves, Convergence };

// How a run's line looks: the Go command's two stages are drawn apart.
enum class Stage { Descent, Newton, Robust };

struct Run {
  std::string label;                      // the legend's text ("newton", "hybrid from start 2")
  Stage stage = Stage::Robust;
  std::vector<std::vector<double>> points;  // ZeroCurves: (x, y) of each iterate, the start first
  std::vector<double> maxAbs;      // Convergence: max|F| at each iterate (may be 0, infinite or NaN)
  std::vector<double> iterations;  // Convergence: the iteration number of each maxAbs
};

struct Box {
  double xMin = -10, xMax = 10, yMin = -10, yMax = 10;
};

struct Scene {
  Kind kind = Kind::ZeroCurves;
  int width = 900;
  int height = 700;
  std::string title;     // the system
  std::string subtitle;  // method, start and outcome in words
  std::vector<std::string> names;  // the unknowns (axis names for ZeroCurves)

  // ZeroCurves.
  Box box;
  std::vector<std::string> curveLabels;  // two legend texts, "F1: x1^2+x2^2-4 = 0"
  // F1 and F2 at (x, y) into f[0] and f[1]: NaN where an equation cannot be evaluated.
  // Used only when `contours` is empty; it must then outlive the drawing.
  std::function<void(double x, double y, double* f)> evaluate;
  // The zero curves traced beforehand (on SceneContourOptions' grid), so that
  // the caller can bound the time it takes; the drawing does not evaluate.
  std::optional<Contours> contours;
  std::vector<std::vector<double>> roots;  // (x, y) of each isolated root in the box
  // (x, y) of points the search reached where the roots are not isolated
  // (a curve or region of roots), drawn apart from the roots.
  std::vector<std::vector<double>> notIsolated;
  std::vector<double> start;               // (x, y), labelled "start"; empty for none
  std::vector<double> end;                 // (x, y) of the answer, labelled "end"; empty for none
  // The bounds the method keeps the unknowns within (a side may be infinite):
  // the plane beyond them is shaded grey. None: no bounds.
  std::optional<Box> bounds;

  // Both kinds.
  std::vector<Run> runs;

  // Convergence: a dashed line at this max|F| (the tolerance); 0 for none.
  double tolerance = 0.0;
};

// The drawing library's entry point, looked up by name after dlopen. Writes
// the picture to path (".png" or ".svg", by its ending, any case); returns
// false with the reason in *error.
extern "C" __attribute__((visibility("default"))) bool nlsolve_plot_write(int sceneVersion, const Scene* scene, const char* path, std::string* error);
inline constexpr const char* kWriteSymbol = "nlsolve_plot_write";

}  // namespace plot
