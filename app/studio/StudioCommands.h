// What the studio does with the system in its editor, without Qt: the text
// is read as `nlsolve` reads a system file (problem/ and cli/ProblemInput.h),
// checked as the user types, solved as `nlsolve solve FILE --method M` and
// searched as `nlsolve roots FILE` solve and search it, with the same
// reports and printers. Every function takes the editor's text and settings
// by value or reference and keeps nothing, so each may run on a worker thread.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "StudioReport.h"
#include "plot/Scene.h"
#include "problem/Problem.h"
#include "robust/Roots.h"

namespace studio {

// The toolbar's choices beside the text.
struct Settings {
  problem::Method method = problem::Method::Newton;  // newton is the Go command
  std::string ftol;    // as typed; empty: the root test at the equations' own scale
  bool certify = false;  // prove the root (solve) or the list (roots); not with newton
  std::string budget;  // seconds of a root search, as typed; empty: the search's default
};

// A fault or a warning in the text, where the command line would place it.
struct Diagnostic {
  bool error = false;
  problem::Place place;  // line 0: nowhere in the text (a toolbar field)
  std::string message;   // as the command line words it, "system.txt:3:7: Eq_2: Syntax error"
};

// The text as read: its diagnostics (at most one error, which stops the
// reading, then the warnings) and where its keyed lines stand.
struct Check {
  std::vector<Diagnostic> diagnostics;
  bool readable = false;  // no error: the text is a system the method can take
  int equations = 0;      // as read (0 when not readable)
};
Check CheckText(std::string_view fileName, std::string_view text, const Settings& settings);

// One command's outcome: the report, and the facts the window acts on.
struct Outcome {
  Report report;
  bool ran = false;        // false: refused before running (the report says why)
  bool cancelled = false;  // the stop flag ended it; the report holds what was found
  std::vector<double> answer;  // solve: the answer
  bool root = false;           // solve: the answer is a root; roots: a root is in the box
  std::string verdict;         // one line for the status bar
};

// `nlsolve solve FILE --method M [--ftol T] [--certify]` on the text; the Go
// command for newton. `stop` (non-zero: stop) ends a robust run early.
Outcome Solve(std::string_view fileName, std::string_view text, const Settings& settings,
              const std::atomic<int>* stop);

// `nlsolve roots FILE [--ftol T] [--budget S] [--certify]` on the text.
// `progress` is told after each start.
Outcome FindRoots(std::string_view fileName, std::string_view text, const Settings& settings,
                  const std::atomic<int>* stop, const std::function<void(const robust::RootsProgress&)>& progress);

// A picture of the text as `nlsolve plot FILE --method M --size WxH` draws it.
struct Picture {
  plot::Scene scene;  // complete: it holds no reference to the equations
  std::string summary;  // the report line's tail: start, outcome, what the budget cut short
  std::string messages;  // what the command said on its error stream (warnings, refusals)
  bool drawn = false;    // the scene is ready; else `messages` says why not
};
Picture BuildPicture(std::string_view fileName, std::string_view text, const Settings& settings, int width,
                     int height, const std::atomic<int>* stop);

// Mapping between the zero-curve picture's pixels and the plane.
struct PlanePoint {
  double x = 0;
  double y = 0;
};
PlanePoint PlaneAt(const plot::Scene& scene, double pixelX, double pixelY);
// True when the pixel lies inside the plotted box.
bool InsidePlot(const plot::Scene& scene, double pixelX, double pixelY);

// Where the keyed lines of a text stand (first line of each, 0 when there is
// none), as the system file's reader finds them; all 0 when it refuses the text.
struct KeyLines {
  bool read = false;  // the reader took the text
  int names = 0;
  int start = 0;
  int box = 0;
};
KeyLines KeyLinesOf(std::string_view text);

// Lines [first, last] of the text (1-based) to replace by `text`; first =
// last + 1 inserts `text` as a line before line `first`.
struct LineEdit {
  int first = 1;
  int last = 0;
  std::string text;
};
// The `start:` line set to a point, each value written to `resolution`
// (about a tenth of a pixel); the line replaces the text's start: line (all
// of its continued lines) or goes after its names: line, or first.
// nullopt when the reader refuses the text (its lines are not known).
std::optional<LineEdit> StartEdit(std::string_view text, std::span<const double> start, double resolution);
// The `box:` line set to the picture's box, likewise.
std::optional<LineEdit> BoxEdit(std::string_view text, const plot::Box& box, double resolution);

// A number written to about `resolution`: "1.25", "-0.003", "120".
std::string RoundedText(double value, double resolution);

// The nine examples as system files: "# Example 1", names:, start: and the equations.
std::string ExampleText(int example);

}  // namespace studio
