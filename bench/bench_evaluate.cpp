// Evaluate on every equation of the nine example systems, as the solvers call
// it, against the same equation as a native lambda.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/Examples.h"
#include "eval/ClsMath.h"
#include "eval/Evaluate.h"
#include "eval/ScriptEngine.h"

namespace {

// A point the solvers might visit: no coordinate has a short text.
const std::vector<double> kPoint{-0.7912345678, 1.5412345678, 0.9712345678};

void BM_Evaluate(benchmark::State& state) {
  const int example = static_cast<int>(state.range(0));
  const int equation = static_cast<int>(state.range(1));
  const auto eqs = app::ExampleEquations(example);
  if (equation > static_cast<int>(eqs.size())) {
    state.SkipWithError("no such equation");
    return;
  }
  eval::SilentUi ui;
  eval::ScriptEngine engine;
  engine.SetLanguage("VBScript");
  const auto mathLib = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryUi(*mathLib, ui);
  engine.AddObject("math", mathLib, true);
  std::vector<std::string> names;
  for (std::size_t i = 1; i <= eqs.size(); ++i) names.push_back("x" + std::to_string(i));
  std::vector<double> point(kPoint.begin(), kPoint.begin() + eqs.size());
  const std::string text(eqs[equation - 1]);
  double sum = 0;
  for (auto _ : state) {
    point[0] += 1E-9;  // a new number text every call, as in a solver
    sum += eval::ResultToDouble(eval::Evaluate(engine, text, names, point, ui), ui);
  }
  benchmark::DoNotOptimize(sum);
  state.SetLabel(text);
}

void ExampleArgs(benchmark::internal::Benchmark* b) {
  for (int n = 1; n <= app::kExampleCount; ++n) {
    const int count = static_cast<int>(app::ExampleEquations(n).size());
    for (int i = 1; i <= count; ++i) b->Args({n, i});
  }
}
BENCHMARK(BM_Evaluate)->Apply(ExampleArgs);

// The first equation of example 1 as native code, for scale.
void BM_NativeExample1(benchmark::State& state) {
  std::vector<double> point(kPoint.begin(), kPoint.begin() + 2);
  double sum = 0;
  for (auto _ : state) {
    point[0] += 1E-9;
    benchmark::DoNotOptimize(point);
    sum += std::pow(point[0], 2) - 2 * point[1] - 2;
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_NativeExample1);

}  // namespace

BENCHMARK_MAIN();
