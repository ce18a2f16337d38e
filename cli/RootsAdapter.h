// The compiled equations as the robust methods see them. Kept apart so it can
// be folded with the adapter of `solve --method` into one.
#pragma once

#include <span>

#include "eval/compiled/CompiledSystem.h"
#include "robust/Robust.h"

namespace cli {

class CompiledRootsResiduals : public robust::Residuals {
 public:
  // `system` must outlive this object.
  explicit CompiledRootsResiduals(eval::CompiledSystem& system) : system_(system) {}
  int Count() const override { return system_.Count(); }
  robust::EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                                    std::span<double> jacobian) override {
    const eval::EvaluationStatus status = system_.Evaluate(x, f, jacobian);
    if (status.ok) return {};
    return {status.failedEquation < 0 ? 0 : status.failedEquation};
  }

 private:
  eval::CompiledSystem& system_;
};

}  // namespace cli
