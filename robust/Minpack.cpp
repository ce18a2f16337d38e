// MINPACK through cminpack. Column-major Jacobians and iflag conventions stay
// in this file.
//
// A trial point where F fails must be a rejected step that shrinks the trust
// region, without aborting the run (a negative iflag would end it) and without
// poisoning what the library carries from step to step. Both codes reject a
// trial and shrink the bound as soon as the trial's norm is not below the
// current norm (actual reduction -1 in hybrj: bound halved; lmder: bound cut by
// 5 to 10). A NaN would do that too, but hybrj folds every trial, rejected or
// not, into its Broyden update of the factored Jacobian (only a second
// failure in a row asks for a fresh one instead), so a NaN or an enormous
// value would spoil R and Q^T F for the steps that follow. We therefore
// report twice the residual of the best point evaluated in this run: its norm
// is above the library's current norm (an accepted step always lowers the
// norm, and any evaluated point below the current norm is within a factor
// 0.99995 of it, else it would have been accepted), so the step is rejected
// for certain, and the secant update it causes is that of a finite, moderate
// value ("F doubles along this step"), of the size of J itself.
#include "Minpack.h"

#include <cassert>
#include <climits>
#include <cmath>
#include <limits>

#include <cminpack.h>

namespace robust::detail {
namespace {

// MINPACK's recommended initial step bound factor and its own variable scaling.
constexpr double kStepBoundFactor = 100.0;
constexpr int kScaleInternally = 1;
// What a failed trial reports, as a multiple of the best residual (see above).
constexpr double kFailedTrialFactor = 2.0;

double SumOfSquaresScaled(std::span<const double> f) {
  return enorm(static_cast<int>(f.size()), f.data());
}

struct Context {
  Context(Residuals& r, Budget& b, RunResult& out, int count)
      : residuals(r), budget(b), result(out), n(count),
        jacobian(static_cast<std::size_t>(count) * count), scratch(static_cast<std::size_t>(count)) {}

  Residuals& residuals;
  Budget& budget;
  RunResult& result;
  int n;
  bool startPending = true;     // the next F call is at the start
  bool startJacobian = true;    // the next J call is the first one
  std::vector<double> jacobian;
  std::vector<double> scratch;
  std::vector<double> best;     // F at the valid point of least norm so far
  double bestNorm = std::numeric_limits<double>::infinity();

  void Remember(std::span<const double> f) {
    const double norm = SumOfSquaresScaled(f);
    if (norm < bestNorm) {
      bestNorm = norm;
      best.assign(f.begin(), f.end());
    }
  }

  // iflag 1: F at x into fvec.
  int Function(const double* x, double* fvec) {
    if (auto spent = budget.Spent()) {
      result.stop = *spent;
      return -1;
    }
    std::span<double> f(fvec, static_cast<std::size_t>(n));
    const EvaluationStatus status =
        CheckedEvaluate(residuals, budget, {x, static_cast<std::size_t>(n)}, f, {});
    if (startPending) {
      startPending = false;
      if (!status.Ok()) {
        result.stop = StopReason::StartFailure;
        result.failedEquation = status.failedEquation;
        return -1;
      }
      Remember(f);
      return 0;
    }
    ++result.iterations;
    if (!status.Ok()) {
      ++result.failedTrials;
      assert(!best.empty() && "the start was evaluated before any trial");
      for (int i = 0; i < n; ++i) f[i] = bestNorm > 0 ? kFailedTrialFactor * best[i] : 1.0;
      return 0;
    }
    Remember(f);
    return 0;
  }

  // iflag 2: J at x into fjac (column-major, leading dimension ldfjac).
  int Jacobian(const double* x, double* fjac, int ldfjac) {
    if (auto spent = budget.Spent()) {
      result.stop = *spent;
      return -1;
    }
    const EvaluationStatus status =
        CheckedEvaluate(residuals, budget, {x, static_cast<std::size_t>(n)}, scratch, jacobian);
    const bool atStart = startJacobian;
    startJacobian = false;
    if (!status.Ok()) {
      result.stop = atStart ? StopReason::StartFailure : StopReason::JacobianFailure;
      result.failedEquation = status.failedEquation;
      return -1;
    }
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) fjac[i + j * ldfjac] = jacobian[static_cast<std::size_t>(i * n + j)];
    return 0;
  }
};

int HybridCallback(void* p, int, const double* x, double* fvec, double* fjac, int ldfjac, int iflag) {
  auto& context = *static_cast<Context*>(p);
  if (iflag == 1) return context.Function(x, fvec);
  if (iflag == 2) return context.Jacobian(x, fjac, ldfjac);
  return 0;  // iflag 0: a progress print, never asked for (nprint 0)
}

int LevenbergMarquardtCallback(void* p, int, int n, const double* x, double* fvec, double* fjac,
                               int ldfjac, int iflag) {
  return HybridCallback(p, n, x, fvec, fjac, ldfjac, iflag);
}

}  // namespace

EvaluationStatus CheckedEvaluate(Residuals& residuals, Budget& budget, std::span<const double> x,
                                 std::span<double> f, std::span<double> jacobianRowMajor) {
  if (jacobianRowMajor.empty()) {
    ++budget.functionEvaluations;
  } else {
    ++budget.jacobianEvaluations;
  }
  EvaluationStatus status = residuals.Evaluate(x, f, jacobianRowMajor);
  if (!status.Ok()) return status;
  const std::size_t n = f.size();
  for (std::size_t i = 0; i < n; ++i) {
    bool finite = std::isfinite(f[i]);
    for (std::size_t j = 0; finite && !jacobianRowMajor.empty() && j < n; ++j)
      finite = std::isfinite(jacobianRowMajor[i * n + j]);
    if (!finite) return {static_cast<int>(i)};
  }
  return status;
}

RunResult RunMinpack(Method method, Residuals& residuals, std::span<const double> start,
                     double stepTolerance, Budget& budget) {
  assert(method != Method::Auto && "a run uses one library method");
  const int n = residuals.Count();
  const auto size = static_cast<std::size_t>(n);
  RunResult result;
  result.x.assign(start.begin(), start.end());
  Context context(residuals, budget, result, n);

  std::vector<double> fvec(size), fjac(size * size), diag(size), qtf(size);
  std::vector<double> wa1(size), wa2(size), wa3(size), wa4(size);
  int nfev = 0;
  int njev = 0;
  // Our budget stops the run; the library's own count must never be the limit.
  const int maxfev = INT_MAX;
  constexpr int nprint = 0;
  if (method == Method::Hybrid) {
    const int lr = n * (n + 1) / 2;
    std::vector<double> r(static_cast<std::size_t>(lr));
    hybrj(HybridCallback, &context, n, result.x.data(), fvec.data(), fjac.data(), n, stepTolerance,
          maxfev, diag.data(), kScaleInternally, kStepBoundFactor, nprint, &nfev, &njev, r.data(), lr,
          qtf.data(), wa1.data(), wa2.data(), wa3.data(), wa4.data());
  } else {
    std::vector<int> ipvt(size);
    // gtol 0: whether the gradient vanishes is the verdict's question.
    constexpr double gtol = 0.0;
    lmder(LevenbergMarquardtCallback, &context, n, n, result.x.data(), fvec.data(), fjac.data(), n,
          stepTolerance, stepTolerance, gtol, maxfev, diag.data(), kScaleInternally, kStepBoundFactor,
          nprint, &nfev, &njev, ipvt.data(), qtf.data(), wa1.data(), wa2.data(), wa3.data(), wa4.data());
  }
  // fvec holds F at x once the start was evaluated: trials go to a work array.
  if (!context.best.empty()) result.f = fvec;
  return result;
}

}  // namespace robust::detail
