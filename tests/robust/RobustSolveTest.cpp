#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "eval/SolverUi.h"
#include "robust/Robust.h"
#include "support/StandardSystems.h"
#include "solvers/Solvers.h"

namespace {

using robust::MaxAbsAt;
using robust::Method;
using robust::Options;
using robust::Report;
using robust::StandardSystem;
using robust::Verdict;

// How close an answer must come to a known simple root: the methods polish
// far below ftol, and these roots are well conditioned.
constexpr double kRootDistance = 1E-8;
// Freudenstein-Roth's local minimum, (11.41, -0.8968), has |F_i| = 4.949.
constexpr double kFreudensteinMinimumMax = 4.949;
constexpr double kMinimumValueTolerance = 1E-3;

StandardSystem Find(const std::string& name) {
  for (StandardSystem& system : robust::SmallSystems())
    if (system.name == name) return system;
  ADD_FAILURE() << "no system " << name;
  return {};
}

Report SolveSystem(const StandardSystem& system, Method method, std::vector<double> start = {},
                   Options options = {}) {
  robust::NativeResiduals residuals(system.n, system.function);
  options.method = method;
  if (start.empty()) start = system.start;
  return robust::Solve(options, residuals, start);
}

double Distance(const std::vector<double>& a, const std::vector<double>& b) {
  double largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

// The classic road (forward differences, 1E-5 on the correction, 30 steps)
// from the standard start: did it end at a root?
bool NewtonFindsRoot(const StandardSystem& system) {
  std::vector<solvers::NativeEquations::Function> functions;
  for (int i = 0; i < system.n; ++i) functions.push_back(robust::EquationOf(system, i));
  solvers::NativeEquations equations(std::move(functions));
  eval::SilentUi ui;
  std::vector<double> xOut;
  const auto report = solvers::NewtonSystem(ui, "y", static_cast<std::int16_t>(system.n), equations,
                                            system.start, 30, 1E-5, xOut);
  return report.outcome == solvers::NewtonOutcome::Converged && !report.nonFinite &&
         MaxAbsAt(system, xOut) <= robust::kDefaultFtol;
}

TEST(RobustRoots, WhereNewtonFailsEveryMethodFindsTheRoot) {
  struct Row {
    std::string system;
    Method method;
  };
  // From these starts Newton diverges (arctangent), leaves the domain
  // (logarithm and root), wanders off (brown almost linear) or ends at no
  // root (freudenstein-roth, whose local minimum traps hybrid and lm too).
  const std::vector<Row> rows = {
      {"arctangent", Method::Hybrid},
      {"arctangent", Method::LevenbergMarquardt},
      {"arctangent", Method::Auto},
      {"logarithm and root", Method::Hybrid},
      {"logarithm and root", Method::LevenbergMarquardt},
      {"logarithm and root", Method::Auto},
      {"brown almost linear 10", Method::Hybrid},
      {"brown almost linear 10", Method::LevenbergMarquardt},
      {"freudenstein-roth", Method::Auto},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.system + " by " + std::string(robust::MethodName(row.method)));
    const StandardSystem system = Find(row.system);
    ASSERT_FALSE(NewtonFindsRoot(system)) << "not a case Newton fails";
    const Report report = SolveSystem(system, row.method);
    EXPECT_EQ(report.verdict, Verdict::Root);
    EXPECT_LE(MaxAbsAt(system, report.x), robust::kDefaultFtol);
    // Brown's system has a second root family; the others' roots are unique nearby.
    if (!system.root.empty() && row.system != "brown almost linear 10") {
      EXPECT_LT(Distance(report.x, system.root), kRootDistance);
    }
    EXPECT_NE(report.method, Method::Auto);
  }
}

TEST(RobustLocalMinimum, IsReportedAsNoRootWithItsSize) {
  const StandardSystem freudenstein = Find("freudenstein-roth");
  const Report lm = SolveSystem(freudenstein, Method::LevenbergMarquardt);
  EXPECT_EQ(lm.verdict, Verdict::LeastSquaresMinimum);
  EXPECT_NEAR(lm.maxAbsResidual, kFreudensteinMinimumMax, kMinimumValueTolerance);
  EXPECT_NE(robust::Summary(lm).find("4.95"), std::string::npos) << robust::Summary(lm);

  // Hybrid stops short of the minimum (its gradient has not vanished there).
  const Report hybrid = SolveSystem(freudenstein, Method::Hybrid);
  EXPECT_NE(hybrid.verdict, Verdict::Root);

  // Without a root, even every restart of `auto` ends at the minimum.
  const Report none = SolveSystem(Find("no real root"), Method::Auto);
  EXPECT_EQ(none.verdict, Verdict::LeastSquaresMinimum);
  EXPECT_NEAR(none.maxAbsResidual, 1.0, kMinimumValueTolerance);
  EXPECT_EQ(none.startsTried, Options{}.maxStarts);
}

TEST(RobustDomain, FailedTrialsShrinkTheStepAndAFailingStartSaysSo) {
  const StandardSystem system = Find("logarithm and root");
  for (Method method : {Method::Hybrid, Method::LevenbergMarquardt}) {
    SCOPED_TRACE(robust::MethodName(method));
    const Report report = SolveSystem(system, method);
    EXPECT_EQ(report.verdict, Verdict::Root);
    EXPECT_GT(report.failedTrials, 0) << "the first full step leaves the domain";
  }
  struct Row {
    std::vector<double> start;
    int failedEquation;
  };
  for (const Row& row : std::vector<Row>{{{-1, 25}, 0}, {{3, -4}, 1}, {{0, 4}, 0}}) {
    // auto goes on to its perturbed starts (RobustAuto below); these have no other start.
    for (Method method : {Method::Hybrid, Method::LevenbergMarquardt}) {
      SCOPED_TRACE(robust::Summary(SolveSystem(system, method, row.start)));
      const Report report = SolveSystem(system, method, row.start);
      EXPECT_EQ(report.verdict, Verdict::EvaluationFailure);
      EXPECT_EQ(report.stopReason, robust::StopReason::StartFailure);
      EXPECT_EQ(report.failedEquation, row.failedEquation);
      EXPECT_EQ(report.functionEvaluations + report.jacobianEvaluations, 1) << "no restart from a bad start";
      EXPECT_EQ(report.x, row.start);
    }
  }
}

// Failures reported through the status, not as NaN, are rejected trials too.
TEST(RobustDomain, AStatusFailureIsARejectedTrial) {
  const StandardSystem system = Find("logarithm and root");
  robust::NativeResiduals inner(system.n, system.function);
  class Guarded : public robust::Residuals {
   public:
    explicit Guarded(robust::Residuals& inner) : inner_(inner) {}
    int Count() const override { return inner_.Count(); }
    robust::EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                                      std::span<double> jacobian) override {
      if (x[0] <= 0) return {0};  // f left as it was: must not be read
      return inner_.Evaluate(x, f, jacobian);
    }

   private:
    robust::Residuals& inner_;
  } guarded(inner);
  const Report report = robust::Solve({.method = Method::Hybrid}, guarded, system.start);
  EXPECT_EQ(report.verdict, Verdict::Root);
  EXPECT_GT(report.failedTrials, 0);
}

TEST(RobustSingular, ASingularRootIsARootFlaggedNearSingular) {
  const StandardSystem powell = Find("powell singular");
  for (Method method : {Method::Hybrid, Method::LevenbergMarquardt}) {
    SCOPED_TRACE(robust::MethodName(method));
    const Report report = SolveSystem(powell, method);
    EXPECT_EQ(report.verdict, Verdict::Root);
    EXPECT_TRUE(report.nearSingular);
    EXPECT_NE(robust::Summary(report).find("near-singular"), std::string::npos);
  }
  const Report regular = SolveSystem(Find("rosenbrock"), Method::Hybrid);
  EXPECT_EQ(regular.verdict, Verdict::Root);
  EXPECT_FALSE(regular.nearSingular);
  EXPECT_LT(regular.conditionEstimate, 1E3);
}

TEST(RobustLarge, TwentyToAHundredEquations) {
  for (int n : {20, 50, 100}) {
    for (const StandardSystem& system :
         {robust::BroydenTridiagonal(n), robust::DiscreteBoundaryValue(n), robust::ExtendedRosenbrock(n)}) {
      for (Method method : {Method::Hybrid, Method::LevenbergMarquardt, Method::Auto}) {
        SCOPED_TRACE(system.name + " by " + std::string(robust::MethodName(method)));
        const Report report = SolveSystem(system, method);
        EXPECT_EQ(report.verdict, Verdict::Root);
        EXPECT_LE(MaxAbsAt(system, report.x), robust::kDefaultFtol);
        if (!system.root.empty()) {
          EXPECT_LT(Distance(report.x, system.root), kRootDistance);
        }
      }
    }
  }
}

TEST(RobustBudget, BudgetsStopCleanly) {
  const StandardSystem freudenstein = Find("freudenstein-roth");
  struct Row {
    std::string name;
    Options options;
    robust::StopReason reason;
  };
  const std::vector<Row> rows = {
      {"evaluations", {.maxEvaluations = 7}, robust::StopReason::EvaluationBudget},
      {"seconds", {.maxSeconds = 0}, robust::StopReason::TimeBudget},
  };
  for (const Row& row : rows) {
    for (Method method : {Method::Hybrid, Method::LevenbergMarquardt, Method::Auto}) {
      SCOPED_TRACE(row.name + " " + std::string(robust::MethodName(method)));
      const Report report = SolveSystem(freudenstein, method, {}, row.options);
      EXPECT_EQ(report.verdict, Verdict::LimitReached);
      EXPECT_EQ(report.stopReason, row.reason);
      // The fresh evaluation at the answer comes on top of the budget.
      EXPECT_LE(report.functionEvaluations + report.jacobianEvaluations, row.options.maxEvaluations + 1);
    }
  }
}

TEST(RobustAuto, RestartsAreReproducible) {
  const StandardSystem freudenstein = Find("freudenstein-roth");
  const Report first = SolveSystem(freudenstein, Method::Auto, {}, {.seed = 7});
  const Report second = SolveSystem(freudenstein, Method::Auto, {}, {.seed = 7});
  EXPECT_EQ(first.verdict, Verdict::Root);
  EXPECT_GT(first.startsTried, 1) << "the given start leads to the local minimum";
  EXPECT_EQ(first.x, second.x);
  EXPECT_EQ(first.startsTried, second.startsTried);
  EXPECT_EQ(first.functionEvaluations, second.functionEvaluations);
}

// Never a root where there is none, from near and far starts, by every method.
TEST(RobustVerdict, RootOnlyWhereMaxAbsFIsWithinTolerance) {
  std::vector<StandardSystem> systems = robust::SmallSystems();
  systems.push_back(robust::BroydenTridiagonal(20));
  for (const StandardSystem& system : systems) {
    for (double factor : {1.0, 10.0, 100.0}) {
      std::vector<double> start = system.start;
      for (double& value : start) value = value == 0 ? factor - 1 : value * factor;
      for (Method method : {Method::Hybrid, Method::LevenbergMarquardt, Method::Auto}) {
        for (double ftol : {1E-10, 1E-4}) {
          Options options;
          options.ftol = ftol;
          const Report report = SolveSystem(system, method, start, options);
          SCOPED_TRACE(system.name + " x" + std::to_string(factor) + " " + robust::Summary(report));
          const double maxAbs = MaxAbsAt(system, report.x);
          EXPECT_EQ(report.verdict == Verdict::Root, maxAbs <= ftol);
          if (!system.solvable) {
            EXPECT_NE(report.verdict, Verdict::Root);
          }
          if (report.verdict == Verdict::LeastSquaresMinimum) {
            EXPECT_LE(report.gradientCosine, options.gradientTolerance);
          }
          EXPECT_EQ(report.residuals.size(), static_cast<std::size_t>(system.n));
        }
      }
    }
  }
}

}  // namespace

// auto's perturbed starts are for a given start the equations are not
// defined at, too; the report says the given one failed.
TEST(RobustAuto, AGivenStartWhereFFailsGoesOnToPerturbedStarts) {
  const StandardSystem system = Find("logarithm and root");
  struct Row {
    std::vector<double> start;
    int failedEquation;
  };
  for (const Row& row : std::vector<Row>{{{-1, 25}, 0}, {{3, -4}, 1}, {{0, 4}, 0}}) {
    const Report report = SolveSystem(system, Method::Auto, row.start);
    SCOPED_TRACE(robust::Summary(report));
    EXPECT_EQ(report.verdict, Verdict::Root);
    EXPECT_TRUE(report.givenStartFailed);
    EXPECT_EQ(report.givenStartFailedEquation, row.failedEquation);
    EXPECT_GT(report.startIndex, 1);
    EXPECT_LE(MaxAbsAt(system, report.x), robust::kDefaultFtol);
    EXPECT_NE(robust::Summary(report).find("cannot be evaluated at the given start"), std::string::npos);
  }
  // Defined nowhere: every start fails, and the sentence says so.
  robust::NativeResiduals nowhere(1, [](std::span<const double>, std::span<double> f, std::span<double>) {
    f[0] = std::nan("");
  });
  Options options;
  options.maxStarts = 5;
  const Report none = robust::Solve(options, nowhere, std::vector<double>{1.0});
  EXPECT_EQ(none.verdict, Verdict::EvaluationFailure);
  EXPECT_EQ(none.stopReason, robust::StopReason::StartFailure);
  EXPECT_EQ(none.startsTried, 5);
  EXPECT_EQ(robust::Summary(none),
            "Evaluation failure: equation 1 cannot be evaluated at the start, and the equations cannot be "
            "evaluated at any of the 4 perturbed starts either.");
}

// A stop request ends the solve at the next evaluation; the best point so far
// is checked as usual and the report says it was interrupted.
TEST(RobustStop, AStopRequestEndsTheSolveWithItsBestPoint) {
  const StandardSystem system = Find("freudenstein-roth");
  for (Method method : {Method::Hybrid, Method::LevenbergMarquardt, Method::Auto}) {
    SCOPED_TRACE(robust::MethodName(method));
    std::atomic<int> stop{0};
    Options options;
    options.stop = &stop;
    options.observer = [&stop](const robust::Iterate& iterate) {
      if (iterate.step == 2) stop = 1;
    };
    const Report report = SolveSystem(system, method, {}, options);
    EXPECT_TRUE(report.interrupted);
    EXPECT_EQ(report.stopReason, robust::StopReason::Interrupted);
    EXPECT_EQ(report.verdict, Verdict::LimitReached);
    EXPECT_EQ(report.maxAbsResidual, MaxAbsAt(system, report.x)) << "checked by a fresh evaluation";
    EXPECT_NE(robust::Summary(report).find("No root found: interrupted (a stop was requested)"), std::string::npos);
  }
  std::atomic<int> already{2};
  Options options;
  options.stop = &already;
  const Report report = SolveSystem(system, Method::Auto, {}, options);
  EXPECT_TRUE(report.interrupted);
  EXPECT_EQ(report.functionEvaluations + report.jacobianEvaluations, 0);
}

// "singular" once: a singular Jacobian is not also called near-singular.
TEST(RobustSingular, TheSentenceNamesTheConditionOnce) {
  Report report;
  report.verdict = Verdict::Root;
  report.startsTried = report.startIndex = 1;
  report.conditionEstimate = std::numeric_limits<double>::infinity();
  report.nearSingular = true;
  EXPECT_EQ(robust::Summary(report),
            "Root found by hybrid from start 1 of 1 after 0 iterations (0 evaluations of F, 0 of F and J): "
            "max|F| = 0, the Jacobian there is singular, so the unknowns are poorly determined.");
  report.conditionEstimate = 1E12;
  EXPECT_EQ(robust::Summary(report),
            "Root found by hybrid from start 1 of 1 after 0 iterations (0 evaluations of F, 0 of F and J): "
            "max|F| = 0, the Jacobian there is near-singular (condition about 1E+12), so the unknowns are "
            "poorly determined.");
}
