#include "PlotCommand.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>

#include <CLI/CLI.hpp>

#include "Command.h"
#include "Commands.h"
#include "ProblemInput.h"
#include "RobustSolve.h"
#include "robust/CompiledResiduals.h"
#include "StreamUi.h"
#include "app/Examples.h"
#include "app/GoCommand.h"
#include "app/ProblemState.h"
#include "eval/compiled/CompiledSystem.h"
#include "plot/Frame.h"
#include "plot/Limits.h"
#include "robust/Roots.h"

namespace cli {
namespace {

constexpr const char* kLibraryFile = "libnlsolve_plot.so";
constexpr const char* kLibraryEnvironment = "NLSOLVE_PLOT_LIBRARY";
constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
// A picture of more equations says nothing more; plot keeps this count of its own.
constexpr int kMaxPlotEquations = 1000;

std::string Joined(const std::vector<std::string>& texts, std::string_view between) {
  std::string all;
  for (std::size_t i = 0; i < texts.size(); ++i) all += (i ? std::string(between) : "") + texts[i];
  return all;
}

std::string PointText(std::span<const double> x) {
  std::vector<std::string> texts;
  constexpr std::size_t kShown = 4;  // a longer point is shortened
  for (std::size_t i = 0; i < x.size() && i < kShown; ++i) texts.push_back(plot::CoordinateText(x[i]));
  if (x.size() > kShown) texts.push_back("... (" + std::to_string(x.size()) + " values)");
  return "(" + Joined(texts, ", ") + ")";
}

// The compiled equations the picture evaluates: F at a point, NaN where an
// equation cannot be evaluated there.
class Equations {
 public:
  explicit Equations(std::unique_ptr<CompiledProblem> compiled) : compiled_(std::move(compiled)) {}
  eval::CompiledSystem& System() { return compiled_->System(); }
  void Values(std::span<const double> x, std::span<double> f) {
    eval::CompiledSystem& system = System();
    system.Evaluate(x, f);
    const auto results = system.Results();
    for (std::size_t i = 0; i < results.size(); ++i) {
      const eval::EquationResult& result = results[i];
      f[i] = result.fault == eval::EquationFault::None && std::isfinite(result.value) ? result.value : kUndefined;
    }
  }
  // max|F| at x; infinite when an equation cannot be evaluated there.
  double MaxAbs(std::span<const double> x) {
    std::vector<double> f(static_cast<std::size_t>(System().Count()));
    Values(x, f);
    double max = 0;
    for (double value : f) max = std::isnan(value) ? INFINITY : std::fmax(max, std::fabs(value));
    return max;
  }

 private:
  std::unique_ptr<CompiledProblem> compiled_;
};

std::filesystem::path ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

using WriteFunction = bool (*)(int, const plot::Scene*, const char*, std::string*);

// The library stays loaded until the program ends: Qt's plugins and fonts
// are not made to be unloaded.
WriteFunction LoadWriter(std::string& error) {
  std::vector<std::filesystem::path> candidates;
  if (const char* configured = std::getenv(kLibraryEnvironment); configured != nullptr && *configured != 0) {
    candidates.emplace_back(configured);
  } else {
    const std::filesystem::path directory = ExecutableDirectory();
    candidates.push_back(directory / kLibraryFile);
    candidates.push_back(directory.parent_path() / "lib" / "nlsolver" / kLibraryFile);
  }
  std::string tried;
  for (const std::filesystem::path& candidate : candidates) {
    tried += "\n  " + candidate.string();
    std::error_code exists;
    if (!std::filesystem::exists(candidate, exists)) {
      tried += " (not there)";
      continue;
    }
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = dlerror();
      tried += std::string(" (") + (reason ? reason : "cannot be loaded") + ")";
      continue;
    }
    if (void* symbol = dlsym(handle, plot::kWriteSymbol)) return reinterpret_cast<WriteFunction>(symbol);
    tried += std::string(" (has no ") + plot::kWriteSymbol + ")";
  }
  error = std::string("the drawing library ") + kLibraryFile + " was not found; looked at:" + tried +
          "\nInstall it beside nlsolve or in ../lib/nlsolver/, or name it in " + kLibraryEnvironment + ".";
  return nullptr;
}

// True when the time budget ended the solve.
bool AddRobustRuns(const robust::Options& base, Equations& equations, std::span<const double> start, bool plane,
                   plot::Scene& scene, std::vector<double>& end, std::string& outcome) {
  robust::Options options = base;
  double iteration = -1;
  options.observer = [&](const robust::Iterate& step) {
    if (step.step == 0) {
      plot::Run run;
      run.label = std::string(robust::MethodName(step.method));
      if (base.method == robust::Method::Auto) run.label += " from start " + std::to_string(step.startIndex);
      scene.runs.push_back(std::move(run));
    }
    plot::Run& run = scene.runs.back();
    ++iteration;
    if (plane) run.points.emplace_back(step.x.begin(), step.x.end());
    run.maxAbs.push_back(step.maxAbsResidual);
    run.iterations.push_back(iteration);
  };
  robust::CompiledResiduals residuals(equations.System());
  const robust::Report report = robust::Solve(options, residuals, start);
  end = report.x;
  // The count the picture's iteration axis ends at: the points of every run
  // where the method took its derivatives. The report's own count of
  // iterations differs: it holds rejected trial steps, and not the points of
  // a line search under bounds.
  const long steps = std::lround(std::max(0.0, iteration));
  outcome = std::string(robust::MethodName(base.method)) + ": " + std::string(robust::VerdictName(report.verdict)) +
            " at " + PointText(report.x) + " after " + std::to_string(steps) +
            (steps == 1 ? " accepted step" : " accepted steps") + ", max|F| = " + robust::ShortNumber(report.maxAbsResidual);
  if (base.method == robust::Method::Auto)
    outcome += " (" + std::string(robust::MethodName(report.method)) + ", start " +
               std::to_string(report.startIndex) + " of " + std::to_string(report.startsTried) + ")";
  scene.tolerance = plane ? 0.0 : options.ftol.value_or(robust::kDefaultFtol);
  return report.stopReason == robust::StopReason::TimeBudget || report.stopReason == robust::StopReason::Interrupted;
}

// The Go command on the problem (example N, or the equations, names and
// start as typed, a file's included); its messages go to err as `solve`
// shows them.
bool AddGoRuns(int example, const problem::Problem& given, Equations& equations, bool plane, plot::Scene& scene,
               std::vector<double>& end, std::string& outcome, std::ostream& err) {
  SolveOptions solve;
  solve.example = example;
  if (example == 0)
    for (const problem::Equation& equation : given.equations) solve.equations.push_back(equation.text.Text());
  solve.namesText = given.namesText;
  solve.valuesText = given.startText;
  StreamUi messages(nullptr, err);  // the log is not shown
  app::ProblemState state;
  app::InputFields fields;
  PrepareSolveInput(solve, state, fields);
  GoPath path;
  app::GoOptions go;
  go.observer = [&path](const solvers::ReachedPoint& point) { path.Add(point); };
  const app::GoResult result = app::CmdExecute_Click(fields, state, messages, go);
  if (!result.ran) return false;
  auto add = [&](const std::vector<std::vector<double>>& points, plot::Stage stage, std::string label,
                 double firstIteration, double lastIteration) {
    if (points.empty()) return;
    plot::Run run;
    run.label = std::move(label);
    run.stage = stage;
    for (std::size_t k = 0; k < points.size(); ++k) {
      if (plane) run.points.push_back(points[k]);
      run.maxAbs.push_back(equations.MaxAbs(points[k]));
      run.iterations.push_back(k + 1 == points.size() && stage == plot::Stage::Descent
                                   ? lastIteration
                                   : firstIteration + static_cast<double>(k));
    }
    scene.runs.push_back(std::move(run));
  };
  const double descentEnd = path.descentIterations;
  add(path.descent, plot::Stage::Descent,
      "steepest descent: " + std::to_string(path.descentIterations) + " iterations (drawn from where it began to where it ended)", 0,
      descentEnd);
  add(path.newton, plot::Stage::Newton,
      "Newton: " + std::to_string(path.newton.empty() ? 0 : path.newton.size() - 1) + " iterations", descentEnd,
      0);
  end = result.x;
  // One count, the one the picture's iteration axis ends at: both stages together.
  const std::size_t newtonIterations = path.newton.empty() ? 0 : path.newton.size() - 1;
  const std::size_t total = path.descentIterations + newtonIterations;
  std::string iterations = std::to_string(total) + (total == 1 ? " iteration" : " iterations");
  if (path.descentIterations > 0)
    iterations += " (" + std::to_string(path.descentIterations) + " steepest descent, " +
                  std::to_string(newtonIterations) + " Newton)";
  outcome = std::string("newton (the Go command): ") + (result.converged ? "converged to " : "did not converge; stopped at ") +
            PointText(result.x) + " after " + iterations;
  return true;
}

// The picture's format by the file name's ending, in any letter case.
std::optional<PictureFormat> FormatOf(const std::string& path) {
  std::string lower = path;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.ends_with(".png")) return PictureFormat::Png;
  if (lower.ends_with(".svg")) return PictureFormat::Svg;
  return std::nullopt;
}

// Each equation as the picture names it: as typed, with " = 0" unless it is
// LEFT = RIGHT already (the Go road reads `a = b` as a comparison: " = 0" too).
std::vector<std::string> ShownEquations(const problem::Problem& given) {
  std::vector<std::string> shown;
  for (const problem::Equation& equation : given.equations) {
    const std::string typed(given.road == problem::Road::Go ? std::string_view(equation.text.Text())
                                                              : problem::SignificantText(equation.text.Text()));
    shown.push_back(equation.equalsAt ? typed : typed + " = 0");
  }
  return shown;
}

// Where a text of the Go road that does not fit the equations' count
// comes from: its file line, or the option.
int Misfit(const problem::Origin& origin, std::string_view field, std::string_view option, std::string_view what,
           std::size_t n, std::size_t count, std::ostream& err, const std::function<int(const std::string&)>& usage) {
  const std::string needs = "needs " + std::to_string(n) + " " + std::string(what) + ", one per " +
                            (field == "names" ? "equation" : "unknown") + " (given " + std::to_string(count) + ")";
  if (origin.kind != problem::OriginKind::File) return usage(std::string(option) + " " + needs);
  err << problem::Format(problem::ProblemError{origin.source, problem::Place{origin.line, 0}, 0, std::string(field), needs})
      << '\n';
  return kExitFailure;
}

}  // namespace

bool ParseSize(std::string_view text, int& width, int& height, std::string& problem) {
  const std::size_t x = text.find_first_of("xX");
  auto side = [](std::string_view piece, int& value) {
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    return !piece.empty() && error == std::errc() && end == piece.data() + piece.size() && value >= plot::kMinSide &&
           value <= plot::kMaxSide;
  };
  if (x == std::string_view::npos || !side(text.substr(0, x), width) || !side(text.substr(x + 1), height)) {
    problem = "--size needs WxH with each side " + std::to_string(plot::kMinSide) + " to " +
              std::to_string(plot::kMaxSide) + " pixels, got \"" + std::string(text) + "\"";
    return false;
  }
  if (static_cast<long>(width) * height > plot::kMaxPixels) {
    problem = "--size allows at most " + std::to_string(plot::kMaxPixels) + " pixels in all, got \"" +
              std::string(text) + "\" (" + std::to_string(static_cast<long>(width) * height) + ")";
    return false;
  }
  return true;
}

void GoPath::Add(const solvers::ReachedPoint& point) {
  using solvers::PathPoint;
  using solvers::PathStage;
  if (point.stage == PathStage::Descent && point.kind == PathPoint::Iterate) return;
  (point.stage == PathStage::Descent ? descent : newton).emplace_back(point.x.begin(), point.x.end());
  if (point.kind == PathPoint::End) descentIterations = point.iteration;
}

bool WritePicture(const plot::Scene& scene, const std::string& path, std::string& error) {
  const WriteFunction write = LoadWriter(error);
  return write != nullptr && write(plot::kSceneVersion, &scene, path.c_str(), &error);
}

std::string PlotSummary(const PlotReport& report) {
  std::string summary = "From " + PointText(report.start) + ": " + report.outcome;
  if (!report.cutShort.empty()) summary += "; " + report.cutShort;
  return summary;
}

void PrintPlotReport(const PlotReport& report, std::ostream& out) {
  out << "wrote " << report.file << " (" << report.width << "x" << report.height << "): " << PlotSummary(report)
      << '\n';
  if (!report.rootsInBox) return;
  out << *report.rootsInBox << (*report.rootsInBox == 1 ? " root" : " roots") << " found in the box"
      << (report.withinBounds ? " within the bounds" : "");
  if (report.notIsolated > 0)
    out << ", and " << report.notIsolated << (report.notIsolated == 1 ? " point" : " points")
        << " of roots that are not isolated (a curve or region of them)";
  out << '\n';
}

std::optional<int> BuildPlotScene(const PlotCliOptions& options, plot::Scene& scene, PlotReport& report,
                                  std::ostream& err) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point began = Clock::now();
  const std::function<int(const std::string&)> usage = [&](const std::string& problem) {
    err << "nlsolve plot: " << problem << '\n' << kPlotUsage;
    return kExitUsage;
  };
  std::string problem;
  if (!ParseSize(options.sizeText, scene.width, scene.height, problem)) return usage(problem);
  if (!FormatOf(options.output))
    return usage("-o needs a file name ending in .png or .svg, got \"" + options.output + "\"");

  // The problem, read once through the model: the Go road (newton) takes
  // the texts as typed, the other methods read them strictly.
  problem::CommandLineInput input = options.input;
  const bool newton = problem::RoadOf(input) == problem::Road::Go;
  if (newton && !input.definitions.empty())
    return usage("--def needs --method hybrid, lm or auto: the Go command takes the equations as typed");
  if (options.file && (options.example != 0 || !input.equations.empty()))
    return usage("--example or --eq and FILE do not mix: with FILE the equations come from the file");
  if (options.example != 0) {
    input.equations.clear();
    for (std::string_view text : app::ExampleEquations(options.example)) input.equations.emplace_back(text);
  }
  const ProblemRead read = options.fileText && options.file
                              ? Expanded(problem::ReadSystemFile(*options.file, *options.fileText, input))
                              : ReadCommandProblem(input, options.file);
  if (!read.read) return Refuse(read.refusal, err, usage);
  const problem::Problem& given = read.read->problem;

  const double budget = given.options.budget.origin.kind == problem::OriginKind::Default
                            ? static_cast<double>(plot::kDefaultBudgetSeconds)
                            : given.options.budget.value;
  const Clock::time_point deadline =
      began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                  std::min(budget, static_cast<double>(std::numeric_limits<int>::max()))));
  auto secondsLeft = [&] { return std::chrono::duration<double>(deadline - Clock::now()).count(); };
  std::vector<std::string> cutShort;

  const std::size_t n = read.read->expansion.equations.size();
  if (n < 1 || n > static_cast<std::size_t>(kMaxPlotEquations))
    return usage("give --example N or 1 to " + std::to_string(kMaxPlotEquations) + " --eq EXPR");
  if (newton) {
    if (n < static_cast<std::size_t>(kMinEquations) || n > static_cast<std::size_t>(app::kMaxEquations))
      return usage("--method newton (the Go command) takes " + std::to_string(kMinEquations) + " to " +
                   std::to_string(app::kMaxEquations) + " equations; use --method hybrid, lm or auto for " +
                   std::to_string(n));
    // The Go road reads the fields as typed: a count that does not fit is said
    // here, at the file's line when the file gave it.
    if (given.names.value.size() != n)
      return Misfit(given.names.origin, "names", "--vars", "names", n, given.names.value.size(), err, usage);
    if (given.start.value.size() != n)
      return Misfit(given.start.origin, "start", "--x0", "values", n, given.start.value.size(), err, usage);
  }
  const bool plane = n == 2;
  if (input.box && !plane) return usage("--box is for systems of two unknowns");
  if (!newton) {
    PrintWarnings(given.warnings, err);
  } else if (options.example == 0) {
    PrintWarnings(GoRoadWarnings(given), err);
  }
  robust::RootsOptions search;
  if (plane) {
    if (given.start.origin.kind != problem::OriginKind::Default) search.start = given.start.value;
    for (const problem::Range& range : given.box.value) search.box.emplace_back(range.low, range.high);
    search.box = robust::SearchBox(search, static_cast<int>(n));
    scene.box = {search.box[0].first, search.box[0].second, search.box[1].first, search.box[1].second};
  }
  ProblemCompile compile = CompileProblem(*read.read);
  if (!compile.compiled) {
    err << (options.file ? "" : "nlsolve plot: ") << compile.refusal << '\n';
    return kExitFailure;
  }
  Equations equations(std::move(compile.compiled));

  report.equations = ShownEquations(given);
  report.names = given.names.value;
  report.start = given.start.value;
  report.method = given.options.method.value;
  scene.kind = plane ? plot::Kind::ZeroCurves : plot::Kind::Convergence;
  scene.names = report.names;
  scene.title = Joined(report.equations, ";   ");
  std::vector<double> end;
  if (newton && !given.bounds.value.empty())
    err << "nlsolve plot: warning: the Go command takes no bounds; --method sparse or auto keeps the unknowns within "
           "them\n";
  if (newton) {
    if (!AddGoRuns(options.example, given, equations, plane, scene, end, report.outcome, err)) {
      err << "nlsolve plot: the Go command refused the system; nothing was drawn\n";
      return kExitFailure;
    }
  } else {
    robust::Options robustRun = RobustOptionsOf(given.options);
    robustRun.bounds = BoundsOf(given);
    robustRun.maxSeconds = std::min(robustRun.maxSeconds, std::max(0.0, secondsLeft()));
    robustRun.stop = options.stop;
    if (AddRobustRuns(robustRun, equations, report.start, plane, scene, end, report.outcome))
      cutShort.push_back("the method's run");
  }

  if (plane) {
    for (std::size_t e = 0; e < 2; ++e) scene.curveLabels.push_back("F" + std::to_string(e + 1) + ": " + report.equations[e]);
    robust::CompiledResiduals residuals(equations.System());
    // Half of what is left at most, so that the zero curves get their share.
    search.maxSeconds = std::min<double>(plot::kRootsSeconds, secondsLeft() / 2);
    search.stop = options.stop;
    // Under bounds (which the Go command ignores) the search keeps to the
    // part of the box within them: a point beyond them is no answer.
    bool boxWithinBounds = true;
    if (!newton && !given.bounds.value.empty()) {
      const std::vector<problem::Range>& bounds = given.bounds.value;
      scene.bounds = plot::Box{bounds[0].low, bounds[0].high, bounds[1].low, bounds[1].high};
      for (std::size_t j = 0; j < 2; ++j) {
        search.box[j].first = std::max(search.box[j].first, bounds[j].low);
        search.box[j].second = std::min(search.box[j].second, bounds[j].high);
        boxWithinBounds = boxWithinBounds && search.box[j].first < search.box[j].second;
      }
    }
    if (!boxWithinBounds) {
      // Nothing of the box lies within the bounds: no root to look for.
    } else if (search.maxSeconds > 0) {
      const robust::RootsReport roots = robust::FindRoots(search, residuals);
      for (const robust::FoundRoot& root : roots.roots) (root.onSet ? scene.notIsolated : scene.roots).push_back(root.x);
      if (roots.budgetReached || roots.interrupted) cutShort.push_back("the root search");
    } else {
      cutShort.push_back("the root search (not begun)");
    }
    report.rootsInBox = scene.roots.size();
    report.notIsolated = scene.notIsolated.size();
    report.withinBounds = scene.bounds.has_value();
    scene.start = report.start;
    scene.end = end;
    // Traced here, after the roots (the legend they need sets the grid), so
    // that the budget bounds it; the scene keeps no reference to `equations`.
    plot::ContourOptions grid = plot::SceneContourOptions(scene);
    grid.stop = [&] { return Clock::now() >= deadline || (options.stop != nullptr && options.stop->load() != 0); };
    const plot::Box& box = scene.box;
    scene.contours = plot::TraceZeroCurves(
        box.xMin, box.xMax, box.yMin, box.yMax,
        [&equations](double x, double y, double* f) {
          const double point[2] = {x, y};
          equations.Values(point, {f, 2});
        },
        grid);
    if (!scene.contours->complete)
      cutShort.push_back(scene.contours->tracedUpTo > box.yMin
                             ? "the zero curves (drawn for " + report.names[1] + " up to " +
                                   plot::CoordinateText(scene.contours->tracedUpTo) + ")"
                             : std::string("the zero curves (none drawn)"));
  }
  if (!cutShort.empty())
    report.cutShort = "the time budget of " + plot::CoordinateText(budget) + " s cut short " + Joined(cutShort, ", ");
  scene.subtitle = PlotSummary(report);
  return std::nullopt;
}

int RunPlot(const PlotCliOptions& options, std::ostream& out, std::ostream& err) {
  plot::Scene scene;
  PlotReport report;
  if (const std::optional<int> refused = BuildPlotScene(options, scene, report, err)) return *refused;
  std::string error;
  if (!WritePicture(scene, options.output, error)) {
    err << "nlsolve plot: " << error << '\n';
    return kExitFailure;
  }
  report.file = options.output;
  report.format = *FormatOf(options.output);
  report.width = scene.width;
  report.height = scene.height;
  PrintPlotReport(report, out);
  return kExitSuccess;
}

namespace {

class PlotCommand : public Command {
 public:
  std::string_view Name() const override { return "plot"; }
  std::string_view Summary() const override { return "Draw the zero curves, roots and the path of a method"; }
  std::string Usage() const override { return std::string(kPlotUsage); }
  std::string Help() const override { return kPlotHelp; }
  int Run(std::ostream& out, std::ostream& err) override { return RunPlot(options_, out, err); }

  void AddOptions(CLI::App& command) override {
    problem::CommandLineInput& input = options_.input;
    CLI::Option* example = command.add_option("--example", options_.example, "Example N (see 'nlsolve examples')")
                               ->type_name("N")
                               ->check(CLI::Range(1, app::kExampleCount));
    CLI::Option* eq = command.add_option("--eq", input.equations, "One equation (in order)")
                          ->type_name("EXPR")
                          ->allow_extra_args(false);
    example->excludes(eq);
    // Not excluded here: BuildPlotScene says why FILE does not mix with them.
    command.add_option("FILE", options_.file, "A system file (- for standard input)");
    command.add_option("--def", input.definitions, "Define NAME as EXPR (repeatable; not with newton)")
        ->type_name("NAME=EXPR")
        ->allow_extra_args(false);
    command.add_option("--vars", input.names, "The unknowns' names, comma-separated")->type_name("TEXT");
    command.add_option("--x0", input.start, "The start, comma-separated (0,0,...)")->type_name("TEXT");
    command.add_option("--method", input.method, "newton (the Go command, default), hybrid, lm or auto")
        ->type_name("METHOD")
        ->check(CLI::IsMember(MethodChoices()));
    command.add_option("--box", input.box, "LO:HI for both unknowns, or one per unknown")->type_name("LO:HI[,LO:HI]");
    command.add_option("--bounds", input.bounds, "LO:HI the method's unknowns stay within (inf, -inf open)")
        ->type_name("LO:HI[,LO:HI]");
    command.add_option("-o,--output", options_.output, "The picture: FILE.png or FILE.svg")
        ->type_name("FILE")
        ->required();
    command.add_option("--size", options_.sizeText, "Width x height in pixels (" + PlotCliOptions{}.sizeText + ")")
        ->type_name("WxH");
    command
        .add_option("--budget", input.budget,
                    "Time budget in seconds for the path, the roots and the curves (" +
                        std::to_string(plot::kDefaultBudgetSeconds) + ")")
        ->type_name("SECONDS")
        ->check(PositiveNumber());
  }

 private:
  PlotCliOptions options_;
};


}  // namespace

std::unique_ptr<Command> MakePlotCommand() { return std::make_unique<PlotCommand>(); }

}  // namespace cli

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NLSOLVE_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(NLSOLVE_LEAK_CHECKED)
// Under LeakSanitizer: fontconfig, which Qt asks for the fonts of a picture,
// keeps a few allocations it never frees. They are its own, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
