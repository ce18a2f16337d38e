// One whole solve of each example system as the Go command runs it (steepest
// descent first for three equations, then Newton's method), through real
// script engines and, for scale, through the same equations as native code.
// Target: the median script solve of an example within 1 ms.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/Examples.h"
#include "eval/ClsMath.h"
#include "eval/ScriptEngine.h"
#include "solvers/EquationSystem.h"
#include "solvers/Solvers.h"

namespace {

// The Go command's arguments.
constexpr std::int16_t kIterations = 30;
constexpr double kDescentTolerance = 1E-4;
constexpr double kNewtonTolerance = 1E-5;

void Solve(solvers::EquationSystem& equations, std::int16_t nEq, eval::SilentUi& ui,
           std::vector<double>& xOut) {
  std::vector<double> x(std::size_t(nEq), 0.0);  // the examples' initial values
  if (nEq == 3) {
    solvers::SteepestDescent(ui, "y", nEq, equations, x, kIterations, kDescentTolerance, xOut);
    xOut.resize(std::size_t(nEq));
    x = xOut;
  }
  solvers::NewtonSystem(ui, "y", nEq, equations, x, kIterations, kNewtonTolerance, xOut);
}

void BM_SolveScript(benchmark::State& state) {
  const int example = static_cast<int>(state.range(0));
  eval::SilentUi ui;
  std::vector<std::string> eqTexts;
  for (std::string_view text : app::ExampleEquations(example)) eqTexts.emplace_back(text);
  const auto nEq = static_cast<std::int16_t>(eqTexts.size());
  std::vector<std::string> names;
  for (int i = 1; i <= nEq; ++i) names.push_back("x" + std::to_string(i));
  auto mathLib = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryUi(*mathLib, ui);
  std::vector<std::unique_ptr<eval::ScriptEngine>> engines;
  for (int i = 0; i < nEq; ++i) {
    engines.push_back(std::make_unique<eval::ScriptEngine>());
    engines.back()->SetLanguage("VBScript");
    engines.back()->AddObject("math", mathLib, true);
  }
  solvers::ScriptEquations equations(engines, eqTexts, names, ui);
  std::vector<double> xOut;
  for (auto _ : state) {
    Solve(equations, nEq, ui, xOut);
    benchmark::DoNotOptimize(xOut.data());
  }
  state.SetLabel("example " + std::to_string(example));
}
BENCHMARK(BM_SolveScript)->DenseRange(1, app::kExampleCount)->Unit(benchmark::kMicrosecond);

// The nine systems as native code, in list order; ^ is the power as in the
// script language.
using Function = solvers::NativeEquations::Function;
std::vector<Function> NativeExample(int n) {
  const double pi = 4 * std::atan(1.0);
  const double e = std::exp(1.0);
  switch (n) {
    case 1:
      return {[](auto x) { return std::pow(x[0], 2) - 2 * x[1] - 2; },
              [](auto x) { return x[0] - std::pow(x[1], 3) - 1; }};
    case 2:
      return {[](auto x) { return 2 * std::pow(x[0], 2) - 20 * x[0] + 0.25 * std::pow(x[1], 2) + 8; },
              [](auto x) { return 0.5 * x[0] * std::pow(x[1], 2) + 2 * x[0] - 5 * x[1] + 8; }};
    case 3:
      return {[pi](auto x) { return std::sin(4 * pi * x[0] * x[1]) - 2 * x[1] - x[0]; },
              [pi, e](auto x) {
                return ((4 * pi - 1) / 4 / pi) * (std::exp(2 * x[0]) - e) +
                       4 * e * std::pow(x[1], 2) - 2 * e * x[0];
              }};
    case 4:
      return {[](auto x) { return 3 * x[0] - std::cos(x[1] * x[2]) - 0.5; },
              [](auto x) { return 4 * std::pow(x[0], 2) - 625 * std::pow(x[1], 2) + 2 * x[1] - 1; },
              [pi](auto x) { return std::exp(-x[0] * x[1]) + 20 * x[2] + (10 * pi - 3) / 3; }};
    case 5:
      return {[](auto x) { return std::pow(x[0], 2) + x[1] + x[2] - 20; },
              [](auto x) { return x[0] - std::pow(x[1], 2) - 5; },
              [](auto x) { return x[0] + x[1] + x[2] - 13; }};
    case 6:
      return {[](auto x) { return 5 * std::pow(x[0], 2) - std::pow(x[1], 2); },
              [](auto x) { return x[1] - 0.25 * (std::sin(x[0]) + std::cos(x[1])); }};
    case 7:
      return {[](auto x) { return 15 * x[0] + std::pow(x[1], 2) + 4 * x[2] - 13; },
              [](auto x) { return std::pow(x[0], 2) + 10 * x[1] - x[2] - 11; },
              [](auto x) { return std::pow(x[1], 3) - 25 * x[2] + 22; }};
    case 8:
      return {[](auto x) { return 10 * x[0] - 2 * std::pow(x[1], 2) - 2 * x[2] - 5; },
              [](auto x) { return 8 * std::pow(x[1], 2) + 4 * std::pow(x[2], 2) - 9; },
              [](auto x) { return 8 * x[1] * x[2] + 4; }};
    default:
      return {[](auto x) { return 2 * x[0] - 3 * x[1] - x[2] - 4; },
              [](auto x) { return 2 * x[0] + x[1] - x[2] + 4; },
              [](auto x) { return std::pow(x[0], 2) + std::pow(x[1], 2) + std::pow(x[2], 2) - 4; }};
  }
}

void BM_SolveNative(benchmark::State& state) {
  const int example = static_cast<int>(state.range(0));
  eval::SilentUi ui;
  solvers::NativeEquations equations(NativeExample(example));
  const auto nEq = static_cast<std::int16_t>(equations.Count());
  std::vector<double> xOut;
  for (auto _ : state) {
    Solve(equations, nEq, ui, xOut);
    benchmark::DoNotOptimize(xOut.data());
  }
  state.SetLabel("example " + std::to_string(example));
}
BENCHMARK(BM_SolveNative)->DenseRange(1, app::kExampleCount)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
