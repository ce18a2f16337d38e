// Ceres Solver as the sparse method. Each unknown is a parameter block of
// size one and each equation a residual block over the unknowns it uses, so
// Ceres's Jacobian has exactly the pattern's nonzeros. The equations are
// evaluated once per point for all blocks (an evaluation callback runs the
// whole system; the blocks copy their row), with exact derivatives.
//
// A trial point where F fails is a cost function that returns false: Ceres
// rejects the step and shrinks its trust region, as MINPACK's adapter does
// with its doubled residual.
//
// The linear solver is a sparse Cholesky factorization of J^T J when its
// factor's memory and work fit the budgets, measured before the solve by
// the ordering CHOLMOD will use; conjugate gradients on the normal
// equations otherwise (a random pattern fills the factor almost densely).
#include "Sparse.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include <ceres/ceres.h>
#include <glog/logging.h>
#include <suitesparse/cholmod.h>

namespace robust::detail {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kInitialRadius = 1E10;
// How far inside its bound a start outside is moved, relative to 1 + |bound|.
constexpr double kStartMargin = 1E-3;
// Rounds that hold the unknowns on a bound and solve for the others.
constexpr int kBoundRounds = 3;
constexpr double kConjugateGradientTolerance = 1E-10;
// Below this the worst case is known without CHOLMOD's analysis (an
// ordering of the whole pattern, which would cost a small system more than
// its solve).
constexpr FactorCost kAnalysisNotNeeded{64.0 * 1024 * 1024, 1E9};

// A dense system through the sparse interface: every entry of J is in the
// pattern, gathered from the row-major Jacobian.
class DenseAsSparse final : public SparseResiduals {
 public:
  explicit DenseAsSparse(Residuals& residuals) : residuals_(residuals) {
    const auto n = static_cast<std::size_t>(residuals.Count());
    pattern_.rowStart.resize(n + 1);
    pattern_.columns.reserve(n * n);
    for (std::size_t i = 0; i <= n; ++i) pattern_.rowStart[i] = i * n;
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) pattern_.columns.push_back(static_cast<std::uint32_t>(j));
  }
  int Count() const override { return residuals_.Count(); }
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f, std::span<double> jacobian) override {
    return residuals_.Evaluate(x, f, jacobian);
  }
  bool ProvidesBounds() const override { return residuals_.ProvidesBounds(); }
  EvaluationStatus EvaluateWithBounds(std::span<const double> x, std::span<double> f, std::span<double> jacobian,
                                      std::span<double> bounds) override {
    return residuals_.EvaluateWithBounds(x, f, jacobian, bounds);
  }
  const SparsityPattern& Pattern() const override { return pattern_; }
  EvaluationStatus EvaluateSparse(std::span<const double> x, std::span<double> f, std::span<double> values,
                                  std::span<double> bounds) override {
    if (values.empty()) return residuals_.Evaluate(x, f, {});
    // The dense and the sparse layouts are the same: row-major, every column.
    return bounds.empty() ? residuals_.Evaluate(x, f, values) : residuals_.EvaluateWithBounds(x, f, values, bounds);
  }

 private:
  Residuals& residuals_;
  SparsityPattern pattern_;
};

}  // namespace

FactorCost NormalFactorCost(const SparsityPattern& pattern, int n) {
  // A dense factor of n unknowns bounds every other: n^2 / 2 entries and
  // n^3 / 3 operations. Within the default budgets no analysis is needed.
  const double size = n;
  const FactorCost dense{0.5 * size * (size + 1) * (sizeof(double) + sizeof(SuiteSparse_long)), size * size * size / 3};
  if (dense.bytes <= kAnalysisNotNeeded.bytes && dense.flops <= kAnalysisNotNeeded.flops) return dense;
  cholmod_common common;
  cholmod_l_start(&common);
  common.print = 0;
  common.error_handler = nullptr;
  // J^T by columns is J by rows: CHOLMOD analyses A A^T = J^T J.
  cholmod_sparse a{};
  a.nrow = static_cast<std::size_t>(n);
  a.ncol = pattern.rowStart.size() - 1;
  a.nzmax = pattern.Nonzeros();
  std::vector<SuiteSparse_long> p(pattern.rowStart.begin(), pattern.rowStart.end());
  std::vector<SuiteSparse_long> i(pattern.columns.begin(), pattern.columns.end());
  a.p = p.data();
  a.i = i.data();
  a.stype = 0;
  a.itype = CHOLMOD_LONG;
  a.xtype = CHOLMOD_PATTERN;
  a.dtype = CHOLMOD_DOUBLE;
  a.sorted = 1;
  a.packed = 1;
  FactorCost cost;
  if (cholmod_factor* factor = cholmod_l_analyze(&a, &common)) {
    // Values and row indices of L, as a supernodal factor stores them.
    if (common.status == CHOLMOD_OK) {
      cost.bytes = common.lnz * (sizeof(double) + sizeof(SuiteSparse_long));
      cost.flops = common.fl;
    }
    cholmod_l_free_factor(&factor, &common);
  }
  cholmod_l_finish(&common);
  return cost;
}

namespace {

// The system's values at the point Ceres is about to evaluate, shared by
// every residual block.
class SharedEvaluation final : public ceres::EvaluationCallback {
 public:
  SharedEvaluation(SparseResiduals& residuals, Budget& budget, RunResult& result, std::vector<double>& point,
                   const AcceptedPoint& accepted)
      : residuals_(residuals), budget_(budget), result_(result), point_(point), accepted_(accepted),
        n_(static_cast<std::size_t>(residuals.Count())), f_(n_), values_(residuals.Pattern().Nonzeros()) {}

  void PrepareForEvaluation(bool evaluateJacobians, bool newPoint) override {
    if (!newPoint && (haveJacobian_ || !evaluateJacobians) && evaluated_) return;
    evaluated_ = true;
    haveJacobian_ = evaluateJacobians;
    if (budget_.Spent()) {
      // Refused without counting: the iteration callback ends the run.
      ok_ = false;
      return;
    }
    const EvaluationStatus status = CheckedEvaluateSparse(residuals_, budget_, point_, f_,
                                                          evaluateJacobians ? std::span<double>(values_)
                                                                            : std::span<double>());
    ok_ = status.Ok();
    if (!ok_) {
      failedEquation_ = status.failedEquation;
      if (!evaluateJacobians) ++result_.failedTrials;
      return;
    }
    if (evaluateJacobians) {
      // Ceres asks for J at the points it accepts, the start first (and,
      // under bounds, at its line search's points, each one better).
      acceptedX_ = point_;
      acceptedF_ = f_;
      if (accepted_) accepted_(acceptedX_, acceptedF_);
    }
  }

  bool ok() const { return ok_; }
  double F(std::size_t i) const { return f_[i]; }
  const double* Row(std::size_t start) const { return values_.data() + start; }
  bool HaveAccepted() const { return !acceptedX_.empty(); }
  const std::vector<double>& AcceptedX() const { return acceptedX_; }
  const std::vector<double>& AcceptedF() const { return acceptedF_; }
  int FailedEquation() const { return failedEquation_; }
  bool JacobianFailed() const { return evaluated_ && haveJacobian_ && !ok_; }

 private:
  SparseResiduals& residuals_;
  Budget& budget_;
  RunResult& result_;
  std::vector<double>& point_;
  const AcceptedPoint& accepted_;
  std::size_t n_;
  std::vector<double> f_, values_, acceptedX_, acceptedF_;
  bool evaluated_ = false;
  bool haveJacobian_ = false;
  bool ok_ = false;
  int failedEquation_ = -1;
};

// Equation `row`: its value and its row of J from the shared evaluation.
class EquationBlock final : public ceres::CostFunction {
 public:
  EquationBlock(const SharedEvaluation& shared, std::size_t row, std::size_t first, int width)
      : shared_(shared), row_(row), first_(first), width_(width) {
    set_num_residuals(1);
    mutable_parameter_block_sizes()->assign(static_cast<std::size_t>(std::max(width, 1)), 1);
  }
  bool Evaluate(double const* const* /*parameters*/, double* residuals, double** jacobians) const override {
    if (!shared_.ok()) return false;
    residuals[0] = shared_.F(row_);
    if (jacobians == nullptr) return true;
    const double* row = shared_.Row(first_);
    // An equation of no unknown is attached to the first one with slope 0.
    if (width_ == 0) {
      if (jacobians[0] != nullptr) jacobians[0][0] = 0.0;
      return true;
    }
    for (int k = 0; k < width_; ++k)
      if (jacobians[k] != nullptr) jacobians[k][0] = row[k];
    return true;
  }

 private:
  const SharedEvaluation& shared_;
  std::size_t row_;
  std::size_t first_;
  int width_;
};

class Watcher final : public ceres::IterationCallback {
 public:
  Watcher(Budget& budget, const SharedEvaluation& shared, const SparseRunOptions& options)
      : budget_(budget), shared_(shared), options_(options) {}
  ceres::CallbackReturnType operator()(const ceres::IterationSummary& summary) override {
    if (options_.progress != nullptr && *options_.progress && shared_.HaveAccepted())
      (*options_.progress)(summary.iteration, MaxAbs(shared_.AcceptedF()), summary.step_norm, budget_.Seconds());
    if (auto spent = budget_.Spent()) {
      stop = *spent;
      return ceres::SOLVER_TERMINATE_SUCCESSFULLY;
    }
    return ceres::SOLVER_CONTINUE;
  }
  std::optional<StopReason> stop;

 private:
  Budget& budget_;
  const SharedEvaluation& shared_;
  const SparseRunOptions& options_;
};

}  // namespace

SparseView::SparseView(Residuals& residuals) {
  view_ = dynamic_cast<SparseResiduals*>(&residuals);
  if (view_ == nullptr) {
    owned_ = std::make_unique<DenseAsSparse>(residuals);
    view_ = owned_.get();
  }
}

EvaluationStatus CheckedEvaluateSparse(SparseResiduals& residuals, Budget& budget, std::span<const double> x,
                                       std::span<double> f, std::span<double> values, std::span<double> bounds) {
  ++(values.empty() ? budget.functionEvaluations : budget.jacobianEvaluations);
  EvaluationStatus status = residuals.EvaluateSparse(x, f, values, bounds);
  if (!status.Ok()) return status;
  for (std::size_t i = 0; i < f.size(); ++i)
    if (!std::isfinite(f[i])) return {static_cast<int>(i)};
  if (values.empty()) return status;
  const SparsityPattern& pattern = residuals.Pattern();
  for (std::size_t i = 0; i + 1 < pattern.rowStart.size(); ++i)
    for (std::size_t e = pattern.rowStart[i]; e < pattern.rowStart[i + 1]; ++e)
      if (!std::isfinite(values[e])) return {static_cast<int>(i)};
  return status;
}

std::vector<BoundContact> BoundContacts(std::span<const double> x, std::span<const Bounds> bounds) {
  std::vector<BoundContact> contacts;
  for (std::size_t j = 0; j < bounds.size() && j < x.size(); ++j) {
    if (x[j] <= bounds[j].lo) contacts.push_back({static_cast<int>(j), false, bounds[j].lo});
    else if (x[j] >= bounds[j].hi) contacts.push_back({static_cast<int>(j), true, bounds[j].hi});
  }
  return contacts;
}

bool MoveInside(std::vector<double>& x, std::span<const Bounds> bounds) {
  bool moved = false;
  for (std::size_t j = 0; j < bounds.size() && j < x.size(); ++j) {
    const Bounds& side = bounds[j];
    if (x[j] >= side.lo && x[j] <= side.hi) continue;
    // Not a number is outside every range; it stays, and fails as a start.
    if (std::isnan(x[j])) continue;
    moved = true;
    // A little inside the nearer bound, not on it: a bound is often where
    // an equation's slope vanishes or its function is undefined (0 for a
    // square root or a logarithm).
    const bool below = !(x[j] >= side.lo);
    const double bound = below ? side.lo : side.hi;
    double margin = kStartMargin * (1.0 + std::abs(bound));
    if (std::isfinite(side.hi - side.lo)) margin = std::min(margin, 0.5 * (side.hi - side.lo));
    x[j] = below ? bound + margin : bound - margin;
  }
  return moved;
}

RunResult RunSparse(SparseResiduals& residuals, std::span<const double> start, const SparseRunOptions& options,
                    Budget& budget, const AcceptedPoint& accepted) {
  RunResult result;
  const int n = residuals.Count();
  const auto size = static_cast<std::size_t>(n);
  const SparsityPattern& pattern = residuals.Pattern();
  result.x.assign(start.begin(), start.end());
  if (auto spent = budget.Spent()) {
    result.stop = *spent;
    return result;
  }
  std::vector<double> point(start.begin(), start.end());
  SharedEvaluation shared(residuals, budget, result, point, accepted);

  ceres::Problem::Options problemOptions;
  problemOptions.evaluation_callback = &shared;
  // Each block names distinct unknowns of one vector, by construction.
  problemOptions.disable_all_safety_checks = true;
  // The blocks live as long as the problem, which owns them.
  ceres::Problem problem(problemOptions);
  std::vector<double*> blocks;
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t first = pattern.rowStart[i];
    const int width = static_cast<int>(pattern.rowStart[i + 1] - first);
    blocks.clear();
    if (width == 0) blocks.push_back(&point[0]);
    for (int k = 0; k < width; ++k) blocks.push_back(&point[pattern.columns[first + static_cast<std::size_t>(k)]]);
    problem.AddResidualBlock(new EquationBlock(shared, i, first, width), nullptr, blocks);
  }
  for (std::size_t j = 0; j < options.bounds.size() && j < size; ++j) {
    if (!problem.HasParameterBlock(&point[j])) continue;
    if (std::isfinite(options.bounds[j].lo)) problem.SetParameterLowerBound(&point[j], 0, options.bounds[j].lo);
    if (std::isfinite(options.bounds[j].hi)) problem.SetParameterUpperBound(&point[j], 0, options.bounds[j].hi);
  }

  // Ceres reports its linear solver's troubles through glog on standard
  // error; the run's verdict is what this program says.
  static std::once_flag quiet;
  std::call_once(quiet, [] { FLAGS_minloglevel = google::GLOG_FATAL; });

  ceres::Solver::Options solverOptions;
  solverOptions.minimizer_type = ceres::TRUST_REGION;
  solverOptions.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
  // Wide at first, so that the first steps are Gauss-Newton's (Newton's for
  // a square system) until one fails: a 316 x 316 grid then takes 8
  // iterations instead of 21.
  solverOptions.initial_trust_region_radius = kInitialRadius;
  const FactorCost cost = NormalFactorCost(pattern, n);
  const bool direct = cost.bytes <= options.factorBudgetBytes && cost.flops <= options.factorBudgetFlops;
  solverOptions.linear_solver_type = direct ? ceres::SPARSE_NORMAL_CHOLESKY : ceres::CGNR;
  solverOptions.preconditioner_type = ceres::JACOBI;
  // Conjugate gradients to a small residual, so that the steps are Newton's
  // near a root rather than a tenth of the way there.
  solverOptions.eta = kConjugateGradientTolerance;
  solverOptions.logging_type = ceres::SILENT;
  solverOptions.minimizer_progress_to_stdout = false;
  solverOptions.num_threads = 1;
  // The verdict, not the library, decides: its own tests stop late.
  // Not on the cost's relative change, which a large residual in one
  // equation makes tiny while the others still move: a least-squares
  // minimum would stop short of stationary.
  solverOptions.function_tolerance = 0.0;
  solverOptions.gradient_tolerance = 0.0;
  solverOptions.parameter_tolerance = options.stepTolerance;
  solverOptions.max_num_iterations = std::numeric_limits<int>::max();
  Watcher watcher(budget, shared, options);
  solverOptions.callbacks.push_back(&watcher);

  ceres::Solver::Summary summary;
  // An iteration is a step Ceres computed, taken or not, in every round.
  auto solve = [&] {
    ceres::Solve(solverOptions, &problem, &summary);
    result.iterations += summary.num_successful_steps + summary.num_unsuccessful_steps;
  };
  solve();
  // Ceres projects each step onto the bounds, which can stall the unknowns
  // that are free while others press against a bound (the projected step is
  // rejected again and again). Those on a bound are then held there and the
  // rest solved again, a few rounds, while the answer still moves.
  for (int round = 0; round < kBoundRounds && !watcher.stop && !options.bounds.empty() &&
                      summary.termination_type != ceres::FAILURE && shared.HaveAccepted();
       ++round) {
    const std::vector<double> before = shared.AcceptedX();
    const std::vector<BoundContact> held = BoundContacts(before, options.bounds);
    if (held.empty()) break;
    point = before;
    for (const BoundContact& contact : held)
      if (problem.HasParameterBlock(&point[static_cast<std::size_t>(contact.unknown)]))
        problem.SetParameterBlockConstant(&point[static_cast<std::size_t>(contact.unknown)]);
    solve();
    for (const BoundContact& contact : held)
      if (problem.HasParameterBlock(&point[static_cast<std::size_t>(contact.unknown)]))
        problem.SetParameterBlockVariable(&point[static_cast<std::size_t>(contact.unknown)]);
    if (shared.AcceptedX() == before) break;
  }

  if (!shared.HaveAccepted()) {
    // Nothing accepted: the start itself could not be evaluated (or the budget was spent before).
    result.stop = watcher.stop ? *watcher.stop : budget.Spent().value_or(StopReason::StartFailure);
    if (result.stop == StopReason::StartFailure) result.failedEquation = shared.FailedEquation();
    return result;
  }
  result.x = shared.AcceptedX();
  result.f = shared.AcceptedF();
  if (watcher.stop) {
    result.stop = *watcher.stop;
  } else if (summary.termination_type == ceres::FAILURE && shared.JacobianFailed()) {
    result.stop = StopReason::JacobianFailure;
    result.failedEquation = shared.FailedEquation();
  } else if (auto spent = budget.Spent()) {
    result.stop = *spent;
  } else {
    result.stop = StopReason::MethodFinished;
  }
  return result;
}

}  // namespace robust::detail
