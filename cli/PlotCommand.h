// nlsolve plot: a picture of a system and of the chosen method's run, as a PNG
// or SVG file. The scene is built here (plot/Scene.h); the drawing library,
// the only part of the program that uses Qt, is loaded with dlopen when a
// picture is written, so the other commands never load Qt.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "plot/Limits.h"
#include "plot/Scene.h"
#include "problem/Problem.h"
#include "problem/Readers.h"
#include "solvers/Solvers.h"

namespace cli {

inline constexpr std::string_view kPlotUsage =
    "Usage: nlsolve plot (--example N | (--eq EXPR)... | FILE) [--vars TEXT] [--x0 TEXT]\n"
    "                    [--method METHOD] [--box LO:HI[,LO:HI]] -o FILE.png|FILE.svg\n"
    "                    [--def NAME=EXPR]... [--size WxH] [--budget SECONDS]\n";

struct PlotCliOptions {
  int example = 0;  // 1..kExampleCount, or 0 when equations or a file are given
  // --eq, --def, --vars, --x0, --box, --method and --budget as typed; without
  // --method (or with newton) the Go road.
  problem::CommandLineInput input;
  std::optional<std::string> file;  // a system file instead of the equations
  // The file's text when the caller holds it already (the window's editor):
  // `file` then only names it in messages and nothing is read from disk.
  std::optional<std::string> fileText;
  std::string output;
  std::string sizeText = "900x700";
  // Ends the method's run, the root search and the tracing of the curves
  // early when it points at a non-zero value (what was cut short is said so);
  // nullptr for none. Must outlive BuildPlotScene.
  const std::atomic<int>* stop = nullptr;
};

// The limits and defaults in the text come from plot/Limits.h and
// PlotCliOptions, as the check's do.
inline const std::string kPlotHelp =
    std::string("  nlsolve plot (--example N | (--eq EXPR)... | FILE) [--vars TEXT] [--x0 TEXT]\n"
                "               [--method METHOD] [--def NAME=EXPR]... [--box LO:HI[,LO:HI]]\n"
                "               -o FILE\n"
                "               [--size WxH] [--budget SECONDS]\n"
                "      Draws a picture into FILE (.png or .svg, ") +
    PlotCliOptions{}.sizeText + " unless --size; each\n      side " +
    std::to_string(plot::kMinSide) + " to " + std::to_string(plot::kMaxSide) + " pixels, at most " +
    std::to_string(plot::kMaxPixels) +
    " pixels in all).\n"
    "      Two unknowns: the zero curves of both equations over the box (as for\n"
    "      roots: -10:10, or around --x0), shaded where an equation cannot be\n"
    "      evaluated, every root the root search finds in the box, and the\n"
    "      method's path from the start (newton, the default, is the Go\n"
    "      command; 2 to 6 equations). Other numbers of unknowns: max|F| on a log\n"
    "      scale against the iteration, one line per run. --budget (" +
    std::to_string(plot::kDefaultBudgetSeconds) +
    ") the seconds\n"
    "      for the path, the root search and the zero curves together; what it\n"
    "      cuts short is drawn as far as it got and named on the report line.\n"
    "      Exit status 0 when the picture was written. The file is replaced only\n"
    "      by a complete picture. FILE is a system file (- for standard input);\n"
    "      --vars, --x0 and --box override its names:, start: and box: lines.\n"
    "      METHOD as for solve --method.\n";


// "WxH" within plot/Limits.h's bounds; false with the problem in `problem`.
bool ParseSize(std::string_view text, int& width, int& height, std::string& problem);

// The Go command's path as its solvers report it through the observer
// (app::GoOptions): the steepest-descent stage's start and end point and
// Newton's start and iterates, each a point of n coordinates.
struct GoPath {
  std::vector<std::vector<double>> newton;
  std::vector<std::vector<double>> descent;  // empty when there was no descent stage
  int descentIterations = 0;                 // the count the descent's end gives
  // Takes one point the solvers reached; the descent's steps between its
  // start and end are not kept.
  void Add(const solvers::ReachedPoint& point);
};

// Finds the drawing library: $NLSOLVE_PLOT_LIBRARY when set, else beside the
// executable, else in ../lib/nlsolver/ from it. Writes scene to path.
bool WritePicture(const plot::Scene& scene, const std::string& path, std::string& error);

enum class PictureFormat { Png, Svg };

// What a plot run did, for the report line: the problem as read, the
// method's run and what the time budget cut short, and once the picture is
// written its file, format and size.
struct PlotReport {
  std::vector<std::string> equations;  // as the picture names them: as typed, " = 0" added unless LEFT = RIGHT
  std::vector<std::string> names;
  std::vector<double> start;
  problem::Method method = problem::Method::Newton;
  std::string outcome;   // the method's run in words: its end point, iterations, max|F|
  std::string cutShort;  // what the time budget cut short, in words; empty when nothing
  std::optional<std::size_t> rootsInBox;  // two unknowns: the roots the search found in the box
  bool withinBounds = false;  // the search kept to the part of the box within the bounds
  std::size_t notIsolated = 0;  // points the search reached where the roots are not isolated

  std::string file;  // the picture written; empty until then
  PictureFormat format = PictureFormat::Png;
  int width = 0;
  int height = 0;
};

// "From (start): outcome[; cut short]": the picture's subtitle and the
// report line's tail.
std::string PlotSummary(const PlotReport& report);
// "wrote FILE (WxH): SUMMARY", then for two unknowns "N roots found in the box"
// (" within the bounds" under bounds).
void PrintPlotReport(const PlotReport& report, std::ostream& out);

// The picture's scene for the options, and the report's parts up to the
// writing; the exit status when the options or the system are refused
// (messages on err), nullopt when the scene is ready. Keeps nothing from the
// call but `scene`.
std::optional<int> BuildPlotScene(const PlotCliOptions& options, plot::Scene& scene, PlotReport& report,
                                  std::ostream& err);

int RunPlot(const PlotCliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace cli
