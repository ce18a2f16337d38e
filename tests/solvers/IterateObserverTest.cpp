// The observer of NewtonSystem and SteepestDescent: told the points the log
// prints, in order, and the run is the same with or without it.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/NumberText.h"
#include "eval/SolverUi.h"
#include "solvers/Solvers.h"

namespace solvers {
namespace {

using Function = NativeEquations::Function;

struct Seen {
  PathStage stage;
  PathPoint kind;
  int iteration;
  std::vector<double> x;
};

IterateObserver Recorder(std::vector<Seen>& seen) {
  return [&seen](const ReachedPoint& point) {
    seen.push_back({point.stage, point.kind, point.iteration, {point.x.begin(), point.x.end()}});
  };
}

// The coordinates of a Newton point line "x(1)= 0.75", as text.
std::vector<std::string> PointTexts(const std::vector<std::string>& log, std::size_t from, int n) {
  std::vector<std::string> texts;
  for (int i = 1; i <= n; ++i) texts.push_back(log[from + std::size_t(i - 1)].substr(log[from].find("= ") + 2));
  return texts;
}

std::vector<std::string> Texts(const std::vector<double>& x) {
  std::vector<std::string> texts;
  for (double v : x) texts.push_back(eval::NumberText(v));
  return texts;
}

TEST(NewtonObserver, ToldTheStartAndEachIterateTheLogPrints) {
  struct Row {
    const char* name;
    std::vector<Function> f;
    std::vector<double> x0;
    std::int16_t nTry;
    NewtonOutcome outcome;
  };
  const Row rows[] = {
      {"linear",
       {[](auto x) { return x[0] + x[1] - 3; }, [](auto x) { return x[0] - x[1] - 1; }},
       {0, 0},
       30,
       NewtonOutcome::Converged},
      {"no real root, to the limit",
       {[](auto x) { return x[0] * x[0] + 1; }, [](auto x) { return x[1] - 1; }},
       {0.5, 0},
       4,
       NewtonOutcome::IterationLimit},
      {"leaves the number range",
       {[](auto x) { return 1E294 * x[1] + 1E-19 * x[0]; }, [](auto x) { return 1E10 * (x[1] - 1); }},
       {0, 0},
       30,
       NewtonOutcome::LeftNumberRange},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    NativeEquations watchedEquations(row.f);
    eval::RecordingUi watchedUi;
    std::vector<double> xOut;
    std::vector<Seen> seen;
    const NewtonReport report =
        NewtonSystem(watchedUi, "y", 2, watchedEquations, row.x0, row.nTry, 1E-5, xOut, Recorder(seen));
    ASSERT_EQ(report.outcome, row.outcome);

    NativeEquations plainEquations(row.f);
    eval::RecordingUi plainUi;
    std::vector<double> plainOut;
    const NewtonReport plain = NewtonSystem(plainUi, "y", 2, plainEquations, row.x0, row.nTry, 1E-5, plainOut);
    EXPECT_EQ(plain.iterations, report.iterations);
    EXPECT_EQ(plainUi.log, watchedUi.log);
    EXPECT_EQ(plainUi.messages, watchedUi.messages);

    ASSERT_EQ(seen.size(), std::size_t(report.iterations) + 1);
    EXPECT_EQ(seen.front().kind, PathPoint::Start);
    EXPECT_EQ(seen.front().x, row.x0);
    // Log: two start lines and the header, then per iteration one line and two points.
    for (std::size_t k = 1; k < seen.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(seen[k].stage, PathStage::Newton);
      EXPECT_EQ(seen[k].kind, PathPoint::Iterate);
      EXPECT_EQ(seen[k].iteration, int(k));
      EXPECT_EQ(Texts(seen[k].x), PointTexts(watchedUi.log, 3 + 3 * (k - 1) + 1, 2));
    }
    EXPECT_EQ(seen.back().x, xOut);
  }
}

TEST(DescentObserver, ToldStartStepsAndTheEndItsLastLinePrints) {
  struct Row {
    const char* name;
    std::vector<Function> f;
    std::int16_t nIteration;
    DescentOutcome outcome;
  };
  const std::vector<Function> curved = {[](auto x) { return x[0] * x[0] + x[1] - 11; },
                                        [](auto x) { return x[0] + x[1] * x[1] - 7; },
                                        [](auto x) { return x[2] * x[2] * x[2] - 1; }};
  const Row rows[] = {
      // The end's count is one past the limit, as its line says.
      {"iteration limit", curved, 1, DescentOutcome::IterationLimit},
      {"converges on a round bowl",
       {[](auto x) { return x[0] - 1; }, [](auto x) { return x[1] - 2; }, [](auto x) { return x[2] - 3; }},
       30,
       DescentOutcome::Converged},
      {"zero gradient at the start",
       {[](auto x) { return x[0]; }, [](auto x) { return x[1]; }, [](auto x) { return x[2]; }},
       30,
       DescentOutcome::ZeroGradient},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    NativeEquations equations(row.f);
    eval::RecordingUi ui;
    const std::vector<double> x = {0, 0, 0};
    std::vector<double> xOut;
    std::vector<Seen> seen;
    ASSERT_EQ(SteepestDescent(ui, "y", 3, equations, x, row.nIteration, 1E-4, xOut, Recorder(seen)), row.outcome);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front().kind, PathPoint::Start);
    EXPECT_EQ(seen.front().x, x);
    for (std::size_t k = 1; k + 1 < seen.size(); ++k) {
      EXPECT_EQ(seen[k].kind, PathPoint::Iterate);
      EXPECT_EQ(seen[k].iteration, int(k));
    }
    const Seen& end = seen.back();
    EXPECT_EQ(end.stage, PathStage::Descent);
    EXPECT_EQ(end.kind, PathPoint::End);
    EXPECT_EQ(end.x, xOut);
    EXPECT_EQ(ui.log.back().substr(0, ui.log.back().find(';')), "sta 400 K= " + std::to_string(end.iteration));
    if (seen.size() > 2) {
      EXPECT_EQ(seen[seen.size() - 2].x, end.x);  // the last step is where it ended
    }
  }
}

TEST(SolverObservers, NotToldWhenTheRunNeverStarts) {
  const std::vector<Function> f = {[](auto x) { return x[0]; }, [](auto x) { return x[1]; },
                                   [](auto x) { return x[2]; }};
  const std::vector<double> x = {1, 2, 3};
  struct Row {
    const char* confirm;
    std::int16_t nEq;
  } rows[] = {{"n", 3}, {"y", 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.confirm) + " " + std::to_string(row.nEq));
    NativeEquations equations(f);
    eval::RecordingUi ui;
    std::vector<double> xOut;
    std::vector<Seen> seen;
    SteepestDescent(ui, row.confirm, row.nEq, equations, x, 30, 1E-4, xOut, Recorder(seen));
    NewtonSystem(ui, row.confirm, row.nEq, equations, x, 30, 1E-5, xOut, Recorder(seen));
    EXPECT_TRUE(seen.empty());
  }
}

}  // namespace
}  // namespace solvers
