// The strategy: which runs from which starts, the choice of the answer, and
// the verdict from a fresh evaluation there.
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>

#include "Minpack.h"
#include "Robust.h"
#include "Sparse.h"
#include "Verdict.h"

namespace robust {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

using detail::Budget;
using detail::RunResult;

// `auto` restarts: start k (k = 1, 2, ... after the given one) is the given
// start moved by kFirstScale * kScaleGrowth^((k - 1) mod kScaleSteps) times
// (1 + |x_i|) times a uniform number in [-1, 1) for each unknown; after the
// largest scale the scales begin again with fresh directions.
constexpr double kFirstScale = 0.1;
constexpr double kScaleGrowth = 2.0;
constexpr int kScaleSteps = 14;

struct Attempt {
  RunResult run;
  Method method;
  int startIndex;
  // Under the scaled test: the fresh check after the run, whose point (run.x,
  // run.f) it may have polished. Else empty, and max|F| <= ftol decides.
  std::optional<detail::PointCheck> check;
};

bool IsRoot(const Attempt& attempt, double ftol) {
  if (attempt.check) return attempt.check->root;
  return !attempt.run.f.empty() && detail::MaxAbs(attempt.run.f) <= ftol;
}

// Reproducible on every platform: the engine is fully specified, and the
// conversion to [-1, 1) is ours (std's distributions are not).
double Uniform(std::mt19937_64& generator) {
  return static_cast<double>(generator() >> 11) * 0x1p-52 - 1.0;
}

std::vector<double> PerturbedStart(std::span<const double> start, int k, std::mt19937_64& generator) {
  const double scale = kFirstScale * std::pow(kScaleGrowth, (k - 1) % kScaleSteps);
  std::vector<double> x(start.begin(), start.end());
  for (double& value : x) value += scale * (1.0 + std::abs(value)) * Uniform(generator);
  return x;
}

}  // namespace

std::string ShortNumber(double value) {
  if (std::isinf(value)) return "infinite";
  if (std::isnan(value)) return "undefined";
  char text[32];
  std::snprintf(text, sizeof text, "%.3G", value);
  return text;
}

std::string_view MethodName(Method method) {
  switch (method) {
    case Method::Hybrid: return "hybrid";
    case Method::LevenbergMarquardt: return "lm";
    case Method::Auto: return "auto";
    case Method::Sparse: return "sparse";
  }
  return "";
}

std::string_view VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Root: return "root";
    case Verdict::LeastSquaresMinimum: return "no root found: least-squares minimum";
    case Verdict::LimitReached: return "limit reached";
    case Verdict::EvaluationFailure: return "evaluation failure";
  }
  return "";
}

std::string_view StopReasonName(StopReason reason) {
  switch (reason) {
    case StopReason::MethodFinished: return "method finished";
    case StopReason::RunShare: return "run share spent";
    case StopReason::EvaluationBudget: return "evaluation budget spent";
    case StopReason::TimeBudget: return "time budget spent";
    case StopReason::StartFailure: return "start failure";
    case StopReason::JacobianFailure: return "jacobian failure";
    case StopReason::Interrupted: return "interrupted";
  }
  return "";
}

Method ChooseMethod(const Options& options, int unknowns, const SparsityPattern* pattern) {
  if (!options.bounds.empty() || unknowns > options.sparseFromUnknowns) return Method::Sparse;
  if (pattern != nullptr && unknowns >= options.sparseWhenSparseFrom &&
      4.0 * static_cast<double>(pattern->Nonzeros()) <= static_cast<double>(unknowns) * unknowns)
    return Method::Sparse;
  return Method::Auto;
}

Report Solve(const Options& options, Residuals& residuals, std::span<const double> start) {
  Report report;
  report.x.assign(start.begin(), start.end());
  const int n = residuals.Count();
  if (n < 1 || start.size() != static_cast<std::size_t>(n)) return report;
  if (!options.bounds.empty() && options.bounds.size() != static_cast<std::size_t>(n)) return report;

  // The sparse road: asked for, or a bounded system (MINPACK has no bounds),
  // or `auto`'s choice for a large or sparse one.
  const auto* sparseResiduals = dynamic_cast<const SparseResiduals*>(&residuals);
  const bool sparse = options.method == Method::Sparse || !options.bounds.empty() ||
                      (options.method == Method::Auto &&
                       ChooseMethod(options, n, sparseResiduals ? &sparseResiduals->Pattern() : nullptr) ==
                           Method::Sparse);
  std::optional<detail::SparseView> view;
  if (sparse) view.emplace(residuals);
  const std::span<const Bounds> box = options.bounds;
  std::vector<double> inside(start.begin(), start.end());
  report.startMovedInside = detail::MoveInside(inside, box);
  start = inside;
  report.x = inside;

  Budget budget(options.maxEvaluations, options.maxSeconds, options.stop);
  // The scaled test judges each run's end as it ends, so that `auto` stops at
  // the first start whose answer passes; the absolute test needs only F there.
  const bool scaled = !options.ftol && residuals.ProvidesBounds();
  const double ftol = options.ftol.value_or(kDefaultFtol);
  detail::CheckOptions checkOptions;
  checkOptions.ftol = options.ftol;
  checkOptions.polishSteps = options.polishSteps;
  std::vector<Attempt> attempts;
  bool rootFound = false;
  detail::SparseRunOptions sparseOptions;
  sparseOptions.stepTolerance = options.stepTolerance;
  sparseOptions.bounds = box;
  sparseOptions.factorBudgetBytes = options.factorBudgetBytes;
  sparseOptions.factorBudgetFlops = options.factorBudgetFlops;
  sparseOptions.progress = &options.progress;
  auto checkPoint = [&](std::vector<double>& x) {
    return sparse ? detail::CheckPointSparse(view->Get(), x, budget, checkOptions, box, options.factorBudgetBytes,
                                             options.factorBudgetFlops)
                  : detail::CheckPoint(residuals, x, budget, checkOptions);
  };
  auto runFrom = [&](Method method, std::span<const double> from, int startIndex) {
    if (options.method == Method::Auto) budget.BeginRun(static_cast<long>(options.runShare) * (n + 1));
    detail::AcceptedPoint accepted;
    // MINPACK's runs tell progress at each accepted point; the sparse one at each iteration.
    const bool progressByPoint = options.progress && method != Method::Sparse;
    if (options.observer || progressByPoint) {
      const int run = static_cast<int>(attempts.size()) + 1;
      accepted = [&options, &budget, &report, method, run, startIndex, progressByPoint, step = 0](
                     std::span<const double> x, std::span<const double> f) mutable {
        const double maxAbs = detail::MaxAbs(f);
        if (options.observer) options.observer({method, run, startIndex, step, x, maxAbs});
        if (progressByPoint)
          options.progress(report.iterations + step, maxAbs, std::numeric_limits<double>::quiet_NaN(),
                           budget.Seconds());
        ++step;
      };
    }
    attempts.push_back({method == Method::Sparse
                            ? detail::RunSparse(view->Get(), from, sparseOptions, budget, accepted)
                            : detail::RunMinpack(method, residuals, from, options.stepTolerance, budget, accepted),
                        method, startIndex, std::nullopt});
    Attempt& attempt = attempts.back();
    RunResult& run = attempt.run;
    report.iterations += run.iterations;
    report.failedTrials += run.failedTrials;
    if (scaled && !run.f.empty()) {
      attempt.check = checkPoint(run.x);
      if (attempt.check->functionOk) run.f = attempt.check->f;
    }
    rootFound = IsRoot(attempt, ftol);
    return run.stop;
  };
  auto budgetSpent = [](StopReason stop) {
    return stop == StopReason::EvaluationBudget || stop == StopReason::TimeBudget ||
           stop == StopReason::Interrupted;
  };

  report.startsTried = 1;
  if (options.method != Method::Auto) {
    runFrom(sparse ? Method::Sparse : options.method, start, 1);
  } else {
    std::mt19937_64 generator(options.seed);
    for (int k = 0; k < options.maxStarts && !rootFound; ++k) {
      std::vector<double> from(start.begin(), start.end());
      if (k > 0) {
        from = PerturbedStart(start, k, generator);
        detail::MoveInside(from, box);
        report.startsTried = k + 1;
      }
      const StopReason stop = runFrom(sparse ? Method::Sparse : Method::Hybrid, from, k + 1);
      // A start where F fails is skipped: the perturbed starts are there for
      // a given start the equations are not defined at, too.
      if (stop == StopReason::StartFailure) {
        if (k == 0) {
          report.givenStartFailed = true;
          report.givenStartFailedEquation = attempts.back().run.failedEquation;
        }
        continue;
      }
      if (budgetSpent(stop) || rootFound) break;
      if (sparse) continue;  // the sparse method is the only one for each start
      if (budgetSpent(runFrom(Method::LevenbergMarquardt, from, k + 1))) break;
    }
  }

  report.interrupted = budget.Interrupted();
  // The answer: the first root, else the evaluated point of least max|F|.
  const Attempt* chosen = &attempts.front();
  double chosenMax = kInfinity;
  for (const Attempt& attempt : attempts) {
    if (attempt.run.f.empty()) continue;
    if (IsRoot(attempt, ftol)) {
      chosen = &attempt;
      break;
    }
    const double max = detail::MaxAbs(attempt.run.f);
    if (max < chosenMax) {
      chosen = &attempt;
      chosenMax = max;
    }
  }
  // A budget that ran out anywhere is why the search ended, whatever run holds the answer.
  report.stopReason = budgetSpent(attempts.back().run.stop) ? attempts.back().run.stop : chosen->run.stop;
  report.method = chosen->method;
  report.startIndex = chosen->startIndex;
  report.x = chosen->run.x;

  if (chosen->run.stop == StopReason::StartFailure && chosen->run.f.empty() && !report.interrupted) {
    report.stopReason = StopReason::StartFailure;
    report.verdict = Verdict::EvaluationFailure;
    report.failedEquation = chosen->run.failedEquation;
  }
  if (chosen->run.f.empty()) {
    // Never evaluated (start failed, or the budget was spent before it).
    report.residuals.assign(static_cast<std::size_t>(n), kUndefined);
    report.maxAbsResidual = kInfinity;
    report.conditionEstimate = kInfinity;
    report.gradientCosine = kInfinity;
    report.rootCheck.test = scaled ? RootTest::Scaled : RootTest::Absolute;
    if (report.stopReason != StopReason::StartFailure) report.verdict = Verdict::LimitReached;
  } else {
    // The scaled road checked the answer afresh when its run ended.
    const detail::PointCheck check = chosen->check ? *chosen->check : checkPoint(report.x);
    report.residuals = check.f;
    report.maxAbsResidual = check.maxAbs;
    report.gradientCosine = check.gradientCosine;
    report.conditionEstimate = check.condition;
    report.rootCheck = check.rootCheck;
    report.conditionEstimated = check.conditionEstimated;
    if (!check.functionOk) {
      report.verdict = Verdict::EvaluationFailure;
      report.failedEquation = check.failedEquation;
    } else if (check.root) {
      report.verdict = Verdict::Root;
    } else if (!check.jacobianOk) {
      report.verdict = Verdict::EvaluationFailure;
      report.failedEquation = check.failedEquation;
    } else if (check.gradientCosine <= options.gradientTolerance) {
      report.verdict = Verdict::LeastSquaresMinimum;
    } else {
      report.verdict = Verdict::LimitReached;
    }
  }
  report.nearSingular = report.conditionEstimate >= options.nearSingularCondition;
  report.onBound = detail::BoundContacts(report.x, box);
  report.functionEvaluations = budget.functionEvaluations;
  report.jacobianEvaluations = budget.jacobianEvaluations;
  report.seconds = budget.Seconds();
  return report;
}

namespace {

// Which root test judged the answer and how it came out there, for the
// sentence: "within the rounding bound at the equations' scale (worst ratio
// 0.02 at Eq_1)" or "at most the absolute tolerance 1E-10" (with `passed`
// false: "not within ..." / "above ..."), after `lead`. Empty when F could
// not be evaluated, so no test was applied.
std::string TestWords(const RootCheck& check, bool passed, std::string_view lead) {
  if (check.residualBounds.empty()) return "";
  if (check.test == RootTest::Absolute)
    return std::string(lead) + (passed ? "at most" : "above") + " the absolute tolerance " +
           ShortNumber(check.residualBounds.front());
  std::string words = std::string(lead) + (passed ? "within" : "not within") + " the rounding bound at the equations' scale";
  if (check.worstEquation >= 0)
    words += " (worst ratio " + ShortNumber(check.worstRatio) + " at Eq_" + std::to_string(check.worstEquation + 1) + ")";
  return words;
}

std::string Sentence(const Report& report) {
  const std::string work = " after " + std::to_string(report.iterations) +
                           (report.iterations == 1 ? " iteration (" : " iterations (") +
                           std::to_string(report.functionEvaluations) + " evaluations of F, " +
                           std::to_string(report.jacobianEvaluations) + " of F and J)";
  const std::string where = std::string(MethodName(report.method)) + " from start " +
                            std::to_string(report.startIndex) + " of " + std::to_string(report.startsTried);
  // A singular Jacobian says it once; a finite but huge condition says why it matters.
  const std::string condition =
      !report.conditionEstimated
          ? std::string("the Jacobian's condition was not estimated (its sparse LU would exceed the budget of memory or work)")
      : !std::isfinite(report.conditionEstimate)
          ? std::string("the Jacobian there is singular, so the unknowns are poorly determined")
      : report.nearSingular ? "the Jacobian there is near-singular (condition about " +
                                  ShortNumber(report.conditionEstimate) + "), so the unknowns are poorly determined"
                            : "the Jacobian's condition there is about " + ShortNumber(report.conditionEstimate);
  switch (report.verdict) {
    case Verdict::Root:
      return "Root found by " + where + work + ": max|F| = " + ShortNumber(report.maxAbsResidual) +
             TestWords(report.rootCheck, true, ", ") + ", " + condition + ".";
    case Verdict::LeastSquaresMinimum:
      return "No root found: " + where + work + " ended at a least-squares minimum" +
             (report.onBound.empty() ? "" : " on the bounds") + " where max|F| = " +
             ShortNumber(report.maxAbsResidual) + TestWords(report.rootCheck, false, " is ") + ".";
    case Verdict::LimitReached:
      return "No root found: " +
             std::string(report.stopReason == StopReason::Interrupted ? "interrupted ("
                                                                       : "limit reached (") +
             std::string(report.stopReason == StopReason::EvaluationBudget ? "the evaluation budget is spent"
                         : report.stopReason == StopReason::TimeBudget     ? "the time budget is spent"
                         : report.stopReason == StopReason::Interrupted    ? "a stop was requested"
                                                                           : "the methods stopped making progress") +
             ")" + work +
             "; the best point, by " + where + ", has max|F| = " + ShortNumber(report.maxAbsResidual) +
             TestWords(report.rootCheck, false, ", ") + ".";
    case Verdict::EvaluationFailure:
    {
      // F defined everywhere at the point: it is the derivatives that fail.
      bool valuesDefined = !report.residuals.empty();
      for (double value : report.residuals) valuesDefined = valuesDefined && std::isfinite(value);
      const std::string what = (valuesDefined ? "the derivatives of equation " : "equation ") +
                               std::to_string(report.failedEquation + 1);
      if (report.stopReason == StopReason::StartFailure) {
        if (report.startsTried <= 1) return "Evaluation failure: " + what + " cannot be evaluated at the start.";
        const int perturbed = report.startsTried - 1;
        return "Evaluation failure: " + what + " cannot be evaluated at the start, and the equations cannot be " +
               "evaluated at any of the " + std::to_string(perturbed) +
               (perturbed == 1 ? " perturbed start either." : " perturbed starts either.");
      }
      return "Evaluation failure: " + what + " cannot be evaluated at the last point reached by " + where +
             work + ".";
    }
  }
  return "";
}

}  // namespace

std::string Summary(const Report& report) {
  std::string text = Sentence(report);
  if (report.givenStartFailed && !(report.verdict == Verdict::EvaluationFailure &&
                                   report.stopReason == StopReason::StartFailure))
    text += " Equation " + std::to_string(report.givenStartFailedEquation + 1) +
            " cannot be evaluated at the given start, so the answer comes from a perturbed start.";
  if (report.interrupted && report.verdict != Verdict::LimitReached)
    text += " The solve was interrupted by a stop request.";
  if (report.startMovedInside) text += " The start was outside the bounds and was moved just inside them.";
  if (!report.onBound.empty()) {
    text += " The answer lies on the bounds: ";
    for (std::size_t k = 0; k < report.onBound.size(); ++k) {
      const BoundContact& contact = report.onBound[k];
      if (k > 0) text += ", ";
      if (k == 3 && report.onBound.size() > 4) {
        text += "and " + std::to_string(report.onBound.size() - 3) + " more";
        break;
      }
      text += "unknown " + std::to_string(contact.unknown + 1) + " at its " + (contact.upper ? "upper" : "lower") +
              " bound " + ShortNumber(contact.bound);
    }
    text += ".";
  }
  return text;
}

}  // namespace robust
