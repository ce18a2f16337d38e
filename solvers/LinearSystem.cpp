// Gaussian elimination with partial pivoting and back substitution on an
// augmented matrix. The loops and the order of every operation follow the
// solver the logs are compared against, so keep them as they are: a
// different summation order changes the last digit of Newton's corrections.
#include <cmath>
#include <stdexcept>
#include <utility>

#include "Solvers.h"

namespace solvers {

namespace {

// Below this a pivot, a multiplier or the last diagonal entry counts as zero.
constexpr double kNegligible = 1E-20;

constexpr std::string_view kNoSolution = "LINEAR SYSTEM HAS NO SOLUTION";

}  // namespace

LinearStatus EliminateAndSolve(std::int16_t n, std::int16_t m, Matrix& a, std::vector<double>& x) {
  // Column m is the right-hand side, so there must be one beyond the n
  // coefficient columns; every caller passes n + 1.
  if (n < 1 || m <= n) {
    throw std::invalid_argument("EliminateAndSolve: needs n >= 1 and m > n");
  }
  // The arrays take the bounds of this call, keeping what they hold.
  a.Resize(n, m);
  x.resize(std::size_t(n), 0.0);

  for (int k = 1; k <= n - 1; ++k) {
    // Pivot search: only a strictly larger magnitude moves the pivot, so a tie
    // keeps the earlier row.
    int p = k;
    double big = std::fabs(a.At(k, k));
    for (int i = k + 1; i <= n; ++i) {
      if (std::fabs(a.At(i, k)) > big) {
        p = i;
        big = std::fabs(a.At(i, k));
      }
    }
    if (big <= kNegligible) return LinearStatus::Singular;

    // Columns left of k are never read again, so they stay where they are.
    if (p != k) {
      for (int j = k; j <= m; ++j) std::swap(a.At(k, j), a.At(p, j));
    }

    for (int i = k + 1; i <= n; ++i) {
      double mult = a.At(i, k) / a.At(k, k);
      if (std::fabs(mult) <= kNegligible) mult = 0.0;
      // Column k is included: it receives the rounding residue and is not read.
      for (int j = k; j <= m; ++j) a.At(i, j) = a.At(i, j) - mult * a.At(k, j);
    }
  }

  // Strict here, although the pivot test above refuses a magnitude equal to
  // the threshold: exactly 1E-20 as the last diagonal entry is divided by.
  if (std::fabs(a.At(n, n)) < kNegligible) return LinearStatus::Singular;

  x[std::size_t(n - 1)] = a.At(n, m) / a.At(n, n);
  for (int i = 1; i <= n - 1; ++i) {
    const int r = n - i;
    double s = a.At(r, m);
    for (int j = r + 1; j <= n; ++j) s = s - x[std::size_t(j - 1)] * a.At(r, j);
    x[std::size_t(r - 1)] = s / a.At(r, r);
  }
  return LinearStatus::Solved;
}

LinearStatus SolveLinearSystem(std::int16_t n, std::int16_t m, Matrix& a, std::vector<double>& x,
                               eval::SolverUi& ui) {
  const LinearStatus status = EliminateAndSolve(n, m, a, x);
  if (status == LinearStatus::Singular) ui.ShowMessage(kNoSolution);
  return status;
}

}  // namespace solvers
