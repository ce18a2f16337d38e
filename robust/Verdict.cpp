#include "Verdict.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace robust::detail {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Hager's estimator settles in two or three rounds; more only costs solves.
constexpr int kEstimatorRounds = 5;

// PA = LU in place, row-major; false when a pivot is exactly zero.
bool Factor(std::vector<double>& a, std::vector<int>& pivot, int n) {
  auto at = [&](int i, int j) -> double& { return a[static_cast<std::size_t>(i * n + j)]; };
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::abs(at(i, k)) > std::abs(at(p, k))) p = i;
    pivot[static_cast<std::size_t>(k)] = p;
    if (at(p, k) == 0.0) return false;
    if (p != k)
      for (int j = 0; j < n; ++j) std::swap(at(k, j), at(p, j));
    for (int i = k + 1; i < n; ++i) {
      const double m = at(i, k) /= at(k, k);
      for (int j = k + 1; j < n; ++j) at(i, j) -= m * at(k, j);
    }
  }
  return true;
}

// Solves A y = b (transpose false) or A^T y = b with the factors of Factor.
void SolveFactored(const std::vector<double>& a, const std::vector<int>& pivot, int n,
                   std::vector<double>& b, bool transpose) {
  auto at = [&](int i, int j) { return a[static_cast<std::size_t>(i * n + j)]; };
  auto& y = b;
  if (!transpose) {
    for (int k = 0; k < n; ++k) std::swap(y[k], y[pivot[k]]);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < i; ++j) y[i] -= at(i, j) * y[j];
    for (int i = n - 1; i >= 0; --i) {
      for (int j = i + 1; j < n; ++j) y[i] -= at(i, j) * y[j];
      y[i] /= at(i, i);
    }
  } else {
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < i; ++j) y[i] -= at(j, i) * y[j];
      y[i] /= at(i, i);
    }
    for (int i = n - 1; i >= 0; --i)
      for (int j = i + 1; j < n; ++j) y[i] -= at(j, i) * y[j];
    for (int k = n - 1; k >= 0; --k) std::swap(y[k], y[pivot[k]]);
  }
}

double Norm1(const std::vector<double>& v) {
  double sum = 0;
  for (double value : v) sum += std::abs(value);
  return sum;
}

// The 1-norm condition estimate of a matrix already scaled as the caller wants.
double ConditionOf(std::vector<double> a, int n) {
  const auto size = static_cast<std::size_t>(n);
  double norm = 0;
  for (int j = 0; j < n; ++j) {
    double column = 0;
    for (int i = 0; i < n; ++i) column += std::abs(a[i * size + j]);
    norm = std::max(norm, column);
  }
  std::vector<int> pivot(size);
  if (!Factor(a, pivot, n)) return kInfinity;

  const double inverseNorm = InverseNormEstimate(n, [&](std::vector<double>& y, bool transpose) {
    SolveFactored(a, pivot, n, y, transpose);
    return true;
  });
  const double condition = norm * inverseNorm;
  return std::isfinite(condition) ? condition : kInfinity;
}

}  // namespace

double InverseNormEstimate(int n, const std::function<bool(std::vector<double>& y, bool transpose)>& solve) {
  const auto size = static_cast<std::size_t>(n);
  // Hager: maximise |A^-1 x|_1 over the unit ball of the 1-norm.
  std::vector<double> x(size, 1.0 / n), y, z;
  double inverseNorm = 0;
  for (int round = 0; round < kEstimatorRounds; ++round) {
    y = x;
    if (!solve(y, false)) return kInfinity;
    inverseNorm = std::max(inverseNorm, Norm1(y));
    z.resize(size);
    for (std::size_t i = 0; i < size; ++i) z[i] = y[i] >= 0 ? 1.0 : -1.0;
    if (!solve(z, true)) return kInfinity;
    std::size_t argmax = 0;
    double zx = 0;
    for (std::size_t i = 0; i < size; ++i) {
      if (std::abs(z[i]) > std::abs(z[argmax])) argmax = i;
      zx += z[i] * x[i];
    }
    if (std::abs(z[argmax]) <= zx) break;
    std::fill(x.begin(), x.end(), 0.0);
    x[argmax] = 1.0;
  }
  // Higham's alternating vector guards against the estimator's blind spots.
  std::vector<double> b(size);
  for (std::size_t i = 0; i < size; ++i)
    b[i] = (i % 2 == 0 ? 1.0 : -1.0) * (1.0 + (n > 1 ? double(i) / (n - 1) : 0.0));
  if (!solve(b, false)) return kInfinity;
  return std::max(inverseNorm, 2.0 * Norm1(b) / (3.0 * n));
}

double MaxAbs(std::span<const double> values) {
  double largest = 0;
  for (double value : values) largest = std::isnan(value) ? kInfinity : std::max(largest, std::abs(value));
  return largest;
}

double ConditionEstimate(std::span<const double> matrixRowMajor, int n) {
  const auto size = static_cast<std::size_t>(n);
  std::vector<double> a(matrixRowMajor.begin(), matrixRowMajor.end());
  for (int j = 0; j < n; ++j) {
    double largest = 0;
    for (int i = 0; i < n; ++i) largest = std::max(largest, std::abs(a[i * size + j]));
    if (largest == 0 || !std::isfinite(largest)) return kInfinity;
    for (int i = 0; i < n; ++i) a[i * size + j] /= largest;
  }
  return ConditionOf(std::move(a), n);
}

double ConditionAt(std::span<const double> matrixRowMajor, int n, std::span<const double> x,
                   std::span<const double> typicalSize) {
  const auto size = static_cast<std::size_t>(n);
  std::vector<double> a(matrixRowMajor.begin(), matrixRowMajor.end());
  for (std::size_t j = 0; j < size; ++j) {
    const double unit = std::max(std::abs(x[j]), typicalSize.empty() ? 1.0 : typicalSize[j]);
    if (!(unit > 0) || !std::isfinite(unit)) return kInfinity;
    for (std::size_t i = 0; i < size; ++i) a[i * size + j] *= unit;
  }
  return ConditionOf(std::move(a), n);
}

double GradientCosine(std::span<const double> jacobianRowMajor, std::span<const double> f) {
  const std::size_t n = f.size();
  const double fScale = MaxAbs(f);
  if (fScale == 0) return 0;
  double fNorm = 0;
  for (double value : f) fNorm += (value / fScale) * (value / fScale);
  fNorm = std::sqrt(fNorm);
  double largest = 0;
  for (std::size_t j = 0; j < n; ++j) {
    double columnScale = 0;
    for (std::size_t i = 0; i < n; ++i) columnScale = std::max(columnScale, std::abs(jacobianRowMajor[i * n + j]));
    if (columnScale == 0) continue;
    double dot = 0;
    double columnNorm = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double entry = jacobianRowMajor[i * n + j] / columnScale;
      dot += entry * (f[i] / fScale);
      columnNorm += entry * entry;
    }
    largest = std::max(largest, std::abs(dot) / (std::sqrt(columnNorm) * fNorm));
  }
  return largest;
}

namespace {

// One evaluation of F, J and the rounding-error bounds, counted as one of F
// and J, with every value and slope checked to be finite as CheckedEvaluate does.
EvaluationStatus BoundedEvaluate(Residuals& residuals, Budget& budget, std::span<const double> x,
                                 std::span<double> f, std::span<double> jacobian, std::span<double> bounds) {
  ++budget.jacobianEvaluations;
  EvaluationStatus status = residuals.EvaluateWithBounds(x, f, jacobian, bounds);
  if (!status.Ok()) return status;
  const std::size_t n = f.size();
  for (std::size_t i = 0; i < n; ++i) {
    bool finite = std::isfinite(f[i]);
    for (std::size_t j = 0; finite && j < n; ++j) finite = std::isfinite(jacobian[i * n + j]);
    if (!finite) return {static_cast<int>(i)};
  }
  return status;
}

PointCheck Evaluated(Residuals& residuals, std::span<const double> x, Budget& budget, const CheckOptions& options) {
  const int n = residuals.Count();
  const auto size = static_cast<std::size_t>(n);
  const bool scaled = !options.ftol && residuals.ProvidesBounds();
  PointCheck check;
  check.f.assign(size, std::numeric_limits<double>::quiet_NaN());
  std::vector<double> jacobian(size * size), bounds(size, kInfinity);
  EvaluationStatus status = scaled ? BoundedEvaluate(residuals, budget, x, check.f, jacobian, bounds)
                                   : CheckedEvaluate(residuals, budget, x, check.f, jacobian);
  if (status.Ok()) {
    check.functionOk = check.jacobianOk = true;
  } else {
    check.failedEquation = status.failedEquation;
    std::fill(check.f.begin(), check.f.end(), std::numeric_limits<double>::quiet_NaN());
    std::fill(bounds.begin(), bounds.end(), kInfinity);
    status = CheckedEvaluate(residuals, budget, x, check.f, {});
    check.functionOk = status.Ok();
    if (!status.Ok()) {
      check.failedEquation = status.failedEquation;
      // Keep what was computed, but mark the failing equation undefined.
      check.f[static_cast<std::size_t>(status.failedEquation)] = std::numeric_limits<double>::quiet_NaN();
    }
  }
  check.maxAbs = check.functionOk ? MaxAbs(check.f) : kInfinity;
  if (check.jacobianOk) {
    check.gradientCosine = GradientCosine(jacobian, check.f);
    check.condition = ConditionAt(jacobian, n, x, options.typicalSize);
    check.jacobian = std::move(jacobian);
  }
  if (check.functionOk) {
    // Without J the coordinates' rounding cannot be weighed: bounds stay infinite.
    check.rootCheck = JudgeRoot(check.f, check.jacobian, bounds, x, options.ftol);
  } else {
    check.rootCheck.test = scaled ? RootTest::Scaled : RootTest::Absolute;
  }
  check.root = check.functionOk && Passes(check.rootCheck);
  return check;
}

// A Newton step's worst ratio must fall below this fraction of the last one
// for polishing to go on: the rounds towards a double root shrink it by about
// half, towards a simple one far more; a point where it does not is as close
// as the method gets.
constexpr double kPolishProgress = 0.75;

}  // namespace

PointCheck CheckPoint(Residuals& residuals, std::vector<double>& x, Budget& budget, const CheckOptions& options) {
  PointCheck check = Evaluated(residuals, x, budget, options);
  if (check.root || !check.jacobianOk || check.rootCheck.test != RootTest::Scaled) return check;
  const int n = residuals.Count();
  const auto size = static_cast<std::size_t>(n);
  std::vector<double> at = x, step(size), factors;
  std::vector<int> pivot(size);
  PointCheck last = check;
  for (int k = 0; k < options.polishSteps && !budget.TimeOrStopSpent(); ++k) {
    factors = last.jacobian;
    if (!Factor(factors, pivot, n)) break;
    for (std::size_t i = 0; i < size; ++i) step[i] = -last.f[i];
    SolveFactored(factors, pivot, n, step, false);
    for (std::size_t j = 0; j < size; ++j) at[j] += step[j];
    PointCheck next = Evaluated(residuals, at, budget, options);
    if (next.root) {
      x = at;
      return next;
    }
    if (!next.jacobianOk || next.rootCheck.test != RootTest::Scaled ||
        !(next.rootCheck.worstRatio <= kPolishProgress * last.rootCheck.worstRatio))
      break;
    last = std::move(next);
  }
  return check;
}

RootCheck JudgeRoot(std::span<const double> f, std::span<const double> jacobianRowMajor,
                    std::span<const double> bounds, std::span<const double> x, std::optional<double> ftol) {
  RootCheck check;
  RootTestOptions options;
  bool known = !ftol && jacobianRowMajor.size() == f.size() * x.size();
  for (double bound : bounds) known = known && std::isfinite(bound);
  options.test = known ? RootTest::Scaled : RootTest::Absolute;
  options.ftol = ftol.value_or(kDefaultFtol);
  check.residualBounds.assign(f.size(), options.ftol);
  RootVerdict verdict = ScaledRootTest(f, jacobianRowMajor, bounds, x, options, check.residualBounds);
  if (known && !verdict.boundsKnown) {
    // A slope too large for its threshold to be finite: the absolute test decides.
    options.test = RootTest::Absolute;
    check.residualBounds.assign(f.size(), options.ftol);
    verdict = ScaledRootTest(f, jacobianRowMajor, bounds, x, options, check.residualBounds);
  }
  check.test = options.test;
  check.worstRatio = verdict.worstRatio;
  check.worstEquation = verdict.worstEquation;
  return check;
}

int NumericalRank(std::span<const double> matrixRowMajor, int n, double relativeTolerance,
                  std::vector<double>* nullVector) {
  const auto size = static_cast<std::size_t>(n);
  // Columns of a (column-major copy) are rotated in pairs until orthogonal;
  // v accumulates the rotations, so a = J v and the column norms are the
  // singular values.
  // Columns scaled to unit length first, so the unknowns' units do not
  // decide the rank (a zero column stays zero).
  std::vector<double> a(size * size), v(size * size, 0.0), columnScale(size, 1.0);
  for (std::size_t j = 0; j < size; ++j) {
    double sum = 0.0;
    for (std::size_t i = 0; i < size; ++i) sum += matrixRowMajor[i * size + j] * matrixRowMajor[i * size + j];
    if (sum > 0 && std::isfinite(sum)) columnScale[j] = std::sqrt(sum);
    for (std::size_t i = 0; i < size; ++i) a[j * size + i] = matrixRowMajor[i * size + j] / columnScale[j];
    v[j * size + j] = 1.0;
  }
  constexpr int kMaxSweeps = 60;
  constexpr double kOrthogonal = 1E-15;
  for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
    bool rotated = false;
    for (std::size_t p = 0; p + 1 < size; ++p) {
      for (std::size_t q = p + 1; q < size; ++q) {
        double alpha = 0.0, beta = 0.0, gamma = 0.0;
        for (std::size_t i = 0; i < size; ++i) {
          alpha += a[p * size + i] * a[p * size + i];
          beta += a[q * size + i] * a[q * size + i];
          gamma += a[p * size + i] * a[q * size + i];
        }
        if (!(std::abs(gamma) > kOrthogonal * std::sqrt(alpha * beta))) continue;
        rotated = true;
        const double zeta = (beta - alpha) / (2.0 * gamma);
        const double t = (zeta >= 0 ? 1.0 : -1.0) / (std::abs(zeta) + std::sqrt(1.0 + zeta * zeta));
        const double c = 1.0 / std::sqrt(1.0 + t * t);
        const double s = c * t;
        for (std::size_t i = 0; i < size; ++i) {
          const double ap = a[p * size + i], aq = a[q * size + i];
          a[p * size + i] = c * ap - s * aq;
          a[q * size + i] = s * ap + c * aq;
          const double vp = v[p * size + i], vq = v[q * size + i];
          v[p * size + i] = c * vp - s * vq;
          v[q * size + i] = s * vp + c * vq;
        }
      }
    }
    if (!rotated) break;
  }
  std::vector<double> sigma(size);
  for (std::size_t j = 0; j < size; ++j) {
    double sum = 0.0;
    for (std::size_t i = 0; i < size; ++i) sum += a[j * size + i] * a[j * size + i];
    sigma[j] = std::sqrt(sum);
  }
  const double largest = size == 0 ? 0.0 : *std::max_element(sigma.begin(), sigma.end());
  int rank = 0;
  for (double value : sigma)
    if (value > relativeTolerance * largest && value > 0) ++rank;
  if (nullVector != nullptr && size > 0) {
    const auto smallest = static_cast<std::size_t>(std::min_element(sigma.begin(), sigma.end()) - sigma.begin());
    // A null direction w of the scaled matrix is D^-1 w for the matrix itself.
    nullVector->assign(size, 0.0);
    double norm = 0.0;
    for (std::size_t j = 0; j < size; ++j) {
      (*nullVector)[j] = v[smallest * size + j] / columnScale[j];
      norm += (*nullVector)[j] * (*nullVector)[j];
    }
    for (double& value : *nullVector) value /= std::sqrt(norm);
  }
  return rank;
}

RootVerdict ScaledRootTest(std::span<const double> f, std::span<const double> jacobianRowMajor,
                           std::span<const double> bounds, std::span<const double> x,
                           const RootTestOptions& options, std::span<double> thresholds) {
  constexpr double u = 0x1p-53;
  const std::size_t n = x.size();
  RootVerdict verdict;
  verdict.worstRatio = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    double threshold = options.ftol;
    if (options.test == RootTest::Scaled) {
      double moved = 0;
      for (std::size_t j = 0; j < n; ++j) moved += std::fabs(jacobianRowMajor[i * n + j]) * std::fabs(x[j]);
      threshold = options.multiple * (bounds[i] + moved * u);
      if (!std::isfinite(threshold)) verdict.boundsKnown = false;
    }
    if (!thresholds.empty()) thresholds[i] = threshold;
    // A zero threshold passes an exact zero only; NaN never passes.
    const double magnitude = std::fabs(f[i]);
    const double ratio = magnitude == 0 ? 0.0 : (threshold > 0 ? magnitude / threshold : kInfinity);
    if (std::isnan(magnitude) || std::isnan(threshold)) {
      verdict.worstEquation = static_cast<int>(i);
      verdict.worstRatio = kInfinity;
      verdict.root = false;
      return verdict;
    }
    if (verdict.worstEquation < 0 || ratio > verdict.worstRatio) {
      verdict.worstEquation = static_cast<int>(i);
      verdict.worstRatio = ratio;
    }
  }
  verdict.root = verdict.boundsKnown && verdict.worstRatio <= 1;
  return verdict;
}

}  // namespace robust::detail
