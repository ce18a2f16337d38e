// The root search's strategy: starts, deflation, polishing, verification and
// de-duplication. The numerical work is robust::Solve's.
#include "Roots.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "Deflation.h"
#include "Minpack.h"
#include "Verdict.h"

namespace robust {
namespace {

constexpr int kStartsPerUnknown = 32;
constexpr int kMaxDefaultStarts = 4096;
// Rounds of the default number of starts at most.
constexpr int kMaxRounds = 16;
constexpr double kDefaultHalfWidth = 10.0;
// A polishing run from a candidate needs only a few steps.
constexpr int kPolishShare = 20;
// Points on the box's faces count as inside: relative slack of the width.
constexpr double kBoxSlack = 1E-9;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Evidence that rank-deficient roots lie on a set: at least this many of them,
// and a step along the null direction of this fraction of the box's largest
// width, corrected by the methods, that reaches another one at least a
// quarter of the step away. At most kMaxSetTests such steps are tried.
constexpr int kSetEvidence = 3;
constexpr double kContinuationStep = 1E-3;
constexpr int kMaxSetTests = 5;
constexpr std::size_t kSetSamples = 3;

// Counts every evaluation, whoever asks for it.
class CountingResiduals : public Residuals {
 public:
  explicit CountingResiduals(Residuals& inner) : inner_(inner) {}
  int Count() const override { return inner_.Count(); }
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                            std::span<double> jacobianRowMajor) override {
    ++evaluations;
    return inner_.Evaluate(x, f, jacobianRowMajor);
  }
  bool ProvidesBounds() const override { return inner_.ProvidesBounds(); }
  EvaluationStatus EvaluateWithBounds(std::span<const double> x, std::span<double> f,
                                      std::span<double> jacobianRowMajor, std::span<double> bounds) override {
    ++evaluations;
    return inner_.EvaluateWithBounds(x, f, jacobianRowMajor, bounds);
  }
  long evaluations = 0;

 private:
  Residuals& inner_;
};

std::vector<int> FirstPrimes(std::size_t count) {
  std::vector<int> primes;
  for (int candidate = 2; primes.size() < count; ++candidate) {
    bool prime = true;
    for (int p : primes) {
      if (p * p > candidate) break;
      if (candidate % p == 0) {
        prime = false;
        break;
      }
    }
    if (prime) primes.push_back(candidate);
  }
  return primes;
}

double NormInf(std::span<const double> x) {
  double norm = 0.0;
  for (double value : x) norm = std::max(norm, std::abs(value));
  return norm;
}

double DistanceInf(std::span<const double> a, std::span<const double> b) {
  double distance = 0.0;
  for (std::size_t j = 0; j < a.size(); ++j) distance = std::max(distance, std::abs(a[j] - b[j]));
  return distance;
}

bool InBox(std::span<const double> x, const std::vector<std::pair<double, double>>& box) {
  for (std::size_t j = 0; j < x.size(); ++j) {
    const double slack = kBoxSlack * (box[j].second - box[j].first);
    if (!(x[j] >= box[j].first - slack && x[j] <= box[j].second + slack)) return false;
  }
  return true;
}

std::string Count(long count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

// The search's state for one FindRoots call.
class Search {
 public:
  Search(const RootsOptions& options, Residuals& residuals)
      : options_(options), counter_(residuals), n_(residuals.Count()), begin_(Clock::now()) {
    report_.box = SearchBox(options, n_);
    for (const auto& [lower, upper] : report_.box) {
      scale_.push_back((upper - lower) * options.deflationUnit);
      checkOptions_.typicalSize.push_back(std::min(1.0, 0.5 * (upper - lower)));
    }
    checkOptions_.ftol = options.ftol;
    checkOptions_.polishSteps = Options{}.polishSteps;
  }

  RootsReport Run() {
    // The default goes on in rounds while the last round found a root in the box.
    const bool rounds = options_.starts <= 0;
    const int round = rounds ? DefaultStarts(n_) : options_.starts;
    int planned = round;
    std::size_t rootsBefore = 0;
    std::mt19937_64 generator(options_.seed);
    std::vector<double> shift(static_cast<std::size_t>(n_));
    for (double& value : shift) value = static_cast<double>(generator() >> 11) * 0x1p-53;
    std::vector<double> unit(static_cast<std::size_t>(n_)), start(static_cast<std::size_t>(n_));
    const bool typed = !options_.start.empty();
    for (int s = 0; s < planned && !stopped_; ++s) {
      if (StopRequested()) {
        stopped_ = report_.interrupted = true;
        break;
      }
      if (typed && s == 0) {
        start = options_.start;
      } else {
        HaltonPoint(typed ? s : s + 1, shift, unit);
        for (std::size_t j = 0; j < start.size(); ++j)
          start[j] = report_.box[j].first + unit[j] * (report_.box[j].second - report_.box[j].first);
      }
      FromStart(start);
      if (!stopped_) report_.startsDone = s + 1;
      // Points of a set of roots that is not isolated are not new roots: a
      // round does not go on for them.
      // Nor does a round go on for roots that only the evidence suggests
      // when time is short.
      if (rounds && s + 1 == planned && planned < kMaxRounds * round &&
          (RootsInBox() > rootsBefore || Unseen().roots >= kUnseenToGoOn)) {
        rootsBefore = RootsInBox();
        planned += round;
      }
      if (options_.progress)
        options_.progress({report_.startsDone, planned, static_cast<int>(roots_.size())});
    }
    report_.startsPlanned = planned;
    report_.unseenEstimate = Unseen();
    if (setConfirmed_) ListSet();
    for (FoundRoot& root : roots_)
      (InBox(root.x, report_.box) ? report_.roots : report_.outsideBox).push_back(std::move(root));
    // Lexicographic, with coordinates that agree to rounding counted equal,
    // so that -1 and -1.0000000000000002 do not decide the order.
    auto byX = [this](const FoundRoot& a, const FoundRoot& b) {
      for (std::size_t j = 0; j < a.x.size(); ++j) {
        const double scale = 1.0 + std::max(std::abs(a.x[j]), std::abs(b.x[j]));
        if (std::abs(a.x[j] - b.x[j]) > options_.sameRoot * scale) return a.x[j] < b.x[j];
      }
      return false;
    };
    std::stable_sort(report_.roots.begin(), report_.roots.end(), byX);
    std::stable_sort(report_.outsideBox.begin(), report_.outsideBox.end(), byX);
    report_.evaluations = counter_.evaluations;
    report_.seconds = Seconds();
    return std::move(report_);
  }

 private:
  using Clock = std::chrono::steady_clock;

  std::size_t RootsInBox() const {
    return static_cast<std::size_t>(std::count_if(roots_.begin(), roots_.end(), [this](const FoundRoot& root) {
      return InBox(root.x, report_.box) && !(setConfirmed_ && root.rank < n_);
    }));
  }

  UnseenEstimate Unseen() const {
    std::vector<int> starts;
    for (const FoundRoot& root : roots_)
      if (InBox(root.x, report_.box) && !(setConfirmed_ && root.rank < n_)) starts.push_back(root.starts);
    return EstimateUnseen(starts);
  }

  bool StopRequested() const { return options_.stop != nullptr && options_.stop->load() != 0; }

  // Keeps the isolated roots and at most listedSetPoints of the set's points,
  // spread evenly over them in the order of x, and a few samples likewise.
  void ListSet() {
    std::vector<FoundRoot> isolated, set;
    for (FoundRoot& root : roots_) (root.rank < n_ ? set : isolated).push_back(std::move(root));
    std::stable_sort(set.begin(), set.end(), [](const FoundRoot& a, const FoundRoot& b) { return a.x < b.x; });
    NotIsolatedRoots found;
    found.points = static_cast<int>(set.size());
    for (const FoundRoot& root : set) found.rank = std::max(found.rank, root.rank);
    const std::size_t samples = std::min(kSetSamples, set.size());
    for (std::size_t k = 0; k < samples; ++k)
      found.samples.push_back(set[samples == 1 ? 0 : k * (set.size() - 1) / (samples - 1)].x);
    const auto listed = std::min(set.size(), static_cast<std::size_t>(std::max(options_.listedSetPoints, 0)));
    for (std::size_t k = 0; k < listed; ++k) {
      FoundRoot& root = set[listed == 1 ? 0 : k * (set.size() - 1) / (listed - 1)];
      root.onSet = true;
      isolated.push_back(std::move(root));
    }
    roots_ = std::move(isolated);
    report_.notIsolated = std::move(found);
  }

  // From a rank-deficient root, a step along the Jacobian's null direction
  // that the methods correct back to a root: a distinct rank-deficient root
  // there means the roots continue, an isolated singular root pulls back.
  bool ContinuesFrom(const FoundRoot& root, std::span<const double> nullVector) {
    double width = 0.0;
    for (const auto& [lower, upper] : report_.box) width = std::max(width, upper - lower);
    const double step = kContinuationStep * width;
    std::vector<double> from(root.x);
    for (std::size_t j = 0; j < from.size(); ++j) from[j] += step * nullVector[j];
    const Report run = SolveFrom(counter_, from, Method::Auto, kPolishShare);
    if (run.verdict != Verdict::Root) return false;
    if (DistanceInf(run.x, root.x) < 0.25 * step * NormInf(nullVector)) return false;
    std::vector<double> x = run.x;
    const detail::PointCheck check = Check(x, checkOptions_);
    return check.root && check.jacobianOk &&
           detail::NumericalRank(check.jacobian, n_, options_.rankTolerance) < n_;
  }

  double Seconds() const { return std::chrono::duration<double>(Clock::now() - begin_).count(); }

  // Options for one call of Solve, within what remains of the time budget.
  Options SolveOptions(Method method, int share) const {
    Options solve;
    solve.method = method;
    solve.ftol = options_.ftol;
    solve.maxStarts = 1;
    solve.runShare = share;
    solve.maxEvaluations = 2L * share * (n_ + 1) + 4;
    solve.maxSeconds = options_.maxSeconds - Seconds();
    solve.nearSingularCondition = options_.nearSingularCondition;
    solve.stop = options_.stop;
    return solve;
  }

  // Solves from start within the budget; a run the budget stops sets stopped_ (its answer still counts).
  Report SolveFrom(Residuals& residuals, std::span<const double> start, Method method, int share) {
    if (Seconds() >= options_.maxSeconds) {
      stopped_ = report_.budgetReached = true;
      return {};
    }
    Report result = Solve(SolveOptions(method, share), residuals, start);
    if (result.stopReason == StopReason::TimeBudget) stopped_ = report_.budgetReached = true;
    if (result.interrupted) stopped_ = report_.interrupted = true;
    return result;
  }

  void FromStart(std::span<const double> start) {
    const Report plain = SolveFrom(counter_, start, Method::Auto, options_.runShare);
    if (plain.stopReason == StopReason::StartFailure && !stopped_) ++report_.startsFailed;
    bool fresh = false;
    if (plain.verdict == Verdict::Root) fresh = Accept(plain.x, false);
    if (fresh || !options_.deflate || roots_.empty() || plain.stopReason == StopReason::StartFailure) return;
    // Deflating the points of a set of roots only finds more of them.
    DeflatedResiduals deflated(counter_, scale_, options_.deflationPower, options_.deflationShift);
    int deflatedRoots = 0;
    for (const FoundRoot& root : roots_) {
      if (setConfirmed_ && root.rank < n_) continue;
      deflated.AddRoot(root.x);
      ++deflatedRoots;
    }
    if (deflatedRoots == 0) return;
    for (int d = 0; d < options_.deflationsPerStart && !stopped_; ++d) {
      const Report run = SolveFrom(deflated, start, Method::Auto, options_.deflatedRunShare);
      if (run.verdict != Verdict::Root || !Accept(run.x, true)) return;
      deflated.AddRoot(roots_.back().x);
    }
  }

  // A fresh evaluation of F and J at x, judged by the root test; x may move
  // to a nearby point that passes when options.polishSteps allow it.
  detail::PointCheck Check(std::vector<double>& x, const detail::CheckOptions& options) {
    detail::Budget budget(std::numeric_limits<long>::max(), options_.maxSeconds - Seconds(), options_.stop);
    return detail::CheckPoint(counter_, x, budget, options);
  }

  // Whether x itself passes the root test (never moved: the midpoint between
  // two roots must not be polished into one of them).
  bool IsRootAt(std::span<const double> x) {
    detail::CheckOptions exact = checkOptions_;
    exact.polishSteps = 0;
    std::vector<double> point(x.begin(), x.end());
    return Check(point, exact).root;
  }

  // The known root candidate x is, or -1.
  int Known(std::span<const double> x) {
    for (std::size_t k = 0; k < roots_.size(); ++k) {
      const std::vector<double>& root = roots_[k].x;
      const double scale = 1.0 + std::max(NormInf(x), NormInf(root));
      const double distance = DistanceInf(x, root);
      if (distance <= options_.sameRoot * scale) return static_cast<int>(k);
      if (distance <= options_.mergeRoot * scale) {
        std::vector<double> middle(x.begin(), x.end());
        for (std::size_t j = 0; j < middle.size(); ++j) middle[j] = 0.5 * (x[j] + root[j]);
        if (IsRootAt(middle)) return static_cast<int>(k);
      }
    }
    return -1;
  }

  // A run ended at a root candidate: a known root gains a start, a new one is
  // polished on the undeflated system and verified. True for a new root.
  bool Accept(std::span<const double> candidate, bool byDeflation) {
    int known = Known(candidate);
    if (known >= 0) {
      ++roots_[static_cast<std::size_t>(known)].starts;
      return false;
    }
    std::vector<double> x(candidate.begin(), candidate.end());
    const Report polished = SolveFrom(counter_, x, Method::Hybrid, kPolishShare);
    // Polishing improves the candidate; a run that wanders off is not taken.
    const double scale = 1.0 + NormInf(x);
    if (polished.verdict == Verdict::Root && DistanceInf(polished.x, x) <= options_.mergeRoot * scale &&
        (polished.rootCheck.test == RootTest::Scaled || polished.maxAbsResidual <= MaxAbsAt(x)))
      x = polished.x;
    const detail::PointCheck check = Check(x, checkOptions_);
    if (!check.root) return false;
    FoundRoot root;
    root.rank = n_;
    std::vector<double> nullVector;
    if (check.jacobianOk) root.rank = detail::NumericalRank(check.jacobian, n_, options_.rankTolerance, &nullVector);
    root.maxAbsResidual = check.maxAbs;
    root.condition = check.condition;
    root.rootCheck = check.rootCheck;
    known = Known(x);
    if (known >= 0) {
      ++roots_[static_cast<std::size_t>(known)].starts;
      return false;
    }
    root.x = std::move(x);
    root.starts = 1;
    root.nearSingular = root.condition >= options_.nearSingularCondition;
    root.byDeflation = byDeflation;
    const bool deficient = root.rank < n_;
    roots_.push_back(std::move(root));
    if (deficient && !setConfirmed_ && setTests_ < kMaxSetTests && ++deficientRoots_ >= kSetEvidence) {
      ++setTests_;
      setConfirmed_ = ContinuesFrom(roots_.back(), nullVector);
    }
    // Another point of a set of roots is not a new root.
    return !(setConfirmed_ && deficient);
  }

  double MaxAbsAt(std::span<const double> x) {
    detail::CheckOptions exact = checkOptions_;
    exact.polishSteps = 0;
    std::vector<double> point(x.begin(), x.end());
    return Check(point, exact).maxAbs;
  }

  const RootsOptions& options_;
  CountingResiduals counter_;
  int n_;
  Clock::time_point begin_;
  RootsReport report_;
  std::vector<double> scale_;
  std::vector<FoundRoot> roots_;  // in the order found
  detail::CheckOptions checkOptions_;
  bool stopped_ = false;
  int deficientRoots_ = 0;  // roots found with a rank-deficient Jacobian
  int setTests_ = 0;
  bool setConfirmed_ = false;
};

}  // namespace

int DefaultStarts(int n) { return std::min(kStartsPerUnknown * std::max(n, 1), kMaxDefaultStarts); }

std::vector<std::pair<double, double>> SearchBox(const RootsOptions& options, int n) {
  const auto size = static_cast<std::size_t>(n);
  if (!options.box.empty()) return options.box.size() == size ? options.box : decltype(options.box){};
  if (options.start.empty()) return std::vector(size, std::pair{-kDefaultHalfWidth, kDefaultHalfWidth});
  if (options.start.size() != size) return {};
  std::vector<std::pair<double, double>> box;
  for (double value : options.start) {
    const double half = std::max(kDefaultHalfWidth, std::abs(value));
    box.emplace_back(value - half, value + half);
  }
  return box;
}

std::string RootsOptionsProblem(const RootsOptions& options, int n) {
  if (n < 1) return "the system needs at least one equation";
  const auto size = static_cast<std::size_t>(n);
  if (!options.start.empty() && options.start.size() != size)
    return "the start needs " + Count(n, "value", "values") + ", one per unknown";
  if (!options.box.empty() && options.box.size() != size)
    return "the box needs " + Count(n, "interval", "intervals") + ", one per unknown";
  for (const auto& [lower, upper] : SearchBox(options, n))
    if (!(std::isfinite(lower) && std::isfinite(upper) && lower < upper && std::isfinite(upper - lower)))
      return "every interval of the box needs finite bounds LO < HI";
  for (double value : options.start)
    if (!std::isfinite(value)) return "the start needs finite values";
  if (options.starts < 0) return "the number of starts cannot be negative";
  if (!(options.maxSeconds > 0)) return "the time budget must be positive";
  if (options.ftol && !(*options.ftol > 0)) return "the tolerance must be positive";
  return {};
}

RootsReport FindRoots(const RootsOptions& options, Residuals& residuals) {
  if (!RootsOptionsProblem(options, residuals.Count()).empty()) return {};
  return Search(options, residuals).Run();
}

UnseenEstimate EstimateUnseen(std::span<const int> startsPerRoot) {
  UnseenEstimate estimate;
  for (int starts : startsPerRoot) {
    estimate.startsAtRoots += starts;
    estimate.singletons += starts == 1 ? 1 : 0;
    estimate.doubletons += starts == 2 ? 1 : 0;
  }
  const double f1 = estimate.singletons, f2 = estimate.doubletons;
  estimate.roots = f2 > 0 ? f1 * f1 / (2 * f2) : f1 * (f1 - 1) / 2;
  if (estimate.startsAtRoots > 0) estimate.newRootProbability = f1 / estimate.startsAtRoots;
  return estimate;
}

namespace {

// Which root test verified the roots in the box: " (each within its rounding
// bound at the equations' scale)", " (each with max|F| at most 1E-10)", or
// both where some roots had no rounding bound; empty without a root.
std::string RootTestWords(const std::vector<FoundRoot>& roots) {
  bool scaled = false;
  bool absolute = false;
  double tolerance = 0;
  for (const FoundRoot& root : roots) {
    if (root.rootCheck.residualBounds.empty()) continue;
    if (root.rootCheck.test == RootTest::Scaled) {
      scaled = true;
    } else {
      absolute = true;
      tolerance = root.rootCheck.residualBounds.front();
    }
  }
  char text[32];
  std::snprintf(text, sizeof text, "%G", tolerance);
  if (scaled && absolute)
    return std::string(" (each within its rounding bound at the equations' scale, or with max|F| at most ") + text +
           " where no bound is known)";
  if (scaled) return " (each within its rounding bound at the equations' scale)";
  if (absolute) return std::string(" (each with max|F| at most ") + text + ")";
  return "";
}

// What the starts say about roots not found: "; about 3 more roots may exist
// (estimate from how many starts reached each root)" or "; no unseen root is
// likely"; without a start at an isolated root they say nothing of them.
std::string UnseenWords(const UnseenEstimate& estimate) {
  if (estimate.startsAtRoots == 0) return "; no start reached an isolated root, so roots not found cannot be estimated";
  if (!(estimate.roots >= kUnseenToGoOn)) return "; no unseen root is likely";
  const long more = std::max(1L, std::lround(estimate.roots));
  return "; about " + Count(more, "more root", "more roots") + " may exist" +
         " (estimate from how many starts reached each root)";
}

}  // namespace

std::string RootsSummary(const RootsReport& report, double maxSeconds, bool withUnseenEstimate) {
  std::size_t found = 0;
  for (const FoundRoot& root : report.roots) found += root.onSet ? 0 : 1;
  std::string text = "found " + (found == 0 ? std::string("no root") : Count(static_cast<long>(found), "root", "roots"));
  if (report.notIsolated)
    text = "found " + (found == 0 ? std::string("no isolated root") : Count(static_cast<long>(found), "isolated root", "isolated roots")) +
           " and " + Count(report.notIsolated->points, "point", "points") + " of roots that are not isolated";
  text += " in the box with " + Count(report.startsDone, "start", "starts");
  text += RootTestWords(report.roots);
  if (withUnseenEstimate) text += UnseenWords(report.unseenEstimate);
  if (!report.outsideBox.empty())
    text += "; " + Count(static_cast<long>(report.outsideBox.size()), "root", "roots") +
            " outside the box listed apart";
  if (report.interrupted)
    text += "; interrupted by a stop request after " + std::to_string(report.startsDone) + " of " +
            Count(report.startsPlanned, "start", "starts");
  if (report.startsFailed > 0)
    text += "; the equations cannot be evaluated at " + std::to_string(report.startsFailed) + " of the " +
            Count(report.startsDone, "start", "starts");
  if (report.budgetReached) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", maxSeconds);
    text += "; stopped at the time budget of " + std::string(seconds) +
            (maxSeconds == 1 ? " second" : " seconds") + " after " + std::to_string(report.startsDone) +
            " of " + Count(report.startsPlanned, "start", "starts");
  }
  return text;
}

void HaltonPoint(long k, std::span<const double> shift, std::span<double> point) {
  const std::vector<int> primes = FirstPrimes(point.size());
  for (std::size_t j = 0; j < point.size(); ++j) {
    const int base = primes[j];
    double value = 0.0;
    double weight = 1.0 / base;
    for (long i = k; i > 0; i /= base) {
      value += weight * static_cast<double>(i % base);
      weight /= base;
    }
    value += shift[j];
    point[j] = value - std::floor(value);
  }
}

}  // namespace robust
