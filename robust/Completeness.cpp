#include "Completeness.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>

#include "eval/compiled/Interval.h"

namespace robust {
namespace {

using eval::Coverage;
using eval::Interval;
using Box = std::vector<Bounds>;
using Clock = std::chrono::steady_clock;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// A part that Krawczyk's operator narrows by at least this share of its
// width in some unknown is taken up again before it is split.
constexpr double kContractionGain = 0.2;
// Newton steps in doubles toward a root before a box is centred on it.
constexpr int kNewtonSteps = 6;
// The box centred on the Newton point reaches this many half-widths of the
// part beyond the point (and holds the part).
constexpr double kCentredReach = 1.1;
// The Newton point is used only this many half-widths of the part from its middle.
constexpr double kCentredDistance = 2;
// Krawczyk's operator applied again to a certified root's enclosure, at most.
constexpr int kNarrowings = 4;
// A part where some equation cannot be enclosed at all (a function without
// a rule) can never be certified; it is split only this fine (relative to the
// search box), for the other equations to discard what they can.
constexpr double kOpaqueWidth = 1.0 / 64;
// The box centred on a Newton point is at least this wide relative to the
// point (or to the search box), so that a part Krawczyk's operator narrowed
// to a single value in some unknown still gets a box with an interior.
constexpr double kCentredFloor = 1E-9;
// Newton steps with exact residuals before an edge root's point is tried.
constexpr int kRefinements = 2;
// A search root Certify did not prove takes the certificate of a root the
// proof found only when it lies this close to its enclosure (relative).
constexpr double kAttachDistance = 1E-6;
// Points tried, at most, for a root exactly on the search box's edge.
constexpr std::size_t kMaxEdgePoints = 81;
// Joining touching undecided parts compares every pair: beyond this many
// they are reported as they are.
constexpr std::size_t kMaxJoined = 20000;

bool ContainsBox(const Box& outer, const Box& inner) {
  for (std::size_t j = 0; j < outer.size(); ++j) {
    if (inner[j].lo < outer[j].lo || inner[j].hi > outer[j].hi) return false;
  }
  return true;
}

bool ContainsPoint(const Box& box, std::span<const double> p) {
  for (std::size_t j = 0; j < box.size(); ++j) {
    if (!(p[j] >= box[j].lo && p[j] <= box[j].hi)) return false;
  }
  return true;
}

// p lies within kAttachDistance (relative to its size, at least 1) of the box.
bool Near(const Box& box, std::span<const double> p) {
  for (std::size_t j = 0; j < box.size(); ++j) {
    const double slack = kAttachDistance * std::max(1.0, std::fabs(p[j]));
    if (!(p[j] >= box[j].lo - slack && p[j] <= box[j].hi + slack)) return false;
  }
  return true;
}

bool Overlap(const Box& a, const Box& b) {
  for (std::size_t j = 0; j < a.size(); ++j) {
    if (a[j].hi < b[j].lo || b[j].hi < a[j].lo) return false;
  }
  return true;
}

Box HullOf(const Box& a, const Box& b) {
  Box h(a.size());
  for (std::size_t j = 0; j < a.size(); ++j) h[j] = {std::min(a[j].lo, b[j].lo), std::max(a[j].hi, b[j].hi)};
  return h;
}

double Middle(const Bounds& b) { return b.lo + (b.hi - b.lo) / 2; }

// The search box's width in each unknown: widths are compared relative to it.
double Relative(const Bounds& b, double width) { return width > 0 ? (b.hi - b.lo) / width : 0.0; }

enum class Test { Excluded, Unique, Unknown };

struct KrawczykResult {
  Test test = Test::Unknown;
  Box k;                  // K(X) as doubles, outward; intersected with X unless Unique
  double norm = kInfinity;  // the largest row sum of |I - C J(X)|
};

struct Known {
  Box enclosure;
  Box unique;  // holds exactly one root, the one in `enclosure`
  int entry;   // into the report's roots
};

class Prover {
 public:
  Prover(eval::CompiledSystem& system, std::span<const Bounds> box, const ProveOptions& options, ProveReport& report)
      : system_(system),
        options_(options),
        report_(report),
        n_(static_cast<std::size_t>(system.Dimension())),
        searchBox_(box.begin(), box.end()),
        start_(Clock::now()),
        ball_(n_),
        point_(n_),
        values_(n_),
        jacobian_(n_ * n_),
        row_(n_),
        fy_(n_),
        k_(n_) {
    for (const Bounds& b : searchBox_) widths_.push_back(b.hi - b.lo);
  }

  void CertifySearchRoots(std::span<const std::vector<double>> points) {
    for (std::size_t s = 0; s < points.size(); ++s) {
      ProvedRoot root;
      root.point = points[s];
      root.searchIndex = static_cast<int>(s);
      root.certificate = Certify(system_, root.point);
      const int entry = static_cast<int>(report_.roots.size());
      if (root.certificate.outcome == CertifyOutcome::Certified) {
        const Box& k = root.certificate.enclosure;
        const Box& unique = root.certificate.box;
        root.where = Locate(k, unique);
        // -2 (not shown to be another's root) leaves a part undecided.
        root.sameAs = std::max(SameAsKnown(k, unique), -1);
        if (root.sameAs < 0) known_.push_back({k, unique, entry});
      }
      report_.roots.push_back(std::move(root));
    }
  }

  void BranchAndPrune() {
    work_.push_back(searchBox_);
    while (!work_.empty()) {
      if (const ProveStop stop = Budget(); stop != ProveStop::Finished) {
        report_.stop = stop;
        for (Box& b : work_) undecided_.push_back(std::move(b));
        work_.clear();
        break;
      }
      Box b = std::move(work_.back());
      work_.pop_back();
      ++report_.boxes;
      Take(std::move(b));
    }
  }

  void Finish(std::span<const std::vector<double>> points) {
    AttachSearchRoots(points);
    JoinUndecided();
    bool edge = false;
    report_.certifiedInside = 0;
    for (const ProvedRoot& r : report_.roots) {
      if (r.certificate.outcome != CertifyOutcome::Certified || r.sameAs >= 0) continue;
      if (r.where == InBox::Inside) ++report_.certifiedInside;
      if (r.where == InBox::OnEdge) edge = true;
    }
    report_.complete = report_.stop == ProveStop::Finished && report_.undecided.empty() && !edge;
  }

 private:
  ProveStop Budget() const {
    if (options_.stop != nullptr && options_.stop->load(std::memory_order_relaxed) != 0) return ProveStop::Interrupted;
    if (report_.boxes >= options_.maxBoxes) return ProveStop::BoxLimit;
    if (Seconds() > options_.maxSeconds) return ProveStop::TimeLimit;
    if (static_cast<long>(undecided_.size()) > options_.maxUndecided) return ProveStop::UndecidedLimit;
    return ProveStop::Finished;
  }

  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

  void NoteFault(int equation, const eval::EnclosureStatus& status) {
    if (report_.equation >= 0) return;
    if (status.fault != eval::EnclosureFault::NoRule && status.fault != eval::EnclosureFault::OverBudget) return;
    report_.equation = equation;
    report_.what = status.what;
  }

  void ToBall(const Box& b, std::vector<Interval>& ball) {
    for (std::size_t j = 0; j < n_; ++j) ball[j] = Interval(b[j].lo, b[j].hi);
  }

  enum class Enclosed { Discard, Smooth, ValueOnly };

  // F and J over the ball around b (which holds b) into values_ and jacobian_.
  Enclosed Enclose(const Box& b) {
    ToBall(b, ball_);
    bool smooth = true;
    opaque_ = false;
    for (std::size_t i = 0; i < n_; ++i) {
      const eval::EnclosureStatus s = system_.EncloseEquation(
          static_cast<int>(i), ball_, values_[i], std::span<Interval>(jacobian_).subspan(i * n_, n_));
      // Undefined at every point, or no zero where it is defined: no root.
      if (s.coverage == Coverage::Nowhere) return Enclosed::Discard;
      if (values_[i].Finite() && !values_[i].ContainsZero()) return Enclosed::Discard;
      if (!s.ok) {
        smooth = false;
        opaque_ = opaque_ || s.fault != eval::EnclosureFault::Domain;
        NoteFault(static_cast<int>(i), s);
      }
    }
    return smooth ? Enclosed::Smooth : Enclosed::ValueOnly;
  }

  // Krawczyk's operator over the ball of b, whose J is in jacobian_, about y:
  //   K = y - C F(y) + (I - C J(X)) (X - y),  C the inverse of J's middle.
  // Every root in X lies in K; none when K misses X; exactly one when K
  // lies in X's interior.
  KrawczykResult Krawczyk(const Box& b, std::span<const double> y) {
    KrawczykResult result;
    std::vector<double> middle(n_ * n_);
    for (std::size_t e = 0; e < n_ * n_; ++e) {
      middle[e] = (jacobian_[e].Lower() + jacobian_[e].Upper()) / 2;
      if (!std::isfinite(middle[e])) return result;
    }
    if (!detail::Inverse(middle, static_cast<int>(n_), c_)) return result;
    for (std::size_t j = 0; j < n_; ++j) point_[j] = Interval(y[j]);
    for (std::size_t i = 0; i < n_; ++i) {
      const eval::EnclosureStatus s = system_.EncloseEquation(static_cast<int>(i), point_, fy_[i], row_);
      if (!s.ok) return result;
    }
    double norm = 0;
    for (std::size_t i = 0; i < n_; ++i) {
      Interval shift(0.0);
      for (std::size_t m = 0; m < n_; ++m) shift = shift + Interval(c_[i * n_ + m]) * fy_[m];
      Interval sum = point_[i] - shift;
      double rowNorm = 0;
      for (std::size_t j = 0; j < n_; ++j) {
        Interval cj(0.0);
        for (std::size_t m = 0; m < n_; ++m) cj = cj + Interval(c_[i * n_ + m]) * jacobian_[m * n_ + j];
        const Interval entry = Interval(i == j ? 1.0 : 0.0) - cj;
        rowNorm += std::max(std::fabs(entry.Lower()), std::fabs(entry.Upper()));
        sum = sum + entry * (ball_[j] - point_[j]);
      }
      norm = std::max(norm, rowNorm);
      k_[i] = sum;
    }
    result.norm = std::isfinite(norm) ? norm : kInfinity;
    bool interior = true;
    for (std::size_t i = 0; i < n_; ++i) {
      if (!k_[i].Finite()) return result;
      if (!ball_[i].Overlaps(k_[i])) {
        result.test = Test::Excluded;
        return result;
      }
      interior = interior && ball_[i].ContainsInInterior(k_[i]);
    }
    result.k.resize(n_);
    for (std::size_t i = 0; i < n_; ++i) {
      result.k[i] = {k_[i].Lower(), k_[i].Upper()};
      if (!interior) result.k[i] = {std::max(result.k[i].lo, b[i].lo), std::min(result.k[i].hi, b[i].hi)};
    }
    result.test = interior ? Test::Unique : Test::Unknown;
    return result;
  }

  // Newton's method in doubles from c, in place, while J can be inverted.
  void Newton(std::vector<double>& c) {
    std::vector<double> f(n_);
    std::vector<double> jacobian(n_ * n_);
    std::vector<double> inverse;
    for (int step = 0; step < kNewtonSteps; ++step) {
      if (!system_.Evaluate(c, f, jacobian).ok || !detail::Inverse(jacobian, static_cast<int>(n_), inverse)) return;
      for (std::size_t i = 0; i < n_; ++i) {
        double d = 0;
        for (std::size_t m = 0; m < n_; ++m) d += inverse[i * n_ + m] * f[m];
        c[i] -= d;
      }
    }
  }

  // Newton steps whose residuals are the exact values at p (Arb at the
  // point, rounded once): where the root's coordinates are doubles, p lands
  // on them, which steps with rounded residuals often miss by a few units.
  void Refine(std::vector<double>& p) {
    std::vector<double> f(n_);
    std::vector<double> jacobian(n_ * n_);
    std::vector<double> inverse;
    for (int step = 0; step < kRefinements; ++step) {
      if (!system_.Evaluate(p, f, jacobian).ok || !detail::Inverse(jacobian, static_cast<int>(n_), inverse)) return;
      for (std::size_t j = 0; j < n_; ++j) point_[j] = Interval(p[j]);
      for (std::size_t i = 0; i < n_; ++i) {
        Interval v;
        if (!system_.EncloseEquation(static_cast<int>(i), point_, v, row_).ok) return;
        f[i] = (v.Lower() + v.Upper()) / 2;
      }
      for (std::size_t i = 0; i < n_; ++i) {
        double d = 0;
        for (std::size_t m = 0; m < n_; ++m) d += inverse[i * n_ + m] * f[m];
        p[i] -= d;
      }
    }
  }

  // Krawczyk's test says b holds exactly one root.
  bool ProvedUnique(const Box& b) {
    if (Enclose(b) != Enclosed::Smooth) return false;
    std::vector<double> y(n_);
    for (std::size_t j = 0; j < n_; ++j) y[j] = Middle(b[j]);
    return Krawczyk(b, y).test == Test::Unique;
  }

  // The enclosure k of the one root in `unique`, narrowed: Certify at the
  // Newton point proves a tight box around a root, and when that root is
  // shown to be this one (its box holds k, lies in `unique`, or both boxes
  // together hold one root) the two enclosures are cut to their common part.
  // Else Krawczyk's operator on k itself, again and again.
  Box Narrow(Box k, const Box& unique) {
    std::vector<double> c(n_);
    for (std::size_t j = 0; j < n_; ++j) c[j] = Middle(k[j]);
    Newton(c);
    bool finite = true;
    for (const double v : c) finite = finite && std::isfinite(v);
    if (finite) {
      const Certificate cert = Certify(system_, c);
      if (cert.outcome == CertifyOutcome::Certified &&
          (ContainsBox(cert.box, k) || ContainsBox(unique, cert.box) || ProvedUnique(HullOf(unique, cert.box)))) {
        Box cut(n_);
        bool empty = false;
        for (std::size_t j = 0; j < n_; ++j) {
          cut[j] = {std::max(k[j].lo, cert.enclosure[j].lo), std::min(k[j].hi, cert.enclosure[j].hi)};
          empty = empty || cut[j].lo > cut[j].hi;
        }
        if (!empty) return cut;
      }
    }
    for (int pass = 0; pass < kNarrowings; ++pass) {
      if (Enclose(k) != Enclosed::Smooth) break;
      std::vector<double> y(n_);
      for (std::size_t j = 0; j < n_; ++j) y[j] = Middle(k[j]);
      const KrawczykResult next = Krawczyk(k, y);
      if (next.k.empty()) break;
      bool narrower = false;
      for (std::size_t j = 0; j < n_; ++j) {
        const Bounds cut{std::max(k[j].lo, next.k[j].lo), std::min(k[j].hi, next.k[j].hi)};
        if (cut.lo > cut.hi) return k;  // cannot happen for a box holding a root; keep what is proved
        narrower = narrower || (cut.hi - cut.lo) < 0.5 * (k[j].hi - k[j].lo);
        k[j] = cut;
      }
      if (!narrower) break;
    }
    return k;
  }

  // Where the root of enclosure k (the only one in `unique`) lies. On the
  // edge, a point of the closed box where every equation is exactly 0 and
  // that lies in `unique` is that root.
  InBox Locate(const Box& k, const Box& unique) {
    bool inside = true;
    for (std::size_t j = 0; j < n_; ++j) {
      if (k[j].hi < searchBox_[j].lo || k[j].lo > searchBox_[j].hi) return InBox::Outside;
      inside = inside && k[j].lo >= searchBox_[j].lo && k[j].hi <= searchBox_[j].hi;
    }
    if (inside) return InBox::Inside;
    std::vector<double> p(n_);
    for (std::size_t j = 0; j < n_; ++j) p[j] = Middle(k[j]);
    Newton(p);
    Refine(p);
    for (std::size_t j = 0; j < n_; ++j) {
      if (!std::isfinite(p[j])) return InBox::OnEdge;
      p[j] = std::clamp(p[j], searchBox_[j].lo, searchBox_[j].hi);
    }
    // The doubles next to p within the enclosure are tried too: a root with
    // double coordinates is often missed by Newton's last step by one unit.
    std::vector<std::vector<double>> choices(n_);
    std::size_t combinations = 1;
    for (std::size_t j = 0; j < n_; ++j) {
      choices[j].push_back(p[j]);
      for (const double toward : {-kInfinity, kInfinity}) {
        const double next = std::nextafter(p[j], toward);
        if (next >= std::max(k[j].lo, searchBox_[j].lo) && next <= std::min(k[j].hi, searchBox_[j].hi)) {
          choices[j].push_back(next);
        }
      }
      combinations *= choices[j].size();
    }
    if (combinations > kMaxEdgePoints) {
      for (std::vector<double>& c : choices) c.resize(1);
      combinations = 1;
    }
    for (std::size_t index = 0; index < combinations; ++index) {
      std::size_t rest = index;
      for (std::size_t j = 0; j < n_; ++j) {
        p[j] = choices[j][rest % choices[j].size()];
        rest /= choices[j].size();
      }
      if (ZeroAt(p, unique)) return InBox::Inside;
    }
    return InBox::OnEdge;
  }

  // p lies in `unique` and every equation is exactly 0 there: p is its root.
  bool ZeroAt(std::span<const double> p, const Box& unique) {
    if (!ContainsPoint(unique, p)) return false;
    for (std::size_t j = 0; j < n_; ++j) point_[j] = Interval(p[j]);
    for (std::size_t i = 0; i < n_; ++i) {
      Interval v;
      const eval::EnclosureStatus s = system_.EncloseEquation(static_cast<int>(i), point_, v, row_);
      if (s.coverage > Coverage::NoSlope || !v.IsZero()) return false;
    }
    return true;
  }

  // The entry of a known root that is the root of (k, unique), or -1 for a
  // new one. Two enclosures that meet hold the same root when their hull
  // lies in a box proved to hold only one; when that is not shown, the
  // place is undecided and -2 is returned.
  int SameAsKnown(const Box& k, const Box& unique) {
    for (const Known& other : known_) {
      if (!Overlap(k, other.enclosure)) continue;
      const Box hull = HullOf(k, other.enclosure);
      if (ContainsBox(unique, hull) || ContainsBox(other.unique, hull)) return other.entry;
      const Box both = HullOf(unique, other.unique);
      if (ProvedUnique(both)) return other.entry;
      undecided_.push_back(both);
      return -2;
    }
    return -1;
  }

  // A root proved unique in `unique`, K its enclosure.
  void AddRoot(const Box& unique, const Box& k) {
    const Box enclosure = Narrow(k, unique);
    const int same = SameAsKnown(enclosure, unique);
    if (same != -1) return;
    ProvedRoot root;
    root.point.resize(n_);
    for (std::size_t j = 0; j < n_; ++j) root.point[j] = Middle(enclosure[j]);
    root.certificate.outcome = CertifyOutcome::Certified;
    root.certificate.enclosure = enclosure;
    root.certificate.box = unique;
    root.where = Locate(enclosure, unique);
    known_.push_back({enclosure, unique, static_cast<int>(report_.roots.size())});
    report_.roots.push_back(std::move(root));
  }

  bool Covered(const Box& b) const {
    for (const Known& k : known_) {
      if (ContainsBox(k.unique, b)) return true;
    }
    return false;
  }

  // Newton's method in doubles from the part's middle, then Krawczyk's test
  // on a box centred on where it went that holds the part: a root on or
  // near the part's faces is inside that box.
  Test Centred(const Box& b, std::span<const double> middle) {
    std::vector<double> c(middle.begin(), middle.end());
    Newton(c);
    Box centred(n_);
    for (std::size_t j = 0; j < n_; ++j) {
      const double half = std::max((b[j].hi - b[j].lo) / 2,
                                   kCentredFloor * std::max({std::fabs(c[j]), widths_[j], 1E-300}));
      if (!std::isfinite(c[j]) || std::fabs(c[j] - middle[j]) > kCentredDistance * half) return Test::Unknown;
      centred[j] = {std::min(b[j].lo, c[j] - kCentredReach * half), std::max(b[j].hi, c[j] + kCentredReach * half)};
    }
    const Enclosed e = Enclose(centred);
    if (e == Enclosed::Discard) return Test::Excluded;
    if (e != Enclosed::Smooth) return Test::Unknown;
    const KrawczykResult r = Krawczyk(centred, c);
    if (r.test == Test::Unique) AddRoot(centred, r.k);
    return r.test;
  }

  void Take(Box b) {
    if (Covered(b)) return;
    const Enclosed e = Enclose(b);
    if (e == Enclosed::Discard) return;
    // How far F moves across b along each unknown (the smear), for the split.
    std::vector<double> smear;
    if (e == Enclosed::Smooth) {
      smear.assign(n_, 0.0);
      for (std::size_t j = 0; j < n_; ++j) {
        for (std::size_t i = 0; i < n_; ++i) {
          const Interval& d = jacobian_[i * n_ + j];
          smear[j] += std::max(std::fabs(d.Lower()), std::fabs(d.Upper()));
        }
        smear[j] *= b[j].hi - b[j].lo;
      }
      std::vector<double> y(n_);
      for (std::size_t j = 0; j < n_; ++j) y[j] = Middle(b[j]);
      const KrawczykResult r = Krawczyk(b, y);
      if (r.test == Test::Excluded) return;
      if (r.test == Test::Unique) return AddRoot(b, r.k);
      if (r.norm < 1) {
        const Test aimed = Centred(b, y);
        if (aimed == Test::Excluded || aimed == Test::Unique) return;
      }
      if (RelativeWidth(b) < options_.singularWidth && !(r.norm < 0.5)) {
        undecided_.push_back(std::move(b));
        return;
      }
      if (!r.k.empty()) {
        bool gained = false;
        for (std::size_t j = 0; j < n_; ++j) {
          if (r.k[j].lo > r.k[j].hi) return;  // empty: no root
          gained = gained || (r.k[j].hi - r.k[j].lo) < (1 - kContractionGain) * (b[j].hi - b[j].lo);
        }
        if (gained) {
          work_.push_back(r.k);
          return;
        }
        b = r.k;
      }
    }
    if ((e == Enclosed::ValueOnly && opaque_ && RelativeWidth(b) < kOpaqueWidth) || !Split(b, smear)) {
      undecided_.push_back(std::move(b));
    }
  }

  double RelativeWidth(const Box& b) const {
    double widest = 0;
    for (std::size_t j = 0; j < n_; ++j) widest = std::max(widest, Relative(b[j], widths_[j]));
    return widest;
  }

  // Halves along the unknown F moves most across (else the widest relative
  // to the search box), unless it is narrower than minWidth or the widest is
  // far wider; false when no unknown can be split.
  bool Split(const Box& b, const std::vector<double>& smear) {
    int chosen = -1;
    int widest = -1;
    for (std::size_t j = 0; j < n_; ++j) {
      const double relative = Relative(b[j], widths_[j]);
      const double m = Middle(b[j]);
      if (!(relative > options_.minWidth) || !(m > b[j].lo && m < b[j].hi)) continue;
      if (widest < 0 || relative > Relative(b[widest], widths_[widest])) widest = static_cast<int>(j);
      const bool better = chosen < 0 || (!smear.empty() && std::isfinite(smear[j]) && smear[j] > smear[chosen]);
      if (better) chosen = static_cast<int>(j);
    }
    if (chosen < 0) return false;
    // The smear may starve an unknown F hardly moves along; not for long.
    constexpr double kStarved = 64;
    if (smear.empty() || !std::isfinite(smear[chosen]) ||
        Relative(b[widest], widths_[widest]) > kStarved * Relative(b[chosen], widths_[chosen])) {
      chosen = widest;
    }
    const auto j = static_cast<std::size_t>(chosen);
    const double m = Middle(b[j]);
    Box low = b;
    Box high = b;
    low[j].hi = m;
    high[j].lo = m;
    work_.push_back(std::move(high));
    work_.push_back(std::move(low));
    return true;
  }

  // A search root the proof certified but Certify did not takes that
  // certificate; the root then is no longer one the proof found alone.
  void AttachSearchRoots(std::span<const std::vector<double>> points) {
    const std::size_t searchCount = points.size();
    std::vector<int> matchedBy(report_.roots.size(), -1);
    for (std::size_t s = 0; s < searchCount; ++s) {
      ProvedRoot& root = report_.roots[s];
      if (root.certificate.outcome == CertifyOutcome::Certified) continue;
      for (const Known& k : known_) {
        if (static_cast<std::size_t>(k.entry) < searchCount || !ContainsPoint(k.unique, root.point) ||
            !Near(k.enclosure, root.point)) {
          continue;
        }
        const ProvedRoot& found = report_.roots[static_cast<std::size_t>(k.entry)];
        root.certificate = found.certificate;
        root.where = found.where;
        if (matchedBy[k.entry] < 0) {
          matchedBy[k.entry] = static_cast<int>(s);
        } else {
          root.sameAs = matchedBy[k.entry];
        }
        break;
      }
    }
    std::vector<ProvedRoot> kept;
    for (std::size_t e = 0; e < report_.roots.size(); ++e) {
      if (e >= searchCount && matchedBy[e] >= 0) continue;
      kept.push_back(std::move(report_.roots[e]));
    }
    report_.roots = std::move(kept);
  }

  // Touching undecided parts become their hull (a hull claims nothing the
  // parts did not leave open); smallest first.
  void JoinUndecided() {
    std::vector<Box> parts = std::move(undecided_);
    if (parts.size() <= kMaxJoined) {
      std::vector<std::size_t> parent(parts.size());
      std::iota(parent.begin(), parent.end(), std::size_t{0});
      auto find = [&](std::size_t a) {
        while (parent[a] != a) a = parent[a] = parent[parent[a]];
        return a;
      };
      for (std::size_t a = 0; a < parts.size(); ++a) {
        for (std::size_t b = a + 1; b < parts.size(); ++b) {
          if (Overlap(parts[a], parts[b])) parent[find(a)] = find(b);
        }
      }
      std::vector<Box> joined;
      std::vector<int> slot(parts.size(), -1);
      for (std::size_t a = 0; a < parts.size(); ++a) {
        const std::size_t root = find(a);
        if (slot[root] < 0) {
          slot[root] = static_cast<int>(joined.size());
          joined.push_back(parts[a]);
        } else {
          Box& into = joined[static_cast<std::size_t>(slot[root])];
          into = HullOf(into, parts[a]);
        }
      }
      parts = std::move(joined);
    }
    std::stable_sort(parts.begin(), parts.end(),
                     [&](const Box& a, const Box& b) { return RelativeWidth(a) < RelativeWidth(b); });
    report_.undecided = std::move(parts);
  }

  eval::CompiledSystem& system_;
  const ProveOptions& options_;
  ProveReport& report_;
  std::size_t n_;
  Box searchBox_;
  std::vector<double> widths_;
  Clock::time_point start_;
  std::vector<Box> work_;
  std::vector<Box> undecided_;
  std::vector<Known> known_;
  // Scratch space.
  std::vector<Interval> ball_;
  std::vector<Interval> point_;
  std::vector<Interval> values_;
  std::vector<Interval> jacobian_;
  std::vector<Interval> row_;
  std::vector<Interval> fy_;
  std::vector<Interval> k_;
  std::vector<double> c_;
  bool opaque_ = false;  // the last Enclose met an equation it cannot enclose at all
};

}  // namespace

ProveReport ProveRoots(eval::CompiledSystem& system, std::span<const Bounds> box,
                       std::span<const std::vector<double>> searchRoots, const ProveOptions& options) {
  const auto start = Clock::now();
  ProveReport report;
  const auto n = static_cast<std::size_t>(system.Dimension());
  auto refuse = [&](ProveStop stop) {
    report.stop = stop;
    for (std::size_t s = 0; s < searchRoots.size(); ++s) {
      ProvedRoot root;
      root.point = searchRoots[s];
      root.searchIndex = static_cast<int>(s);
      root.certificate.outcome = CertifyOutcome::NotSquare;
      report.roots.push_back(std::move(root));
    }
    return report;
  };
  if (system.Count() != system.Dimension() || n == 0) return refuse(ProveStop::NotSquare);
  assert(box.size() == n);
  for ([[maybe_unused]] const std::vector<double>& p : searchRoots) assert(p.size() == n);
  bool goodBox = true;
  for (const Bounds& b : box) goodBox = goodBox && std::isfinite(b.lo) && std::isfinite(b.hi) && b.lo <= b.hi;
  if (!goodBox) {
    // Each search root is still certified on its own; where it lies is not asked.
    report.stop = ProveStop::BadBox;
    for (std::size_t s = 0; s < searchRoots.size(); ++s) {
      ProvedRoot root;
      root.point = searchRoots[s];
      root.searchIndex = static_cast<int>(s);
      root.certificate = Certify(system, root.point);
      root.where = InBox::OnEdge;
      report.roots.push_back(std::move(root));
    }
    return report;
  }
  Prover prover(system, box, options, report);
  prover.CertifySearchRoots(searchRoots);
  prover.BranchAndPrune();
  prover.Finish(searchRoots);
  report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return report;
}

}  // namespace robust
