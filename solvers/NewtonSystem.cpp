// Newton's method for F(x) = 0: forward-difference Jacobian, one linear solve
// per iteration, stop on the largest component of the correction.
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
    "program will end so that the functions F(X) and J(X) can be created ";
constexpr std::string_view kNEqTooSmall = "NEq must be greater than 1.";
constexpr std::string_view kTolNotPositive = "Tolerance must be positive ";
constexpr std::string_view kNTryNotPositive = "NTry Must be positive integer ";
// Followed directly by NTry in decimal.
constexpr std::string_view kDivergence = "DIVERGENCE - STOPPED AFTER ITERNN";

constexpr std::string_view kHeader = "NEWTON METHOD FOR NONLINEAR SYSTEMS";

constexpr int kMinEquations = 2;

std::string StartLine(int i, double value) {
  return "i=" + std::to_string(i) + "x(" + std::to_string(i) + ")=" + eval::NumberText(value);
}

std::string IterationLine(int k, double err) {
  return "IterNo=" + std::to_string(k) + "Error=" + eval::NumberText(err);
}

std::string PointLine(int i, double value) {
  return "x(" + std::to_string(i) + ")= " + eval::NumberText(value);
}

// What one iteration did to the working point.
struct NewtonStep {
  double err = 0.0;  // largest magnitude among the correction's components
  bool singular = false;
};

// One iteration: Jacobian and negated values at w, solve into y, move w by y.
// The matrix is rebuilt in full; y is the caller's, so a failed solve leaves
// the previous correction in it and that correction is applied again.
NewtonStep Iterate(eval::SolverUi& ui, int n, EquationSystem& equations, Matrix& a,
                   std::vector<double>& y, std::vector<double>& w) {
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) a.At(i, j) = PartialDerivative(equations, i, w, j);
  }
  for (int i = 1; i <= n; ++i) a.At(i, n + 1) = -equations.Value(i, w);

  NewtonStep step;
  step.singular = SolveLinearSystem(static_cast<std::int16_t>(n), static_cast<std::int16_t>(n + 1),
                                    a, y, ui) == LinearStatus::Singular;
  for (std::size_t i = 0; i < std::size_t(n); ++i) {
    if (std::fabs(y[i]) > step.err) step.err = std::fabs(y[i]);
    w[i] = w[i] + y[i];
  }
  return step;
}

}  // namespace

NewtonReport NewtonSystem(eval::SolverUi& ui, std::string_view confirm, std::int16_t nEq,
                          EquationSystem& equations, std::span<const double> x, std::int16_t nTry,
                          double tol, std::vector<double>& xOut, const IterateObserver& observer) {
  NewtonReport report;
  if (confirm != "y" && confirm != "Y") {
    ui.ShowMessage(kNotConfirmed);
    report.outcome = NewtonOutcome::NotConfirmed;
    return report;
  }
  // One message for the first value out of its limits, then back to the
  // caller: nothing is solved with it and nothing is shown twice.
  report.outcome = NewtonOutcome::InvalidParameter;
  if (nEq < kMinEquations) {
    ui.ShowMessage(kNEqTooSmall);
    return report;
  }
  if (!(tol > 0.0)) {  // a NaN tolerance fails too
    ui.ShowMessage(kTolNotPositive);
    return report;
  }
  if (nTry < 1) {
    ui.ShowMessage(kNTryNotPositive);
    return report;
  }
  const int n = nEq;
  // Fewer starting values or equations than unknowns: the script world's
  // "Subscript out of range", for the caller to report.
  if (x.size() < std::size_t(n) || equations.Count() < n) {
    throw eval::ScriptError(eval::ErrorNumber::SubscriptOutOfRange);
  }

  Matrix a(n, n + 1);
  std::vector<double> y(std::size_t(n), 0.0);  // kept across iterations, see Iterate
  std::vector<double> w(x.begin(), x.begin() + n);

  for (int i = 1; i <= n; ++i) ui.PrintLine(StartLine(i, w[std::size_t(i - 1)]));
  ui.PrintLine(kHeader);
  if (observer) observer({PathStage::Newton, PathPoint::Start, 0, w});

  for (int k = 1; k <= nTry; ++k) {
    const NewtonStep step = Iterate(ui, n, equations, a, y, w);
    report.iterations = k;
    report.singularSeen = report.singularSeen || step.singular;

    ui.PrintLine(IterationLine(k, step.err));
    report.nonFinite = false;
    for (int i = 1; i <= n; ++i) {
      ui.PrintLine(PointLine(i, w[std::size_t(i - 1)]));
      xOut.resize(std::size_t(i));
      xOut[std::size_t(i - 1)] = w[std::size_t(i - 1)];
      report.nonFinite = report.nonFinite || !InNumberRange(w[std::size_t(i - 1)]);
    }
    if (observer) observer({PathStage::Newton, PathPoint::Iterate, k, w});
    // Checked before the err test, which a NaN correction passes.
    if (report.nonFinite) {
      report.outcome = NewtonOutcome::LeftNumberRange;
      return report;
    }
    if (step.err < tol) {
      report.outcome = NewtonOutcome::Converged;
      return report;
    }
  }

  ui.ShowMessage(std::string(kDivergence) + std::to_string(nTry));
  report.outcome = NewtonOutcome::IterationLimit;
  return report;
}

}  // namespace solvers
