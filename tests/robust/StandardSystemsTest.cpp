#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/StandardSystems.h"

namespace {

// Central differences with a step of 1E-6 relative: truncation about 1E-12
// times the third derivative, rounding about 1E-10 relative.
constexpr double kSlopeAgreement = 1E-5;

// The catalogue's Jacobians are what the tests' methods trust: each against
// central differences, away from the start's symmetries.
TEST(StandardSystemsJacobian, MatchesCentralDifferences) {
  std::vector<robust::StandardSystem> systems = robust::SmallSystems();
  // Degree-n polynomials: beyond n = 9 their third derivatives swamp the difference.
  systems.push_back(robust::Chebyquad(9));
  for (int n : {7, 20}) {
    for (const robust::StandardSystem& system : {robust::BroydenTridiagonal(n), robust::DiscreteBoundaryValue(n),
                                                 robust::ExtendedRosenbrock(n - n % 2),
                                                 robust::VariablyDimensioned(n),
                                                 robust::DiscreteIntegral(n), robust::BroydenBanded(n)})
      systems.push_back(system);
  }
  for (const robust::StandardSystem& system : systems) {
    SCOPED_TRACE(system.name);
    const auto n = static_cast<std::size_t>(system.n);
    std::vector<double> x = system.start;
    for (std::size_t k = 0; k < n; ++k) x[k] = 0.9 * x[k] + 0.13 + 0.01 * static_cast<double>(k);
    std::vector<double> f(n), jacobian(n * n), plus(n), minus(n);
    system.function(x, f, jacobian);
    for (std::size_t k = 0; k < n; ++k) {
      const double h = 1E-6 * (1 + std::abs(x[k]));
      std::vector<double> xp = x, xm = x;
      xp[k] += h;
      xm[k] -= h;
      system.function(xp, plus, {});
      system.function(xm, minus, {});
      for (std::size_t i = 0; i < n; ++i) {
        const double slope = (plus[i] - minus[i]) / (2 * h);
        EXPECT_NEAR(jacobian[i * n + k], slope, kSlopeAgreement * (1 + std::abs(slope))) << i << "," << k;
      }
    }
  }
}

}  // namespace
