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

}  // namespace robust::detail
