// Pictures: the files are images of the asked size, a root lands where the
// frame says, the zero curves cross at the root, the same input gives the same
// bytes, and what the pictures are built from (the observer, the Go log) is
// what the solvers did.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include <QImage>
#include <QSvgRenderer>

#include "app/GoCommand.h"
#include "app/ProblemState.h"
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/PlotCommand.h"
#include "eval/NumberText.h"
#include "eval/SolverUi.h"
#include "plot/AtomicFile.h"
#include "plot/Contour.h"
#include "plot/Frame.h"
#include "plot/Labels.h"
#include "plot/Limits.h"
#include "plot/Scene.h"
#include "robust/Robust.h"

namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TempPath(const std::string& name) { return ::testing::TempDir() + "plot_" + name; }

// x^2 + y^2 = 4 and y = x: roots at +-(sqrt 2, sqrt 2).
plot::Scene CircleAndLine(int width, int height) {
  plot::Scene scene;
  scene.width = width;
  scene.height = height;
  scene.title = "x^2+y^2-4 = 0; x-y = 0";
  scene.names = {"x", "y"};
  scene.box = {-3, 3, -2.5, 2.5};
  scene.curveLabels = {"F1: x^2+y^2-4 = 0", "F2: x-y = 0"};
  scene.evaluate = [](double x, double y, double* f) {
    f[0] = x * x + y * y - 4;
    f[1] = x - y;
  };
  scene.roots = {{std::sqrt(2.0), std::sqrt(2.0)}, {-std::sqrt(2.0), -std::sqrt(2.0)}};
  scene.start = {1, 0.5};
  scene.end = scene.roots[0];
  plot::Run run;
  run.label = "hybrid";
  run.points = {{1, 0.5}, {1.3, 1.2}, scene.roots[0]};
  scene.runs.push_back(run);
  return scene;
}

bool Write(const plot::Scene& scene, const std::string& path) {
  std::string error;
  const bool written = plot::nlsolve_plot_write(plot::kSceneVersion, &scene, path.c_str(), &error);
  EXPECT_TRUE(written) << error;
  return written;
}

TEST(PlotFile, IsAnImageOfTheAskedSizeAndTheSameForTheSameInput) {
  struct Row {
    const char* file;
    int width, height;
    plot::Kind kind;
  } rows[] = {
      {"a.png", 900, 700, plot::Kind::ZeroCurves}, {"b.svg", 640, 480, plot::Kind::ZeroCurves},
      {"c.png", 400, 320, plot::Kind::ZeroCurves}, {"d.svg", 900, 700, plot::Kind::Convergence},
      {"e.png", 1200, 500, plot::Kind::Convergence},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    plot::Scene scene = CircleAndLine(row.width, row.height);
    scene.kind = row.kind;
    scene.runs[0].maxAbs = {3, 0.5, 1e-3, 0};
    scene.runs[0].iterations = {0, 1, 2, 3};
    scene.tolerance = 1e-10;
    const std::string path = TempPath(row.file);
    ASSERT_TRUE(Write(scene, path));
    const std::string first = Bytes(path);
    if (std::string(row.file).ends_with(".png")) {
      QImage image;
      ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(first.data()), static_cast<int>(first.size()), "PNG"));
      EXPECT_EQ(image.width(), row.width);
      EXPECT_EQ(image.height(), row.height);
    } else {
      QSvgRenderer renderer(QByteArray::fromStdString(first));
      ASSERT_TRUE(renderer.isValid());
      EXPECT_EQ(renderer.defaultSize(), QSize(row.width, row.height));
    }
    ASSERT_TRUE(Write(scene, path));
    EXPECT_TRUE(Bytes(path) == first) << "a second picture of the same scene differs";
  }
}

TEST(PlotFile, RootsLandOnTheirPixels) {
  const plot::Scene scene = CircleAndLine(900, 700);
  const std::string path = TempPath("roots.png");
  ASSERT_TRUE(Write(scene, path));
  QImage image(QString::fromStdString(path));
  ASSERT_FALSE(image.isNull());
  const plot::Frame frame = plot::SceneFrame(scene);
  const QColor rootFill(0xff, 0xcc, 0x00);
  for (const std::vector<double>& root : scene.roots) {
    const int x = static_cast<int>(std::lround(frame.PixelX(root[0])));
    const int y = static_cast<int>(std::lround(frame.PixelY(root[1])));
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    EXPECT_EQ(image.pixelColor(x, y), rootFill);
    EXPECT_NE(image.pixelColor(x + 12, y + 12), rootFill);
  }
  // Up is up, and the box's centre is the area's centre.
  EXPECT_LT(frame.PixelY(1), frame.PixelY(0));
  EXPECT_NEAR(frame.PixelX(0), frame.Area().left + frame.Area().width / 2, 1e-9);
  EXPECT_NEAR(frame.PixelY(0), frame.Area().top + frame.Area().height / 2, 1e-9);
  // The frame keeps one scale for both unknowns: a circle stays round.
  EXPECT_NEAR(frame.PixelX(1) - frame.PixelX(0), frame.PixelY(0) - frame.PixelY(1), 1e-9);
}

TEST(Axes, TicksAreRoundNumbersInsideTheRangeAndTheirTextsDiffer) {
  struct Row {
    double lo, hi;
    int target;
  } rows[] = {{-10, 10, 8}, {-3, 3, 6}, {0.001, 0.0013, 5}, {-2.5, 2.5, 7}, {1e6, 3e6, 4}, {0, 40, 10}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.lo) + ":" + std::to_string(row.hi));
    const std::vector<double> ticks = plot::Ticks(row.lo, row.hi, row.target);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_LE(ticks.size(), static_cast<std::size_t>(2.5 * row.target));
    const double step = ticks[1] - ticks[0];
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 || std::fabs(mantissa - 5) < 1e-6)
        << step;
    for (std::size_t k = 0; k < ticks.size(); ++k) {
      const double slack = 1e-9 * (row.hi - row.lo);
      EXPECT_GE(ticks[k], row.lo - slack);
      EXPECT_LE(ticks[k], row.hi + slack);
      if (k > 0) {
        EXPECT_NE(plot::TickText(ticks[k], step), plot::TickText(ticks[k - 1], step));
      }
    }
  }
}

double DistanceToCurve(const std::vector<plot::Segment>& curve, double x, double y) {
  double best = INFINITY;
  for (const plot::Segment& s : curve) {
    best = std::fmin(best, std::hypot(s.x0 - x, s.y0 - y));
    best = std::fmin(best, std::hypot(s.x1 - x, s.y1 - y));
  }
  return best;
}

TEST(ZeroCurves, CrossAtTheRootsAndSkipPolesAndUndefinedRegions) {
  const double r = std::sqrt(2.0);
  const plot::Contours circle = plot::TraceZeroCurves(-3, 3, -2.5, 2.5, CircleAndLine(900, 700).evaluate);
  for (int e = 0; e < 2; ++e) {
    SCOPED_TRACE(e);
    EXPECT_LT(DistanceToCurve(circle.curves[e], r, r), 0.01);
    EXPECT_LT(DistanceToCurve(circle.curves[e], -r, -r), 0.01);
    EXPECT_TRUE(circle.undefined[e].empty());
  }
  // Every point of the circle's curve is on the circle.
  for (const plot::Segment& s : circle.curves[0]) EXPECT_NEAR(std::hypot(s.x0, s.y0), 2, 2e-3);

  // F1 = 1/x - 1 changes sign across its pole at x = 0 too; F2 = sqrt(x) is
  // undefined for x < 0.
  const plot::Contours pole = plot::TraceZeroCurves(-2, 2, -1, 1, [](double x, double, double* f) {
    f[0] = 1 / x - 1;
    f[1] = x < 0 ? NAN : std::sqrt(x) - 1;
  });
  ASSERT_FALSE(pole.curves[0].empty());
  for (const plot::Segment& s : pole.curves[0]) EXPECT_NEAR(s.x0, 1, 1e-4);
  ASSERT_FALSE(pole.undefined[1].empty());
  for (const plot::Cell& c : pole.undefined[1]) EXPECT_LT(c.x0, 0.01);
  EXPECT_TRUE(pole.undefined[0].empty());
}

// Rosenbrock's system, F = (10 (y - x^2), 1 - x): one root at (1, 1).
class Rosenbrock : public robust::Residuals {
 public:
  int Count() const override { return 2; }
  robust::EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                                    std::span<double> j) override {
    f[0] = 10 * (x[1] - x[0] * x[0]);
    f[1] = 1 - x[0];
    if (!j.empty()) {
      j[0] = -20 * x[0];
      j[1] = 10;
      j[2] = -1;
      j[3] = 0;
    }
    return {};
  }
};

TEST(Observer, SeesEveryRunFromItsStartToItsEndAndChangesNothing) {
  for (robust::Method method : {robust::Method::Hybrid, robust::Method::LevenbergMarquardt, robust::Method::Auto}) {
    SCOPED_TRACE(std::string(robust::MethodName(method)));
    const double start[] = {-1.2, 1};
    robust::Options options;
    options.method = method;
    Rosenbrock plain;
    const robust::Report unwatched = robust::Solve(options, plain, start);
    std::vector<robust::Iterate> seen;
    std::vector<std::vector<double>> points;
    options.observer = [&](const robust::Iterate& step) {
      seen.push_back(step);
      points.emplace_back(step.x.begin(), step.x.end());
    };
    Rosenbrock watched;
    const robust::Report report = robust::Solve(options, watched, start);
    EXPECT_EQ(report.x, unwatched.x);
    EXPECT_EQ(report.iterations, unwatched.iterations);
    EXPECT_EQ(report.functionEvaluations, unwatched.functionEvaluations);
    EXPECT_EQ(report.jacobianEvaluations, unwatched.jacobianEvaluations);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front().step, 0);
    EXPECT_EQ(points.front(), std::vector<double>(start, start + 2));
    EXPECT_EQ(points.back(), report.x);
    EXPECT_DOUBLE_EQ(seen.back().maxAbsResidual, report.maxAbsResidual);
    for (std::size_t k = 1; k < seen.size(); ++k)
      if (seen[k].run == seen[k - 1].run) {
        EXPECT_EQ(seen[k].step, seen[k - 1].step + 1);
      }
  }
}

// The path comes from the solvers' observer; the log printed alongside
// tells the same counts.
TEST(GoPath, AgreesWithTheLogOfBothStages) {
  struct Row {
    int example;
    bool descent;
  } rows[] = {{1, false}, {4, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.example);
    cli::SolveOptions options;
    options.example = row.example;
    app::ProblemState state;
    app::InputFields fields;
    cli::PrepareSolveInput(options, state, fields);
    std::vector<double> start;
    for (const std::string& piece : app::SplitAtCommas(fields.txtVarsI)) start.push_back(eval::LeadingNumber(piece));
    eval::RecordingUi ui;
    cli::GoPath path;
    app::GoOptions go;
    go.observer = [&path](const solvers::ReachedPoint& point) { path.Add(point); };
    const app::GoResult result = app::CmdExecute_Click(fields, state, ui, go);
    ASSERT_TRUE(result.ran);
    ASSERT_GE(path.newton.size(), 2u);
    EXPECT_EQ(path.newton.back(), result.x);
    std::size_t iterationLines = 0;
    std::string descentEnd;
    for (const std::string& line : ui.log) {
      iterationLines += line.starts_with("IterNo=");
      if (line.starts_with("sta 400 K= ")) descentEnd = line;
    }
    EXPECT_EQ(path.newton.size() - 1, iterationLines);
    if (row.descent) {
      ASSERT_EQ(path.descent.size(), 2u);
      EXPECT_EQ(path.descent.front(), start);
      EXPECT_GT(path.descentIterations, 0);
      EXPECT_EQ(descentEnd.substr(0, descentEnd.find(';')), "sta 400 K= " + std::to_string(path.descentIterations));
      EXPECT_EQ(path.descent.back(), path.newton.front());
    } else {
      EXPECT_TRUE(path.descent.empty());
      EXPECT_EQ(path.newton.front(), start);
    }
  }
}

TEST(PlotCommand, WritesThePictureOrSaysWhy) {
  setenv("NLSOLVE_PLOT_LIBRARY", PLOT_LIBRARY_PATH, 1);
  const std::string png = TempPath("cli.png");
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* err;
  } rows[] = {
      {{"plot", "--example", "1", "--box", "-3:3", "-o", png}, 0, ""},
      {{"plot", "--eq", "x1^2+x2^2+x3^2-1", "--eq", "x1-x2", "--eq", "x2-x3", "--x0", "1,2,3", "--method", "lm",
        "-o", TempPath("cli.svg")},
       0, ""},
      {{"plot", "--example", "1", "-o", TempPath("cli.jpg")}, 2, "-o needs a file name ending in .png or .svg"},
      {{"plot", "--example", "1", "--size", "50x50", "-o", png}, 2, "--size needs WxH"},
      {{"plot", "--eq", "x1-1", "-o", png}, 2, "--method newton (the Go command) takes 2 to 6 equations"},
      {{"plot", "--eq", "x1+", "--eq", "x2", "--method", "hybrid", "-o", png}, 1, "Eq_1"},
      // The Go road's refusals are located and worded as the other methods' are.
      {{"plot", "--eq", "x1+", "--eq", "x2", "-o", png}, 1, "nlsolve plot: --eq (column 4): Eq_1: Syntax error"},
      {{"plot", "--eq", "x1", "--eq", "x2", "--box", "2:1", "-o", png}, 2, "--box: expected LOW below HIGH, got '2:1'"},
      {{"plot", "--eq", "x1", "--eq", "x2", "--vars", "a", "-o", png}, 2, "--vars needs 2 names, one per equation (given 1)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.back());
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli(row.args, out, err), row.status) << err.str();
    EXPECT_NE(err.str().find(row.err), std::string::npos) << err.str();
  }
  setenv("NLSOLVE_PLOT_LIBRARY", "/nonexistent/libnlsolve_plot.so", 1);
  std::ostringstream out, err;
  const std::vector<std::string> args = {"plot", "--example", "1", "-o", png};
  EXPECT_EQ(cli::RunCli(args, out, err), 1);
  EXPECT_NE(err.str().find("the drawing library libnlsolve_plot.so was not found"), std::string::npos) << err.str();
  unsetenv("NLSOLVE_PLOT_LIBRARY");
}

// The commands that draw nothing load no Qt library; plot finds its library
// beside the executable.
TEST(PlotCommand, OnlyPlotLoadsQt) {
  const std::string command = std::string("LD_DEBUG=libs ") + NLSOLVE_PATH + " solve --example 1 2>&1 >/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string trace;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) trace += buffer;
  pclose(pipe);
  EXPECT_NE(trace.find("libm.so"), std::string::npos) << "LD_DEBUG gave no trace";
  EXPECT_EQ(trace.find("libQt6"), std::string::npos);

  const std::string png = TempPath("process.png");
  const std::string draw = std::string("env -u DISPLAY -u NLSOLVE_PLOT_LIBRARY ") + NLSOLVE_PATH +
                           " plot --example 1 -o " + png + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(draw.c_str()), 0);
  EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());
}

}  // namespace

namespace {

// The sin/cos grid: 7 x 6 = 42 roots on the default box, too close for their
// coordinates (a picture with labels over each other and cut at the border).
plot::Scene SinCosGrid(int width, int height) {
  plot::Scene scene;
  scene.width = width;
  scene.height = height;
  scene.names = {"x1", "x2"};
  scene.curveLabels = {"F1: sin(x1) = 0", "F2: cos(x2) = 0"};
  for (int i = -3; i <= 3; ++i)
    for (int j = -3; j <= 2; ++j) scene.roots.push_back({i * M_PI, (j + 0.5) * M_PI});
  scene.start = {0, 0};
  scene.end = {0, -350.3};  // outside the box
  return scene;
}

// Example 3 on -10:10: four roots within about one unit of each other.
plot::Scene CloseRoots() {
  plot::Scene scene = SinCosGrid(900, 700);
  scene.roots = {{-0.3737, 0.05627}, {0.1478, -0.4362}, {0.4081, -0.4926}, {1.033, -0.28}};
  scene.end = scene.roots[0];
  return scene;
}

// Roots on the box's corners and edges: a label must turn inwards.
plot::Scene EdgeRoots() {
  plot::Scene scene = CircleAndLine(640, 480);
  scene.roots = {{-3, -2.5}, {3, 2.5}, {-3, 2.5}, {3, -2.5}, {0, 2.5}, {3, 0}};
  scene.end.clear();
  return scene;
}

TEST(RootLabels, NeverOverlapEachOtherOrMarkersNorLeaveThePlotArea) {
  struct Row {
    const char* name;
    plot::Scene scene;
    bool numbered;
  } rows[] = {
      {"circle and line", CircleAndLine(900, 700), false},
      {"close roots (example 3)", CloseRoots(), false},
      {"roots on the edges", EdgeRoots(), false},
      {"sin/cos grid 900x700", SinCosGrid(900, 700), true},
      {"sin/cos grid 320x320", SinCosGrid(320, 320), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const plot::SceneLayout layout = plot::LayoutScene(row.scene);
    const plot::Rect& area = layout.frame.Area();
    EXPECT_EQ(layout.numbered, row.numbered);
    for (std::size_t a = 0; a < layout.labels.size(); ++a) {
      const plot::Rect& box = layout.labels[a].box;
      SCOPED_TRACE(layout.labels[a].text);
      EXPECT_GE(box.left, area.left);
      EXPECT_GE(box.top, area.top);
      EXPECT_LE(box.left + box.width, area.left + area.width + 1e-9);
      EXPECT_LE(box.top + box.height, area.top + area.height + 1e-9);
      EXPECT_GE(box.width, plot::TextWidth(layout.labels[a].text, plot::kLabelPixels));
      for (std::size_t b = a + 1; b < layout.labels.size(); ++b)
        EXPECT_FALSE(plot::Overlap(box, layout.labels[b].box)) << layout.labels[b].text;
      for (const std::vector<double>& root : row.scene.roots) {
        const double x = layout.frame.PixelX(root[0]), y = layout.frame.PixelY(root[1]);
        const plot::Rect marker{x - plot::kRootRadius, y - plot::kRootRadius, 2 * plot::kRootRadius,
                                2 * plot::kRootRadius};
        EXPECT_FALSE(plot::Overlap(box, marker)) << root[0] << ", " << root[1];
      }
    }
    // Every root is named: by its coordinates beside it, or by its number
    // beside it and its coordinates in the list.
    std::size_t named = 0;
    for (const plot::PlacedLabel& label : layout.labels)
      named += label.text.starts_with("(") || label.text.starts_with("end (") ||
               (layout.numbered && std::isdigit(static_cast<unsigned char>(label.text[0])));
    EXPECT_EQ(named + static_cast<std::size_t>(layout.unplacedNumbers), row.scene.roots.size());
    if (row.numbered) {
      ASSERT_FALSE(layout.rootList.empty());
      EXPECT_EQ(layout.rootList.front().text, "1  (" + plot::CoordinateText(row.scene.roots[0][0]) + ", " +
                                                  plot::CoordinateText(row.scene.roots[0][1]) + ")");
      const std::string& last = layout.rootList.back().text;
      EXPECT_TRUE(last == "42  (9.425, 7.854)" || last.starts_with("+ ")) << last;
      for (const plot::ListEntry& entry : layout.rootList)
        EXPECT_LE(entry.x + plot::TextWidth(entry.text, plot::kTextPixels), row.scene.width) << entry.text;
      EXPECT_LE(layout.rootList.back().baseline, row.scene.height);
    }
  }
  // The whole grid fits in numbers at the default size, with the list beside.
  const plot::SceneLayout grid = plot::LayoutScene(SinCosGrid(900, 700));
  EXPECT_EQ(grid.unplacedNumbers, 0);
  EXPECT_EQ(grid.rootList.size(), 42u);
}

TEST(ZeroCurves, StopWhenAskedAndSayHowFarTheyGot) {
  long calls = 0;
  plot::ContourOptions options;
  options.cellsX = options.cellsY = 40;
  options.stop = [&] { return ++calls > 100; };
  const plot::Contours cut = plot::TraceZeroCurves(-3, 3, -2.5, 2.5, CircleAndLine(900, 700).evaluate, options);
  EXPECT_FALSE(cut.complete);
  EXPECT_LT(cut.tracedUpTo, 2.5);
  EXPECT_GT(cut.tracedUpTo, -2.5);
  for (const plot::Segment& s : cut.curves[0]) EXPECT_LE(std::fmin(s.y0, s.y1), cut.tracedUpTo + 6.0 / 40);
  options.stop = nullptr;
  const plot::Contours whole = plot::TraceZeroCurves(-3, 3, -2.5, 2.5, CircleAndLine(900, 700).evaluate, options);
  EXPECT_TRUE(whole.complete);
  EXPECT_EQ(whole.tracedUpTo, 2.5);
}

TEST(PlotSize, AcceptsExactlyTheLimitsTheHelpStates) {
  using plot::kMaxPixels, plot::kMaxSide, plot::kMinSide;
  const std::string widest = std::to_string(kMaxSide) + "x" + std::to_string(kMaxPixels / kMaxSide);
  struct Row {
    std::string text;
    bool accepted;
  } rows[] = {
      {std::to_string(kMinSide) + "x" + std::to_string(kMinSide), true},
      {std::to_string(kMinSide - 1) + "x" + std::to_string(kMinSide), false},
      {"200x200", false},  // the manual once said 200
      {widest, true},
      {std::to_string(kMaxSide) + "x" + std::to_string(kMaxPixels / kMaxSide + 1), false},
      {std::to_string(kMaxSide + 1) + "x" + std::to_string(kMinSide), false},
      {std::to_string(kMaxSide) + "x" + std::to_string(kMaxSide), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    int width = 0, height = 0;
    std::string problem;
    EXPECT_EQ(cli::ParseSize(row.text, width, height, problem), row.accepted) << problem;
  }
  const std::string help = cli::kPlotHelp;
  EXPECT_NE(help.find(std::to_string(kMinSide) + " to " + std::to_string(kMaxSide) + " pixels, at most " +
                      std::to_string(kMaxPixels) + " pixels"),
            std::string::npos)
      << help;
  EXPECT_NE(help.find("--budget (" + std::to_string(plot::kDefaultBudgetSeconds) + ")"), std::string::npos);
}

// The number after "after " in the subtitle.
long CountAfter(const std::string& subtitle) {
  const std::size_t at = subtitle.find(" after ");
  return at == std::string::npos ? -1 : std::atol(subtitle.c_str() + at + 7);
}

TEST(PlotSubtitle, CountsTheIterationsTheAxisShows) {
  struct Row {
    const char* name;
    cli::PlotCliOptions options;
  };
  auto make = [](int example, std::vector<std::string> equations, std::string method) {
    cli::PlotCliOptions options;
    options.example = example;
    options.input.equations = std::move(equations);
    options.input.method = std::move(method);
    options.output = "unused.png";
    return options;
  };
  // The first two rows once said 9 and 21 iterations against axes ending at 40 and 6.
  Row rows[] = {
      {"example 4, Go with descent", make(4, {}, "newton")},
      {"one unknown, hybrid", make(0, {"x1^3-2*x1-5"}, "hybrid")},
      {"example 1, Go", make(1, {}, "newton")},
      {"three unknowns, lm", make(0, {"x1^2+x2^2+x3^2-1", "x1-x2", "x2-x3"}, "lm")},
      {"auto", make(0, {"x1^3-2*x1-5"}, "auto")},
  };
  rows[3].options.input.start = "1,2,3";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    plot::Scene scene;
    cli::PlotReport outcome;
    std::ostringstream err;
    ASSERT_FALSE(cli::BuildPlotScene(row.options, scene, outcome, err).has_value()) << err.str();
    scene.kind = plot::Kind::Convergence;  // the axis of the runs, also for a plane
    const long said = CountAfter(scene.subtitle);
    ASSERT_GE(said, 1) << scene.subtitle;
    EXPECT_EQ(static_cast<double>(said), plot::LastIteration(scene)) << scene.subtitle;
  }
}

TEST(PlotBudget, DrawsWhatIsDoneAndSaysWhatWasCutShort) {
  cli::PlotCliOptions options;
  options.input.equations = {"x1^2+x2^2-4", "x1*x2-1"};
  options.input.method = "hybrid";
  options.output = "unused.png";
  options.input.budget = "1e-9";
  plot::Scene scene;
  cli::PlotReport outcome;
  std::ostringstream err;
  ASSERT_FALSE(cli::BuildPlotScene(options, scene, outcome, err).has_value()) << err.str();
  ASSERT_TRUE(scene.contours.has_value());
  EXPECT_FALSE(scene.contours->complete);
  EXPECT_NE(outcome.cutShort.find("the root search"), std::string::npos) << outcome.cutShort;
  EXPECT_NE(outcome.cutShort.find("the zero curves"), std::string::npos) << outcome.cutShort;
  EXPECT_NE(scene.subtitle.find(outcome.cutShort), std::string::npos);
  EXPECT_FALSE(scene.evaluate) << "the scene must not call back into the command's equations";
  // The default budget leaves this small system whole.
  options.input.budget.reset();  // the default
  plot::Scene whole;
  cli::PlotReport done;
  ASSERT_FALSE(cli::BuildPlotScene(options, whole, done, err).has_value()) << err.str();
  EXPECT_TRUE(whole.contours->complete);
  EXPECT_EQ(done.cutShort, "");
  EXPECT_EQ(whole.roots.size(), 4u);
}

// The Go road reads a system file through the problem readers: its names,
// start and box make the plane, and --box wins over the box line.
TEST(PlotGoRoad, TakesTheNamesStartAndBoxOfAFile) {
  const std::string path = TempPath("goroad.txt");
  std::ofstream(path) << "names: u, v\nstart: 1, 3\nbox: -3:3, 0:5\nu^2 - 4\nv - u\n";
  struct Row {
    std::optional<std::string> box;
    plot::Box expected;
  } rows[] = {{std::nullopt, {-3, 3, 0, 5}}, {"-1:4", {-1, 4, -1, 4}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.box.value_or("the file's box"));
    cli::PlotCliOptions options;
    options.file = path;
    options.input.box = row.box;
    options.output = "unused.png";
    plot::Scene scene;
    cli::PlotReport report;
    std::ostringstream err;
    ASSERT_FALSE(cli::BuildPlotScene(options, scene, report, err).has_value()) << err.str();
    EXPECT_EQ(scene.box.xMin, row.expected.xMin);
    EXPECT_EQ(scene.box.xMax, row.expected.xMax);
    EXPECT_EQ(scene.box.yMin, row.expected.yMin);
    EXPECT_EQ(scene.box.yMax, row.expected.yMax);
    EXPECT_EQ(scene.names, (std::vector<std::string>{"u", "v"}));
    EXPECT_EQ(report.start, (std::vector<double>{1, 3}));
    EXPECT_EQ(report.method, problem::Method::Newton);
    EXPECT_EQ(scene.title, "u^2 - 4 = 0;   v - u = 0");
    EXPECT_EQ(scene.subtitle, cli::PlotSummary(report));
  }
}

// The report line: the file, its size, the run, what the budget cut short,
// and for two unknowns the roots in the box.
TEST(PlotReportLine, SaysWhatWasWrittenAndFound) {
  cli::PlotReport plane;
  plane.file = "p.png";
  plane.width = 900;
  plane.height = 700;
  plane.start = {2, 0.5};
  plane.outcome = "hybrid: root at (1.932, 0.5176)";
  plane.rootsInBox = 1;
  cli::PlotReport runs;
  runs.file = "c.svg";
  runs.format = cli::PictureFormat::Svg;
  runs.width = runs.height = 320;
  runs.start = {1, 2, 3};
  runs.outcome = "lm: root at (0.5774, 0.5774, 0.5774)";
  runs.cutShort = "the time budget of 1 s cut short the method's run";
  const std::pair<cli::PlotReport, std::string> rows[] = {
      {plane, "wrote p.png (900x700): From (2, 0.5): hybrid: root at (1.932, 0.5176)\n1 root found in the box\n"},
      {runs, "wrote c.svg (320x320): From (1, 2, 3): lm: root at (0.5774, 0.5774, 0.5774); the time budget of 1 s "
             "cut short the method's run\n"},
  };
  for (const auto& [report, expected] : rows) {
    std::ostringstream out;
    cli::PrintPlotReport(report, out);
    EXPECT_EQ(out.str(), expected);
  }
}

std::vector<std::string> DirectoryNames(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PictureFile, IsReplacedOnlyByACompletePictureAndFailuresSayWhy) {
  const std::string directory = TempPath("atomic");
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory + "/taken.png");  // a directory in the target's place
  const std::string target = directory + "/pic.png";
  const std::string old(50000, 'o');
  {
    std::ofstream(target, std::ios::binary) << old;
  }
  const std::vector<std::string> before = DirectoryNames(directory);
  struct Row {
    std::string path;
    const char* error;
  } rows[] = {
      {directory + "/missing/pic.png", "cannot write DIR/missing/pic.png: No such file or directory"},
      {directory + "/taken.png", "cannot write DIR/taken.png: Is a directory"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    std::string error;
    EXPECT_FALSE(plot::WriteFileAtomically(row.path, "bytes", error));
    std::string expected = row.error;
    expected.replace(expected.find("DIR"), 3, directory);
    EXPECT_EQ(error, expected);
    EXPECT_EQ(DirectoryNames(directory), before) << "a temporary file was left behind";
  }
  // Under a file-size limit (ulimit -f) the write fails instead of the
  // process being killed, and the old picture stays whole. In a child, so the
  // limit does not reach the tests.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{20480, 20480};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string error;
    const bool written = plot::WriteFileAtomically(target, std::string(100000, 'n'), error);
    _exit(!written && error == "cannot write " + target + ": File too large" ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Bytes(target), old);
  EXPECT_EQ(DirectoryNames(directory), before);
  // A complete picture replaces it, with nothing left beside.
  std::string error;
  ASSERT_TRUE(plot::WriteFileAtomically(target, "new", error)) << error;
  EXPECT_EQ(Bytes(target), "new");
  EXPECT_EQ(DirectoryNames(directory), before);

  // The command says it in words and exits 1.
  setenv("NLSOLVE_PLOT_LIBRARY", PLOT_LIBRARY_PATH, 1);
  std::ostringstream out, err;
  const std::vector<std::string> args = {"plot", "--example", "1", "-o", directory + "/missing/x.png"};
  EXPECT_EQ(cli::RunCli(args, out, err), 1);
  EXPECT_NE(err.str().find("cannot write " + directory + "/missing/x.png: No such file or directory"),
            std::string::npos)
      << err.str();
  unsetenv("NLSOLVE_PLOT_LIBRARY");
}

}  // namespace

// Under bounds the picture's roots are those within them, which it shades
// apart; the Go road, which ignores bounds, keeps every root of the box.
TEST(PlotBounds, RootsWithinTheBoundsOnly) {
  struct Row {
    const char* method;
    const char* bounds;
    std::size_t roots;  // of the four where the circle meets the hyperbola
    bool shaded;
  };
  const Row rows[] = {
      {"auto", "0:inf, 0:inf", 2, true},
      {"sparse", "-1:1.5, 0.2:inf", 1, true},
      {"hybrid", "5:6, -inf:inf", 0, true},
      {"newton", "0:inf, 0:inf", 4, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.method) + " " + row.bounds);
    cli::PlotCliOptions options;
    options.input.equations = {"x^2+y^2-4", "x*y-1"};
    options.input.names = "x,y";
    options.input.start = "0.5,0.6";
    options.input.method = row.method;
    options.input.bounds = row.bounds;
    options.output = "unused.png";
    plot::Scene scene;
    cli::PlotReport outcome;
    std::ostringstream err;
    ASSERT_FALSE(cli::BuildPlotScene(options, scene, outcome, err).has_value()) << err.str();
    EXPECT_EQ(scene.roots.size(), row.roots);
    EXPECT_EQ(scene.bounds.has_value(), row.shaded);
    EXPECT_EQ(outcome.withinBounds, row.shaded);
  }
}

// A line of roots is no set of isolated roots: its points are counted and
// drawn apart, as roots says "not isolated".
TEST(PlotRoots, PointsOfACurveOfRootsAreNotCountedAsRoots) {
  cli::PlotCliOptions options;
  options.input.equations = {"x1-x2", "2*x1-2*x2"};
  options.input.method = "hybrid";
  options.output = "unused.png";
  plot::Scene scene;
  cli::PlotReport outcome;
  std::ostringstream err;
  ASSERT_FALSE(cli::BuildPlotScene(options, scene, outcome, err).has_value()) << err.str();
  EXPECT_TRUE(scene.roots.empty());
  EXPECT_GT(scene.notIsolated.size(), 1u);
  for (const std::vector<double>& point : scene.notIsolated) EXPECT_NEAR(point[0], point[1], 1e-12);
  EXPECT_EQ(outcome.notIsolated, scene.notIsolated.size());
}
