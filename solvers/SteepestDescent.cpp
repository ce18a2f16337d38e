// Steepest descent on g(x) = f1(x)^2 + ... + fn(x)^2 with a halving search
// for a bracket and a three-point quadratic interpolation for the step.
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "Solvers.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"

namespace solvers {

namespace {

// Message texts; the trailing blanks are part of them.
constexpr std::string_view kNotConfirmed =
    "The program will end so that the functions can be created ";
constexpr std::string_view kNEqTooSmall = "Neq must be greater than 1.";
constexpr std::string_view kTolNotPositive = "Tolerance must be positive ";
constexpr std::string_view kNIterationNotPositive = "Niteration Must be positive integer ";
constexpr std::string_view kZeroGradient = "ZERO GRADIENT: MAY HAVE MIN";
constexpr std::string_view kNoLikelyImprovement = "NO LIKELY IMPROVEMENT: MAY HAVE MIN";
constexpr std::string_view kNoChangeLikely = "NO CHANGE LIKELY: PROBABLY ROUNDING DIFFICULTIES";
constexpr std::string_view kConverged = "PROCEDURE COMPLETED SUCCESSFULLY";
constexpr std::string_view kIterationLimit = "MAXIMUM ITERATIONS EXCEEDED";

// Three blanks after "No.", four after "Vector".
constexpr std::string_view kHeader1 = "STEEPEST DESCENT METHOD FOR NONLINEAR SYSTEMS";
constexpr std::string_view kHeader2 = "Iter. No.   Vector    G(vector)";

constexpr int kMinEquations = 2;

// Bounds the gradient's length, the halved step and the accepted step.
constexpr double kNegligible = 1E-20;

// The last line of every run: the iteration counter and every coordinate of
// the point (three for the three-equation systems the Go command passes).
std::string FinishLine(int k, const std::vector<double>& x) {
  std::string line = "sta 400 K= " + std::to_string(k);
  for (std::size_t i = 0; i < x.size(); ++i) {
    line += ";X(" + std::to_string(i + 1) + ")= " + eval::NumberText(x[i]);
  }
  return line;
}

// g along the line x - alpha * z. A trial point with a coordinate outside the
// number range has no value (NaN) and is not evaluated: such a step is never
// taken, and the equations only ever see points in the range from here.
class LineFunction {
 public:
  LineFunction(EquationSystem& equations, const std::vector<double>& x, const std::vector<double>& z)
      : equations_(equations), x_(x), z_(z), p_(x.size(), 0.0) {}

  double At(double alpha) {
    for (std::size_t i = 0; i < x_.size(); ++i) {
      p_[i] = x_[i] - alpha * z_[i];
      if (!InNumberRange(p_[i])) return std::nan("");
    }
    double g = 0.0;
    for (std::size_t i = 0; i < x_.size(); ++i) {
      const double f = equations_.Value(int(i) + 1, p_);
      g = g + f * f;
    }
    return g;
  }

 private:
  EquationSystem& equations_;
  const std::vector<double>& x_;
  const std::vector<double>& z_;
  std::vector<double> p_;
};

struct StepChoice {
  double alpha = 0.0;
  double g = 0.0;
};

// Picks the step among the interpolated vertex alpha0 and the bracket points
// (0, alpha2, alpha3). Only a strictly smaller |g| replaces the current
// choice, so alpha0 wins ties and a lower bracket point beats a higher one.
// When the parabola breaks down (h3 = 0, or alpha0 or g0 not finite) alpha0
// is no candidate and the choice starts at the first bracket point.
StepChoice InterpolationStep(LineFunction& line, double g1, double alpha3, double g3) {
  const double alpha1 = 0.0;
  const double alpha2 = alpha3 / 2;
  const double g2 = line.At(alpha2);

  const double h1 = (g2 - g1) / (alpha2 - alpha1);
  const double h2 = (g3 - g2) / (alpha3 - alpha2);
  const double h3 = (h2 - h1) / (alpha3 - alpha1);

  const double alphas[] = {alpha1, alpha2, alpha3};
  const double gs[] = {g1, g2, g3};
  StepChoice choice{alpha1, g1};
  int firstBracket = 1;
  if (h3 != 0.0) {
    const double alpha0 = 0.5 * (alpha1 + alpha2 - h1 / h3);
    if (std::isfinite(alpha0)) {
      const double g0 = line.At(alpha0);
      if (std::isfinite(g0)) {
        choice = {alpha0, g0};
        firstBracket = 0;
      }
    }
  }
  for (int i = firstBracket; i < 3; ++i) {
    if (std::fabs(choice.g) > std::fabs(gs[i])) choice = {alphas[i], gs[i]};
  }
  return choice;
}

}  // namespace

DescentOutcome SteepestDescent(eval::SolverUi& ui, std::string_view confirm, std::int16_t nEq,
                               EquationSystem& equations, std::span<const double> x,
                               std::int16_t nIteration, double tol, std::vector<double>& xOut,
                               const IterateObserver& observer) {
  const int n = nEq > 0 ? nEq : 0;
  std::vector<double> xs(std::size_t(n), 0.0);  // the current point
  int k = 0;
  bool started = false;  // past the checks: the observer has been told the start

  // Every outcome but a failed check ends here, after its message.
  auto finish = [&](std::string_view message, DescentOutcome outcome) {
    ui.ShowMessage(message);
    ui.PrintLine(FinishLine(k, xs));
    if (started && observer) observer({PathStage::Descent, PathPoint::End, k, xs});
    xOut = xs;
    return outcome;
  };

  if (confirm != "y" && confirm != "Y") return finish(kNotConfirmed, DescentOutcome::NotConfirmed);

  // One message for the first value out of its limits, then back to the
  // caller: nothing printed, xOut untouched.
  if (nEq < kMinEquations) {
    ui.ShowMessage(kNEqTooSmall);
    return DescentOutcome::InvalidParameter;
  }
  if (!(tol > 0.0)) {  // a NaN tolerance fails too
    ui.ShowMessage(kTolNotPositive);
    return DescentOutcome::InvalidParameter;
  }
  if (nIteration < 1) {
    ui.ShowMessage(kNIterationNotPositive);
    return DescentOutcome::InvalidParameter;
  }
  // Fewer starting values or equations than unknowns: the script world's
  // "Subscript out of range", for the caller to report.
  if (x.size() < std::size_t(n) || equations.Count() < n) {
    throw eval::ScriptError(eval::ErrorNumber::SubscriptOutOfRange);
  }

  ui.PrintLine(kHeader1);
  ui.PrintLine(kHeader2);
  for (int i = 0; i < n; ++i) xs[std::size_t(i)] = x[std::size_t(i)];
  started = true;
  if (observer) observer({PathStage::Descent, PathPoint::Start, 0, xs});

  std::vector<double> f(std::size_t(n), 0.0);
  std::vector<double> z(std::size_t(n), 0.0);
  std::vector<double> moved(std::size_t(n), 0.0);
  for (k = 1; k <= nIteration; ++k) {
    double g1 = 0.0;
    for (int i = 1; i <= n; ++i) f[std::size_t(i - 1)] = equations.Value(i, xs);
    for (int i = 0; i < n; ++i) g1 = g1 + f[std::size_t(i)] * f[std::size_t(i)];

    // z = 2 J^T F, one unknown at a time.
    for (int i = 1; i <= n; ++i) {
      double sum = 0.0;
      for (int j = 1; j <= n; ++j) {
        sum = sum + 2 * f[std::size_t(j - 1)] * PartialDerivative(equations, j, xs, i);
      }
      z[std::size_t(i - 1)] = sum;
    }
    double z0 = 0.0;
    for (int i = 0; i < n; ++i) z0 = z0 + z[std::size_t(i)] * z[std::size_t(i)];
    z0 = std::sqrt(z0);
    if (std::fabs(z0) < kNegligible) return finish(kZeroGradient, DescentOutcome::ZeroGradient);
    for (int i = 0; i < n; ++i) z[std::size_t(i)] = z[std::size_t(i)] / z0;

    LineFunction line(equations, xs, z);
    double alpha3 = 1;
    double g3 = line.At(alpha3);
    // Halve until the trial value is below the current one. A trial value
    // that is no finite number (NaN fails every comparison) is no improvement.
    while (!(std::isfinite(g3) && std::fabs(g3) < std::fabs(g1))) {
      alpha3 = alpha3 / 2;
      if (alpha3 < kNegligible) {
        return finish(kNoLikelyImprovement, DescentOutcome::NoLikelyImprovement);
      }
      g3 = line.At(alpha3);
    }

    const StepChoice step = InterpolationStep(line, g1, alpha3, g3);
    if (std::fabs(step.alpha) < kNegligible) {
      return finish(kNoChangeLikely, DescentOutcome::NoChangeLikely);
    }
    bool finite = true;
    for (int i = 0; i < n; ++i) {
      moved[std::size_t(i)] = xs[std::size_t(i)] - step.alpha * z[std::size_t(i)];
      finite = finite && InNumberRange(moved[std::size_t(i)]);
    }
    // A step that would leave the number range is no change either.
    if (!finite) return finish(kNoChangeLikely, DescentOutcome::NoChangeLikely);
    xs = moved;
    if (observer) observer({PathStage::Descent, PathPoint::Iterate, k, xs});

    if (std::fabs(step.g) < tol || std::fabs(step.g - g1) < tol) {
      return finish(kConverged, DescentOutcome::Converged);
    }
  }
  return finish(kIterationLimit, DescentOutcome::IterationLimit);
}

}  // namespace solvers
