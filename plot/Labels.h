// Where the labels of a zero-curves picture go: each root's coordinates (or
// its number, with the coordinates listed under the legend when the labels
// do not fit), "start" and "end". No label overlaps another, covers a root's
// marker or leaves the plot area. Qt-free: text widths come from a table of
// the label font's advances, so the layout is the same wherever it is drawn.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Frame.h"
#include "Scene.h"

namespace plot {

inline constexpr double kMargin = 12;       // around the picture's contents
inline constexpr int kLabelPixels = 12;     // the labels' font size
inline constexpr int kTextPixels = 13;      // the legend's and the axes' font size
inline constexpr double kLabelHeight = 16;  // a label's backing: the line and a pixel above and below
inline constexpr double kRootRadius = 6;    // a root's marker
inline constexpr double kDot = 3.2;         // a point of a path

// The width in pixels of text in the picture's font (DejaVu Sans) at this
// size, rounded up; the drawing shortens a text its font makes wider.
double TextWidth(std::string_view text, int pixels);

struct PlacedLabel {
  Rect box;           // the backing; the text starts 2 pixels in
  std::string text;
};

struct ListEntry {
  double x, baseline;
  std::string text;
};

struct SceneLayout {
  Rect full;                          // PlotArea for the rows below
  Frame frame;                        // the plane on the picture
  int legendRows = 0;                 // the legend's two columns (one more when numbered)
  std::vector<PlacedLabel> labels;
  bool numbered = false;              // roots carry numbers; rootList holds their coordinates
  int unplacedNumbers = 0;            // numbered roots with no room for their number
  std::vector<ListEntry> rootList;    // under the legend; the last may be "+ K more"
  int rootListRows = 0;
  double rootListColumn = 0;          // the width of one column of the list
};

// The whole layout of a scene: the same computation for the drawing and for
// the tests. Convergence pictures get no labels.
SceneLayout LayoutScene(const Scene& scene);

// Of `candidates`, the first box inside `area` that overlaps none of
// `taken`; -1 when none fits.
int FirstFree(const std::vector<Rect>& candidates, const Rect& area, const std::vector<Rect>& taken);
bool Overlap(const Rect& a, const Rect& b);

}  // namespace plot
