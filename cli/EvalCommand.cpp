// nlsolve eval: one expression in a fresh script engine, as the window's
// evaluator sees it; with --grad, at full precision with its partial
// derivative along each --var, through the compiled form; with --file, the
// expression and its assignments read from a system file.
#include <memory>

#include <CLI/CLI.hpp>

#include "Command.h"
#include "Commands.h"
#include "InputText.h"
#include "ProblemInput.h"
#include "StreamUi.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/Evaluate.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"
#include "eval/compiled/CompiledSystem.h"
#include "problem/Checks.h"
#include "problem/Readers.h"

namespace cli {
namespace {

// An eval engine is prepared as the input step prepares an equation's engine.
constexpr std::string_view kLanguage = "VBScript";
constexpr std::string_view kErrorPrefix = "nlsolve: ";
// How warnings name the expression typed after the options.
constexpr std::string_view kExpressionSource = "EXPR";

constexpr std::string_view kUsage =
    "Usage: nlsolve eval [--grad [--json]] [--var NAME=VALUE]... (--file F | [--] EXPR)\n";
constexpr std::string_view kHelp =
    "  nlsolve eval [--grad [--json]] [--var NAME=VALUE]... (--file F | [--] EXPR)\n"
    "      Evaluates EXPR in a fresh script engine carrying the function library,\n"
    "      after assigning each NAME its VALUE (read as a leading number), and\n"
    "      prints the result. A failed evaluation prints the engine's description\n"
    "      on stderr and exits with 1. Put -- before an EXPR that begins with '-'.\n"
    "      --grad evaluates at the exact values instead and prints d/dNAME = ...\n"
    "      per --var in order (exact derivatives, or central differences where the\n"
    "      expression uses what they do not cover); --json prints one object\n"
    "      (value, gradient, derivatives; see docs/json.md).\n"
    "      --file F reads the expression from F (- for standard input), a\n"
    "      system file with one expression; its names: and start: lines assign\n"
    "      the unknowns before the --var assignments.\n";

struct EvalOptions {
  std::vector<std::string> assignments;  // "NAME=VALUE", in the order given
  std::string expression;
  std::optional<std::string> file;  // a system file holding the expression instead
  bool grad = false;
  bool json = false;
};

// What is evaluated: the expression and the values assigned, in order.
struct Evaluation {
  std::string expression;
  std::vector<std::string> names;
  std::vector<double> values;
  // A file's expression with its place, so that a refusal names the line.
  std::optional<problem::PlacedText> placed;
  std::string source;  // the file, as messages name it
};

// Why the engine refused to add the expression's code: the description, at
// the expression's place in its file when the expression alone fails so
// (compiled again only then; the run compiles it once).
std::string RefusalText(const Evaluation& evaluation, const eval::ScriptError& error) {
  if (evaluation.placed) {
    const problem::PlacedText& expression = *evaluation.placed;
    if (auto failure = CompileFailureOf(expression.Text())) {
      const problem::Place place = failure->offset == std::string::npos
                                       ? problem::Place{expression.PlaceOf(0).line, 0}
                                       : expression.PlaceOf(failure->offset);
      return problem::Format(problem::ProblemError{evaluation.source, place, 0, {}, OneLine(failure->description)});
    }
  }
  return OneLine(error.Description());
}

// An --var must name something: "NAME=VALUE" with a non-empty NAME.
std::string CheckAssignment(const std::string& text) {
  return ParseAssignment(text) ? std::string() : "expected NAME=VALUE, got \"" + text + "\"";
}

int Fail(std::ostream& err, std::string_view message) {
  err << kErrorPrefix << OneLine(message) << '\n';
  return kExitFailure;
}

// eval --grad's findings: the value and the gradient at the point.
struct GradReport {
  std::vector<std::string> names;
  std::optional<double> value;  // nullopt: the expression failed there
  std::vector<double> gradient;
  std::string_view derivatives;
  std::optional<std::string> error;  // the engine's description of a fault
  problem::WarningList warnings;
  bool ok = false;
};

void PrintGradText(const GradReport& report, std::ostream& out, std::ostream& err) {
  out << (report.value ? FullPrecisionText(*report.value) : std::string(kUndefinedText)) << '\n';
  for (std::size_t i = 0; i < report.names.size(); ++i)
    out << "d/d" << report.names[i] << " = " << FullPrecisionText(report.gradient[i]) << '\n';
  if (report.error) err << OneLine(*report.error) << '\n';
}

nlohmann::json GradJson(const GradReport& report) {
  nlohmann::json document = JsonDocument();
  document["value"] = report.value ? FullPrecisionJson(*report.value) : nlohmann::json(nullptr);
  nlohmann::json partials = nlohmann::json::object();
  for (std::size_t i = 0; i < report.names.size(); ++i) partials[report.names[i]] = FullPrecisionJson(report.gradient[i]);
  document["gradient"] = partials;
  document["derivatives"] = std::string(report.derivatives);
  if (report.error) document["error"] = *report.error;
  document["warnings"] = WarningsJson(report.warnings);
  return document;
}

int RunEvalPlain(const Evaluation& evaluation, std::ostream& out, std::ostream& err) {
  StreamUi ui(nullptr, err);
  eval::ScriptEngine engine;
  const auto mathLib = std::make_shared<eval::ClsMath>();
  // The library's messages go to this command's ui while it runs.
  const eval::ClsMath::UiBinding libraryUi(*mathLib, ui);
  try {
    engine.SetLanguage(kLanguage);
    engine.AddObject(eval::kLibraryName, mathLib, true);
    const eval::Value result = eval::Evaluate(engine, evaluation.expression, evaluation.names, evaluation.values, ui);
    // Evaluate beeps only when the evaluation failed; its message is already out.
    if (ui.Beeps() > 0) return kExitFailure;
    out << ValueText(result) << '\n';
    return kExitSuccess;
  } catch (const eval::ScriptError& error) {
    err << RefusalText(evaluation, error) << '\n';
    return kExitFailure;
  }
}

int RunEvalGrad(const Evaluation& evaluation, bool json, std::ostream& out, std::ostream& err) {
  if (auto repeated = RepeatedName(evaluation.names)) {
    err << "nlsolve eval: --grad needs each NAME once, got \"" << *repeated << "\" twice\n";
    return kExitUsage;
  }
  GradReport report;
  report.names = evaluation.names;
  // What looks unintended in the expression: a name no --var assigns, a --var it does not use.
  problem::Problem typed;
  typed.road = problem::Road::Go;
  typed.equations.push_back(problem::Equation{problem::PlacedText(evaluation.expression, 0, 1),
                                              std::string(kExpressionSource), std::nullopt});
  typed.names.value = evaluation.names;
  report.warnings = problem::CheckProblem(typed);
  if (!json) PrintWarnings(report.warnings, err);

  StreamUi ui(nullptr, err);
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, ui);
  try {
    eval::CompiledEquation equation(evaluation.expression, evaluation.names, library);
    report.gradient.assign(evaluation.names.size(), 0.0);
    const eval::EquationResult result = equation.Evaluate(evaluation.values, report.gradient);
    if (result.fault != eval::EquationFault::ScriptError) report.value = result.value;
    report.derivatives = eval::DerivativesName(equation.Method());
    if (result.fault != eval::EquationFault::None) report.error = result.description;
    report.ok = result.fault == eval::EquationFault::None;
  } catch (const eval::ScriptError& error) {
    err << RefusalText(evaluation, error) << '\n';
    return kExitFailure;
  }
  if (json) {
    out << JsonText(GradJson(report)) << '\n';
  } else {
    PrintGradText(report, out, err);
  }
  return report.ok ? kExitSuccess : kExitFailure;
}

// The expression of a system file and the values its names: and start:
// lines assign, which pair up as the solve command's fields do, with the
// same defaults when one of them is missing. nullopt after saying why on err.
std::optional<Evaluation> FileEvaluation(const std::string& path, std::ostream& err) {
  const InputRead input = ReadInputText(path);
  if (!input.text) {
    Fail(err, input.error);
    return std::nullopt;
  }
  const std::string source = InputName(path);
  problem::CommandLineInput typed;
  typed.road = problem::Road::Go;
  const problem::ReadResult read = problem::ReadSystemFile(source, *input.text, typed);
  if (!read.problem) {
    Fail(err, problem::Format(*read.error));
    return std::nullopt;
  }
  const problem::Problem& file = *read.problem;
  if (file.equations.size() != 1) {
    Fail(err, source + ": eval --file takes one expression; the file holds " + std::to_string(file.equations.size()));
    return std::nullopt;
  }
  const problem::PlacedText& expression = file.equations.front().text;

  const bool namesGiven = file.names.origin.kind != problem::OriginKind::Default;
  const bool startGiven = file.start.origin.kind != problem::OriginKind::Default;
  Evaluation evaluation;
  evaluation.expression = expression.Text();
  evaluation.placed = expression;
  evaluation.source = source;
  if (namesGiven) evaluation.names = file.names.value;
  if (startGiven) evaluation.values = file.start.value;
  if (namesGiven && startGiven && evaluation.names.size() != evaluation.values.size()) {
    Fail(err, problem::Format(problem::ProblemError{
                  source, problem::Place{file.start.origin.line, 0}, 0, {},
                  std::to_string(evaluation.names.size()) + " names but " + std::to_string(evaluation.values.size()) +
                      " initial values"}));
    return std::nullopt;
  }
  if (!namesGiven) evaluation.names = app::SplitAtCommas(DefaultNamesText(static_cast<int>(evaluation.values.size())));
  if (evaluation.values.empty()) evaluation.names.clear();
  if (!startGiven) evaluation.values.assign(evaluation.names.size(), problem::Defaults{}.start);
  for (std::size_t i = 0; namesGiven && i < evaluation.names.size(); ++i) {
    // An --var text holds NAME=VALUE; a name with "=" or none cannot be one.
    const std::string& name = evaluation.names[i];
    if (name.empty() || name.find('=') != std::string::npos) {
      const problem::Place place = i < file.namePlaces.size() ? file.namePlaces[i] : problem::Place{file.names.origin.line, 0};
      Fail(err, problem::Format(problem::ProblemError{source, place, 0, "names", "\"" + name + "\" is not a name"}));
      return std::nullopt;
    }
  }
  return evaluation;
}

class EvalCommand : public Command {
 public:
  std::string_view Name() const override { return "eval"; }
  std::string_view Summary() const override { return "Evaluate one expression and print its value"; }
  std::string Usage() const override { return std::string(kUsage); }
  std::string Help() const override { return std::string(kHelp); }

  void AddOptions(CLI::App& command) override {
    command.add_option("--var", options_.assignments, "Assign VALUE to NAME first (repeatable)")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false)
        ->check(CLI::Validator(CheckAssignment, ""));
    expression_ = command.add_option("EXPR", options_.expression, "The expression");
    command.add_option("--file", options_.file, "Read the expression from F (- for standard input)")
        ->type_name("F")
        ->excludes(expression_);
    CLI::Option* grad = command.add_flag("--grad", options_.grad, "Full precision, with d/dNAME per --var");
    command.add_flag("--json", options_.json, "With --grad: print one JSON object")->needs(grad);
  }

  int Run(std::ostream& out, std::ostream& err) override {
    Evaluation evaluation;
    if (options_.file) {
      auto read = FileEvaluation(*options_.file, err);
      if (!read) return kExitFailure;
      evaluation = std::move(*read);
    } else if (expression_->count() == 0) {
      err << "nlsolve: EXPR or --file F is required\n" << kUsage;
      return kExitUsage;
    } else {
      evaluation.expression = options_.expression;
    }
    // Each --var after the file's assignments; with --grad a name once, the
    // --var replacing the file's value.
    std::size_t fromFile = evaluation.names.size();
    for (const std::string& assignment : options_.assignments) {
      auto [name, value] = *ParseAssignment(assignment);
      for (std::size_t i = 0; options_.grad && i < fromFile; ++i) {
        if (!RepeatedName(std::vector<std::string>{evaluation.names[i], name})) continue;
        evaluation.names.erase(evaluation.names.begin() + static_cast<std::ptrdiff_t>(i));
        evaluation.values.erase(evaluation.values.begin() + static_cast<std::ptrdiff_t>(i));
        --fromFile;
        break;
      }
      evaluation.names.push_back(std::move(name));
      evaluation.values.push_back(value);
    }
    return options_.grad ? RunEvalGrad(evaluation, options_.json, out, err) : RunEvalPlain(evaluation, out, err);
  }

 private:
  EvalOptions options_;
  CLI::Option* expression_ = nullptr;
};

}  // namespace

std::unique_ptr<Command> MakeEvalCommand() { return std::make_unique<EvalCommand>(); }

}  // namespace cli
