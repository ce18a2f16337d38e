// The sparse method: one run of Ceres Solver over the Jacobian's nonzeros,
// with bounds on the unknowns, and the verdict's check of a point by a sparse
// LU of J (UMFPACK). Ceres's and SuiteSparse's types stay in Sparse.cpp and
// SparseCheck.cpp; the strategy sees only this.
#pragma once

#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "Minpack.h"
#include "Robust.h"
#include "Verdict.h"

namespace robust::detail {

// A dense Residuals seen through the sparse interface (every entry of J in
// the pattern), so that every system can take the sparse road; the sparse
// residuals themselves when they are.
class SparseView {
 public:
  explicit SparseView(Residuals& residuals);
  SparseResiduals& Get() { return *view_; }

 private:
  std::unique_ptr<SparseResiduals> owned_;
  SparseResiduals* view_;
};

// One evaluation of F and, with values not empty, J's nonzeros, counted in
// budget, every value checked to be finite.
EvaluationStatus CheckedEvaluateSparse(SparseResiduals& residuals, Budget& budget, std::span<const double> x,
                                       std::span<double> f, std::span<double> values,
                                       std::span<double> bounds = {});

struct SparseRunOptions {
  double stepTolerance = 1E-13;
  std::span<const Bounds> bounds;  // empty or one per unknown
  double factorBudgetBytes = 0;
  double factorBudgetFlops = 0;
  const decltype(Options::progress)* progress = nullptr;
};

// One run from start (inside the bounds), stopped early when budget is
// spent; `accepted` sees the start and each accepted point.
RunResult RunSparse(SparseResiduals& residuals, std::span<const double> start, const SparseRunOptions& options,
                    Budget& budget, const AcceptedPoint& accepted = {});

// The Cholesky factor of J^T J under CHOLMOD's ordering, from the pattern
// alone: its bytes (values and row indices) and the floating-point
// operations of one factorization; infinite when the analysis fails.
struct FactorCost {
  double bytes = std::numeric_limits<double>::infinity();
  double flops = std::numeric_limits<double>::infinity();
};
FactorCost NormalFactorCost(const SparsityPattern& pattern, int n);

// The unknowns of x at a bound, in order.
std::vector<BoundContact> BoundContacts(std::span<const double> x, std::span<const Bounds> bounds);

// x moved just inside the bounds where it lies outside (Options::bounds);
// true when it moved.
bool MoveInside(std::vector<double>& x, std::span<const Bounds> bounds);

// CheckPoint's sparse road: F, J's nonzeros and the rounding bounds at x, the
// root test, the gradient's cosine (projected on the bounds: a component
// that points out of the box at an unknown on its bound does not count), the
// condition by a sparse LU when its factors fit factorBudgetBytes (else
// `conditionEstimated` false), and Newton steps by the same LU that polish x
// while they stay inside the bounds.
PointCheck CheckPointSparse(SparseResiduals& residuals, std::vector<double>& x, Budget& budget,
                            const CheckOptions& options, std::span<const Bounds> bounds, double factorBudgetBytes,
                            double factorBudgetFlops);

}  // namespace robust::detail
