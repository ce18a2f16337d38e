#include "Certify.h"

#include <algorithm>
#include <cmath>

#include "Verdict.h"
#include "eval/compiled/Interval.h"

namespace robust {
namespace {

using eval::Interval;

// A box reaches this many Newton steps from the point, so that it holds the
// root the step aims at with room for the step's own error.
constexpr double kStepMultiple = 2;

}  // namespace

bool detail::Inverse(std::vector<double> a, int n, std::vector<double>& inverse) {
  const auto N = static_cast<std::size_t>(n);
  inverse.assign(N * N, 0.0);
  for (std::size_t i = 0; i < N; ++i) inverse[i * N + i] = 1;
  for (std::size_t k = 0; k < N; ++k) {
    std::size_t p = k;
    for (std::size_t i = k + 1; i < N; ++i) {
      if (std::fabs(a[i * N + k]) > std::fabs(a[p * N + k])) p = i;
    }
    const double pivot = a[p * N + k];
    if (pivot == 0 || !std::isfinite(pivot)) return false;
    for (std::size_t j = 0; j < N; ++j) {
      std::swap(a[k * N + j], a[p * N + j]);
      std::swap(inverse[k * N + j], inverse[p * N + j]);
    }
    for (std::size_t j = 0; j < N; ++j) {
      a[k * N + j] /= pivot;
      inverse[k * N + j] /= pivot;
    }
    for (std::size_t i = 0; i < N; ++i) {
      if (i == k) continue;
      const double m = a[i * N + k];
      if (m == 0) continue;
      for (std::size_t j = 0; j < N; ++j) {
        a[i * N + j] -= m * a[k * N + j];
        inverse[i * N + j] -= m * inverse[k * N + j];
      }
    }
  }
  for (const double v : inverse) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

namespace {

Certificate Refused(CertifyOutcome outcome, const eval::EnclosureStatus& status) {
  Certificate c;
  c.outcome = outcome;
  c.equation = status.failedEquation;
  c.what = status.what;
  return c;
}

}  // namespace

Certificate Certify(eval::CompiledSystem& system, std::span<const double> point, const CertifyOptions& options) {
  const int n = system.Dimension();
  const auto N = static_cast<std::size_t>(n);
  Certificate result;
  if (system.Count() != n) {
    result.outcome = CertifyOutcome::NotSquare;
    return result;
  }
  for (const double v : point) {
    if (!std::isfinite(v)) {
      result.outcome = CertifyOutcome::Domain;
      result.what = "a coordinate is not finite";
      return result;
    }
  }

  // C from the Jacobian at the point, in doubles.
  std::vector<double> f(N);
  std::vector<double> jacobian(N * N);
  const eval::EvaluationStatus evaluated = system.Evaluate(point, f, jacobian);
  std::vector<double> c;
  const bool invertible = evaluated.ok && detail::Inverse(jacobian, n, c);
  const double condition = evaluated.ok ? detail::ConditionEstimate(jacobian, n) : 0;
  const bool nearSingular = !invertible || !(condition <= options.singularCondition);

  // F over the point itself.
  std::vector<Interval> y;
  y.reserve(N);
  for (const double v : point) y.emplace_back(v);
  std::vector<Interval> fy(N);
  std::vector<Interval> scratch(N * N);
  const eval::EnclosureStatus atPoint = system.Enclose(y, fy, scratch);
  if (!atPoint.ok) {
    return Refused(atPoint.fault == eval::EnclosureFault::Domain ? CertifyOutcome::Domain
                                                                   : CertifyOutcome::NotCertifiable,
                   atPoint);
  }
  if (!invertible) {
    result.outcome = CertifyOutcome::Singular;
    return result;
  }

  // y - C F(y): the same for every box.
  std::vector<Interval> centre(N);
  for (std::size_t i = 0; i < N; ++i) {
    Interval sum(0.0);
    for (std::size_t k = 0; k < N; ++k) sum = sum + Interval(c[i * N + k]) * fy[k];
    centre[i] = y[i] - sum;
  }

  // The Newton step from y in doubles: the root is about that far away, so
  // no box is narrower than twice it (epsilon inflation around y).
  std::vector<double> step(N, 0.0);
  for (std::size_t i = 0; i < N; ++i) {
    for (std::size_t k = 0; k < N; ++k) step[i] += c[i * N + k] * f[k];
  }

  std::vector<Bounds> tried(N);  // the box as doubles; Arb's ball holds it
  std::vector<Interval> box(N);
  std::vector<Interval> offset(N);  // X - y
  std::vector<Interval> fBox(N);
  std::vector<Interval> jBox(N * N);
  std::vector<Interval> k(N);
  eval::EnclosureStatus lastDomain;
  bool everEnclosed = false;
  double radius = options.radius;
  for (int attempt = 0; attempt < options.tries; ++attempt, radius *= options.growth) {
    for (std::size_t j = 0; j < N; ++j) {
      const double own = point[j] != 0 ? radius * std::fabs(point[j]) : radius;
      const double half = std::max(own, kStepMultiple * std::fabs(step[j]) * (radius / options.radius));
      // The box is the doubles' hull of y +- half: any outward rounding of
      // its ends only makes it wider, and the proof is about this box.
      tried[j] = {point[j] - half, point[j] + half};
      box[j] = Interval(tried[j].lo, tried[j].hi);
      offset[j] = box[j] - y[j];
    }
    const eval::EnclosureStatus enclosed = system.Enclose(box, fBox, jBox);
    if (!enclosed.ok) {
      if (enclosed.fault != eval::EnclosureFault::Domain) {
        return Refused(enclosed.fault == eval::EnclosureFault::NoRule ? CertifyOutcome::NotCertifiable
                                                                       : CertifyOutcome::Domain,
                       enclosed);
      }
      lastDomain = enclosed;
      continue;
    }
    everEnclosed = true;
    bool inside = true;
    for (std::size_t i = 0; i < N && inside; ++i) {
      // Row i of (I - C J(X)) times (X - y).
      Interval sum(0.0);
      for (std::size_t j = 0; j < N; ++j) {
        Interval cj(0.0);
        for (std::size_t m = 0; m < N; ++m) cj = cj + Interval(c[i * N + m]) * jBox[m * N + j];
        const Interval entry = Interval(i == j ? 1.0 : 0.0) - cj;
        sum = sum + entry * offset[j];
      }
      k[i] = centre[i] + sum;
      inside = box[i].ContainsInInterior(k[i]);
    }
    if (inside) {
      result.outcome = CertifyOutcome::Certified;
      result.radius = radius;
      result.enclosure.resize(N);
      result.box.resize(N);
      for (std::size_t i = 0; i < N; ++i) {
        result.enclosure[i] = {k[i].Lower(), k[i].Upper()};
        result.box[i] = tried[i];
      }
      return result;
    }
  }
  if (!everEnclosed) return Refused(CertifyOutcome::Domain, lastDomain);
  result.outcome = nearSingular ? CertifyOutcome::Singular : CertifyOutcome::NoContraction;
  return result;
}

}  // namespace robust
