// Methods beyond Newton for F(x) = 0: Powell's hybrid (dogleg trust region)
// and Levenberg-Marquardt from MINPACK, the `auto` strategy that tries both
// and then restarts from perturbed starts, and a verdict computed by
// evaluating F again at the answer, never taken from the library's flag.
// The verdict follows the equations' own scale: a root is a point where each
// |F_i| is within a few times what rounding alone can make of an exact zero
// there, so multiplying an equation by 1E-12 or 1E+8 does not change it.
//
//   robust::Options options;             // documented defaults below
//   robust::Report report = robust::Solve(options, residuals, start);
//   if (report.verdict == robust::Verdict::Root) ...
//
// Equation and unknown indices are 0-based here; the user sees them 1-based.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace robust {

// What one evaluation of the equations found.
struct EvaluationStatus {
  // The equation whose value (or a derivative of it) could not be computed or
  // is not a finite number; -1 when every value is finite.
  int failedEquation = -1;
  bool Ok() const { return failedEquation < 0; }
};

// The equations F: R^n -> R^n at full precision, with their exact Jacobian.
class Residuals {
 public:
  virtual ~Residuals() = default;
  virtual int Count() const = 0;  // n, the number of equations and of unknowns
  // f receives F(x) (n values). jacobianRowMajor is empty when only F is
  // wanted, else it has n*n entries and receives dF_i/dx_j at [i*n + j].
  // Report a failing equation through the status; values that come back
  // non-finite are treated as failures of their equation anyway.
  virtual EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                                    std::span<double> jacobianRowMajor) = 0;
  // Whether EvaluateWithBounds can bound the rounding error of F; false
  // unless overridden, and then the verdict is the absolute test.
  virtual bool ProvidesBounds() const { return false; }
  // F and J (n*n entries, never empty) as Evaluate gives them and, in bounds
  // (n values), a bound on each F_i's rounding error at x: the exact equation
  // at the doubles x lies within bounds[i] of f[i]. Infinite where no bound is
  // known, which is all this default can say.
  virtual EvaluationStatus EvaluateWithBounds(std::span<const double> x, std::span<double> f,
                                              std::span<double> jacobianRowMajor, std::span<double> bounds) {
    for (double& bound : bounds) bound = std::numeric_limits<double>::infinity();
    return Evaluate(x, f, jacobianRowMajor);
  }
};

// The Jacobian's nonzero pattern, rows compressed: row i's columns are
// columns[rowStart[i]] up to columns[rowStart[i + 1]] (excluded), ascending.
struct SparsityPattern {
  std::vector<std::size_t> rowStart;  // Count() + 1 entries
  std::vector<std::uint32_t> columns;
  std::size_t Nonzeros() const { return columns.size(); }
};

// Equations that know which unknowns each one uses: the sparse method's
// road, whose memory and time grow with the nonzeros of J, not with n^2.
class SparseResiduals : public Residuals {
 public:
  virtual const SparsityPattern& Pattern() const = 0;
  // F into f and J's nonzeros, in the pattern's order, into values (empty
  // when only F is wanted); bounds, when not empty (Count() values), receives
  // each F_i's rounding-error bound as EvaluateWithBounds gives it.
  virtual EvaluationStatus EvaluateSparse(std::span<const double> x, std::span<double> f,
                                          std::span<double> values, std::span<double> bounds) = 0;
};

// The absolute tolerance max|F_i| <= ftol, used when the user asks for it
// (Options::ftol) and where the equations cannot bound their rounding error.
inline constexpr double kDefaultFtol = 1E-10;

// Which test decided whether a point is a root.
enum class RootTest : unsigned char {
  Scaled,    // each |F_i| within a small multiple of its rounding-error bound there (Verdict.h)
  Absolute,  // max |F_i| <= ftol
};

// The root test at one point, from a fresh evaluation.
struct RootCheck {
  RootTest test = RootTest::Absolute;
  // Per equation, what |F_i| was compared with: under Scaled the multiple
  // of the rounding that F_i's evaluation and the coordinates' rounding can
  // produce at the point, under Absolute the tolerance. Empty when F could
  // not be evaluated.
  std::vector<double> residualBounds;
  // max over i of |F_i| / residualBounds[i]: the point is a root iff at most
  // 1; infinite when F cannot be evaluated.
  double worstRatio = std::numeric_limits<double>::infinity();
  int worstEquation = -1;  // 0-based, the equation of worstRatio
};

enum class Method {
  Hybrid,              // MINPACK hybrj: Powell's dogleg trust region, Broyden updates
  LevenbergMarquardt,  // MINPACK lmder: trust-region Levenberg-Marquardt
  Auto,                // hybrid, then lm, then both from perturbed starts; sparse
                       // for a large, sparse or bounded system (ChooseMethod)
  Sparse,              // Ceres Solver: trust-region Levenberg-Marquardt over the
                       // Jacobian's nonzeros, sparse Cholesky; bounds on the unknowns
};

// An interval of one unknown: a box's side, or its bounds (infinite for an
// open side).
struct Bounds {
  double lo = 0;
  double hi = 0;
};

// Where an answer touches the bounds.
struct BoundContact {
  int unknown = 0;     // 0-based
  bool upper = false;  // at its upper bound, else at its lower one
  double bound = 0.0;
};

// One accepted point of a run, as Options::observer sees it.
struct Iterate {
  Method method = Method::Hybrid;  // the run's method (never Auto)
  int run = 1;                     // 1-based, over the whole solve
  int startIndex = 1;              // 1-based: the start the run began from
  int step = 0;                    // 0 for the run's start, then 1, 2, ... per accepted point
  std::span<const double> x;       // valid during the call only
  double maxAbsResidual = 0.0;     // max|F_i| at x
};

struct Options {
  Method method = Method::Auto;
  // Not given: a root is a point where each |F_i| is within a few times the
  // rounding error its evaluation and the rounding of x can make there
  // (RootTest::Scaled), where the equations can bound it (otherwise, and
  // where a bound is not known at the point, max|F_i| <= kDefaultFtol).
  // Given: a root is a point where max|F_i| <= ftol.
  std::optional<double> ftol{};
  // Under the scaled test, Newton steps with the exact Jacobian that the
  // verdict may take from a run's end point towards a root it does not pass
  // yet (the library stops a few units in the last place short of the
  // double nearest a simple root, and further from a multiple one); each
  // step is one evaluation of F and J beyond maxEvaluations, and they go on
  // only while each one shrinks |F_i| against its bound and the time lasts.
  int polishSteps = 64;
  // A least-squares minimum is a point where every column of J makes an
  // angle with F whose cosine is at most this (the gradient J^T F of the sum
  // of squares vanishes relative to |J_j| |F|; independent of scale).
  double gradientTolerance = 1E-6;
  // Relative step size at which the library's own iteration stops (MINPACK's
  // xtol); small, because the verdict, not the library, decides.
  double stepTolerance = 1E-13;
  // Budgets over the whole solve, all starts together. Evaluations count
  // calls of Residuals::Evaluate, with or without the Jacobian.
  long maxEvaluations = 20000;
  // Wide enough for the sparse method on 10^5 unknowns (a 316 x 316 grid
  // takes about 10 s); the evaluation budget ends small systems far sooner.
  double maxSeconds = 60.0;
  // `auto`: starts tried at most, the given start included, and the
  // evaluations one run may spend, per unknown plus one (MINPACK's own
  // default is 100), so that one creeping run cannot use up the budget.
  int maxStarts = 40;
  int runShare = 100;
  // `auto`: seeds the perturbed starts; the same seed gives the same run.
  std::uint64_t seed = 1;
  // A Jacobian whose condition estimate (unknowns scaled to unit columns)
  // reaches this is near-singular: about half the digits of a solve are lost.
  double nearSingularCondition = 1E8;
  // Called with each run's start and each point the run accepts (a step that
  // lowered the residual), in order; empty for none. Watching changes nothing
  // in the runs: no evaluation is added.
  std::function<void(const Iterate&)> observer{};
  // Bounds on the unknowns: empty for none, else one range per unknown
  // (infinite sides open). Only the sparse method takes them; `auto` and the
  // MINPACK methods hand a bounded system to it. A start outside is moved
  // just inside its nearer bound (by 1E-3 (1 + |bound|), at most half the
  // range), and every point tried lies inside.
  std::vector<Bounds> bounds{};
  // `auto` chooses the sparse method for more unknowns than this, or from
  // this many on when at most a quarter of J's entries can be nonzero.
  int sparseFromUnknowns = 100;
  int sparseWhenSparseFrom = 11;
  // The sparse method's direct factorization of J^T J may take at most this
  // many bytes (its fill is measured before the solve) and the work below;
  // beyond either the method
  // solves each step by conjugate gradients on the normal equations, whose
  // memory grows with the nonzeros only. The verdict's LU of J, for the
  // condition and the final Newton steps, keeps the same budget.
  double factorBudgetBytes = 1024.0 * 1024.0 * 1024.0;
  // ... and at most this many floating-point operations per factorization
  // (a 316 x 316 grid takes 3E+9; a random pattern of 20000 unknowns, three
  // per equation, 6E+10).
  double factorBudgetFlops = 1E10;
  // Called after each iteration of the sparse method (accepted or not), for
  // progress: the iteration, max|F| at the current point, the step's length
  // and the seconds since the solve began.
  std::function<void(int iteration, double maxAbsResidual, double stepNorm, double seconds)> progress{};
  // A request to stop: when it points at a non-zero value, the solve ends at
  // the next evaluation (polled before each one) and reports its best point so
  // far, checked as usual. nullptr for none; the atomic must outlive the call.
  const std::atomic<int>* stop = nullptr;
};

enum class Verdict {
  Root,                 // the root test passes at the answer, checked by a fresh evaluation
  LeastSquaresMinimum,  // no root: the sum of squares is stationary where the root test fails
  LimitReached,         // no root: a budget ran out or the methods stopped making progress
  EvaluationFailure,    // F (or J) cannot be evaluated: at the start, or at the last point
};

// Why the run that produced the answer ended.
enum class StopReason {
  MethodFinished,      // the library stopped by its own tests
  RunShare,            // `auto`: the run spent its share of the evaluations
  EvaluationBudget,    // maxEvaluations spent
  TimeBudget,          // maxSeconds spent
  StartFailure,        // F or J fails at the given start
  JacobianFailure,     // J fails at a point where F is defined; the run could not go on
  Interrupted,         // Options::stop asked the solve to end
};

struct Report {
  Verdict verdict = Verdict::EvaluationFailure;
  StopReason stopReason = StopReason::StartFailure;
  Method method = Method::Hybrid;  // the method whose run produced x (never Auto)
  int startsTried = 0;             // the given start is start 1
  int startIndex = 0;              // 1-based: the start x was reached from
  int iterations = 0;              // trial steps, all runs together
  long functionEvaluations = 0;    // calls for F alone
  long jacobianEvaluations = 0;    // calls for F and J together
  int failedTrials = 0;            // trial points where F failed (rejected steps)
  double seconds = 0.0;
  std::vector<double> x;           // the answer (the start when it fails there)
  std::vector<double> residuals;   // F at x from the fresh evaluation; NaN where undefined
  double maxAbsResidual = 0.0;     // max|F_i| at x; infinite when F fails there
  double gradientCosine = 0.0;     // max over j of |J_j . F| / (|J_j| |F|) at x
  // 1-norm condition of J at x with each unknown measured relative to
  // max(|x_j|, 1), so a derivative that vanishes at a multiple root shows;
  // may be infinite.
  double conditionEstimate = 0.0;
  bool nearSingular = false;       // conditionEstimate >= Options::nearSingularCondition
  int failedEquation = -1;         // for EvaluationFailure: the equation that failed
  // `auto`: F or J could not be evaluated at the given start, so the answer
  // (if any) comes from a perturbed start; the equation that failed there.
  bool givenStartFailed = false;
  int givenStartFailedEquation = -1;
  bool interrupted = false;        // Options::stop ended the solve early
  RootCheck rootCheck;             // the root test at x, from the fresh evaluation
  // The unknowns at one of their bounds at x (Options::bounds), in order.
  std::vector<BoundContact> onBound;
  // The start was outside the bounds and was moved just inside them.
  bool startMovedInside = false;
  // The sparse method: false when the factors for the condition estimate
  // would exceed Options::factorBudgetBytes or factorBudgetFlops
  // (conditionEstimate is then NaN).
  bool conditionEstimated = true;
};

// The method `auto` runs for residuals of this size and pattern (null:
// dense) under these options: Sparse for bounds or a large or sparse
// system, else Auto's own hybrid and lm.
Method ChooseMethod(const Options& options, int unknowns, const SparsityPattern* pattern);

// Solves F(x) = 0 from start (residuals.Count() values). Never throws for a
// failing equation; a start of the wrong size gives EvaluationFailure.
Report Solve(const Options& options, Residuals& residuals, std::span<const double> start);

// Names as the command line spells them ("hybrid", "lm", "auto"; verdicts
// "root", "no root found: least-squares minimum", "limit reached",
// "evaluation failure").
std::string_view MethodName(Method method);
// A number as the sentences write it: three digits, "8.88E-16", "infinite", "undefined".
std::string ShortNumber(double value);
std::string_view VerdictName(Verdict verdict);
std::string_view StopReasonName(StopReason reason);
// One sentence in words saying what the report means.
std::string Summary(const Report& report);

}  // namespace robust
