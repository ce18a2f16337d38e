// Deflation for the root search: the equations F divided by the distance to
// each root already known, so that a run drawn back to a known root is pushed
// away from it, as in deflated Newton. For known roots r_1..r_k,
//
//   G(x) = M(x) F(x),   M(x) = prod_k (1 / ||D (x - r_k)||^power + shift),
//
// with D the diagonal of 1/scale_j. Every factor is at least `shift`, so with
// shift >= 1 a root of G within a tolerance is a root of F within it; near
// r_k a simple root of F no longer attracts (G grows like 1/||x - r_k||).
// The Jacobian is exact, by the product rule: dG_i/dx_j = M J_ij + F_i dM/dx_j.
#pragma once

#include <span>
#include <vector>

#include "Robust.h"

namespace robust {

class DeflatedResiduals : public Residuals {
 public:
  // `inner` must outlive this object. scale holds one positive length per
  // unknown (the distance that counts as 1).
  DeflatedResiduals(Residuals& inner, std::vector<double> scale, double power = 2.0, double shift = 1.0);

  void AddRoot(std::span<const double> root);
  int Count() const override { return inner_.Count(); }
  // At a known root exactly the factor is infinite: equation 1 fails there.
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                            std::span<double> jacobianRowMajor) override;
  // G's bounds: F's times the factor, and G's few roundings of the factor.
  bool ProvidesBounds() const override { return inner_.ProvidesBounds(); }
  EvaluationStatus EvaluateWithBounds(std::span<const double> x, std::span<double> f,
                                      std::span<double> jacobianRowMajor, std::span<double> bounds) override;

 private:
  // F and J at x into G and its Jacobian; the factor M, or a failure.
  EvaluationStatus Deflate(std::span<const double> x, std::span<double> f, std::span<double> jacobianRowMajor,
                           double& factor);

  Residuals& inner_;
  std::vector<double> scale_;
  double power_;
  double shift_;
  std::vector<std::vector<double>> roots_;
  std::vector<double> gradient_;  // dM/dx / M, scratch
};

}  // namespace robust
