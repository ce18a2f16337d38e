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
#include <limits>
#include <memory>

#include <CLI/CLI.hpp>

#include "Command.h"
#include "Commands.h"
#include "FileCommands.h"
#include "ProblemInput.h"
#include "RobustSolve.h"
#include "CompiledResiduals.h"
#include "RootsCommand.h"
#include "StreamUi.h"
#include "app/Examples.h"
#include "app/GoCommand.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"
#include "eval/compiled/CompiledSystem.h"
#include "plot/Frame.h"
#include "plot/Limits.h"
#include "robust/Roots.h"

namespace cli {
namespace {

constexpr const char* kLibraryFile = "libnlsolve_plot.so";
constexpr const char* kLibraryEnvironment = "NLSOLVE_PLOT_LIBRARY";
constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

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
  Equations(const std::vector<std::string>& texts, const std::vector<std::string>& names)
      : library_(std::make_shared<eval::ClsMath>()), libraryMessages_(*library_, ui_), system_(texts, names, library_) {}
  eval::CompiledSystem& System() { return system_; }
  void Values(std::span<const double> x, std::span<double> f) {
    system_.Evaluate(x, f);
    const auto results = system_.Results();
    for (std::size_t i = 0; i < results.size(); ++i) {
      const eval::EquationResult& result = results[i];
      f[i] = result.fault == eval::EquationFault::None && std::isfinite(result.value) ? result.value : kUndefined;
    }
  }
  // max|F| at x; infinite when an equation cannot be evaluated there.
  double MaxAbs(std::span<const double> x) {
    std::vector<double> f(static_cast<std::size_t>(system_.Count()));
    Values(x, f);
    double max = 0;
    for (double value : f) max = std::isnan(value) ? INFINITY : std::fmax(max, std::fabs(value));
    return max;
  }

 private:
  eval::SilentUi ui_;  // outlives the binding below
  std::shared_ptr<eval::ClsMath> library_;
  eval::ClsMath::UiBinding libraryMessages_;
  eval::CompiledSystem system_;
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

struct Problem {
  std::vector<std::string> equations;
  // Each equation as the picture names it: as typed, with " = 0" unless it
  // is LEFT = RIGHT already; the texts evaluated when empty.
  std::vector<std::string> shown;
  std::vector<std::string> names;
  std::vector<double> start;
};

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
  CompiledResiduals residuals(equations.System());
  const robust::Report report = robust::Solve(options, residuals, start);
  end = report.x;
  // The count the picture's iteration axis ends at: the accepted points of
  // every run (the report's count also holds the rejected trial steps).
  const long steps = std::lround(std::max(0.0, iteration));
  outcome = std::string(robust::MethodName(base.method)) + ": " + std::string(robust::VerdictName(report.verdict)) +
            " at " + PointText(report.x) + " after " + std::to_string(steps) + (steps == 1 ? " iteration" : " iterations") +
            ", max|F| = " + plot::CoordinateText(report.maxAbsResidual);
  if (base.method == robust::Method::Auto)
    outcome += " (" + std::string(robust::MethodName(report.method)) + ", start " +
               std::to_string(report.startIndex) + " of " + std::to_string(report.startsTried) + ")";
  scene.tolerance = plane ? 0.0 : options.ftol.value_or(robust::kDefaultFtol);
  return report.stopReason == robust::StopReason::TimeBudget;
}

// The Go command on the problem; its messages go to err as `solve` shows them.
bool AddGoRuns(const PlotCliOptions& options, Equations& equations, bool plane,
               plot::Scene& scene, std::vector<double>& end, std::string& outcome, std::ostream& err) {
  SolveOptions solve;
  solve.example = options.example;
  solve.equations = options.equations;
  solve.namesText = options.namesText;
  solve.valuesText = options.valuesText;
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
      "steepest descent: " + std::to_string(path.descentIterations) + " iterations (the log gives its end only)", 0,
      descentEnd);
  add(path.newton, plot::Stage::Newton,
      "Newton: " + std::to_string(path.newton.empty() ? 0 : path.newton.size() - 1) + " iterations", descentEnd,
      0);
  end = result.x;
  // One count, the one the picture's iteration axis ends at: both stages together.
  const std::size_t newtonIterations = path.newton.empty() ? 0 : path.newton.size() - 1;
  std::string iterations = std::to_string(path.descentIterations + newtonIterations) + " iterations";
  if (path.descentIterations > 0)
    iterations += " (" + std::to_string(path.descentIterations) + " steepest descent, " +
                  std::to_string(newtonIterations) + " Newton)";
  outcome = std::string("newton (the Go command): ") + (result.converged ? "converged to " : "did not converge; stopped at ") +
            PointText(result.x) + " after " + iterations;
  return true;
}

// The first equation texts of the title, shortened by the picture's width anyway.
std::vector<std::string> ShownEquations(const Problem& system) {
  if (!system.shown.empty()) return system.shown;
  std::vector<std::string> shown;
  for (const std::string& text : system.equations) shown.push_back(text + " = 0");
  return shown;
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

std::optional<int> BuildPlotScene(const PlotCliOptions& options, plot::Scene& scene, PlotOutcome& report,
                                  std::ostream& err) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point began = Clock::now();
  auto usage = [&](const std::string& problem) {
    err << "nlsolve plot: " << problem << '\n' << kPlotUsage;
    return kExitUsage;
  };
  if (!(options.budget > 0) || !std::isfinite(options.budget)) return usage("--budget needs a positive number of seconds");
  const Clock::time_point deadline =
      began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                  std::min(options.budget, static_cast<double>(std::numeric_limits<int>::max()))));
  auto secondsLeft = [&] { return std::chrono::duration<double>(deadline - Clock::now()).count(); };
  std::vector<std::string> cutShort;
  std::string problem;
  if (!ParseSize(options.sizeText, scene.width, scene.height, problem)) return usage(problem);
  {
    std::string lower = options.output;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!lower.ends_with(".png") && !lower.ends_with(".svg"))
      return usage("-o needs a file name ending in .png or .svg, got \"" + options.output + "\"");
  }

  Problem system;
  std::optional<std::string> namesText = options.namesText;
  std::optional<std::string> valuesText = options.valuesText;
  std::optional<std::string> boxText = options.boxText;
  std::optional<SystemFile> file;
  RunFields fields;
  const bool newton = problem::RoadOfMethod(options.method) == problem::Road::Go;
  int n = 0;
  bool plane = false;
  robust::RootsOptions search;
  if (!newton) {
    if (options.file && (options.example != 0 || !options.equations.empty()))
      return usage("--example or --eq and FILE do not mix: with FILE the equations come from the file");
    problem::CommandLineInput input;
    input.road = problem::Road::Full;
    if (options.example != 0) {
      for (std::string_view text : app::ExampleEquations(options.example)) input.equations.emplace_back(text);
    } else {
      input.equations = options.equations;
    }
    input.definitions = options.definitions;
    input.names = options.namesText;
    input.start = options.valuesText;
    input.box = options.boxText;
    const ProblemRead read = ReadCommandProblem(input, options.file);
    if (!read.read) return Refuse(read.refusal, err, usage);
    const problem::Problem& given = read.read->problem;
    system.equations = read.read->expansion.equations;
    for (const problem::Equation& equation : given.equations) {
      const std::string typed(problem::SignificantText(equation.text.Text()));
      system.shown.push_back(equation.equalsAt ? typed : typed + " = 0");
    }
    system.names = given.names.value;
    system.start = given.start.value;
    n = static_cast<int>(system.equations.size());
    if (n < 1 || n > kMaxRobustEquations)
      return usage("give --example N or 1 to " + std::to_string(kMaxRobustEquations) + " --eq EXPR");
    plane = n == 2;
    if (options.boxText && !plane) return usage("--box is for systems of two unknowns");
    PrintWarnings(given.warnings, err);
    if (plane) {
      if (given.start.origin.kind != problem::OriginKind::Default) search.start = system.start;
      for (const problem::Range& range : given.box.value) search.box.emplace_back(range.low, range.high);
      search.box = robust::SearchBox(search, n);
      scene.box = {search.box[0].first, search.box[0].second, search.box[1].first, search.box[1].second};
    }
    if (const auto refused = RefusedText(*read.read)) {
      err << (options.file ? "" : "nlsolve plot: ") << *refused << '\n';
      return kExitFailure;
    }
  } else {
    if (!options.definitions.empty())
      return usage("--def needs --method hybrid, lm or auto: the Go command takes the equations as typed");
    std::string fileText;
    if (options.file) {
      if (options.example != 0 || !options.equations.empty())
        return usage("--example or --eq and FILE do not mix: with FILE the equations come from the file");
      file = LoadCommandFile(*options.file, namesText, valuesText, fields, err, &fileText);
      if (!file) return kExitFailure;
      system.equations = file->EquationTexts();
      // The file's box is written as --box is; it bounds the plane only.
      if (!boxText && !file->box.empty() && file->equations.size() == 2) {
        boxText.emplace();
        for (const BoxRange& range : file->box)
          *boxText += (boxText->empty() ? "" : ",") + FullPrecisionText(range.low) + ":" + FullPrecisionText(range.high);
      }
    } else if (options.example != 0) {
      for (std::string_view text : app::ExampleEquations(options.example)) system.equations.emplace_back(text);
    } else {
      system.equations = options.equations;
    }
    n = static_cast<int>(system.equations.size());
    if (n < 1 || n > kMaxRobustEquations) return usage("give --example N or 1 to " + std::to_string(kMaxRobustEquations) + " --eq EXPR");
    if (newton && (n < kMinEquations || n > app::kMaxEquations))
      return usage("--method newton (the Go command) takes " + std::to_string(kMinEquations) + " to " +
                   std::to_string(app::kMaxEquations) + " equations; use --method hybrid, lm or auto for " +
                   std::to_string(n));
    // A count of the file's names or values that does not fit is said at its line.
    auto misfit = [&](bool fromFile, const std::optional<SourceText>& line, std::string_view key, std::size_t given) {
      if (!fromFile) return false;
      err << file->Where({line->Line(), 0}) << key << " needs " << n << (key == "names:" ? " names" : " values")
          << ", one per " << (key == "names:" ? "equation" : "unknown") << " (given " << given << ")\n";
      return true;
    };
    system.names = app::SplitAtCommas(namesText.value_or(DefaultNamesText(n)));
    if (system.names.size() != static_cast<std::size_t>(n) &&
        misfit(fields.namesFromFile, file ? file->names : std::nullopt, "names:", system.names.size()))
      return kExitFailure;
    if (system.names.size() != static_cast<std::size_t>(n))
      return usage("--vars needs " + std::to_string(n) + " names, one per equation (given " +
                   std::to_string(system.names.size()) + ")");
    for (const std::string& piece : app::SplitAtCommas(valuesText.value_or(DefaultValuesText(n))))
      system.start.push_back(eval::LeadingNumber(piece));
    if (system.start.size() != static_cast<std::size_t>(n) &&
        misfit(fields.startFromFile, file ? file->start : std::nullopt, "start:", system.start.size()))
      return kExitFailure;
    if (system.start.size() != static_cast<std::size_t>(n))
      return usage("--x0 needs " + std::to_string(n) + " values, one per unknown (given " +
                   std::to_string(system.start.size()) + ")");
    plane = n == 2;
    if (options.boxText && !plane) return usage("--box is for systems of two unknowns");

    if (plane) {
      if (valuesText) search.start = system.start;
      if (boxText) {
        auto box = ParseBox(*boxText, n, problem);
        if (!box) return usage(problem);
        search.box = std::move(*box);
      }
      search.box = robust::SearchBox(search, n);
      scene.box = {search.box[0].first, search.box[0].second, search.box[1].first, search.box[1].second};
    }

    if (!fileText.empty() || !file) {
      problem::CommandLineInput given;
      given.equations = file || options.example != 0 ? std::vector<std::string>{} : options.equations;
      given.names = options.namesText;
      given.start = options.valuesText;
      if (options.example == 0)
        PrintWarnings(GoRoadWarnings(given, file ? std::optional(fileText) : std::nullopt, file ? file->fileName : ""), err);
    }
    if (const auto refused = RefusedEquation(system.equations, system.names)) {
      err << (file ? LocateRunError(*file, fields, refused->failure, refused->message)
                   : "nlsolve plot: " + refused->message)
          << '\n';
      return kExitFailure;
    }
}
  Equations equations(system.equations, system.names);

  scene.kind = plane ? plot::Kind::ZeroCurves : plot::Kind::Convergence;
  scene.names = system.names;
  const std::vector<std::string> shown = ShownEquations(system);
  scene.title = Joined(shown, ";   ");
  std::vector<double> end;
  std::string outcome;
  if (newton) {
    // The Go command reads the texts as the fields hold them, the file's included.
    PlotCliOptions fieldTexts = options;
    if (file) fieldTexts.equations = system.equations;
    fieldTexts.namesText = namesText;
    fieldTexts.valuesText = valuesText;
    if (!AddGoRuns(fieldTexts, equations, plane, scene, end, outcome, err)) {
      err << "nlsolve plot: the Go command refused the system; nothing was drawn\n";
      return kExitFailure;
    }
  } else {
    problem::MethodOptions methodOptions;
    methodOptions.method.value = problem::MethodNamed(options.method).value_or(problem::Method::Auto);
    robust::Options robustRun = RobustOptionsOf(methodOptions);
    robustRun.maxSeconds = std::min(robustRun.maxSeconds, std::max(0.0, secondsLeft()));
    if (AddRobustRuns(robustRun, equations, system.start, plane, scene, end, outcome))
      cutShort.push_back("the method's run");
  }

  if (plane) {
    for (int e = 0; e < 2; ++e)
      scene.curveLabels.push_back("F" + std::to_string(e + 1) + ": " + shown[static_cast<std::size_t>(e)]);
    CompiledResiduals residuals(equations.System());
    // Half of what is left at most, so that the zero curves get their share.
    search.maxSeconds = std::min<double>(plot::kRootsSeconds, secondsLeft() / 2);
    if (search.maxSeconds > 0) {
      const robust::RootsReport roots = robust::FindRoots(search, residuals);
      for (const robust::FoundRoot& root : roots.roots) scene.roots.push_back(root.x);
      if (roots.budgetReached) cutShort.push_back("the root search");
    } else {
      cutShort.push_back("the root search (not begun)");
    }
    scene.start = system.start;
    scene.end = end;
    // Traced here, after the roots (the legend they need sets the grid), so
    // that the budget bounds it; the scene keeps no reference to `equations`.
    plot::ContourOptions grid = plot::SceneContourOptions(scene);
    grid.stop = [&] { return Clock::now() >= deadline; };
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
                             ? "the zero curves (drawn for " + system.names[1] + " up to " +
                                   plot::CoordinateText(scene.contours->tracedUpTo) + ")"
                             : std::string("the zero curves (none drawn)"));
  }
  scene.subtitle = "From " + PointText(system.start) + ": " + outcome;
  if (!cutShort.empty())
    report.cutShort = "the time budget of " + plot::CoordinateText(options.budget) + " s cut short " +
                      Joined(cutShort, ", ");
  if (!report.cutShort.empty()) scene.subtitle += "; " + report.cutShort;
  return std::nullopt;
}

int RunPlot(const PlotCliOptions& options, std::ostream& out, std::ostream& err) {
  plot::Scene scene;
  PlotOutcome report;
  if (const std::optional<int> refused = BuildPlotScene(options, scene, report, err)) return *refused;
  const bool plane = scene.kind == plot::Kind::ZeroCurves;
  std::string error;
  if (!WritePicture(scene, options.output, error)) {
    err << "nlsolve plot: " << error << '\n';
    return kExitFailure;
  }
  out << "wrote " << options.output << " (" << scene.width << "x" << scene.height << "): " << scene.subtitle << '\n';
  if (plane) out << scene.roots.size() << (scene.roots.size() == 1 ? " root" : " roots") << " found in the box\n";
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

  void AddOptions(CLI::App& app) override {
  PlotCliOptions& options = options_;
  CLI::App* command = &app;
  CLI::Option* example = command->add_option("--example", options.example, "Example N (see 'nlsolve examples')")
                             ->type_name("N")
                             ->check(CLI::Range(1, app::kExampleCount));
  CLI::Option* eq = command->add_option("--eq", options.equations, "One equation (in order)")
                        ->type_name("EXPR")
                        ->allow_extra_args(false);
  example->excludes(eq);
  // Not excluded here: RunPlot says why FILE does not mix with them.
  command->add_option("FILE", options.file, "A system file (- for standard input)");
  command->add_option("--def", options.definitions, "Define NAME as EXPR (repeatable; not with newton)")
      ->type_name("NAME=EXPR")
      ->allow_extra_args(false);
  command->add_option("--vars", options.namesText, "The unknowns' names, comma-separated")->type_name("TEXT");
  command->add_option("--x0", options.valuesText, "The start, comma-separated (0,0,...)")->type_name("TEXT");
  command->add_option("--method", options.method, "newton (the Go command, default), hybrid, lm or auto")
      ->type_name("METHOD")
      ->check(CLI::IsMember(MethodChoices()));
  command->add_option("--box", options.boxText, "LO:HI for both unknowns, or one per unknown")
      ->type_name("LO:HI[,LO:HI]");
  command->add_option("-o,--output", options.output, "The picture: FILE.png or FILE.svg")
      ->type_name("FILE")
      ->required();
  command->add_option("--size", options.sizeText, "Width x height in pixels (" + PlotCliOptions{}.sizeText + ")")->type_name("WxH");
  command
      ->add_option("--budget", options.budget,
                   "Time budget in seconds for the path, the roots and the curves (" +
                       std::to_string(plot::kDefaultBudgetSeconds) + ")")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);
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
