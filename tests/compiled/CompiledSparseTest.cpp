// Sparse rows and the shared reading of the unknowns: each equation's
// columns are the unknowns it uses, the sparse evaluation gives the dense
// one's numbers bit for bit, and an equation compiled with unknowns shared
// by a system behaves as one compiled on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CompiledTestSupport.h"

namespace {

using compiledtest::Identical;

struct SystemRow {
  std::vector<std::string> equations;
  std::vector<std::string> names;
  std::vector<double> x;
  std::vector<std::vector<std::uint32_t>> columns;  // each equation's, 0-based
};

// Sign-sensitive: a partial along an unused unknown is +0 in both forms.
void ExpectSameNumbers(std::span<const double> a, std::span<const double> b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(Identical(a[i], b[i])) << i << ": " << a[i] << " " << b[i];
}

TEST(CompiledSparseRows, ColumnsAndValuesAgreeWithTheDenseJacobian) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<SystemRow> rows{
      // A tridiagonal system: three unknowns per row at most.
      {{"2*x1 - x2 - exp(x1)", "-x1 + 2*x2 - x3", "-x2 + 2*x3 - x4 - 0.1*x3^2", "-x3 + 2*x4"},
       {"x1", "x2", "x3", "x4"},
       {0.5, -1, 2, 3},
       {{0, 1}, {0, 1, 2}, {1, 2, 3}, {2, 3}}},
      // Unknowns in any order and letter case, repeated, under a sign; a
      // constant equation has an empty row.
      {{"-X3 * x3 + x1", "7", "DMin(b, x1) + b^a"}, {"x1", "a", "x3", "b"}, {1, 2, 3, 4}, {{0, 2}, {}, {0, 1, 3}}},
      // An equation the compiled form does not cover may read any unknown.
      {{"x1 + (x2 > 1)", "x2 * x2"}, {"x1", "x2"}, {1, 2}, {{0, 1}, {1}}},
      // Faults: the row is not-a-number, the status names the first.
      {{"x1", "1/(x2 - 2)", "Abs(x1 - 1)"}, {"x1", "x2"}, {1, 2}, {{0}, {1}, {0}}},
      // A coordinate that is not finite is every equation's fault.
      {{"x1", "x2"}, {"x1", "x2"}, {1, nan}, {{0}, {1}}},
  };
  for (const SystemRow& row : rows) {
    SCOPED_TRACE(row.equations.front());
    eval::SilentUi ui;
    eval::CompiledSystem system(row.equations, row.names, std::make_shared<eval::ClsMath>());
    const std::size_t m = row.equations.size();
    const std::size_t n = row.names.size();
    std::vector<double> f(m);
    std::vector<double> dense(m * n);
    std::vector<double> bounds(m);
    const eval::EvaluationStatus denseStatus = system.Evaluate(row.x, f, dense, bounds);

    eval::SparseJacobian sparse = system.Pattern();
    ASSERT_EQ(sparse.rowStart.size(), m + 1);
    EXPECT_EQ(sparse.rowCount, static_cast<int>(m));
    EXPECT_EQ(sparse.columnCount, static_cast<int>(n));
    for (std::size_t i = 0; i < m; ++i) {
      const std::vector<std::uint32_t> columns(sparse.columns.begin() + static_cast<long>(sparse.rowStart[i]),
                                               sparse.columns.begin() + static_cast<long>(sparse.rowStart[i + 1]));
      const bool covered = system.Equation(static_cast<int>(i)).Method() == eval::Derivatives::Exact;
      std::vector<std::uint32_t> all(n);
      for (std::size_t k = 0; k < n; ++k) all[k] = static_cast<std::uint32_t>(k);
      EXPECT_EQ(columns, covered ? row.columns[i] : all) << "row " << i;
    }
    std::vector<double> fSparse(m);
    std::vector<double> boundsSparse(m);
    const eval::EvaluationStatus sparseStatus = system.Evaluate(row.x, fSparse, sparse, boundsSparse);
    EXPECT_EQ(sparseStatus.ok, denseStatus.ok);
    EXPECT_EQ(sparseStatus.failedEquation, denseStatus.failedEquation);
    EXPECT_EQ(sparseStatus.description, denseStatus.description);
    EXPECT_EQ(sparseStatus.derivatives, denseStatus.derivatives);
    ExpectSameNumbers(fSparse, f);
    ExpectSameNumbers(boundsSparse, bounds);
    // Scattered, the nonzeros are the dense Jacobian; elsewhere it holds +0,
    // or not-a-number across a failed row.
    std::vector<double> scattered(m * n, 0.0);
    for (std::size_t i = 0; i < m; ++i) {
      if (system.Results()[i].fault != eval::EquationFault::None) {
        for (std::size_t k = 0; k < n; ++k) scattered[i * n + k] = nan;
      }
      for (std::size_t e = sparse.rowStart[i]; e < sparse.rowStart[i + 1]; ++e) {
        scattered[i * n + sparse.columns[e]] = sparse.values[e];
      }
    }
    ExpectSameNumbers(scattered, dense);
    // Without the bounds and without J the values are the same.
    std::vector<double> fOnly(m);
    system.Evaluate(row.x, fOnly);
    ExpectSameNumbers(fOnly, f);
  }
}

// An equation's own row, asked alone, reads only its columns.
TEST(CompiledSparseRows, ARowReadsOnlyItsUnknowns) {
  eval::SilentUi ui;
  compiledtest::Compiled c("x2^3 - x4", {"x1", "x2", "x3", "x4"});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ASSERT_EQ(std::vector<std::uint32_t>(c.equation.Columns().begin(), c.equation.Columns().end()),
            (std::vector<std::uint32_t>{1, 3}));
  std::vector<double> row(2);
  double bound = 0;
  const eval::EquationResult r = c.equation.EvaluateRow(std::vector<double>{nan, 2, nan, 5}, row, &bound);
  EXPECT_EQ(r.fault, eval::EquationFault::None);
  EXPECT_EQ(r.value, 3);
  EXPECT_EQ(row, (std::vector<double>{12, -1}));
  EXPECT_TRUE(std::isfinite(bound));
  // The dense form keeps saying that a coordinate is not finite.
  std::vector<double> gradient(4);
  EXPECT_EQ(c.equation.Evaluate(std::vector<double>{nan, 2, 0, 5}, gradient).fault, eval::EquationFault::NotFinite);
}

// Compiled with the unknowns shared, each text gives what it gives compiled
// on its own: the same values, partials, fallback reasons and errors.
TEST(CompiledSharedNames, EachEquationAsIfCompiledAlone) {
  struct Row {
    std::string text;
    std::vector<std::string> names;
    // The point is assigned after the definition, as at every evaluation,
    // where EngineEval assigns it before: only the two compiled forms compare.
    bool engineAgrees = true;
  };
  const std::vector<Row> rows{
      {"x1^2 - 2*x2", {"x1", "x2"}},
      {"Sin(x1) + theFunction", {"x1", "x2"}},       // the equation's own Function
      {"theFunction(1) + x1", {"x1", "x2"}},
      {"x1 + Error", {"x1", "Error"}, false},        // an unknown the library takes for itself
      {"x1 * 2", {"x1", "theFunction"}, false},      // an unknown the definition makes a function
      {"x1 + x1b", {"x1", "x1b", "X1"}},             // a name given twice: the later one
      {"1\r\nEnd Function\r\nx2 = 5\r\nFunction f()\r\nf = 1", {"x1", "x2"}},  // code around the function
      {"x1 : x2 = 3", {"x1", "x2"}},
      {"(x1", {"x1", "x2"}},                         // a compile error
      {"x1 + 1", {"x 1", "x2"}},                     // a name that cannot be assigned
      {"x1 + 1", {"vbTrue", "x1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    eval::SilentUi ui;
    auto library = std::make_shared<eval::ClsMath>();
    std::string aloneError;
    std::string sharedError;
    std::optional<eval::CompiledEquation> alone;
    std::optional<eval::CompiledEquation> shared;
    try {
      alone.emplace(row.text, row.names, library);
    } catch (const eval::ScriptError& error) {
      aloneError = error.Description();
    }
    try {
      auto unknowns = std::make_shared<eval::CompiledNames>(row.names, library);
      // Another equation first: nothing of it stays in the shared reading.
      eval::CompiledEquation other("x1 + 7", unknowns);
      shared.emplace(row.text, unknowns);
    } catch (const eval::ScriptError& error) {
      sharedError = error.Description();
    }
    const std::vector<double> x{1.5, 2.5, 3.5};
    const compiledtest::EngineAnswer engine =
        compiledtest::EngineEval(row.text, row.names, std::vector<double>(x.begin(), x.begin() + row.names.size()));
    EXPECT_EQ(sharedError, aloneError);
    ASSERT_EQ(alone.has_value(), shared.has_value());
    if (!alone) {
      EXPECT_EQ(sharedError, engine.error);  // the engine's AddCode refuses it alike
      continue;
    }
    EXPECT_EQ(shared->Method(), alone->Method());
    EXPECT_EQ(shared->FallbackReason(), alone->FallbackReason());
    const std::span<const double> at(x.data(), row.names.size());
    std::vector<double> gAlone(row.names.size());
    std::vector<double> gShared(row.names.size());
    const eval::EquationResult a = alone->Evaluate(at, gAlone);
    const eval::EquationResult s = shared->Evaluate(at, gShared);
    EXPECT_TRUE(Identical(s.value, a.value));
    if (!row.engineAgrees) continue;
    if (engine.value) {
      EXPECT_TRUE(Identical(s.value, *engine.value));
    } else {
      EXPECT_EQ(s.description, engine.error);
    }
    EXPECT_EQ(s.fault, a.fault);
    EXPECT_EQ(s.description, a.description);
    ExpectSameNumbers(gShared, gAlone);
  }
}

}  // namespace
