// What is true at a point, from a fresh evaluation: the residuals, whether
// the gradient of the sum of squares vanishes, and the Jacobian's condition.
#pragma once

#include <limits>
#include <span>
#include <vector>

#include "Minpack.h"

namespace robust::detail {

struct PointCheck {
  std::vector<double> f;       // NaN where F could not be evaluated
  bool functionOk = false;
  bool jacobianOk = false;
  int failedEquation = -1;
  double maxAbs = std::numeric_limits<double>::infinity();
  double gradientCosine = std::numeric_limits<double>::infinity();  // max_j |J_j . F| / (|J_j| |F|); 0 at F = 0
  double condition = std::numeric_limits<double>::infinity();
};

// Evaluates F and J at x once (F alone a second time when that fails).
PointCheck CheckPoint(Residuals& residuals, std::span<const double> x, Budget& budget);

// 1-norm condition estimate of the n x n row-major matrix after scaling each
// column to largest magnitude 1 (so the unknowns' units do not matter): LU
// with partial pivoting and Hager's estimate of the inverse's norm. Infinite
// for a zero column or an exactly singular factor.
double ConditionEstimate(std::span<const double> matrixRowMajor, int n);

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

enum class RootTest : unsigned char {
  Scaled,    // the test above
  Absolute,  // max |F_i| <= ftol, the fixed tolerance the solvers report against
};

struct RootTestOptions {
  RootTest test = RootTest::Scaled;
  double ftol = 1E-10;  // Absolute only
  double multiple = kRootErrorMultiple;  // Scaled only
};

struct RootVerdict {
  bool root = false;
  bool boundsKnown = true;  // false when a bound or a slope is not finite (Scaled never passes then)
  int worstEquation = -1;   // the equation furthest over (or nearest to) its threshold
  double worstRatio = std::numeric_limits<double>::infinity();  // its |F_i| / threshold_i; root iff <= 1
};

// f and bounds: Count() values; jacobianRowMajor: Count() x x.size().
RootVerdict ScaledRootTest(std::span<const double> f, std::span<const double> jacobianRowMajor,
                           std::span<const double> bounds, std::span<const double> x,
                           const RootTestOptions& options = {});

}  // namespace robust::detail
