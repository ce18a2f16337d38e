#include "Deflation.h"

#include <cmath>

namespace robust {

DeflatedResiduals::DeflatedResiduals(Residuals& inner, std::vector<double> scale, double power, double shift)
    : inner_(inner), scale_(std::move(scale)), power_(power), shift_(shift) {}

void DeflatedResiduals::AddRoot(std::span<const double> root) { roots_.emplace_back(root.begin(), root.end()); }

EvaluationStatus DeflatedResiduals::Evaluate(std::span<const double> x, std::span<double> f,
                                             std::span<double> jacobianRowMajor) {
  const EvaluationStatus status = inner_.Evaluate(x, f, jacobianRowMajor);
  if (!status.Ok()) return status;
  double factor;
  return Deflate(x, f, jacobianRowMajor, factor);
}

EvaluationStatus DeflatedResiduals::EvaluateWithBounds(std::span<const double> x, std::span<double> f,
                                                       std::span<double> jacobianRowMajor,
                                                       std::span<double> bounds) {
  const EvaluationStatus status = inner_.EvaluateWithBounds(x, f, jacobianRowMajor, bounds);
  if (!status.Ok()) return status;
  double factor = 1.0;
  const EvaluationStatus deflated = Deflate(x, f, jacobianRowMajor, factor);
  // Each root's factor takes a few roundings (the squares' sum, the power,
  // the shift, the product), 8 units in the last place counted for each.
  const double factorError = 8.0 * static_cast<double>(roots_.size() + 1) * 0x1p-53;
  for (std::size_t i = 0; i < bounds.size(); ++i) bounds[i] = factor * bounds[i] + std::abs(f[i]) * factorError;
  return deflated;
}

EvaluationStatus DeflatedResiduals::Deflate(std::span<const double> x, std::span<double> f,
                                            std::span<double> jacobianRowMajor, double& outFactor) {
  const std::size_t n = x.size();
  const bool withJacobian = !jacobianRowMajor.empty();
  gradient_.assign(n, 0.0);
  double factor = 1.0;
  for (const std::vector<double>& root : roots_) {
    double squared = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      const double d = (x[j] - root[j]) / scale_[j];
      squared += d * d;
    }
    if (!(squared > 0.0)) return {0};
    const double inverse = std::pow(squared, -0.5 * power_);  // 1/||d||^p
    const double m = inverse + shift_;
    factor *= m;
    if (withJacobian) {
      // d(1/||d||^p)/dx_j = -p ||d||^(-p-2) d_j / scale_j; divided by m for the product.
      const double common = -power_ * inverse / squared / m;
      for (std::size_t j = 0; j < n; ++j) gradient_[j] += common * (x[j] - root[j]) / (scale_[j] * scale_[j]);
    }
  }
  if (withJacobian) {
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        jacobianRowMajor[i * n + j] = factor * (jacobianRowMajor[i * n + j] + f[i] * gradient_[j]);
  }
  for (std::size_t i = 0; i < n; ++i) f[i] *= factor;
  outFactor = factor;
  if (!std::isfinite(factor)) return {0};
  return {};
}

}  // namespace robust
