#include "RobustSolve.h"

#include <cmath>
#include <csignal>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "CompiledResiduals.h"
#include "FileCommands.h"
#include "ProblemInput.h"
#include "Interrupt.h"
#include "StreamUi.h"
#include "app/Examples.h"
#include "app/GoCommand.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"
#include "eval/compiled/CompiledSystem.h"

namespace cli {
namespace {

constexpr std::string_view kNewton = "newton";
constexpr std::string_view kAnswerLineEnd = "\r\n";

struct MethodEntry {
  std::string_view name;
  robust::Method method;
};
constexpr MethodEntry kMethods[] = {
    {"hybrid", robust::Method::Hybrid},
    {"lm", robust::Method::LevenbergMarquardt},
    {"auto", robust::Method::Auto},
};

std::optional<robust::Method> MethodNamed(std::string_view name) {
  for (const MethodEntry& entry : kMethods)
    if (entry.name == name) return entry.method;
  return std::nullopt;
}

bool AnyRobustOption(const RobustCliOptions& options) {
  return options.ftol || options.maxEvaluations || options.maxSeconds || options.maxStarts || options.seed;
}

// The equation (1-based) whose text the compiler refuses, for the message.
int RefusedEquation(std::span<const std::string> equations, std::span<const std::string> names,
                    const std::shared_ptr<eval::ClsMath>& library) {
  for (std::size_t i = 0; i < equations.size(); ++i) {
    try {
      eval::CompiledEquation equation(equations[i], names, library);
    } catch (const eval::ScriptError&) {
      return static_cast<int>(i) + 1;
    }
  }
  return 1;
}

bool AllFinite(std::span<const double> values) {
  for (double value : values)
    if (!std::isfinite(value)) return false;
  return true;
}

// The summary sentence, with the engine's description of a failing equation.
std::string Sentence(const robust::Report& report, const std::string& failure) {
  std::string sentence = robust::Summary(report);
  if (report.verdict == robust::Verdict::EvaluationFailure && !failure.empty() && !sentence.empty()) {
    sentence.insert(sentence.size() - 1, " (" + OneLine(failure) + ")");
  }
  return sentence;
}

nlohmann::json Number(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json Numbers(std::span<const double> values) {
  nlohmann::json list = nlohmann::json::array();
  for (double value : values) list.push_back(Number(value));
  return list;
}

}  // namespace

void AddRobustOptions(CLI::App& solveCommand, RobustCliOptions& options) {
  solveCommand.add_option("--method", options.method, "newton (the Go command, default), hybrid, lm or auto")
      ->type_name("METHOD")
      ->check(CLI::IsMember({std::string(kNewton), std::string("hybrid"), std::string("lm"), std::string("auto")}));
  solveCommand.add_option("--ftol", options.ftol, "Root when every |F| is at most T (1E-10)")
      ->type_name("T")
      ->check(CLI::PositiveNumber);
  solveCommand.add_option("--max-evaluations", options.maxEvaluations, "Evaluation budget (20000)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  solveCommand.add_option("--max-seconds", options.maxSeconds, "Time budget in seconds (10)")
      ->type_name("S")
      ->check(CLI::PositiveNumber);
  solveCommand.add_option("--max-starts", options.maxStarts, "auto: starts tried at most (40)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  solveCommand.add_option("--seed", options.seed, "auto: seed of the perturbed starts (1)")->type_name("N");
}

bool WantsRobustSolve(const RobustCliOptions& options) {
  return options.method != kNewton || AnyRobustOption(options);
}

std::optional<std::string> RobustSolveProblem(const SolveOptions& solve, const RobustCliOptions& options) {
  if (!MethodNamed(options.method)) return "--ftol and the budget options need --method hybrid, lm or auto";
  if (solve.log) return "--log prints the Go command's iteration log; it needs --method newton";
  if (solve.example != 0) {
    if (solve.example < 1 || solve.example > app::kExampleCount)
      return "--example must be between 1 and " + std::to_string(app::kExampleCount);
    if (!solve.equations.empty()) return "--example and --eq cannot be used together";
    return std::nullopt;
  }
  const std::size_t count = solve.equations.size();
  if (count < 1 || count > static_cast<std::size_t>(kMaxRobustEquations))
    return "--eq must be given 1 to " + std::to_string(kMaxRobustEquations) + " times with --method " +
           options.method + " (given " + std::to_string(count) + ")";
  return std::nullopt;
}

robust::Options ToRobustOptions(const RobustCliOptions& options) {
  robust::Options result;
  result.method = MethodNamed(options.method).value_or(robust::Method::Auto);
  if (options.ftol) result.ftol = *options.ftol;
  if (options.maxEvaluations) result.maxEvaluations = *options.maxEvaluations;
  if (options.maxSeconds) result.maxSeconds = *options.maxSeconds;
  if (options.maxStarts) result.maxStarts = *options.maxStarts;
  if (options.seed) result.seed = *options.seed;
  return result;
}

problem::CommandLineInput RobustInput(const SolveOptions& solve, const RobustCliOptions& options) {
  problem::CommandLineInput input;
  input.road = problem::Road::Full;
  if (solve.example != 0) {
    for (std::string_view text : app::ExampleEquations(solve.example)) input.equations.emplace_back(text);
  } else {
    input.equations = solve.equations;
  }
  input.definitions = solve.definitions;
  input.names = solve.namesText;
  input.start = solve.valuesText;
  input.method = options.method;
  return input;
}

RobustRun RunRobustProblem(const ProblemRead& read, const robust::Options& options, const std::string& requested,
                           RobustText* text) {
  // All declared before the library, which keeps a reference to its ui. The
  // library is silent: its messages would come once per trial point, and a
  // failing equation is reported once, by the verdict.
  eval::RecordingUi recorder;
  eval::SilentUi libraryUi;
  RobustRun run;
  // Today's keys come from the Go command's document, with their meaning.
  app::GoResult result;
  auto refuse = [&](const std::string& message) {
    recorder.ShowMessage(message);
    result.error = message;
    run.document = SolveJson(result, recorder);
    run.document["method"] = requested;
    if (read.read) {
      run.document["names"] = read.read->problem.names.value;
      run.document["warnings"] = WarningsJson(read.read->problem.warnings);
    }
    if (text) text->messages.push_back(message);
    run.status = kExitFailure;
    return run;
  };
  if (!read.read) return refuse(read.refusal.message);
  const ReadProblem& problem = *read.read;
  const std::vector<std::string>& names = problem.problem.names.value;
  const std::vector<std::string>& equations = problem.expansion.equations;
  // The definitions first: one the equations do not use is compiled only
  // for the report. The equations are compiled once, and tried one by one
  // only to say where one is refused.
  if (auto refused = RefusedText(problem, false)) return refuse(*refused);
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, libraryUi);
  std::optional<eval::CompiledSystem> system;
  try {
    system.emplace(equations, names, library);
  } catch (const eval::ScriptError& error) {
    if (auto refused = RefusedText(problem)) return refuse(*refused);
    return refuse("Eq_" + std::to_string(RefusedEquation(equations, names, library)) + ": " + error.Description());
  }
  CompiledResiduals residuals(*system);
  // Ctrl-C or SIGTERM ends the solve with its best point so far, checked as usual.
  CatchInterrupts();
  robust::Options robustOptions = options;
  robustOptions.stop = &InterruptFlag();
  const robust::Report report = robust::Solve(robustOptions, residuals, problem.problem.start.value);
  const std::string failure =
      report.verdict == robust::Verdict::EvaluationFailure ? residuals.LastFailure() : std::string();
  const std::string sentence = Sentence(report, failure);
  const bool converged = report.verdict == robust::Verdict::Root;
  const std::vector<DefinitionValue> definitions = DefinitionValues(problem, report.x);

  if (!failure.empty()) recorder.messages.push_back(failure);
  result.ran = true;
  result.answerText = app::AnswerText(report.x);
  result.title = AllFinite(report.residuals) ? app::TitleText(report.residuals) : "";
  result.x = report.x;
  result.residuals = report.residuals;
  result.converged = converged;
  nlohmann::json& document = run.document;
  document = SolveJson(result, recorder);
  // Undefined values are null, never a number that is not one.
  document["x"] = Numbers(report.x);
  document["residuals"] = Numbers(report.residuals);
  document["names"] = names;
  document["definitions"] = DefinitionsJson(definitions);
  document["warnings"] = WarningsJson(problem.problem.warnings);
  document["method"] = robust::MethodName(report.method);
  document["requestedMethod"] = requested;
  document["verdict"] = robust::VerdictName(report.verdict);
  document["stopReason"] = robust::StopReasonName(report.stopReason);
  document["summary"] = sentence;
  document["startsTried"] = report.startsTried;
  document["startIndex"] = report.startIndex;
  document["iterations"] = report.iterations;
  document["functionEvaluations"] = report.functionEvaluations;
  document["jacobianEvaluations"] = report.jacobianEvaluations;
  document["failedTrials"] = report.failedTrials;
  document["maxAbsResidual"] = Number(report.maxAbsResidual);
  document["gradientCosine"] = Number(report.gradientCosine);
  document["conditionEstimate"] = Number(report.conditionEstimate);
  document["nearSingular"] = report.nearSingular;
  document["failedEquation"] =
      report.failedEquation >= 0 ? nlohmann::json(report.failedEquation + 1) : nlohmann::json(nullptr);
  // null unless --ftol chose the absolute test.
  document["ftol"] = options.ftol ? nlohmann::json(*options.ftol) : nlohmann::json(nullptr);
  document["derivatives"] = eval::DerivativesName(system->Method());
  document["seconds"] = report.seconds;
  // Present only when true, so a clean run's document keeps its keys.
  if (report.interrupted) document["interrupted"] = true;
  if (report.givenStartFailed) document["givenStartFailed"] = true;

  if (text) {
    if (!failure.empty()) text->messages.push_back(failure);
    for (std::size_t i = 0; i < report.x.size(); ++i)
      text->lines.push_back(names[i] + "= " + eval::NumberText(report.x[i]));
    for (const DefinitionValue& value : definitions)
      text->lines.push_back(value.name + " = " +
                            (value.value ? FullPrecisionText(*value.value) : std::string("undefined")));
    text->lines.push_back(sentence);
  }
  if (report.interrupted) {
    if (text) {
      text->lines.push_back(std::string("The solve was interrupted by ") +
                            (InterruptSignal() == SIGTERM ? "SIGTERM" : "SIGINT") + ".");
    }
    run.status = InterruptedExitStatus(InterruptSignal() != 0 ? InterruptSignal() : SIGINT);
  } else {
    run.status = converged ? kExitSuccess : kExitFailure;
  }
  return run;
}

int PrintRobustRun(const ProblemRead& read, const RobustCliOptions& options, bool json, std::ostream& out,
                   std::ostream& err) {
  if (read.read && !json) PrintWarnings(read.read->problem.warnings, err);
  RobustText text;
  const RobustRun run = RunRobustProblem(read, ToRobustOptions(options), options.method, json ? nullptr : &text);
  if (json) {
    out << JsonText(run.document) << '\n';
  } else {
    for (const std::string& message : text.messages) err << OneLine(message) << '\n';
    for (const std::string& line : text.lines) out << line << '\n';
  }
  return run.status;
}

int RunRobustSolve(const SolveOptions& solve, const RobustCliOptions& options, std::ostream& out,
                   std::ostream& err) {
  if (auto problem = RobustSolveProblem(solve, options)) {
    err << "nlsolve solve: " << *problem << '\n';
    return kExitUsage;
  }
  return PrintRobustRun(ReadCommandProblem(RobustInput(solve, options), std::nullopt), options, solve.json, out, err);
}

}  // namespace cli
