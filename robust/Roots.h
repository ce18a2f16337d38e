// The root search: every root the methods can reach in a box the user names.
// Starts from a Halton sequence over the box are each solved by the robust
// methods (hybrid, then Levenberg-Marquardt); a start whose run comes back to
// a known root, or to none, is solved again with the known roots deflated
// away (Deflation.h). Every candidate is polished on the undeflated system,
// verified by a fresh evaluation (the root test of Solve) and compared with
// the known roots at a distance scaled to their size. The search never claims
// to be complete: it reports what it found with how many starts, and how many
// roots the starts' evidence suggests it has not found.
//
//   robust::RootsOptions options;          // documented defaults below
//   options.box = {{-2, 2}, {-2, 2}};
//   robust::RootsReport report = robust::FindRoots(options, residuals);
//   for (const robust::FoundRoot& root : report.roots) ...
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Robust.h"

namespace robust {

struct RootsProgress {
  int startsDone = 0;
  int startsPlanned = 0;  // with the default, the rounds begun
  int roots = 0;  // in the box and outside it
};

struct RootsOptions {
  // One interval per unknown (lower, upper), lower < upper. Empty: around
  // `start` when it is given (start_i -/+ max(10, |start_i|)), else -10:10.
  std::vector<std::pair<double, double>> box;
  // The typed start; when given it is start 1, before the sequence.
  std::vector<double> start;
  // Starts tried. 0: rounds of DefaultStarts(n) starts, another round while
  // the last one found a root in the box that was not known or the starts'
  // evidence says roots are still unseen (UnseenEstimate::roots at least
  // kUnseenToGoOn), 16 rounds at most, within maxSeconds.
  int starts = 0;
  // Shifts the Halton sequence (a Cranley-Patterson rotation); the same seed
  // gives the same starts, hence the same roots unless the time budget stops.
  std::uint64_t seed = 1;
  // The whole search stops after this many seconds, between or within runs.
  double maxSeconds = 30.0;
  // The root test, by a fresh evaluation, as Options::ftol: not given, each
  // |F_i| within a few times what rounding makes there (max|F_i| <= 1E-10
  // where the equations cannot bound their rounding); given, max|F_i| <= ftol.
  std::optional<double> ftol{};
  // Evaluations one start's run (hybrid, then lm) may spend, per unknown plus one.
  int runShare = 100;
  // Deflated runs tried from one start at most (each after a success), and
  // the evaluations one of them may spend, per unknown plus one.
  bool deflate = true;
  int deflationsPerStart = 2;
  int deflatedRunShare = 50;
  // The deflation factor 1/||x - r||^power + shift, distances in units of
  // this fraction of the box's width in each unknown.
  double deflationPower = 2.0;
  double deflationShift = 1.0;
  double deflationUnit = 0.25;
  // Two verified roots are the same when their max-norm distance is at most
  // sameRoot * (1 + the larger max-norm), or at most mergeRoot * (1 + ...)
  // with the midpoint a root too (the points a double root scatters over).
  double sameRoot = 1E-6;
  double mergeRoot = 1E-2;
  // A Jacobian whose condition estimate reaches this is near-singular.
  double nearSingularCondition = 1E8;
  // A verified root where the Jacobian's numerical rank is below n (columns
  // scaled to unit length, singular values at most rankTolerance times the
  // largest count as zero) may lie on
  // a curve or surface of roots. Once several such roots were found and a step
  // along the Jacobian's null direction from one of them, corrected by the
  // methods, reaches another such root, the roots are not isolated: the search
  // stops deflating them and lists at most listedSetPoints of them.
  double rankTolerance = 1E-8;
  int listedSetPoints = 20;
  // Called after each start; empty for none.
  std::function<void(const RootsProgress&)> progress;
  // A request to stop: when it points at a non-zero value the search ends at
  // the next evaluation and reports the roots found so far. nullptr for none;
  // the atomic must outlive the call.
  const std::atomic<int>* stop = nullptr;
};

struct FoundRoot {
  std::vector<double> x;
  double maxAbsResidual = 0.0;  // fresh evaluation at x
  int starts = 0;               // starts whose runs (plain or deflated) reached it
  // 1-norm condition estimate of J at x, each unknown measured relative to
  // max(|x_j|, min(1, half the box's width in it)), so that a derivative
  // vanishing at a multiple root shows; may be infinite.
  double condition = 0.0;
  bool nearSingular = false;
  bool byDeflation = false;     // first reached by a deflated run
  int rank = 0;                 // numerical rank of J at x (RootsOptions::rankTolerance); n when regular
  bool onSet = false;           // one of the points of RootsReport::notIsolated
  RootCheck rootCheck;          // the root test at x: which test, each equation's bound, the worst ratio
};

// Go on with another round while at least this many roots are estimated unseen.
inline constexpr double kUnseenToGoOn = 0.5;

// What the starts that reached a root in the box say about roots not found
// yet, as species-richness estimators reason: roots reached by one start
// (singletons) are the evidence of roots reached by none.
struct UnseenEstimate {
  int startsAtRoots = 0;  // N: starts (plain or deflated runs) that reached an isolated root in the box
  int singletons = 0;     // f1: such roots reached by exactly one start
  int doubletons = 0;     // f2: ... by exactly two
  // Chao1: f1^2 / (2 f2), or f1 (f1 - 1) / 2 when f2 = 0 (bias-corrected).
  double roots = 0.0;
  // Good-Turing: f1 / N, the probability that the next start reaching a
  // root reaches a new one; 0 when no start reached a root (N = 0).
  double newRootProbability = 0.0;
};

// The estimate from each root's count of starts.
UnseenEstimate EstimateUnseen(std::span<const int> startsPerRoot);

// Roots that lie on a curve or surface of roots rather than apart.
struct NotIsolatedRoots {
  int rank = 0;         // the Jacobian's numerical rank at them (the largest seen), below n
  int points = 0;       // verified roots found on the set, in the box and outside it
  std::vector<std::vector<double>> samples;  // a few of them, spread over the set
};

struct RootsReport {
  std::vector<FoundRoot> roots;       // in the box, sorted by x (lexicographic)
  std::vector<FoundRoot> outsideBox;  // reached from the box but outside it, sorted the same way
  std::vector<std::pair<double, double>> box;  // the box searched
  int startsPlanned = 0;  // with the default, the rounds begun
  int startsDone = 0;
  long evaluations = 0;  // calls of Residuals::Evaluate, all runs and checks together
  double seconds = 0.0;
  bool budgetReached = false;  // the time budget stopped the search before every start was done
  int startsFailed = 0;        // starts where F or J cannot be evaluated (skipped)
  bool interrupted = false;    // RootsOptions::stop ended the search; the roots are those found so far
  // Set when the roots found are not isolated; roots and outsideBox then hold
  // at most RootsOptions::listedSetPoints of its points (onSet), spread over it.
  std::optional<NotIsolatedRoots> notIsolated;
  UnseenEstimate unseenEstimate;  // at the end of the search, over the isolated roots in the box
};

// 32 starts per unknown, at most 4096.
int DefaultStarts(int n);

// The box the search uses for these options (the default when none is given);
// empty when options.box or options.start has the wrong size.
std::vector<std::pair<double, double>> SearchBox(const RootsOptions& options, int n);

// What is wrong with the options for n unknowns, or an empty text.
std::string RootsOptionsProblem(const RootsOptions& options, int n);

// Searches the box; never throws for a failing equation. Options with a
// problem give an empty report.
RootsReport FindRoots(const RootsOptions& options, Residuals& residuals);

// "found 4 roots in the box with 64 starts (each within its rounding bound
// at the equations' scale); no unseen root is likely", with what stopped the
// search early and the roots outside the box. Without the unseen estimate
// when a proof of completeness speaks instead.
std::string RootsSummary(const RootsReport& report, double maxSeconds, bool withUnseenEstimate = true);

// Point k (1-based) of the Halton sequence in [0, 1)^n, each coordinate
// shifted by shift[j] modulo 1.
void HaltonPoint(long k, std::span<const double> shift, std::span<double> point);

}  // namespace robust
