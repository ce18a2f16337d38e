// Pictures: the files are images of the asked size, a root lands where the
// frame says, the zero curves cross at the root, the same input gives the same
// bytes, and what the pictures are built from (the observer, the Go log) is
// what the solvers did.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
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
#include "plot/Contour.h"
#include "plot/Frame.h"
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

TEST(GoPath, IsReadBackFromTheLogOfBothStages) {
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
    const app::GoResult result = app::CmdExecute_Click(fields, state, ui);
    ASSERT_TRUE(result.ran);
    const int n = static_cast<int>(result.x.size());
    const cli::GoPath path = cli::ReadGoPath(ui.log, start, n);
    ASSERT_GE(path.newton.size(), 2u);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(path.newton.back()[i], result.x[i], 1e-13 * (1 + std::fabs(result.x[i])));
    if (row.descent) {
      ASSERT_EQ(path.descent.size(), 2u);
      EXPECT_GT(path.descentIterations, 0);
      for (int i = 0; i < n; ++i) EXPECT_NEAR(path.descent.back()[i], path.newton.front()[i], 1e-13);
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
