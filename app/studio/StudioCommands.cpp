#include "StudioCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

#include "app/Examples.h"
#include "cli/Commands.h"
#include "cli/FileCommands.h"
#include "cli/PlotCommand.h"
#include "cli/ProblemInput.h"
#include "cli/RobustSolve.h"
#include "cli/RootsCommand.h"
#include "cli/StreamUi.h"
#include "eval/NumberText.h"
#include "eval/SolverUi.h"
#include "plot/Frame.h"
#include "problem/Definitions.h"
#include "problem/Readers.h"
#include "problem/SystemFile.h"
#include "robust/Verdict.h"

namespace studio {
namespace {

// What the command line prefixes its own messages with; the studio shows
// the command line's words unchanged, so its reports can be compared.
constexpr std::string_view kPrefix = "nlsolve: ";

// The options a command line beside the file would give for the settings.
problem::CommandLineInput SolveInput(const Settings& settings) {
  problem::CommandLineInput input;
  input.method = std::string(problem::NameOf(settings.method));
  if (settings.method != problem::Method::Newton && !settings.ftol.empty()) input.ftol = settings.ftol;
  return input;
}

problem::CommandLineInput RootsInput(const Settings& settings) {
  problem::CommandLineInput input;
  input.road = problem::Road::Full;
  if (!settings.ftol.empty()) input.ftol = settings.ftol;
  if (!settings.budget.empty()) input.budget = settings.budget;
  return input;
}

Diagnostic DiagnosticOf(const problem::ProblemError& error, std::string_view fileName, bool isError) {
  Diagnostic diagnostic;
  diagnostic.error = isError;
  if (error.source == fileName) diagnostic.place = error.place;
  diagnostic.message = problem::Format(error);
  return diagnostic;
}

// Both a ui's messages reach the stream the command line prints them on
// and a recorder the JSON document is made from.
class TeeUi : public eval::SolverUi {
 public:
  TeeUi(eval::SolverUi& shown, eval::RecordingUi& recorded) : shown_(shown), recorded_(recorded) {}
  void PrintLine(std::string_view line) override {
    shown_.PrintLine(line);
    recorded_.PrintLine(line);
  }
  void ShowMessage(std::string_view text) override {
    shown_.ShowMessage(text);
    recorded_.ShowMessage(text);
  }
  void Beep() override {
    shown_.Beep();
    recorded_.Beep();
  }

 private:
  eval::SolverUi& shown_;
  eval::RecordingUi& recorded_;
};

Cell Number(double value) {
  if (!std::isfinite(value)) return Cell{cli::FullPrecisionText(value), std::nullopt};
  return Cell{cli::FullPrecisionText(value), value};
}

// Three digits, as the sentences write numbers; sorted by the value itself.
Cell Short(double value) {
  if (std::isnan(value)) return Cell{robust::ShortNumber(value), std::nullopt};
  return Cell{robust::ShortNumber(value), value};
}

Cell Whole(long value) { return Cell{std::to_string(value), static_cast<double>(value)}; }
Cell Text(std::string text) { return Cell{std::move(text), std::nullopt}; }

std::string EquationName(std::size_t i) { return "Eq_" + std::to_string(i + 1); }

Outcome Refused(std::string title, std::string printed) {
  Outcome outcome;
  outcome.report.title = std::move(title);
  outcome.report.printed = std::move(printed);
  outcome.verdict = outcome.report.printed.substr(0, outcome.report.printed.find('\n'));
  return outcome;
}

Outcome SolveGo(std::string_view fileName, std::string_view text, const std::string& title) {
  const cli::SystemFileRead read = cli::ParseSystemFile(fileName, text);
  if (!read.system) return Refused(title, std::string(kPrefix) + cli::OneLine(read.error) + '\n');
  const cli::SystemFile& system = *read.system;
  std::ostringstream out, err;
  cli::PrintWarnings(cli::GoRoadWarnings(SolveInput(Settings{}), std::string(text), std::string(fileName)), err);
  if (auto problem = cli::EquationCountProblem(system.equations.size()))
    return Refused(title, err.str() + std::string(kPrefix) + cli::OneLine(system.fileName + ": " + *problem) + '\n');
  cli::RunFields fields;
  const cli::SolveOptions options = cli::SystemSolveOptions(system, cli::SolveOptions{}, fields);
  eval::RecordingUi recorder;
  app::GoResult result;
  cli::RunSolve(options, out, err, [&](const cli::SolveOptions& run, eval::SolverUi& ui) {
    TeeUi both(ui, recorder);
    result = cli::SolveSystem(system, fields, run, both);
    return result;
  });
  Outcome outcome;
  outcome.report.title = title;
  outcome.report.printed = err.str() + out.str();
  outcome.report.json = cli::SolveJson(result, recorder);
  outcome.ran = result.ran;
  outcome.answer = result.x;
  outcome.root = result.converged;
  if (!result.ran) {
    outcome.verdict = result.error.value_or("The Go command refused the system.");
    return outcome;
  }
  // The stages' own messages (a descent that used all its iterations before
  // Newton converged, say) are in the printed text, in their order.
  outcome.verdict = result.converged ? "The Go command converged: Newton met its tolerance."
                                     : "The Go command did not converge.";
  if (!result.converged && !recorder.messages.empty()) outcome.verdict += " " + cli::OneLine(recorder.messages.back());
  Table residuals{"Residuals", {"Equation", "F at the answer"}, {}};
  for (std::size_t i = 0; i < result.residuals.size(); ++i)
    residuals.rows.push_back({Text(EquationName(i)), Number(result.residuals[i])});
  outcome.report.tables.push_back(std::move(residuals));
  return outcome;
}

}  // namespace

Check CheckText(std::string_view fileName, std::string_view text, const Settings& settings) {
  Check check;
  const problem::CommandLineInput input = SolveInput(settings);
  const bool go = problem::RoadOf(input) == problem::Road::Go;
  problem::ReadResult read = problem::ReadSystemFile(fileName, text, input);
  if (!read.problem) {
    check.diagnostics.push_back(DiagnosticOf(*read.error, fileName, true));
    return check;
  }
  const problem::Problem& given = *read.problem;
  const problem::WarningList warnings = go ? cli::GoRoadWarnings(given) : given.warnings;
  for (const problem::Warning& warning : warnings.kept)
    check.diagnostics.push_back(DiagnosticOf(warning.detail, fileName, false));

  const std::size_t count = given.equations.size();
  auto refuse = [&](const std::string& message, int line) {
    Diagnostic diagnostic;
    diagnostic.error = true;
    diagnostic.place.line = line;
    diagnostic.message = std::string(fileName) + (line > 0 ? ":" + std::to_string(line) : "") + ": " + message;
    check.diagnostics.insert(check.diagnostics.begin(), std::move(diagnostic));
    return check;
  };
  if (go) {
    if (auto problem = cli::EquationCountProblem(count)) return refuse(*problem, 0);
    // The Go command says itself what does not fit; compiling needs one name per equation.
    if (given.names.value.size() != count || given.start.value.size() != count) {
      check.readable = true;
      check.equations = static_cast<int>(count);
      return check;
    }
  } else {
    problem::CommandLineInput checked = input;
    if (!given.bounds.value.empty()) checked.bounds = "";
    if (auto problem = cli::RobustSolveProblem(checked, count, false)) return refuse(*problem, 0);
  }
  problem::ExpandResult expanded = problem::Expand(given);
  if (!expanded.expansion) {
    check.diagnostics.insert(check.diagnostics.begin(), DiagnosticOf(*expanded.error, fileName, true));
    return check;
  }
  const cli::ReadProblem problem{std::move(*read.problem), std::move(*expanded.expansion)};
  const cli::ProblemCompile compile = cli::CompileProblem(problem);
  if (!compile.compiled) {
    check.diagnostics.insert(check.diagnostics.begin(), DiagnosticOf(*compile.error, fileName, true));
    return check;
  }
  check.readable = true;
  check.equations = static_cast<int>(count);
  return check;
}

Outcome Solve(std::string_view fileName, std::string_view text, const Settings& settings,
              const std::atomic<int>* stop) {
  const std::string method(problem::NameOf(settings.method));
  const std::string title = "Solve with " + method + ": " + std::string(fileName);
  if (settings.method == problem::Method::Newton) {
    if (settings.certify)
      return Refused(title, std::string(kPrefix) + "--certify " + std::string(cli::kCertifyNeedsMethod) + '\n');
    return SolveGo(fileName, text, title);
  }
  const problem::CommandLineInput input = SolveInput(settings);
  const cli::ProblemRead read = cli::Expanded(problem::ReadSystemFile(fileName, text, input));
  if (!read.read) return Refused(title, std::string(kPrefix) + cli::OneLine(read.refusal.message) + '\n');
  problem::CommandLineInput checked = input;
  if (!read.read->problem.bounds.value.empty()) checked.bounds = "";
  if (auto refusal = cli::RobustSolveProblem(checked, read.read->expansion.equations.size(), false))
    return Refused(title, std::string(kPrefix) + *refusal + '\n');

  std::ostringstream out, err;
  cli::PrintWarnings(read.read->problem.warnings, err);
  cli::RobustRunHooks hooks;
  hooks.stop = stop;
  const cli::RobustSolveReport run = cli::RunRobustProblem(read, method, settings.certify, nullptr, hooks);
  cli::PrintRobustSolveText(run, out, err);

  Outcome outcome;
  outcome.report.title = title;
  outcome.report.printed = err.str() + out.str();
  outcome.report.json = cli::RobustSolveJson(run);
  if (run.refusal) {
    outcome.verdict = cli::OneLine(*run.refusal);
    return outcome;
  }
  const robust::Report& report = run.run;
  outcome.ran = true;
  outcome.cancelled = report.interrupted;
  outcome.answer = report.x;
  outcome.root = report.verdict == robust::Verdict::Root;
  outcome.verdict = run.sentence;

  Table residuals{"Residuals", {"Equation", "F", "Rounding bound", "|F| / bound"}, {}};
  const std::vector<double>& bounds = report.rootCheck.residualBounds;
  for (std::size_t i = 0; i < report.residuals.size(); ++i) {
    const double bound = i < bounds.size() ? bounds[i] : std::nan("");
    const double f = report.residuals[i];
    residuals.rows.push_back({Text(EquationName(i)), Number(f), Short(bound),
                              std::isfinite(bound) && bound > 0 ? Short(std::fabs(f) / bound) : Text("")});
  }
  outcome.report.tables.push_back(std::move(residuals));

  Table facts{"Run", {"Quantity", "Value"}, {}};
  facts.rows.push_back({Text("method"), Text(std::string(robust::MethodName(report.method)))});
  facts.rows.push_back({Text("verdict"), Text(std::string(robust::VerdictName(report.verdict)))});
  facts.rows.push_back({Text("stop reason"), Text(std::string(robust::StopReasonName(report.stopReason)))});
  facts.rows.push_back({Text("root test"), Text(report.rootCheck.residualBounds.empty()
                                                    ? "none (F could not be evaluated)"
                                                    : report.rootCheck.test == robust::RootTest::Scaled
                                                          ? "within the rounding bound at the equations' scale"
                                                          : "max|F| <= ftol")});
  facts.rows.push_back({Text("max|F|"), Short(report.maxAbsResidual)});
  facts.rows.push_back({Text("starts tried"), Whole(report.startsTried)});
  facts.rows.push_back({Text("iterations"), Whole(report.iterations)});
  facts.rows.push_back({Text("function evaluations"), Whole(report.functionEvaluations)});
  facts.rows.push_back({Text("Jacobian evaluations"), Whole(report.jacobianEvaluations)});
  facts.rows.push_back({Text("condition of the Jacobian"), Short(report.conditionEstimate)});
  facts.rows.push_back({Text("derivatives"), Text(std::string(run.derivatives))});
  facts.rows.push_back({Text("seconds"), Short(report.seconds)});
  if (run.certify) {
    const bool certified = run.certificate && run.certificate->outcome == robust::CertifyOutcome::Certified;
    facts.rows.push_back({Text("certification"),
                          Text(certified ? "certified: exactly one root in " + cli::BoxText(run.certificate->enclosure)
                                         : "not certified: " + run.certification)});
  }
  for (const cli::DefinitionValue& value : run.definitions)
    facts.rows.push_back({Text(value.name + " (definition)"), value.value ? Number(*value.value) : Text("undefined")});
  outcome.report.tables.push_back(std::move(facts));
  return outcome;
}

Outcome FindRoots(std::string_view fileName, std::string_view text, const Settings& settings,
                  const std::atomic<int>* stop, const std::function<void(const robust::RootsProgress&)>& progress) {
  const std::string title = "Roots: " + std::string(fileName);
  const problem::CommandLineInput input = RootsInput(settings);
  const cli::ProblemRead read = cli::Expanded(problem::ReadSystemFile(fileName, text, input));
  if (!read.read) return Refused(title, std::string(kPrefix) + cli::OneLine(read.refusal.message) + '\n');
  const problem::Problem& given = read.read->problem;
  const std::size_t count = read.read->expansion.equations.size();
  if (count < 1 || count > static_cast<std::size_t>(cli::kMaxRootsEquations))
    return Refused(title, std::string(kPrefix) + std::string(fileName) + ": roots takes 1 to " +
                              std::to_string(cli::kMaxRootsEquations) + " equations; the file has " +
                              std::to_string(count) + '\n');
  std::ostringstream out, err;
  cli::PrintWarnings(given.warnings, err);
  cli::RootsRequest request;
  request.certify = settings.certify;
  request.stop = stop;
  request.progress = progress;
  const robust::RootsOptions search = cli::RootsSearchOptions(given, request);
  if (std::string problem = robust::RootsOptionsProblem(search, static_cast<int>(count)); !problem.empty())
    return Refused(title, err.str() + std::string(kPrefix) + std::string(fileName) + ": " + problem + '\n');
  cli::ProblemCompile compile = cli::CompileProblem(*read.read);
  if (!compile.compiled) return Refused(title, err.str() + cli::OneLine(compile.refusal) + '\n');
  const cli::RootsCommandReport report = cli::FindProblemRoots(*compile.compiled, given, search, request);
  cli::PrintRootsText(report, out);

  Outcome outcome;
  outcome.report.title = title;
  outcome.report.printed = err.str() + out.str();
  outcome.report.json = cli::RootsCommandJson(report);
  outcome.ran = true;
  outcome.cancelled = report.interrupted;
  outcome.root = !report.search.roots.empty() || (report.proof && !report.proof->found.empty());
  outcome.verdict = report.summary;
  if (report.proof) outcome.verdict += "\n" + report.proof->line;

  Table roots{"Roots", {"#", "Where"}, {}};
  for (const std::string& name : report.names) roots.columns.push_back(name);
  for (const char* column : {"max|F|", "Starts", "Condition", "Certified"}) roots.columns.emplace_back(column);
  int number = 0;
  auto add = [&](const std::vector<robust::FoundRoot>& list, const std::vector<cli::RootProof>* proofs,
                 const std::string& where) {
    for (std::size_t k = 0; k < list.size(); ++k) {
      const robust::FoundRoot& root = list[k];
      std::vector<Cell> row{Whole(++number), Text(where)};
      for (double x : root.x) row.push_back(Number(x));
      row.push_back(Short(root.maxAbsResidual));
      row.push_back(Whole(root.starts));
      row.push_back(Short(root.condition));
      if (proofs == nullptr || k >= proofs->size()) {
        row.push_back(Text(report.proof ? "no" : "not asked (Certify)"));
      } else {
        const cli::RootProof& proof = (*proofs)[k];
        row.push_back(Text(proof.certified ? "yes (width " + Short(cli::BoxWidth(proof.enclosure)).text + ")"
                                           : "no: " + proof.certification));
      }
      roots.rows.push_back(std::move(row));
    }
  };
  const cli::BoxProof* proof = report.proof ? &*report.proof : nullptr;
  add(report.search.roots, proof ? &proof->roots : nullptr, "in the box");
  if (proof) add(proof->found, &proof->foundProofs, "found by the proof");
  add(report.search.outsideBox, proof ? &proof->outside : nullptr, "outside the box");
  outcome.report.tables.push_back(std::move(roots));
  return outcome;
}

Picture BuildPicture(std::string_view fileName, std::string_view text, const Settings& settings, int width,
                     int height, const std::atomic<int>* stop) {
  cli::PlotCliOptions options;
  options.input = SolveInput(settings);
  options.file = std::string(fileName);
  options.fileText = std::string(text);
  options.output = "picture.png";  // the window paints what the file would hold
  options.sizeText = std::to_string(width) + "x" + std::to_string(height);
  options.stop = stop;
  Picture picture;
  cli::PlotReport report;
  std::ostringstream err;
  const std::optional<int> refused = cli::BuildPlotScene(options, picture.scene, report, err);
  picture.messages = err.str();
  picture.drawn = !refused;
  if (picture.drawn) picture.summary = cli::PlotSummary(report);
  return picture;
}

PlanePoint PlaneAt(const plot::Scene& scene, double pixelX, double pixelY) {
  const plot::Frame frame = plot::SceneFrame(scene);
  const plot::Box& box = scene.box;
  const double x0 = frame.PixelX(box.xMin), x1 = frame.PixelX(box.xMax);
  const double y0 = frame.PixelY(box.yMin), y1 = frame.PixelY(box.yMax);
  return PlanePoint{box.xMin + (pixelX - x0) / (x1 - x0) * (box.xMax - box.xMin),
                    box.yMin + (pixelY - y0) / (y1 - y0) * (box.yMax - box.yMin)};
}

bool InsidePlot(const plot::Scene& scene, double pixelX, double pixelY) {
  if (scene.kind != plot::Kind::ZeroCurves) return false;
  const plot::Rect area = plot::SceneFrame(scene).Area();
  return pixelX >= area.left && pixelX <= area.left + area.width && pixelY >= area.top &&
         pixelY <= area.top + area.height;
}

std::string RoundedText(double value, double resolution) {
  if (!std::isfinite(value)) return "0";
  if (!(resolution > 0) || std::fabs(value) >= 1E15) return eval::NumberText(value);
  const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(resolution))), 0, 15);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string shown = text;
  if (shown.find('.') != std::string::npos) {
    while (shown.back() == '0') shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
  }
  if (shown == "-0") shown = "0";
  return shown;
}

namespace {

// The lines of a text, without their ends (LF, CR LF or CR, as a file's).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(begin, i - begin));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    begin = i + 1;
  }
  lines.push_back(text.substr(begin));
  return lines;
}

// A keyed line continued with " _" goes on over the next lines.
int LastLineOf(std::string_view text, int first) {
  const std::vector<std::string_view> lines = Lines(text);
  int line = first;
  while (line < static_cast<int>(lines.size())) {
    std::string_view content = lines[static_cast<std::size_t>(line - 1)];
    while (!content.empty() && (content.back() == ' ' || content.back() == '\t')) content.remove_suffix(1);
    const bool continued = content.size() >= 2 && content.back() == '_' &&
                           (content[content.size() - 2] == ' ' || content[content.size() - 2] == '\t');
    if (!continued) break;
    ++line;
  }
  return line;
}

LineEdit KeyLineEdit(std::string_view text, int line, int namesLine, std::string value) {
  if (line > 0) return LineEdit{line, LastLineOf(text, line), std::move(value)};
  const int after = namesLine > 0 ? LastLineOf(text, namesLine) + 1 : 1;
  return LineEdit{after, after - 1, std::move(value)};
}

}  // namespace

KeyLines KeyLinesOf(std::string_view text) {
  const cli::SystemFileRead read = cli::ParseSystemFile("", text);
  if (!read.system) return {};
  const cli::SystemFile& system = *read.system;
  return KeyLines{true, system.names ? system.names->Line() : 0, system.start ? system.start->Line() : 0, system.boxLine};
}

std::optional<LineEdit> StartEdit(std::string_view text, std::span<const double> start, double resolution) {
  std::string line = "start: ";
  for (std::size_t j = 0; j < start.size(); ++j) line += (j ? ", " : "") + RoundedText(start[j], resolution);
  const KeyLines keys = KeyLinesOf(text);
  if (!keys.read) return std::nullopt;
  return KeyLineEdit(text, keys.start, keys.names, std::move(line));
}

std::optional<LineEdit> BoxEdit(std::string_view text, const plot::Box& box, double resolution) {
  const std::string line = "box: " + RoundedText(box.xMin, resolution) + ":" + RoundedText(box.xMax, resolution) +
                           ", " + RoundedText(box.yMin, resolution) + ":" + RoundedText(box.yMax, resolution);
  const KeyLines keys = KeyLinesOf(text);
  if (!keys.read) return std::nullopt;
  return KeyLineEdit(text, keys.box, keys.names, line);
}

std::string ExampleText(int example) {
  const std::vector<std::string_view> equations = app::ExampleEquations(example);
  std::string names, start;
  for (std::size_t i = 0; i < equations.size(); ++i) {
    names += (i ? ", x" : "x") + std::to_string(i + 1);
    start += i ? ", 0" : "0";
  }
  std::string text = "# Example " + std::to_string(example) + "\nnames: " + names + "\nstart: " + start + "\n";
  for (std::string_view equation : equations) text += std::string(equation) + '\n';
  return text;
}

}  // namespace studio
