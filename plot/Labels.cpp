#include "Labels.h"

#include <algorithm>
#include <cmath>

namespace plot {
namespace {

// How much of the picture's height the list of roots may take.
constexpr double kRootListShare = 0.3;
constexpr double kListGap = 18;          // between the list's columns
constexpr double kBesideRoot = 7;        // from a root's centre to its label's backing
constexpr double kBesideDot = 5;         // from a path's point to its label's backing
constexpr double kMarkerPad = 1;         // a marker's outline

// DejaVu Sans advances in em, rounded up; other characters get the widest
// lower-case letter's.
double Advance(unsigned char c) {
  if (c >= '0' && c <= '9') return 0.637;
  switch (c) {
    case ' ': case ',': case '.': case ':': return 0.318;
    case '(': case ')': return 0.391;
    case '-': return 0.361;
    case '+': case '=': return 0.838;
    case 'i': case 'l': return 0.278;
    case 'f': case 't': case 'r': return 0.411;
    case 'm': return 0.974;
    case 'w': return 0.818;
    default: break;
  }
  if (c >= 'a' && c <= 'z') return 0.635;
  return 1.0;  // capitals, other signs and every byte of a UTF-8 character
}

Rect Square(double x, double y, double radius) { return {x - radius, y - radius, 2 * radius, 2 * radius}; }

// Boxes of width w around (x, y), `gap` pixels off, in the order of `first`.
enum class Side { UpperRight, LowerRight, UpperLeft, LowerLeft };
std::vector<Rect> Candidates(double x, double y, double w, double gap, Side first) {
  const double h = kLabelHeight;
  const Rect upperRight{x + gap, y - gap - h + 4, w, h}, lowerRight{x + gap, y + gap - 4, w, h};
  const Rect upperLeft{x - gap - w, y - gap - h + 4, w, h}, lowerLeft{x - gap - w, y + gap - 4, w, h};
  std::vector<Rect> corners;
  switch (first) {
    case Side::UpperRight: corners = {upperRight, lowerRight, upperLeft, lowerLeft}; break;
    case Side::LowerRight: corners = {lowerRight, upperRight, lowerLeft, upperLeft}; break;
    case Side::UpperLeft: corners = {upperLeft, lowerLeft, upperRight, lowerRight}; break;
    case Side::LowerLeft: corners = {lowerLeft, upperLeft, lowerRight, upperRight}; break;
  }
  corners.push_back({x + gap + 2, y - h / 2, w, h});         // right
  corners.push_back({x - gap - 2 - w, y - h / 2, w, h});     // left
  corners.push_back({x - w / 2, y - gap - 2 - h, w, h});     // above
  corners.push_back({x - w / 2, y + gap + 2, w, h});         // below
  return corners;
}

double LabelBoxWidth(const std::string& text) { return TextWidth(text, kLabelPixels) + 4; }

std::string Pair(const std::vector<double>& p) { return "(" + CoordinateText(p[0]) + ", " + CoordinateText(p[1]) + ")"; }

bool Inside(const Box& box, const std::vector<double>& p) {
  return p[0] >= box.xMin && p[0] <= box.xMax && p[1] >= box.yMin && p[1] <= box.yMax;
}

// Places the roots' labels (texts[i] for root i) on `frame`; false when one
// does not fit. Start and end are placed first: they are few and short.
struct Attempt {
  std::vector<PlacedLabel> labels;
  int unplaced = 0;
};

Attempt Place(const Scene& scene, const Frame& frame, const std::vector<std::string>& rootTexts, int endRoot) {
  Attempt attempt;
  const Rect& area = frame.Area();
  const Box& box = scene.box;
  std::vector<Rect> taken;
  for (const std::vector<double>& root : scene.roots)
    if (Inside(box, root)) taken.push_back(Square(frame.PixelX(root[0]), frame.PixelY(root[1]), kRootRadius + kMarkerPad));
  auto markers = taken.size();
  (void)markers;
  for (const std::vector<double>* point : {&scene.start, &scene.end})
    if (point->size() == 2 && std::isfinite((*point)[0]) && std::isfinite((*point)[1]) && Inside(box, *point))
      taken.push_back(Square(frame.PixelX((*point)[0]), frame.PixelY((*point)[1]), kDot + kMarkerPad));

  // "start" and "end"; a point outside the box is named at the border, inside
  // the area, towards its centre.
  auto mark = [&](const std::vector<double>& point, const std::string& word, Side preferred) {
    if (point.size() < 2) return;
    std::string text = word;
    double x, y;
    Side side = preferred;
    if (Inside(box, point)) {
      x = frame.PixelX(point[0]);
      y = frame.PixelY(point[1]);
    } else {
      const bool finite = std::isfinite(point[0]) && std::isfinite(point[1]);
      x = frame.PixelX(finite ? std::clamp(point[0], box.xMin, box.xMax) : (box.xMin + box.xMax) / 2);
      y = frame.PixelY(finite ? std::clamp(point[1], box.yMin, box.yMax) : box.yMax);
      text += " outside the box at " + (finite ? Pair(point) : std::string("a point that is not finite"));
      const bool right = x > area.left + area.width / 2, low = y > area.top + area.height / 2;
      side = low ? (right ? Side::UpperLeft : Side::UpperRight) : (right ? Side::LowerLeft : Side::LowerRight);
    }
    const std::vector<Rect> candidates = Candidates(x, y, LabelBoxWidth(text), kBesideDot, side);
    // Placed first, a mark meets only markers; in a picture too crowded for
    // it the path's first or last dot shows the point unnamed.
    const int chosen = FirstFree(candidates, area, taken);
    if (chosen < 0) return;
    taken.push_back(candidates[static_cast<std::size_t>(chosen)]);
    attempt.labels.push_back({candidates[static_cast<std::size_t>(chosen)], text});
  };
  mark(scene.start, "start", Side::UpperLeft);
  if (endRoot < 0) mark(scene.end, "end", Side::LowerRight);

  for (std::size_t r = 0; r < scene.roots.size(); ++r) {
    const std::vector<double>& root = scene.roots[r];
    if (!Inside(box, root)) continue;
    const std::string text = (static_cast<int>(r) == endRoot ? "end " : "") + rootTexts[r];
    const std::vector<Rect> candidates =
        Candidates(frame.PixelX(root[0]), frame.PixelY(root[1]), LabelBoxWidth(text), kBesideRoot, Side::UpperRight);
    const int chosen = FirstFree(candidates, area, taken);
    if (chosen < 0) {
      ++attempt.unplaced;
      continue;
    }
    taken.push_back(candidates[static_cast<std::size_t>(chosen)]);
    attempt.labels.push_back({candidates[static_cast<std::size_t>(chosen)], text});
  }
  return attempt;
}

}  // namespace

double TextWidth(std::string_view text, int pixels) {
  double em = 0;
  for (char c : text) em += Advance(static_cast<unsigned char>(c));
  return std::ceil(em * pixels);
}

bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

int FirstFree(const std::vector<Rect>& candidates, const Rect& area, const std::vector<Rect>& taken) {
  for (std::size_t k = 0; k < candidates.size(); ++k) {
    const Rect& c = candidates[k];
    if (c.left < area.left || c.top < area.top || c.left + c.width > area.left + area.width ||
        c.top + c.height > area.top + area.height)
      continue;
    if (std::none_of(taken.begin(), taken.end(), [&](const Rect& t) { return Overlap(c, t); }))
      return static_cast<int>(k);
  }
  return -1;
}

SceneLayout LayoutScene(const Scene& scene) {
  SceneLayout layout;
  layout.legendRows = LegendRows(scene);
  layout.full = PlotArea(scene.width, scene.height, layout.legendRows);
  if (scene.kind != Kind::ZeroCurves) {
    const double last = LastIteration(scene);
    int low = 0, high = 0;
    DecadeRange(scene, low, high);
    layout.frame = Frame(Box{0, last, static_cast<double>(low), static_cast<double>(high)}, layout.full, false);
    return layout;
  }
  layout.frame = Frame(scene.box, layout.full, true);
  // The end on a root names both in one label.
  int endRoot = -1;
  if (scene.end.size() == 2)
    for (std::size_t r = 0; r < scene.roots.size() && endRoot < 0; ++r)
      if (Inside(scene.box, scene.roots[r]) &&
          std::hypot(layout.frame.PixelX(scene.roots[r][0]) - layout.frame.PixelX(scene.end[0]),
                     layout.frame.PixelY(scene.roots[r][1]) - layout.frame.PixelY(scene.end[1])) < kRootRadius)
        endRoot = static_cast<int>(r);
  std::vector<std::string> texts;
  for (const std::vector<double>& root : scene.roots) texts.push_back(Pair(root));
  Attempt attempt = Place(scene, layout.frame, texts, endRoot);
  if (attempt.unplaced == 0) {
    layout.labels = std::move(attempt.labels);
    return layout;
  }

  // Numbers beside the roots, their coordinates in columns under the legend.
  layout.numbered = true;
  std::vector<std::string> entries;
  for (std::size_t r = 0; r < scene.roots.size(); ++r) entries.push_back(std::to_string(r + 1) + "  " + texts[r]);
  double widest = 0;
  for (const std::string& entry : entries) widest = std::max(widest, TextWidth(entry, kTextPixels));
  layout.rootListColumn = widest + kListGap;
  const int columns = std::max(1, static_cast<int>((scene.width - 2 * kMargin) / layout.rootListColumn));
  // The list takes at most a share of the picture and half of the plot's height.
  const int maxRows = std::max(
      1, static_cast<int>(std::min(scene.height * kRootListShare, layout.full.height / 2) / kLegendRow));
  const int count = static_cast<int>(entries.size());
  int rows = std::min(maxRows, (count + columns - 1) / columns);
  int shown = count;
  if (count > rows * columns) {
    shown = rows * columns - 1;
    entries[static_cast<std::size_t>(shown)] = "+ " + std::to_string(count - shown) + " more";
    entries.resize(static_cast<std::size_t>(shown) + 1);
  }
  layout.rootListRows = rows;
  // The legend's entry for the roots then takes a whole row for its longer text.
  ++layout.legendRows;
  layout.full = PlotArea(scene.width, scene.height, layout.legendRows + rows);
  layout.frame = Frame(scene.box, layout.full, true);
  const double top = layout.full.top + layout.full.height + kLegendTop + kLegendRow * layout.legendRows;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const int column = static_cast<int>(k) / rows, row = static_cast<int>(k) % rows;
    layout.rootList.push_back({kMargin + column * layout.rootListColumn, top + kLegendRow * row, entries[k]});
  }
  std::vector<std::string> numbers;
  for (std::size_t r = 0; r < scene.roots.size(); ++r) numbers.push_back(std::to_string(r + 1));
  attempt = Place(scene, layout.frame, numbers, endRoot);
  layout.labels = std::move(attempt.labels);
  layout.unplacedNumbers = attempt.unplaced;
  return layout;
}

}  // namespace plot
