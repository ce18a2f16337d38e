// The one adapter around MINPACK (cminpack's hybrj and lmder). Its types stay
// in Minpack.cpp; the strategy sees only this.
#pragma once

#include <chrono>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "Robust.h"

namespace robust::detail {

// Evaluations and time of one Solve, shared by all its runs.
class Budget {
 public:
  Budget(long maxEvaluations, double maxSeconds)
      : maxEvaluations_(maxEvaluations), maxSeconds_(maxSeconds), begin_(Clock::now()) {}
  // Which budget is spent, or nullopt while both last.
  std::optional<StopReason> Spent() const {
    const long used = functionEvaluations + jacobianEvaluations;
    if (used >= maxEvaluations_) return StopReason::EvaluationBudget;
    if (Seconds() >= maxSeconds_) return StopReason::TimeBudget;
    if (used - runBegin_ >= runShare_) return StopReason::RunShare;
    return std::nullopt;
  }
  // The next run may use at most share evaluations (of those that remain).
  void BeginRun(long share) {
    runBegin_ = functionEvaluations + jacobianEvaluations;
    runShare_ = share;
  }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - begin_).count(); }

  long functionEvaluations = 0;
  long jacobianEvaluations = 0;

 private:
  using Clock = std::chrono::steady_clock;
  long maxEvaluations_;
  double maxSeconds_;
  Clock::time_point begin_;
  long runBegin_ = 0;
  long runShare_ = std::numeric_limits<long>::max();
};

// One evaluation of F (and J when jacobianRowMajor is not empty), counted in
// budget, with every value checked to be finite.
EvaluationStatus CheckedEvaluate(Residuals& residuals, Budget& budget, std::span<const double> x,
                                 std::span<double> f, std::span<double> jacobianRowMajor);

struct RunResult {
  std::vector<double> x;  // the library's current point when it stopped
  std::vector<double> f;  // F at x as evaluated there; empty when the start failed or was never evaluated
  StopReason stop = StopReason::MethodFinished;
  int iterations = 0;      // trial points evaluated
  int failedTrials = 0;    // of which F failed
  int failedEquation = -1; // for StartFailure and JacobianFailure
};

// One run of hybrj (Method::Hybrid) or lmder (Method::LevenbergMarquardt)
// from start, stopped early when budget is spent.
RunResult RunMinpack(Method method, Residuals& residuals, std::span<const double> start,
                     double stepTolerance, Budget& budget);

}  // namespace robust::detail
