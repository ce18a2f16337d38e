#include "GoCommand.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "eval/ClsMath.h"
#include "eval/Evaluate.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"
#include "solvers/Solvers.h"

namespace app {
namespace {

// The Go command's fixed arguments to the solvers.
constexpr std::string_view kConfirm = "y";
constexpr std::int16_t kDescentIterations = 30;
constexpr double kDescentTolerance = 1E-4;
constexpr std::int16_t kNewtonIterations = 30;
constexpr double kNewtonTolerance = 1E-5;
constexpr int kDescentEquations = 3;  // the descent stage runs for three equations only
constexpr int kTitleDecimals = 7;
constexpr std::string_view kAnswerLineEnd = "\r\n";

constexpr std::string_view kNoSystemMessage =
    "No system is loaded: double-click one of the examples in the list first.";

// The fields as their labels name them.
constexpr std::string_view kNamesField = "Varaiabls";
constexpr std::string_view kValuesField = "Initial Values";

// Evaluate assigns each coordinate as the name, " = " and the number text; a
// name is tried in the same statement with the value 0.
constexpr std::string_view kNameTrialTail = " = 0";

// "The name '1a' in Varaiabls is not a valid variable name (Expected statement)"
std::string BadNameMessage(std::string_view name, std::string_view description) {
  return "The name '" + std::string(name) + "' in " + std::string(kNamesField) +
         " is not a valid variable name (" + std::string(description) + ")";
}

// "The initial value '1E400' in Initial Values is beyond the number range (Overflow)"
std::string BadValueMessage(std::string_view typed) {
  return "The initial value '" + std::string(typed) + "' in " + std::string(kValuesField) +
         " is beyond the number range (" +
         std::string(eval::DescriptionOf(eval::ErrorNumber::Overflow)) + ")";
}

// "The Newton iteration left the number range in iteration 3 (x(2) is infinite)"
std::string LeftRangeMessage(int iteration, std::span<const double> point) {
  std::string message =
      "The Newton iteration left the number range in iteration " + std::to_string(iteration);
  for (std::size_t i = 0; i < point.size(); ++i) {
    const double v = point[i];
    if (solvers::InNumberRange(v)) continue;
    const char* what = std::isnan(v) ? "is not a number" : std::isinf(v) ? "is infinite" : "is too large";
    message += " (x(" + std::to_string(i + 1) + ") " + what + ")";
    break;
  }
  return message;
}

// The first unknown whose name the engine does not take as a variable, or
// whose initial value cannot reach it, checked before any solver runs so the
// message blames that field rather than the first equation evaluated.
struct UnknownsFault {
  GoFailure failure;
  std::string message;
};
std::optional<UnknownsFault> UnknownsProblem(ProblemState& state, const std::vector<std::string>& valuePieces) {
  const auto trial = NewEquationEngine(state);
  for (std::size_t p = 0; p < state.varNames.size(); ++p) {
    const std::string& name = state.varNames[p];
    try {
      trial->AddCode(name + std::string(kNameTrialTail));
    } catch (const eval::ScriptError& error) {
      GoFailure failure{.kind = GoFailure::Kind::Name, .piece = p};
      if (error.Position() != eval::ScriptError::kNoPosition) failure.offset = std::min(error.Position(), name.size());
      return UnknownsFault{failure, BadNameMessage(name, error.Description())};
    }
  }
  for (std::size_t p = 0; p < state.x.size(); ++p) {
    if (solvers::InNumberRange(state.x[p])) continue;
    // With an empty field the point is the previous answer, which has no typed text.
    return UnknownsFault{GoFailure{.kind = GoFailure::Kind::Value, .piece = p},
                         BadValueMessage(p < valuePieces.size() ? valuePieces[p] : eval::NumberText(state.x[p]))};
  }
  return std::nullopt;
}

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

// "The system has 2 equations, so it needs 2 unknowns' names; 3 were given."
// When the field is one piece holding several words ("1 1", "1;1"), adds
// how to separate them.
std::string CountMessage(int nEq, std::string_view what, std::size_t given,
                         std::span<const std::string> pieces) {
  std::string message = "The system has " + Plural(nEq, "equation", "equations") + ", so it needs " +
                        std::to_string(nEq) + " " + std::string(what) + "; " + std::to_string(given) +
                        (given == 1 ? " was given." : " were given.");
  if (nEq > 1 && given == 1 && pieces.size() == 1) {
    const std::string& piece = pieces.front();
    constexpr std::string_view kSeparators = " \t;:|/";
    const std::size_t first = piece.find_first_not_of(kSeparators);
    const std::size_t last = piece.find_last_not_of(kSeparators);
    if (first != std::string::npos && piece.find_first_of(kSeparators, first) < last)
      message += " Separate them with commas.";
  }
  return message;
}

namespace {

// Counts the beeps of failed evaluations on the way to the user, so the
// command can tell a clean run from one that went on with zeros.
class CountingUi : public eval::SolverUi {
 public:
  explicit CountingUi(eval::SolverUi& inner) : inner_(inner) {}
  void PrintLine(std::string_view line) override { inner_.PrintLine(line); }
  void ShowMessage(std::string_view text) override { inner_.ShowMessage(text); }
  void Beep() override {
    ++beeps_;
    inner_.Beep();
  }
  int Beeps() const { return beeps_; }

 private:
  eval::SolverUi& inner_;
  int beeps_ = 0;
};

// The script equations, remembering which equation was being evaluated so an
// add-code failure can name it.
class TrackedEquations : public solvers::EquationSystem {
 public:
  TrackedEquations(ProblemState& state, eval::SolverUi& ui)
      : inner_(state.scriptEngines, state.eqTexts, state.varNames, ui) {}
  int Count() const override { return inner_.Count(); }
  double Value(int i, std::span<const double> x) override {
    current_ = i;
    return inner_.Value(i, x);
  }
  int Current() const { return current_; }

 private:
  solvers::ScriptEquations inner_;
  int current_ = 0;
};

// The value rounded to `decimals` places by its exact decimal expansion (no
// scaling, whose own rounding would move values near a tie), then the double
// nearest that decimal. Ties go to even, and only a binary value lying
// exactly halfway is a tie. Fixed notation is exact and locale-free.
double RoundToDecimals(double value, int decimals) {
  if (!std::isfinite(value)) return value;
  // Sign, the 309 digits of the largest double, the point and the decimals.
  std::array<char, 320> text;
  const auto printed = std::to_chars(text.data(), text.data() + text.size(), value,
                                     std::chars_format::fixed, decimals);
  if (printed.ec != std::errc()) return value;
  double rounded = value;
  std::from_chars(text.data(), printed.ptr, rounded);
  return rounded;
}

}  // namespace

std::vector<std::string> AnswerLines(std::span<const double> answer) {
  std::vector<std::string> lines;
  lines.reserve(answer.size());
  for (std::size_t i = 0; i < answer.size(); ++i) {
    lines.push_back("x" + std::to_string(i + 1) + "= " + eval::NumberText(answer[i]));
  }
  return lines;
}

std::string AnswerText(std::span<const double> answer) {
  std::string text;
  for (const std::string& line : AnswerLines(answer)) text += line + std::string(kAnswerLineEnd);
  return text;
}

std::string TitleText(std::span<const double> residuals) {
  const std::size_t shown = residuals.size() == kDescentEquations ? 3 : 2;
  std::string title;
  for (std::size_t i = 0; i < shown && i < residuals.size(); ++i) {
    if (i > 0) title += ";";
    title += "Fxyz" + std::to_string(i + 1) + "= " +
             eval::NumberText(RoundToDecimals(residuals[i], kTitleDecimals));
  }
  return title;
}

GoResult CmdExecute_Click(const InputFields& fields, ProblemState& state, eval::SolverUi& ui,
                          const GoOptions& options) {
  GoResult result;
  auto refuse = [&](const GoFailure& failure, std::string message) {
    if (options.locate) message = options.locate(failure, message);
    ui.ShowMessage(message);
    result.error = std::move(message);
    result.failure = failure;
    return result;
  };
  using Kind = GoFailure::Kind;

  const int nEq = state.nEq;
  if (nEq <= 0) return refuse({.kind = Kind::NoSystem}, std::string(kNoSystemMessage));

  // The solvers need exactly one name and one initial value per equation; an
  // empty field keeps those of the previous command.
  const auto namePieces = SplitAtCommas(fields.txtVars);
  const std::size_t names = namePieces.empty() ? state.varNames.size() : namePieces.size();
  const auto valuePieces = SplitAtCommas(fields.txtVarsI);
  const std::size_t values = valuePieces.empty() ? state.x.size() : valuePieces.size();
  if (names != static_cast<std::size_t>(nEq)) {
    return refuse({.kind = Kind::NameCount}, CountMessage(nEq, "unknowns' names (Varaiabls)", names, namePieces));
  }
  if (values != static_cast<std::size_t>(nEq)) {
    return refuse({.kind = Kind::ValueCount}, CountMessage(nEq, "initial values", values, valuePieces));
  }

  CountingUi counting(ui);
  std::optional<TrackedEquations> tracked;
  // The library's messages reach this command's user interface while it
  // runs, and nothing of it once the command has returned.
  std::optional<eval::ClsMath::UiBinding> libraryUi;
  try {
    ReadProblemInput(fields, state);
    if (state.mathLib) libraryUi.emplace(*state.mathLib, counting);
    if (auto problem = UnknownsProblem(state, valuePieces)) return refuse(problem->failure, std::move(problem->message));
    result.names = state.varNames;
    result.start = state.x;
    // Views into the arrays the input step has just built.
    TrackedEquations& equations = tracked.emplace(state, counting);

    std::vector<double> xOut;
    if (nEq == kDescentEquations) {
      solvers::SteepestDescent(counting, kConfirm, state.nEq, equations, state.x,
                               kDescentIterations, kDescentTolerance, xOut, options.observer);
      xOut.resize(nEq);
      for (int i = 0; i < nEq; ++i) state.x[i] = xOut[i];
    }
    const solvers::NewtonReport report =
        solvers::NewtonSystem(counting, kConfirm, state.nEq, equations, state.x,
                              kNewtonIterations, kNewtonTolerance, xOut, options.observer);
    if (report.outcome == solvers::NewtonOutcome::LeftNumberRange) {
      return refuse({.kind = Kind::LeftNumberRange}, LeftRangeMessage(report.iterations, xOut));
    }
    xOut.resize(nEq);

    result.answerText = AnswerText(xOut);
    for (int i = 0; i < nEq; ++i) state.x[i] = xOut[i];
    result.residuals.assign(nEq, 0.0);
    for (int i = 1; i <= nEq; ++i) result.residuals[i - 1] = equations.Value(i, state.x);
    result.title = TitleText(result.residuals);
    result.x = xOut;
    result.converged = report.outcome == solvers::NewtonOutcome::Converged &&
                       !report.singularSeen && !report.nonFinite && counting.Beeps() == 0;
    result.ran = true;
    return result;
  } catch (const eval::ScriptError& error) {
    // An equation the engine cannot take (a syntax error): abandon the command.
    const int eq = tracked && tracked->Current() > 0 ? tracked->Current() : 1;
    GoFailure failure{.kind = Kind::Equation, .equation = static_cast<std::size_t>(eq - 1)};
    // The engine's position is in the code Evaluate adds around the text.
    if (tracked && tracked->Current() > 0 && error.Position() != eval::ScriptError::kNoPosition) {
      const std::size_t text = state.eqTexts[static_cast<std::size_t>(eq - 1)].size();
      const std::size_t head = eval::FunctionBodyOffset();
      failure.offset = error.Position() < head ? 0 : std::min(error.Position() - head, text);
    }
    return refuse(failure, "Eq_" + std::to_string(eq) + ": " + error.Description());
  }
}

}  // namespace app
