#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/SolverUi.h"
#include "solvers/Solvers.h"

namespace solvers {
namespace {

constexpr std::string_view kNoSolution = "LINEAR SYSTEM HAS NO SOLUTION";

// The test matrices are well conditioned (condition number below 100), so
// the solution is good to a few hundred units in the last place.
constexpr double kSolveTolerance = 1E-12;

Matrix MakeMatrix(const std::vector<std::vector<double>>& rows) {
  Matrix a(int(rows.size()), int(rows[0].size()));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t j = 0; j < rows[i].size(); ++j) a.At(int(i) + 1, int(j) + 1) = rows[i][j];
  }
  return a;
}

std::vector<double> Row(const Matrix& a, int i) {
  std::vector<double> row;
  for (int j = 1; j <= a.Cols(); ++j) row.push_back(a.At(i, j));
  return row;
}

struct ChosenSolutionRow {
  std::string name;
  std::vector<std::vector<double>> coefficients;
  std::vector<double> solution;
};

// The right-hand side is computed from a chosen solution, so the expected
// answer is known without solving anything.
TEST(LinearSystemChosenSolution, RecoversTheChosenSolution) {
  const std::vector<ChosenSolutionRow> rows = {
      {"2x2 no exchange", {{4, 1}, {1, 3}}, {1, -2}},
      {"2x2 larger entry in row 2", {{1, 2}, {3, 4}}, {-0.5, 2.25}},
      {"3x3 diagonally dominant", {{10, 2, 1}, {1, 8, -2}, {2, -1, 9}}, {1, -1, 2}},
      {"3x3 pivoting at every step", {{1, 1, 1}, {4, 2, 1}, {9, 3, 1}}, {2, -3, 0.5}},
      {"4x4", {{2, -1, 0, 0}, {-1, 2, -1, 0}, {0, -1, 2, -1}, {0, 0, -1, 2}}, {1, 2, 3, 4}},
      {"negative pivots", {{-3, 1}, {1, -5}}, {7, -0.125}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const int n = int(row.solution.size());
    std::vector<std::vector<double>> augmented = row.coefficients;
    for (int i = 0; i < n; ++i) {
      double rhs = 0;
      for (int j = 0; j < n; ++j) rhs += row.coefficients[i][j] * row.solution[j];
      augmented[i].push_back(rhs);
    }
    Matrix a = MakeMatrix(augmented);
    std::vector<double> x(n, 0.0);
    eval::RecordingUi ui;
    EXPECT_EQ(SolveLinearSystem(std::int16_t(n), std::int16_t(n + 1), a, x, ui),
              LinearStatus::Solved);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(x.size(), row.solution.size());
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], row.solution[i], kSolveTolerance) << "x" << i + 1;
  }
}

// A 3x3 upper-triangular system solved by hand: x3 = 16/8 = 2, then
// x2 = (10 - 2*2)/4 = 1.5, then x1 = (7 - 1*1.5 - 1*2)/2 = 1.75. Every step
// is exact in binary, so the back substitution must reproduce it bit for bit;
// computing x1 before x3 would use the stale 0 in x.
TEST(LinearSystemBackSubstitution, ComputesFromTheLastUnknownUp) {
  Matrix a = MakeMatrix({{2, 1, 1, 7}, {0, 4, 2, 10}, {0, 0, 8, 16}});
  std::vector<double> x(3, 0.0);
  eval::RecordingUi ui;
  ASSERT_EQ(SolveLinearSystem(3, 4, a, x, ui), LinearStatus::Solved);
  EXPECT_EQ(x, (std::vector<double>{1.75, 1.5, 2}));
}

TEST(LinearSystemPivoting, LargerEntryBelowExchangesTheRows) {
  Matrix a = MakeMatrix({{1, 2, 5}, {3, 4, 11}});
  std::vector<double> x(2, 0.0);
  ASSERT_EQ(EliminateAndSolve(2, 3, a, x), LinearStatus::Solved);
  EXPECT_EQ(Row(a, 1), (std::vector<double>{3, 4, 11}));
  EXPECT_NEAR(x[0], 1, kSolveTolerance);
  EXPECT_NEAR(x[1], 2, kSolveTolerance);
}

TEST(LinearSystemPivoting, EqualMagnitudesKeepTheEarlierRow) {
  // |2| = |-2|: row 1 stays the pivot row. Solution (1, 1).
  Matrix a = MakeMatrix({{2, 1, 3}, {-2, 1, -1}});
  std::vector<double> x(2, 0.0);
  ASSERT_EQ(EliminateAndSolve(2, 3, a, x), LinearStatus::Solved);
  EXPECT_EQ(Row(a, 1), (std::vector<double>{2, 1, 3}));
  EXPECT_EQ(x, (std::vector<double>{1, 1}));
}

TEST(LinearSystemPivoting, AmongEqualLargerValuesTheFirstWins) {
  // Rows 2 and 3 tie at 4 above row 1's 1: row 2 becomes the pivot row.
  Matrix a = MakeMatrix({{1, 0, 0, 1}, {4, 1, 0, 5}, {-4, 0, 1, -3}});
  std::vector<double> x(3, 0.0);
  ASSERT_EQ(EliminateAndSolve(3, 4, a, x), LinearStatus::Solved);
  EXPECT_EQ(Row(a, 1), (std::vector<double>{4, 1, 0, 5}));
  EXPECT_EQ(x, (std::vector<double>{1, 1, 1}));
}

TEST(LinearSystemSingular, DependentRowsLeaveXUntouched) {
  Matrix a = MakeMatrix({{1, 2, 3}, {2, 4, 6}});
  std::vector<double> x = {7, 8};
  eval::RecordingUi ui;
  EXPECT_EQ(SolveLinearSystem(2, 3, a, x, ui), LinearStatus::Singular);
  EXPECT_EQ(ui.messages, std::vector<std::string>{std::string(kNoSolution)});
  EXPECT_EQ(x, (std::vector<double>{7, 8}));
  // Row 2 became the pivot row; multiplier 0.5 cleared the other one.
  EXPECT_EQ(Row(a, 1), (std::vector<double>{2, 4, 6}));
  EXPECT_EQ(Row(a, 2), (std::vector<double>{0, 0, 0}));
}

TEST(LinearSystemSingular, ZeroFirstColumnStopsBeforeChangingARow) {
  Matrix a = MakeMatrix({{0, 1, 1}, {0, 2, 2}});
  std::vector<double> x = {-1, -2};
  eval::RecordingUi ui;
  EXPECT_EQ(SolveLinearSystem(2, 3, a, x, ui), LinearStatus::Singular);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(Row(a, 1), (std::vector<double>{0, 1, 1}));
  EXPECT_EQ(Row(a, 2), (std::vector<double>{0, 2, 2}));
  EXPECT_EQ(x, (std::vector<double>{-1, -2}));
}

struct ThresholdRow {
  std::string name;
  std::vector<std::vector<double>> rows;
  LinearStatus expected;
};

TEST(LinearSystemThreshold, BoundariesOfTheNegligibleTests) {
  const std::vector<ThresholdRow> rows = {
      {"pivot exactly 1E-20 is refused", {{1E-20, 0, 1}, {0, 1, 1}}, LinearStatus::Singular},
      {"pivot just above 1E-20 is used", {{2E-20, 0, 1}, {0, 1, 1}}, LinearStatus::Solved},
      {"negative pivot exactly -1E-20 is refused", {{-1E-20, 0, 1}, {0, 1, 1}},
       LinearStatus::Singular},
      {"last diagonal exactly 1E-20 is accepted", {{1, 0, 1}, {0, 1E-20, 1}}, LinearStatus::Solved},
      {"last diagonal below 1E-20 is refused", {{1, 0, 1}, {0, 9E-21, 1}}, LinearStatus::Singular},
      {"last diagonal exactly zero", {{1, 0, 1}, {0, 0, 1}}, LinearStatus::Singular},
      {"1x1 exactly 1E-20 is accepted", {{1E-20, 1}}, LinearStatus::Solved},
      {"1x1 below 1E-20 is refused", {{5E-21, 1}}, LinearStatus::Singular},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Matrix a = MakeMatrix(row.rows);
    const auto n = std::int16_t(row.rows.size());
    std::vector<double> x(std::size_t(n), 42.0);
    EXPECT_EQ(EliminateAndSolve(n, std::int16_t(n + 1), a, x), row.expected);
    if (row.expected == LinearStatus::Singular) {
      EXPECT_EQ(x, std::vector<double>(std::size_t(n), 42.0));
    }
  }
}

TEST(LinearSystemThreshold, AcceptedTinyDiagonalIsDividedBy) {
  Matrix a = MakeMatrix({{1, 0, 1}, {0, 1E-20, 1}});
  std::vector<double> x(2, 0.0);
  ASSERT_EQ(EliminateAndSolve(2, 3, a, x), LinearStatus::Solved);
  EXPECT_EQ(x[1], 1 / 1E-20);
  EXPECT_EQ(x[0], 1);
}

struct MultiplierRow {
  double below;      // A(2, 1) under a pivot of 1
  bool rowUnchanged;
};

TEST(LinearSystemThreshold, NegligibleMultiplierLeavesTheRowAlone) {
  const std::vector<MultiplierRow> rows = {{1E-25, true}, {1E-20, true}, {-1E-20, true},
                                           {2E-20, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.below);
    Matrix a = MakeMatrix({{1, 3, 5}, {row.below, 2, 4}});
    std::vector<double> x(2, 0.0);
    ASSERT_EQ(EliminateAndSolve(2, 3, a, x), LinearStatus::Solved);
    const std::vector<double> original = {row.below, 2, 4};
    if (row.rowUnchanged) {
      EXPECT_EQ(Row(a, 2), original);
    } else {
      // Column 1 receives the residue 2E-20 - 2E-20 * 1 = 0.
      EXPECT_EQ(a.At(2, 1), 0.0);
    }
  }
}

TEST(LinearSystemBounds, MatrixAndSolutionTakeTheBoundsOfTheCall) {
  // A matrix with two spare columns is cut to n + 1; x grows to n.
  Matrix a = MakeMatrix({{2, 0, 4, 99, 99}, {0, 4, 2, 99, 99}});
  std::vector<double> x;
  ASSERT_EQ(EliminateAndSolve(2, 3, a, x), LinearStatus::Solved);
  EXPECT_EQ(a.Cols(), 3);
  EXPECT_EQ(x, (std::vector<double>{2, 0.5}));
}

TEST(LinearSystemBounds, NoRightHandSideColumnIsAProgrammingError) {
  Matrix a(2, 2);
  std::vector<double> x(2, 0.0);
  EXPECT_THROW(EliminateAndSolve(2, 2, a, x), std::invalid_argument);
  EXPECT_THROW(EliminateAndSolve(0, 1, a, x), std::invalid_argument);
}

TEST(LinearSystemHostile, NonFiniteEntriesEndWithoutFailing) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::vector<std::vector<double>>> cases = {
      {{nan, 1, 1}, {1, 1, 1}},
      {{inf, 1, 1}, {1, inf, 1}},
      {{1, 1, inf}, {1, -1, -inf}},
      {{1E308, 1E308, 1E308}, {-1E308, 1E308, 1E308}},
      {{nan, nan, nan}, {nan, nan, nan}},
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(c);
    Matrix a = MakeMatrix(cases[c]);
    std::vector<double> x(2, 0.0);
    eval::RecordingUi ui;
    SolveLinearSystem(2, 3, a, x, ui);
    EXPECT_LE(ui.messages.size(), 1u);
    EXPECT_EQ(x.size(), 2u);
  }
}

}  // namespace
}  // namespace solvers
