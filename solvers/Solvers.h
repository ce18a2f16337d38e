// Newton's method for nonlinear systems, its linear solver and numerical
// derivative, and the steepest-descent method.
//
// Indices in the arguments named i and j are 1-based, as the equations and
// unknowns are numbered for the user; vectors hold unknown 1 at [0].
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "EquationSystem.h"
#include "eval/ScriptEngine.h"
#include "eval/SolverUi.h"

namespace solvers {

// Points reach the script engine as 15-digit number text. A coordinate is in
// the number range when it is finite and that text reads back as a finite
// number (the largest doubles round up past the largest one in 15 digits).
bool InNumberRange(double value);

// ---- Numerical partial derivative (forward difference, step 1E-6) ----

// d equation i / d unknown j at point: exactly two evaluations, unperturbed first.
double PartialDerivative(EquationSystem& equations, int i, std::span<const double> point, int j);
// The same through one engine and one equation text.
double PartialDerivative(eval::ScriptEngine& engine, std::string_view eqText,
                         std::span<const std::string> varNames, std::span<const double> point,
                         std::int16_t j, eval::SolverUi& ui);

// ---- Linear system solver (Gaussian elimination, partial pivoting) ----

// Augmented matrix of n rows and m columns, row-major; At(i, j) is 1-based.
class Matrix {
 public:
  Matrix(int rows, int cols) : rows_(rows), cols_(cols), data_(std::size_t(rows) * cols, 0.0) {}
  int Rows() const { return rows_; }
  int Cols() const { return cols_; }
  double& At(int i, int j) { return data_[std::size_t(i - 1) * cols_ + (j - 1)]; }
  double At(int i, int j) const { return data_[std::size_t(i - 1) * cols_ + (j - 1)]; }
  // New bounds, keeping the entries both shapes share; new entries are 0.
  void Resize(int rows, int cols) {
    if (rows == rows_ && cols == cols_) return;
    std::vector<double> data(std::size_t(rows) * cols, 0.0);
    for (int i = 0; i < rows && i < rows_; ++i) {
      for (int j = 0; j < cols && j < cols_; ++j) {
        data[std::size_t(i) * cols + j] = data_[std::size_t(i) * cols_ + j];
      }
    }
    rows_ = rows;
    cols_ = cols;
    data_ = std::move(data);
  }

 private:
  int rows_;
  int cols_;
  std::vector<double> data_;
};

enum class LinearStatus {
  Solved,    // x holds the solution
  Singular,  // a pivot or the last diagonal entry was negligible; x untouched
};

// The arithmetic kernel: no message.
LinearStatus EliminateAndSolve(std::int16_t n, std::int16_t m, Matrix& a, std::vector<double>& x);
// The kernel plus the user's message "LINEAR SYSTEM HAS NO SOLUTION" when singular.
LinearStatus SolveLinearSystem(std::int16_t n, std::int16_t m, Matrix& a, std::vector<double>& x,
                               eval::SolverUi& ui);

// ---- The points a run reaches ----

enum class PathStage { Descent, Newton };
enum class PathPoint {
  Start,    // the point the stage starts from (iteration 0)
  Iterate,  // the point after iteration `iteration`
  End,      // where the descent stopped; `iteration` is the count its last log line gives
};
struct ReachedPoint {
  PathStage stage = PathStage::Newton;
  PathPoint kind = PathPoint::Start;
  int iteration = 0;
  std::span<const double> x;  // valid during the call only
};
// Told each point as the run reaches it, in order: a caller that draws or
// records the path. An empty observer costs nothing.
using IterateObserver = std::function<void(const ReachedPoint&)>;

// ---- Newton's method ----

enum class NewtonOutcome {
  Converged,         // err < Tol; xOut holds the last iterate
  IterationLimit,    // xOut holds iterate NTry; divergence message shown
  NotConfirmed,      // confirmation message shown; nothing printed, xOut untouched
  InvalidParameter,  // one parameter message shown; nothing printed, xOut untouched
  // Iterate number `iterations` has a coordinate outside the number range, so
  // the equations cannot be evaluated there; xOut holds it, nothing is shown
  // and the caller tells the user.
  LeftNumberRange,
};

struct NewtonReport {
  NewtonOutcome outcome = NewtonOutcome::NotConfirmed;
  int iterations = 0;          // iterations run
  bool singularSeen = false;   // some linear solve reported no solution
  // The last iterate has a coordinate outside the number range (then the
  // outcome is LeftNumberRange: a NaN correction would pass the err test,
  // which no comparison with NaN fails).
  bool nonFinite = false;
};

// x: the starting point (at least nEq entries), only read. xOut is resized to
// nEq and receives every iterate. `observer` is told the start and each
// iterate (the points the log prints), non-finite ones included.
NewtonReport NewtonSystem(eval::SolverUi& ui, std::string_view confirm, std::int16_t nEq,
                          EquationSystem& equations, std::span<const double> x, std::int16_t nTry,
                          double tol, std::vector<double>& xOut, const IterateObserver& observer = {});

// ---- Steepest descent ----

enum class DescentOutcome {
  NotConfirmed,         // xOut all zeros, k = 0
  InvalidParameter,     // one parameter message shown; nothing printed, xOut untouched
  ZeroGradient,         // "ZERO GRADIENT: MAY HAVE MIN"
  NoLikelyImprovement,  // "NO LIKELY IMPROVEMENT: MAY HAVE MIN"
  NoChangeLikely,       // "NO CHANGE LIKELY: PROBABLY ROUNDING DIFFICULTIES"
  Converged,            // "PROCEDURE COMPLETED SUCCESSFULLY"
  IterationLimit,       // "MAXIMUM ITERATIONS EXCEEDED"
};

// `observer` is told the start, each accepted step and the end point (the
// one the last log line prints) of a run that got past its checks.
DescentOutcome SteepestDescent(eval::SolverUi& ui, std::string_view confirm, std::int16_t nEq,
                               EquationSystem& equations, std::span<const double> x,
                               std::int16_t nIteration, double tol, std::vector<double>& xOut,
                               const IterateObserver& observer = {});

}  // namespace solvers
