// The compiled equations as the robust methods see them: F and the exact
// Jacobian at full precision (dense, or its nonzeros along the pattern known
// after compiling), a failing equation as a rejected point, and a bound on
// each value's rounding error for the scale-aware root test. Used by
// solve --method, roots and plot.
#pragma once

#include <span>
#include <string>
#include <utility>

#include "eval/compiled/CompiledSystem.h"
#include "Robust.h"

namespace robust {

class CompiledResiduals : public SparseResiduals {
 public:
  // `system` must outlive this object.
  explicit CompiledResiduals(eval::CompiledSystem& system) : system_(system), sparse_(system.Pattern()) {
    pattern_.rowStart = sparse_.rowStart;
    pattern_.columns = sparse_.columns;
  }
  int Count() const override { return system_.Count(); }
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                                    std::span<double> jacobian) override {
    return Status(system_.Evaluate(x, f, jacobian));
  }
  bool ProvidesBounds() const override { return true; }
  EvaluationStatus EvaluateWithBounds(std::span<const double> x, std::span<double> f,
                                              std::span<double> jacobian, std::span<double> bounds) override {
    return Status(system_.Evaluate(x, f, jacobian, bounds));
  }
  const SparsityPattern& Pattern() const override { return pattern_; }
  EvaluationStatus EvaluateSparse(std::span<const double> x, std::span<double> f, std::span<double> values,
                                  std::span<double> bounds) override {
    if (values.empty()) return Status(system_.Evaluate(x, f));
    EvaluationStatus status = Status(system_.Evaluate(x, f, sparse_, bounds));
    std::copy(sparse_.values.begin(), sparse_.values.end(), values.begin());
    return status;
  }
  // The engine's description of the last failing evaluation.
  const std::string& LastFailure() const { return lastFailure_; }

 private:
  EvaluationStatus Status(eval::EvaluationStatus status) {
    if (status.ok) return {};
    lastFailure_ = std::move(status.description);
    return {status.failedEquation < 0 ? 0 : status.failedEquation};
  }

  eval::CompiledSystem& system_;
  eval::SparseJacobian sparse_;
  SparsityPattern pattern_;
  std::string lastFailure_;
};

}  // namespace robust
