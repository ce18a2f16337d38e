// The verdict's check of a point on the sparse road: the same root test,
// gradient cosine and condition as the dense check, over J's nonzeros, with
// a sparse LU (UMFPACK) in place of the dense one. Its fill is estimated
// before the numeric factorization and kept within a budget.
#include <algorithm>
#include <cmath>
#include <limits>

#include <suitesparse/umfpack.h>

#include "Sparse.h"

namespace robust::detail {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
// As the dense polish: a step must shrink the worst ratio at least this much.
constexpr double kPolishProgress = 0.75;

// What an LU may cost: bytes and floating-point operations, with the
// Cholesky factor of J^T J for a second opinion on the bytes.
struct Budgets {
  double bytes;
  double flops;
  FactorCost normal;
};

// The LU of J, given row by row: UMFPACK reads rows as the columns of J^T,
// so solving with J is its transposed solve.
class SparseLu {
 public:
  enum class Outcome { Factored, Singular, OverBudget, Failed };

  SparseLu(const SparsityPattern& pattern, std::span<const double> values, int n, const Budgets& budgets)
      : n_(n), p_(pattern.rowStart.begin(), pattern.rowStart.end()),
        i_(pattern.columns.begin(), pattern.columns.end()), x_(values.begin(), values.end()) {
    umfpack_dl_defaults(control_);
    double info[UMFPACK_INFO];
    if (umfpack_dl_symbolic(n, n, p_.data(), i_.data(), x_.data(), &symbolic_, control_, info) != UMFPACK_OK) {
      outcome_ = Outcome::Failed;
      return;
    }
    const double bytes = info[UMFPACK_PEAK_MEMORY_ESTIMATE] * info[UMFPACK_SIZE_OF_UNIT];
    // UMFPACK's estimate is a worst case over its pivoting, often many times
    // what the factors take (a 316 x 316 grid: 2.8 GB estimated, 0.3 GB
    // used); the factors of PA fit within the Cholesky factor of J^T J
    // (Budgets::normal), which is taken twice over as a second opinion.
    const double flops = info[UMFPACK_FLOPS_ESTIMATE];
    const bool fits = bytes <= budgets.bytes || 2 * budgets.normal.bytes <= budgets.bytes / 2;
    if (!fits || !(std::min(flops, 2 * budgets.normal.flops) <= budgets.flops)) {
      outcome_ = Outcome::OverBudget;
      return;
    }
    const int status = umfpack_dl_numeric(p_.data(), i_.data(), x_.data(), symbolic_, &numeric_, control_, info);
    outcome_ = status == UMFPACK_OK                        ? Outcome::Factored
               : status == UMFPACK_WARNING_singular_matrix ? Outcome::Singular
                                                           : Outcome::Failed;
  }
  ~SparseLu() {
    if (numeric_ != nullptr) umfpack_dl_free_numeric(&numeric_);
    if (symbolic_ != nullptr) umfpack_dl_free_symbolic(&symbolic_);
  }
  SparseLu(const SparseLu&) = delete;
  SparseLu& operator=(const SparseLu&) = delete;

  Outcome Result() const { return outcome_; }
  // y := J^-1 y (transpose false) or J^-T y; false when UMFPACK fails.
  bool Solve(std::vector<double>& y, bool transpose) {
    std::vector<double> b = y;
    double info[UMFPACK_INFO];
    const int status = umfpack_dl_solve(transpose ? UMFPACK_A : UMFPACK_At, p_.data(), i_.data(), x_.data(),
                                        y.data(), b.data(), numeric_, control_, info);
    if (status != UMFPACK_OK) return false;
    for (double value : y)
      if (!std::isfinite(value)) return false;
    return true;
  }

 private:
  int n_;
  std::vector<SuiteSparse_long> p_, i_;
  std::vector<double> x_;
  double control_[UMFPACK_CONTROL];
  void* symbolic_ = nullptr;
  void* numeric_ = nullptr;
  Outcome outcome_ = Outcome::Failed;
};

// Hager's estimate with Higham's alternating vector, as the dense check,
// over J with column j scaled by max(|x_j|, typical_j). NaN when the factors
// exceed the budget.
double SparseCondition(const SparsityPattern& pattern, std::span<const double> values, std::span<const double> x,
                       std::span<const double> typical, const Budgets& budgets) {
  const auto n = static_cast<int>(x.size());
  const auto size = x.size();
  std::vector<double> scaled(values.begin(), values.end());
  std::vector<double> columnSum(size, 0.0);
  for (std::size_t i = 0; i < size; ++i)
    for (std::size_t e = pattern.rowStart[i]; e < pattern.rowStart[i + 1]; ++e) {
      const std::size_t j = pattern.columns[e];
      const double unit = std::max(std::abs(x[j]), typical.empty() ? 1.0 : typical[j]);
      if (!(unit > 0) || !std::isfinite(unit)) return kInfinity;
      scaled[e] *= unit;
      columnSum[j] += std::abs(scaled[e]);
    }
  const double norm = size == 0 ? 0.0 : *std::max_element(columnSum.begin(), columnSum.end());
  SparseLu lu(pattern, scaled, n, budgets);
  if (lu.Result() == SparseLu::Outcome::OverBudget) return kUndefined;
  if (lu.Result() != SparseLu::Outcome::Factored) return kInfinity;
  const double inverseNorm =
      InverseNormEstimate(n, [&](std::vector<double>& y, bool transpose) { return lu.Solve(y, transpose); });
  const double condition = norm * inverseNorm;
  return std::isfinite(condition) ? condition : kInfinity;
}

// max over columns of |J_j . f| / (|J_j| |f|), scaled against overflow as
// the dense one; a column whose descent direction leaves the box at an
// unknown on its bound does not count.
double SparseGradientCosine(const SparsityPattern& pattern, std::span<const double> values,
                            std::span<const double> f, std::span<const double> x, std::span<const Bounds> bounds) {
  const std::size_t n = x.size();
  const double fScale = MaxAbs(f);
  if (fScale == 0) return 0;
  double fNorm = 0;
  for (double value : f) fNorm += (value / fScale) * (value / fScale);
  fNorm = std::sqrt(fNorm);
  std::vector<double> columnScale(n, 0.0), dot(n, 0.0), columnNorm(n, 0.0);
  for (std::size_t i = 0; i < f.size(); ++i)
    for (std::size_t e = pattern.rowStart[i]; e < pattern.rowStart[i + 1]; ++e)
      columnScale[pattern.columns[e]] = std::max(columnScale[pattern.columns[e]], std::abs(values[e]));
  for (std::size_t i = 0; i < f.size(); ++i)
    for (std::size_t e = pattern.rowStart[i]; e < pattern.rowStart[i + 1]; ++e) {
      const std::size_t j = pattern.columns[e];
      if (columnScale[j] == 0) continue;
      const double entry = values[e] / columnScale[j];
      dot[j] += entry * (f[i] / fScale);
      columnNorm[j] += entry * entry;
    }
  double largest = 0;
  for (std::size_t j = 0; j < n; ++j) {
    if (columnScale[j] == 0) continue;
    // The gradient of the sum of squares along x_j has the sign of dot[j]:
    // descent lowers x_j when it is positive, which a lower bound stops.
    if (j < bounds.size()) {
      if (x[j] <= bounds[j].lo && dot[j] > 0) continue;
      if (x[j] >= bounds[j].hi && dot[j] < 0) continue;
    }
    largest = std::max(largest, std::abs(dot[j]) / (std::sqrt(columnNorm[j]) * fNorm));
  }
  return largest;
}

// J s = b by BiCGSTAB with J's diagonal as preconditioner, for the Newton
// steps that polish an answer when the LU would exceed its budget: at most
// kIterativeSteps products with J, each growing with the nonzeros; false
// unless |J s - b| <= kIterativeTolerance |b|.
constexpr int kIterativeSteps = 500;
constexpr double kIterativeTolerance = 1E-13;

bool IterativeSolve(const SparsityPattern& pattern, std::span<const double> values, std::vector<double>& s,
                    const std::vector<double>& b) {
  const std::size_t n = b.size();
  std::vector<double> diagonal(n, 1.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t e = pattern.rowStart[i]; e < pattern.rowStart[i + 1]; ++e)
      if (pattern.columns[e] == i && values[e] != 0) diagonal[i] = values[e];
  auto multiply = [&](const std::vector<double>& v, std::vector<double>& out) {  // out = J D^-1 v
    for (std::size_t i = 0; i < n; ++i) {
      double sum = 0;
      for (std::size_t e = pattern.rowStart[i]; e < pattern.rowStart[i + 1]; ++e)
        sum += values[e] * v[pattern.columns[e]] / diagonal[pattern.columns[e]];
      out[i] = sum;
    }
  };
  auto dot = [&](const std::vector<double>& a, const std::vector<double>& c) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += a[i] * c[i];
    return sum;
  };
  const double bNorm = std::sqrt(dot(b, b));
  std::vector<double> y(n, 0.0), r = b, rHat = b, p(n, 0.0), v(n, 0.0), t(n), q(n);
  if (bNorm == 0) {
    s.assign(n, 0.0);
    return true;
  }
  double rho = 1, alpha = 1, omega = 1;
  for (int k = 0; k < kIterativeSteps; ++k) {
    const double rhoNext = dot(rHat, r);
    if (rhoNext == 0 || omega == 0) return false;
    const double beta = (rhoNext / rho) * (alpha / omega);
    rho = rhoNext;
    for (std::size_t i = 0; i < n; ++i) p[i] = r[i] + beta * (p[i] - omega * v[i]);
    multiply(p, v);
    const double rv = dot(rHat, v);
    if (rv == 0) return false;
    alpha = rho / rv;
    for (std::size_t i = 0; i < n; ++i) q[i] = r[i] - alpha * v[i];
    multiply(q, t);
    const double tt = dot(t, t);
    omega = tt > 0 ? dot(t, q) / tt : 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      y[i] += alpha * p[i] + omega * q[i];
      r[i] = q[i] - omega * t[i];
    }
    if (!std::isfinite(omega)) return false;
    if (std::sqrt(dot(r, r)) <= kIterativeTolerance * bNorm) {
      s.resize(n);
      for (std::size_t i = 0; i < n; ++i) s[i] = y[i] / diagonal[i];
      return true;
    }
  }
  return false;
}

// The root test over the nonzeros (ScaledRootTest's thresholds, row by row).
RootCheck SparseJudgeRoot(const SparsityPattern& pattern, std::span<const double> values, std::span<const double> f,
                          std::span<const double> bounds, std::span<const double> x, std::optional<double> ftol,
                          bool haveJacobian) {
  constexpr double u = 0x1p-53;
  RootCheck check;
  bool scaled = !ftol && haveJacobian;
  for (double bound : bounds) scaled = scaled && std::isfinite(bound);
  const double tolerance = ftol.value_or(kDefaultFtol);
  std::vector<double> thresholds(f.size(), tolerance);
  if (scaled) {
    for (std::size_t i = 0; i < f.size() && scaled; ++i) {
      double moved = 0;
      for (std::size_t e = pattern.rowStart[i]; e < pattern.rowStart[i + 1]; ++e)
        moved += std::fabs(values[e]) * std::fabs(x[pattern.columns[e]]);
      thresholds[i] = kRootErrorMultiple * (bounds[i] + moved * u);
      // A slope too large for a finite threshold: the absolute test decides.
      if (!std::isfinite(thresholds[i])) scaled = false;
    }
    if (!scaled) std::fill(thresholds.begin(), thresholds.end(), tolerance);
  }
  check.test = scaled ? RootTest::Scaled : RootTest::Absolute;
  check.worstRatio = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    const double magnitude = std::fabs(f[i]);
    const double ratio = std::isnan(magnitude) ? kInfinity
                         : magnitude == 0      ? 0.0
                         : thresholds[i] > 0   ? magnitude / thresholds[i]
                                               : kInfinity;
    if (check.worstEquation < 0 || ratio > check.worstRatio) {
      check.worstEquation = static_cast<int>(i);
      check.worstRatio = ratio;
    }
  }
  check.residualBounds = std::move(thresholds);
  return check;
}

struct Evaluation {
  PointCheck check;
  std::vector<double> values;  // J's nonzeros when jacobianOk
};

Evaluation Evaluated(SparseResiduals& residuals, std::span<const double> x, Budget& budget,
                     const CheckOptions& options, std::span<const Bounds> box, const Budgets& budgets,
                     bool withCondition) {
  const auto size = static_cast<std::size_t>(residuals.Count());
  const SparsityPattern& pattern = residuals.Pattern();
  const bool scaled = !options.ftol && residuals.ProvidesBounds();
  Evaluation out;
  PointCheck& check = out.check;
  check.f.assign(size, kUndefined);
  out.values.assign(pattern.Nonzeros(), 0.0);
  std::vector<double> bounds(size, kInfinity);
  EvaluationStatus status = CheckedEvaluateSparse(residuals, budget, x, check.f, out.values,
                                                  scaled ? std::span<double>(bounds) : std::span<double>());
  if (status.Ok()) {
    check.functionOk = check.jacobianOk = true;
  } else {
    check.failedEquation = status.failedEquation;
    std::fill(check.f.begin(), check.f.end(), kUndefined);
    std::fill(bounds.begin(), bounds.end(), kInfinity);
    status = CheckedEvaluateSparse(residuals, budget, x, check.f, {});
    check.functionOk = status.Ok();
    if (!status.Ok()) {
      check.failedEquation = status.failedEquation;
      check.f[static_cast<std::size_t>(status.failedEquation)] = kUndefined;
    }
  }
  check.maxAbs = check.functionOk ? MaxAbs(check.f) : kInfinity;
  if (check.jacobianOk) {
    check.gradientCosine = SparseGradientCosine(pattern, out.values, check.f, x, box);
    if (withCondition) {
      check.condition = SparseCondition(pattern, out.values, x, options.typicalSize, budgets);
      check.conditionEstimated = !std::isnan(check.condition);
    }
  }
  if (check.functionOk) {
    check.rootCheck = SparseJudgeRoot(pattern, out.values, check.f, bounds, x, options.ftol, check.jacobianOk);
  } else {
    check.rootCheck.test = scaled ? RootTest::Scaled : RootTest::Absolute;
  }
  check.root = check.functionOk && Passes(check.rootCheck);
  return out;
}

bool Inside(std::span<const double> x, std::span<const Bounds> bounds) {
  for (std::size_t j = 0; j < bounds.size(); ++j)
    if (!(x[j] >= bounds[j].lo && x[j] <= bounds[j].hi)) return false;
  return true;
}

}  // namespace

PointCheck CheckPointSparse(SparseResiduals& residuals, std::vector<double>& x, Budget& budget,
                            const CheckOptions& options, std::span<const Bounds> bounds, double factorBudgetBytes,
                            double factorBudgetFlops) {
  const Budgets budgets{factorBudgetBytes, factorBudgetFlops, NormalFactorCost(residuals.Pattern(), residuals.Count())};
  Evaluation first = Evaluated(residuals, x, budget, options, bounds, budgets, true);
  if (first.check.root || !first.check.jacobianOk || first.check.rootCheck.test != RootTest::Scaled)
    return std::move(first.check);
  const int n = residuals.Count();
  const auto size = static_cast<std::size_t>(n);
  std::vector<double> at = x, step(size);
  Evaluation last{first.check, first.values};
  for (int k = 0; k < options.polishSteps && !budget.TimeOrStopSpent(); ++k) {
    for (std::size_t i = 0; i < size; ++i) step[i] = -last.check.f[i];
    SparseLu lu(residuals.Pattern(), last.values, n, budgets);
    if (lu.Result() == SparseLu::Outcome::OverBudget) {
      const std::vector<double> rightSide = step;
      if (!IterativeSolve(residuals.Pattern(), last.values, step, rightSide)) break;
    } else if (lu.Result() != SparseLu::Outcome::Factored || !lu.Solve(step, false)) {
      break;
    }
    for (std::size_t j = 0; j < size; ++j) at[j] += step[j];
    if (!Inside(at, bounds)) break;
    Evaluation next = Evaluated(residuals, at, budget, options, bounds, budgets, false);
    if (next.check.root) {
      // The condition where the answer now is.
      next.check.condition = SparseCondition(residuals.Pattern(), next.values, at, options.typicalSize, budgets);
      next.check.conditionEstimated = !std::isnan(next.check.condition);
      x = at;
      return std::move(next.check);
    }
    if (!next.check.jacobianOk || next.check.rootCheck.test != RootTest::Scaled ||
        !(next.check.rootCheck.worstRatio <= kPolishProgress * last.check.rootCheck.worstRatio))
      break;
    last = std::move(next);
  }
  return std::move(first.check);
}

}  // namespace robust::detail
