// Evaluate on every equation of the nine example systems, as the solvers call
// it, beside the same equation as native code and as muparser evaluates it
// (parsed once, and parsed again at every call as Evaluate's contract asks of
// us), all in one program so that one run sets them side by side.
// Target: at most 2,500 instructions per Evaluate call. Run under callgrind
// with --instructions (scripts/bench.sh --instructions does), the program
// instead makes kCountedCalls calls of each equation and dumps the counts of
// each as its own callgrind part, named by the equation.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <muParser.h>
#include <valgrind/callgrind.h>

#include "NativeExamples.h"
#include "app/Examples.h"
#include "eval/ClsMath.h"
#include "eval/Evaluate.h"
#include "eval/ScriptEngine.h"

namespace {

// A point the solvers might visit: no coordinate has a short text.
const std::vector<double> kPoint{-0.7912345678, 1.5412345678, 0.9712345678};

struct Equation {
  std::string text;
  std::size_t unknowns = 0;
  benchnative::Function native;
};

// Example n, equation i; nullopt-like empty text when there is no such equation.
Equation EquationOf(const benchmark::State& state) {
  const int example = static_cast<int>(state.range(0));
  const int index = static_cast<int>(state.range(1));
  const auto eqs = app::ExampleEquations(example);
  return {std::string(eqs[index - 1]), eqs.size(), benchnative::NativeExample(example)[index - 1]};
}

void BM_Evaluate(benchmark::State& state) {
  const Equation eq = EquationOf(state);
  eval::SilentUi ui;
  eval::ScriptEngine engine;
  engine.SetLanguage("VBScript");
  const auto mathLib = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryUi(*mathLib, ui);
  engine.AddObject("math", mathLib, true);
  std::vector<std::string> names;
  for (std::size_t i = 1; i <= eq.unknowns; ++i) names.push_back("x" + std::to_string(i));
  std::vector<double> point(kPoint.begin(), kPoint.begin() + static_cast<long>(eq.unknowns));
  double sum = 0;
  for (auto _ : state) {
    point[0] += 1E-9;  // a new number text every call, as in a solver
    sum += eval::ResultToDouble(eval::Evaluate(engine, eq.text, names, point, ui), ui);
  }
  benchmark::DoNotOptimize(sum);
  state.SetLabel(eq.text);
}

void BM_Native(benchmark::State& state) {
  const Equation eq = EquationOf(state);
  std::vector<double> point(kPoint.begin(), kPoint.begin() + static_cast<long>(eq.unknowns));
  double sum = 0;
  for (auto _ : state) {
    point[0] += 1E-9;
    benchmark::DoNotOptimize(point.data());
    sum += eq.native(point);
  }
  benchmark::DoNotOptimize(sum);
  state.SetLabel(eq.text);
}

// muparser with the unknowns bound to variables and pi defined; everything
// else the examples use (sin, cos, exp, ^) is muparser's own.
struct Muparser {
  mu::Parser parser;
  std::vector<double> point;
  explicit Muparser(const Equation& eq) : point(kPoint.begin(), kPoint.begin() + static_cast<long>(eq.unknowns)) {
    parser.DefineConst("pi", 4 * std::atan(1.0));
    for (std::size_t i = 0; i < point.size(); ++i) parser.DefineVar("x" + std::to_string(i + 1), &point[i]);
    parser.SetExpr(eq.text);
  }
};

// muparser evaluating the equation, given its text again before every call
// or not.
template <bool kParseEveryCall>
void BM_Muparser(benchmark::State& state) {
  const Equation eq = EquationOf(state);
  Muparser mu(eq);
  double sum = 0;
  for (auto _ : state) {
    mu.point[0] += 1E-9;
    if constexpr (kParseEveryCall) mu.parser.SetExpr(eq.text);
    sum += mu.parser.Eval();
  }
  benchmark::DoNotOptimize(sum);
  state.SetLabel(eq.text);
}
void BM_MuparserParsedOnce(benchmark::State& state) { BM_Muparser<false>(state); }
void BM_MuparserParsedEveryCall(benchmark::State& state) { BM_Muparser<true>(state); }

void ExampleArgs(benchmark::internal::Benchmark* b) {
  for (int n = 1; n <= app::kExampleCount; ++n) {
    const int count = static_cast<int>(app::ExampleEquations(n).size());
    for (int i = 1; i <= count; ++i) b->Args({n, i});
  }
}
BENCHMARK(BM_Evaluate)->Apply(ExampleArgs);
BENCHMARK(BM_Native)->Apply(ExampleArgs);
BENCHMARK(BM_MuparserParsedOnce)->Apply(ExampleArgs);
BENCHMARK(BM_MuparserParsedEveryCall)->Apply(ExampleArgs);

constexpr int kCountedCalls = 2000;
constexpr int kWarmUpCalls = 10;  // the first calls compile and create the names

// Counts instructions of Evaluate, native code and muparser (parsed once) per
// equation; callgrind_annotate or scripts/bench.sh reads the parts.
void CountInstructions() {
  eval::SilentUi ui;
  for (int n = 1; n <= app::kExampleCount; ++n) {
    const auto eqs = app::ExampleEquations(n);
    for (std::size_t i = 0; i < eqs.size(); ++i) {
      const std::string text(eqs[i]);
      eval::ScriptEngine engine;
      engine.SetLanguage("VBScript");
      engine.AddObject("math", std::make_shared<eval::ClsMath>(), true);
      std::vector<std::string> names;
      for (std::size_t k = 1; k <= eqs.size(); ++k) names.push_back("x" + std::to_string(k));
      std::vector<double> point(kPoint.begin(), kPoint.begin() + static_cast<long>(eqs.size()));
      double sum = 0;
      for (int k = 0; k < kWarmUpCalls; ++k) {
        sum += eval::ResultToDouble(eval::Evaluate(engine, text, names, point, ui), ui);
      }
      CALLGRIND_ZERO_STATS;
      for (int k = 0; k < kCountedCalls; ++k) {
        point[0] += 1E-9;
        sum += eval::ResultToDouble(eval::Evaluate(engine, text, names, point, ui), ui);
      }
      const std::string evaluateLabel = "Evaluate " + text;  // alive while callgrind reads it
      CALLGRIND_DUMP_STATS_AT(evaluateLabel.c_str());

      const Equation eq{text, eqs.size(), benchnative::NativeExample(n)[i]};
      Muparser mu(eq);
      for (int k = 0; k < kWarmUpCalls; ++k) sum += mu.parser.Eval();
      CALLGRIND_ZERO_STATS;
      for (int k = 0; k < kCountedCalls; ++k) {
        mu.point[0] += 1E-9;
        sum += mu.parser.Eval();
      }
      const std::string muparserLabel = "muparser " + text;  // alive while callgrind reads it
      CALLGRIND_DUMP_STATS_AT(muparserLabel.c_str());

      CALLGRIND_ZERO_STATS;
      for (int k = 0; k < kCountedCalls; ++k) {
        point[0] += 1E-9;
        benchmark::DoNotOptimize(point.data());
        sum += eq.native(point);
      }
      const std::string nativeLabel = "native " + text;  // alive while callgrind reads it
      CALLGRIND_DUMP_STATS_AT(nativeLabel.c_str());
      benchmark::DoNotOptimize(sum);
    }
  }
  std::printf("%d calls per part\n", kCountedCalls);
}

}  // namespace

int main(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--instructions") == 0) {
      CountInstructions();
      return 0;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
