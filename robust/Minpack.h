// The one adapter around MINPACK (cminpack's hybrj and lmder). Its types stay
// in Minpack.cpp; the strategy sees only this.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "Robust.h"

namespace robust::detail {

// Evaluations and time of one Solve, shared by all its runs.
class Budget {
 public:
  // stop, when not null, is a request to stop that must outlive the budget.
  Budget(long maxEvaluations, double maxSeconds, const std::atomic<int>* stop = nullptr)
      : maxEvaluations_(maxEvaluations), maxSeconds_(maxSeconds), stop_(stop), begin_(Clock::now()) {}
  // Which budget is spent, or nullopt while both last.
  std::optional<StopReason> Spent() const {
    if (Interrupted()) return StopReason::Interrupted;
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
  bool Interrupted() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed) != 0; }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - begin_).count(); }
  // The time budget is spent or a stop was requested (the evaluation budget aside).
  bool TimeOrStopSpent() const { return Interrupted() || Seconds() >= maxSeconds_; }

  long functionEvaluations = 0;
  long jacobianEvaluations = 0;

 private:
  using Clock = std::chrono::steady_clock;
  long maxEvaluations_;
  double maxSeconds_;
  const std::atomic<int>* stop_;
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

// Sees the run's start and each point it accepts: x and F there.
using AcceptedPoint = std::function<void(std::span<const double> x, std::span<const double> f)>;

// One run of hybrj (Method::Hybrid) or lmder (Method::LevenbergMarquardt)
// from start, stopped early when budget is spent. `accepted`, when set, is
// told of the start and of every accepted point (the library's progress
// calls, which evaluate nothing), the final point included.
RunResult RunMinpack(Method method, Residuals& residuals, std::span<const double> start,
                     double stepTolerance, Budget& budget, const AcceptedPoint& accepted = {});

}  // namespace robust::detail
