// Standard test systems, each from its standard start and from 10 and 100
// times it, solved by every method in one run: the classic Newton road (native
// equations, forward differences), hybrid, lm and auto. Per solve: time, and
// the counters evaluations of F, of J (calls for F and J together), whether
// the answer is a root (max|F| <= 1E-10, checked by a fresh evaluation) and
// the starts tried.
// And one evaluation of F and J of a few of them written as text (compiled),
// without and with the rounding-error bounds the root test uses (evaluate/
// and bounded/ per system; the bounds should cost at most 1.5 times).
//   build/bench/bench_robust --benchmark_counters_tabular=true
//   build/bench/bench_robust --benchmark_filter='evaluate|bounded' --benchmark_repetitions=5
#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "robust/CompiledResiduals.h"
#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/Robust.h"
#include "support/StandardSystems.h"
#include "solvers/Solvers.h"

namespace {

// The Go command's Newton arguments.
constexpr std::int16_t kNewtonIterations = 30;
constexpr double kNewtonTolerance = 1E-5;
constexpr double kStartFactors[] = {1, 10, 100};

std::vector<double> ScaledStart(const robust::StandardSystem& system, double factor) {
  std::vector<double> start = system.start;
  for (double& value : start) value = value == 0 ? factor - 1 : value * factor;
  return start;
}

void SolveRobust(benchmark::State& state, const robust::StandardSystem& system, robust::Method method,
                 double factor) {
  const std::vector<double> start = ScaledStart(system, factor);
  robust::NativeResiduals residuals(system.n, system.function);
  robust::Options options;
  options.method = method;
  robust::Report report;
  for (auto _ : state) {
    report = robust::Solve(options, residuals, start);
    benchmark::DoNotOptimize(report.x.data());
  }
  state.counters["F"] = static_cast<double>(report.functionEvaluations);
  state.counters["J"] = static_cast<double>(report.jacobianEvaluations);
  state.counters["root"] = report.verdict == robust::Verdict::Root ? 1 : 0;
  state.counters["starts"] = report.startsTried;
  // A root verdict that a fresh evaluation contradicts would be a false verdict.
  state.counters["false_root"] =
      report.verdict == robust::Verdict::Root && !(robust::MaxAbsAt(system, report.x) <= robust::kDefaultFtol) ? 1 : 0;
}

// Equation evaluations counted through the classic road's one-value interface.
void SolveNewton(benchmark::State& state, const robust::StandardSystem& system, double factor) {
  const std::vector<double> start = ScaledStart(system, factor);
  long evaluations = 0;
  std::vector<solvers::NativeEquations::Function> functions;
  for (int i = 0; i < system.n; ++i) {
    functions.push_back([equation = robust::EquationOf(system, i), &evaluations](std::span<const double> x) {
      ++evaluations;
      return equation(x);
    });
  }
  solvers::NativeEquations equations(std::move(functions));
  eval::SilentUi ui;
  std::vector<double> xOut;
  for (auto _ : state) {
    evaluations = 0;
    solvers::NewtonSystem(ui, "y", static_cast<std::int16_t>(system.n), equations, start, kNewtonIterations,
                          kNewtonTolerance, xOut);
    benchmark::DoNotOptimize(xOut.data());
  }
  // One evaluation of F is n equation values.
  state.counters["F"] = static_cast<double>(evaluations) / system.n;
  state.counters["J"] = 0;
  state.counters["root"] = robust::MaxAbsAt(system, xOut) <= robust::kDefaultFtol ? 1 : 0;
  state.counters["starts"] = 1;
  state.counters["false_root"] = 0;
}

std::vector<robust::StandardSystem> BenchSystems() {
  std::vector<robust::StandardSystem> systems = robust::SmallSystems();
  systems.push_back(robust::BroydenTridiagonal(100));
  systems.push_back(robust::DiscreteBoundaryValue(100));
  systems.push_back(robust::ExtendedRosenbrock(100));
  return systems;
}

const std::vector<robust::StandardSystem>& Systems() {
  static const std::vector<robust::StandardSystem> systems = BenchSystems();
  return systems;
}

struct TextSystem {
  std::string name;
  std::vector<std::string> equations, names;
  std::vector<double> at;
};

std::vector<TextSystem> TextSystems() {
  std::vector<TextSystem> systems = {
      {"rosenbrock", {"10*(y - x^2)", "1 - x"}, {"x", "y"}, {-1.2, 1}},
      {"freudenstein-roth", {"-13 + x + ((5 - y)*y - 2)*y", "-29 + x + ((y + 1)*y - 14)*y"}, {"x", "y"}, {0.5, -2}},
      {"logarithm and root", {"Log(x) - 1", "Sqr(y) - 2"}, {"x", "y"}, {2, 3}},
      {"wood",
       {"-200*a*(b - a^2) - (1 - a)", "200*(b - a^2) + 20.2*(b - 1) + 19.8*(d - 1)", "-180*c*(d - c^2) - (1 - c)",
        "180*(d - c^2) + 20.2*(d - 1) + 19.8*(b - 1)"},
       {"a", "b", "c", "d"}, {-3, -1, -3, -1}},
      {"trigonometric", {"Sin(x)*Cos(y) - 0.25", "Exp(-x*y) - 0.5"}, {"x", "y"}, {0.3, 1.1}},
  };
  // Broyden tridiagonal, 20 unknowns.
  TextSystem broyden{"broyden-tridiagonal-20", {}, {}, std::vector<double>(20, -1.0)};
  for (int i = 1; i <= 20; ++i) broyden.names.push_back("x" + std::to_string(i));
  for (int i = 1; i <= 20; ++i) {
    std::string e = "(3 - 2*x" + std::to_string(i) + ")*x" + std::to_string(i) + " + 1";
    if (i > 1) e += " - x" + std::to_string(i - 1);
    if (i < 20) e += " - 2*x" + std::to_string(i + 1);
    broyden.equations.push_back(e);
  }
  systems.push_back(broyden);
  return systems;
}

void EvaluateText(benchmark::State& state, const TextSystem& text, bool bounded) {
  eval::SilentUi ui;
  eval::CompiledSystem system(text.equations, text.names, std::make_shared<eval::ClsMath>());
  robust::CompiledResiduals residuals(system);
  const std::size_t n = text.equations.size();
  std::vector<double> f(n), jacobian(n * n), bounds(n);
  for (auto _ : state) {
    const robust::EvaluationStatus status = bounded ? residuals.EvaluateWithBounds(text.at, f, jacobian, bounds)
                                                    : residuals.Evaluate(text.at, f, jacobian);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(f.data());
    benchmark::DoNotOptimize(bounds.data());
  }
}

int Register() {
  static const std::vector<TextSystem> texts = TextSystems();
  for (const TextSystem& text : texts) {
    benchmark::RegisterBenchmark(("evaluate/" + text.name).c_str(),
                                 [&text](benchmark::State& state) { EvaluateText(state, text, false); });
    benchmark::RegisterBenchmark(("bounded/" + text.name).c_str(),
                                 [&text](benchmark::State& state) { EvaluateText(state, text, true); });
  }
  for (const robust::StandardSystem& system : Systems()) {
    for (double factor : kStartFactors) {
      const std::string suffix = system.name + "/x" + std::to_string(static_cast<int>(factor));
      // The classic road takes 2 to a few equations.
      if (system.n >= 2 && system.n <= 10) {
        benchmark::RegisterBenchmark(("newton/" + suffix).c_str(), [&system, factor](benchmark::State& state) {
          SolveNewton(state, system, factor);
        });
      }
      for (robust::Method method :
           {robust::Method::Hybrid, robust::Method::LevenbergMarquardt, robust::Method::Auto}) {
        benchmark::RegisterBenchmark((std::string(robust::MethodName(method)) + "/" + suffix).c_str(),
                                     [&system, method, factor](benchmark::State& state) {
                                       SolveRobust(state, system, method, factor);
                                     });
      }
    }
  }
  return 0;
}

const int kRegistered = Register();

}  // namespace

BENCHMARK_MAIN();
