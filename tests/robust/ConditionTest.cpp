#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "robust/Verdict.h"

namespace {

// Hager's estimate is exact for 2 x 2 matrices and within a small factor in
// general; the rows below know their condition in closed form.
constexpr double kRelativeTolerance = 1E-6;

TEST(RobustCondition, EstimateMatchesClosedForm) {
  struct Row {
    std::string name;
    int n;
    std::vector<double> matrix;
    double condition;
  };
  const double e = 1E-8;
  const std::vector<Row> rows = {
      {"identity", 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1},
      // Column scaling makes the unknowns' units irrelevant.
      {"scaled columns", 2, {1E6, 0, 0, 1E-6}, 1},
      // Columns (1,1) and (1/(1+e), 1) after scaling: condition (2)(2)/e' exactly.
      {"nearly dependent", 2, {1, 1, 1, 1 + e}, 4 / (e / (1 + e)) * (1 + e / 2 / (1 + e)) / (1 + e)},
      {"singular", 2, {1, 2, 2, 4}, INFINITY},
      {"zero column", 2, {1, 0, 1, 0}, INFINITY},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const double estimate = robust::detail::ConditionEstimate(row.matrix, row.n);
    if (std::isinf(row.condition)) {
      EXPECT_TRUE(std::isinf(estimate));
    } else {
      EXPECT_NEAR(estimate / row.condition, 1.0, kRelativeTolerance);
    }
  }
}

TEST(RobustCondition, GradientCosineIsScaleFree) {
  // J^T F = 0 for F orthogonal to both columns' span... here F = (1, -1)
  // against columns (1, 1) and (2, 2): cosine 0; against (1, 0): 1/sqrt(2).
  EXPECT_DOUBLE_EQ(robust::detail::GradientCosine(std::vector<double>{1, 2, 1, 2}, std::vector<double>{1, -1}), 0);
  EXPECT_NEAR(robust::detail::GradientCosine(std::vector<double>{1E300, 0, 0, 0}, std::vector<double>{1E-300, -1E-300}),
              1 / std::sqrt(2.0), 1E-15);
}

}  // namespace
