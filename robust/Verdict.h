// What is true at a point, from a fresh evaluation: the residuals, whether
// the gradient of the sum of squares vanishes, and the Jacobian's condition.
#pragma once

#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "Minpack.h"

namespace robust::detail {

struct PointCheck {
  std::vector<double> f;       // NaN where F could not be evaluated
  std::vector<double> jacobian;  // row-major n x n when jacobianOk, else empty
  bool functionOk = false;
  bool jacobianOk = false;
  int failedEquation = -1;
  double maxAbs = std::numeric_limits<double>::infinity();
  double gradientCosine = std::numeric_limits<double>::infinity();  // max_j |J_j . F| / (|J_j| |F|); 0 at F = 0
  double condition = std::numeric_limits<double>::infinity();       // ConditionAt
  RootCheck rootCheck;
  bool root = false;           // the root test passes
  // The sparse road: false when the LU for the condition would not fit its
  // budget (condition is then NaN).
  bool conditionEstimated = true;
};

// How CheckPoint judges a point.
struct CheckOptions {
  // Given: max|F_i| <= *ftol decides. Not given: the scaled test, where the
  // residuals bound their rounding and every bound is known at the point;
  // elsewhere max|F_i| <= kDefaultFtol.
  std::optional<double> ftol;
  // The condition's unit of each unknown (ConditionAt); empty: 1 for each.
  std::vector<double> typicalSize;
  // Under the scaled test, Newton steps (exact J, LU with partial pivoting)
  // that CheckPoint may take from a point the test does not pass yet,
  // each one evaluation of F and J; a step counts only while it at least
  // halves the worst ratio, and the point moves only to one that passes.
  // The rounds of a multiple root, which converge linearly, need the most.
  int polishSteps = 0;
};

// Evaluates F and J at x once (F alone a second time when that fails), with
// the rounding-error bounds when the scaled test applies, and judges the
// point; with polishSteps, x may move to a nearby point that passes, within
// the budget's time and stop request.
PointCheck CheckPoint(Residuals& residuals, std::vector<double>& x, Budget& budget, const CheckOptions& options = {});

// The root test from one evaluation: f, bounds (Count() values) and J
// (row-major) at x. Absolute with *ftol when given; else Scaled when every
// bound and slope is finite, Absolute with kDefaultFtol when not.
RootCheck JudgeRoot(std::span<const double> f, std::span<const double> jacobianRowMajor,
                    std::span<const double> bounds, std::span<const double> x, std::optional<double> ftol);
inline bool Passes(const RootCheck& check) { return check.worstRatio <= 1; }

// The 1-norm condition estimate of J at x with each unknown measured in units
// of max(|x_j|, typicalSize_j): column j scaled by that length. Unlike
// scaling each column to unit size, a column that nearly vanishes at a
// multiple root stays small (the condition of (x-1)^2, y-1 near (1, 1) is
// large), while unknowns larger than their typical size keep their units out
// of it (below it, the typical size is the unit).
double ConditionAt(std::span<const double> jacobianRowMajor, int n, std::span<const double> x,
                   std::span<const double> typicalSize);

// 1-norm condition estimate of the n x n row-major matrix after scaling each
// column to largest magnitude 1 (so the unknowns' units do not matter): LU
// with partial pivoting and Hager's estimate of the inverse's norm. Infinite
// for a zero column or an exactly singular factor.
double ConditionEstimate(std::span<const double> matrixRowMajor, int n);

// Hager's estimate of |A^-1|_1 for an n x n matrix A, with Higham's
// alternating vector against its blind spots, from solves y := A^-1 y
// (transpose false) or A^-T y by `solve`; infinite when a solve fails.
double InverseNormEstimate(int n, const std::function<bool(std::vector<double>& y, bool transpose)>& solve);

// max over columns of |J_j . f| / (|J_j| |f|), computed without overflow;
// columns that are zero count as 0.
double GradientCosine(std::span<const double> jacobianRowMajor, std::span<const double> f);

double MaxAbs(std::span<const double> values);

// The numerical rank of the n x n row-major matrix with its columns scaled
// to unit length: the number of singular values (one-sided Jacobi) above
// relativeTolerance times the largest. When nullVector is given it receives a unit right singular vector
// of the smallest singular value (a direction the matrix nearly annihilates).
int NumericalRank(std::span<const double> matrixRowMajor, int n, double relativeTolerance,
                  std::vector<double>* nullVector = nullptr);

// Whether x is a root at the equations' own scale. Equation i passes when
//   |F_i| <= kRootErrorMultiple * (bound_i + sum_j |dF_i/dx_j| |x_j| u),   u = 2^-53:
// its value is within a few times what rounding can make of an exact zero,
// both in evaluating F_i (bound_i, from CompiledSystem's bounded Evaluate)
// and in writing x as doubles (one rounding of each coordinate moves F_i by
// about |dF_i/dx_j| |x_j| u). Multiplying every equation by a constant moves
// both sides alike, so the verdict does not depend on the equations' scale.
// K = 4: the bounds are already worst cases (with their safety factor), and
// a point within two units in the last place of the exact root passes (the
// double nearest it is within half of one), while a point a few hundred
// units away does not.
inline constexpr double kRootErrorMultiple = 4;

using RootTest = robust::RootTest;

struct RootTestOptions {
  RootTest test = RootTest::Scaled;
  double ftol = kDefaultFtol;  // Absolute only
  double multiple = kRootErrorMultiple;  // Scaled only
};

struct RootVerdict {
  bool root = false;
  bool boundsKnown = true;  // false when a bound or a slope is not finite (Scaled never passes then)
  int worstEquation = -1;   // the equation furthest over (or nearest to) its threshold
  double worstRatio = std::numeric_limits<double>::infinity();  // its |F_i| / threshold_i; root iff <= 1
};

// f and bounds: Count() values; jacobianRowMajor: Count() x x.size().
// thresholds, when not empty (Count() values), receives what each |F_i| was
// compared with.
RootVerdict ScaledRootTest(std::span<const double> f, std::span<const double> jacobianRowMajor,
                           std::span<const double> bounds, std::span<const double> x,
                           const RootTestOptions& options = {}, std::span<double> thresholds = {});

}  // namespace robust::detail
