#include "GoCommand.h"

#include <cmath>
#include <string>

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

constexpr std::string_view kNoSystemMessage =
    "No system is loaded: double-click one of the examples in the list first.";

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// "The system has 2 equations, so it needs 2 unknowns' names; 3 were given."
std::string CountMessage(int nEq, std::string_view what, std::size_t given) {
  return "The system has " + Plural(nEq, "equation", "equations") + ", so it needs " +
         std::to_string(nEq) + " " + std::string(what) + "; " + std::to_string(given) +
         (given == 1 ? " was given." : " were given.");
}

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

double RoundToDecimals(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double scaled = value * scale;
  if (!std::isfinite(scaled)) return value;  // too large to carry decimals anyway
  return std::nearbyint(scaled) / scale;  // ties to even
}

}  // namespace

std::string AnswerText(std::span<const double> answer) {
  std::string text;
  for (std::size_t i = 0; i < answer.size(); ++i) {
    text += "x" + std::to_string(i + 1) + "= " + eval::NumberText(answer[i]) + "\r\n";
  }
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

GoResult CmdExecute_Click(const InputFields& fields, ProblemState& state, eval::SolverUi& ui) {
  GoResult result;
  auto refuse = [&](std::string message) {
    ui.ShowMessage(message);
    result.error = std::move(message);
    return result;
  };

  const int nEq = state.nEq;
  if (nEq <= 0) return refuse(std::string(kNoSystemMessage));

  // The solvers need exactly one name and one initial value per equation; an
  // empty field keeps those of the previous command.
  const auto namePieces = SplitAtCommas(fields.txtVars);
  const std::size_t names = namePieces.empty() ? state.varNames.size() : namePieces.size();
  const auto valuePieces = SplitAtCommas(fields.txtVarsI);
  const std::size_t values = valuePieces.empty() ? state.x.size() : valuePieces.size();
  if (names != static_cast<std::size_t>(nEq)) {
    return refuse(CountMessage(nEq, "unknowns' names (Varaiabls)", names));
  }
  if (values != static_cast<std::size_t>(nEq)) {
    return refuse(CountMessage(nEq, "initial values", values));
  }

  CountingUi counting(ui);
  std::optional<TrackedEquations> tracked;
  try {
    ReadProblemInput(fields, state, counting);
    // Views into the arrays the input step has just built.
    TrackedEquations& equations = tracked.emplace(state, counting);

    std::vector<double> xOut;
    if (nEq == kDescentEquations) {
      solvers::SteepestDescent(counting, kConfirm, state.nEq, equations, state.x,
                               kDescentIterations, kDescentTolerance, xOut);
      xOut.resize(nEq);
      for (int i = 0; i < nEq; ++i) state.x[i] = xOut[i];
    }
    const solvers::NewtonReport report =
        solvers::NewtonSystem(counting, kConfirm, state.nEq, equations, state.x,
                              kNewtonIterations, kNewtonTolerance, xOut);
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
    // An equation the engine cannot take (syntax error, a name it does not
    // accept, a coordinate beyond the number range): abandon the command.
    const int eq = tracked && tracked->Current() > 0 ? tracked->Current() : 1;
    return refuse("Eq_" + std::to_string(eq) + ": " + error.Description());
  }
}

}  // namespace app
