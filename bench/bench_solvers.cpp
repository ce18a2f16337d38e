// One whole solve of each example system as the Go command runs it (steepest
// descent first for three equations, then Newton's method), through real
// script engines and, side by side in the same run, through the same
// equations as native code. BM_GoCommand is the whole command: input step
// (fresh engines), both solvers, the answer and the title.
// Target: every example's Go command within 10 times its native solve;
// BM_GoAgainstNative measures the two in alternation and reports the ratio.
#include <chrono>
#include <cmath>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "NativeExamples.h"
#include "app/Examples.h"
#include "app/GoCommand.h"
#include "eval/ClsMath.h"
#include "eval/ScriptEngine.h"
#include "solvers/EquationSystem.h"
#include "solvers/Solvers.h"

namespace {

// The Go command's arguments.
constexpr std::int16_t kIterations = 30;
constexpr double kDescentTolerance = 1E-4;
constexpr double kNewtonTolerance = 1E-5;

// Counts the evaluations of one solve: the script and native roads should
// take the same number, so their times compare per evaluation too.
class Counted : public solvers::EquationSystem {
 public:
  explicit Counted(solvers::EquationSystem& inner) : inner_(inner) {}
  int Count() const override { return inner_.Count(); }
  double Value(int i, std::span<const double> x) override {
    ++calls;
    return inner_.Value(i, x);
  }
  long calls = 0;

 private:
  solvers::EquationSystem& inner_;
};

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
  Counted counted(equations);
  Solve(counted, nEq, ui, xOut);
  state.counters["evaluations"] = static_cast<double>(counted.calls);
  state.SetLabel("example " + std::to_string(example));
}
// The window's fields and state after double-clicking example n.
void LoadExample(int example, app::InputFields& fields, app::ProblemState& problem) {
  const auto eqs = app::ExampleEquations(example);
  problem.nEq = static_cast<std::int16_t>(eqs.size());
  for (std::size_t i = 0; i < eqs.size(); ++i) fields.txtEqs[i] = std::string(eqs[i]);
  fields.txtVars = eqs.size() == 3 ? "x1,x2,x3" : "x1,x2";
  fields.txtVarsI = eqs.size() == 3 ? "0,0,0" : "0,0";  // the examples' initial values
}

void BM_GoCommand(benchmark::State& state) {
  const int example = static_cast<int>(state.range(0));
  eval::SilentUi ui;
  app::InputFields fields;
  app::ProblemState problem;
  LoadExample(example, fields, problem);
  for (auto _ : state) {
    const app::GoResult result = app::CmdExecute_Click(fields, problem, ui);
    benchmark::DoNotOptimize(result.x.data());
  }
  state.SetLabel("example " + std::to_string(example));
}


void BM_SolveNative(benchmark::State& state) {
  const int example = static_cast<int>(state.range(0));
  eval::SilentUi ui;
  solvers::NativeEquations equations(benchnative::NativeExample(example));
  const auto nEq = static_cast<std::int16_t>(equations.Count());
  std::vector<double> xOut;
  for (auto _ : state) {
    Solve(equations, nEq, ui, xOut);
    benchmark::DoNotOptimize(xOut.data());
  }
  Counted counted(equations);
  Solve(counted, nEq, ui, xOut);
  state.counters["evaluations"] = static_cast<double>(counted.calls);
  state.SetLabel("example " + std::to_string(example));
}

// The target's own measure: a whole Go command and the native solve of the
// same example, one after the other in every iteration, so that both see the
// same machine. Counters: the mean time of each in microseconds and their ratio.
void BM_GoAgainstNative(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const int example = static_cast<int>(state.range(0));
  eval::SilentUi ui;
  app::InputFields fields;
  app::ProblemState problem;
  LoadExample(example, fields, problem);
  solvers::NativeEquations native(benchnative::NativeExample(example));
  const auto nEq = static_cast<std::int16_t>(native.Count());
  std::vector<double> xOut;
  Clock::duration go{};
  Clock::duration direct{};
  for (auto _ : state) {
    const auto start = Clock::now();
    const app::GoResult result = app::CmdExecute_Click(fields, problem, ui);
    const auto middle = Clock::now();
    Solve(native, nEq, ui, xOut);
    const auto end = Clock::now();
    benchmark::DoNotOptimize(result.x.data());
    benchmark::DoNotOptimize(xOut.data());
    go += middle - start;
    direct += end - middle;
  }
  const double iterations = static_cast<double>(state.iterations());
  const double goUs = std::chrono::duration<double, std::micro>(go).count() / iterations;
  const double nativeUs = std::chrono::duration<double, std::micro>(direct).count() / iterations;
  state.counters["go_us"] = goUs;
  state.counters["native_us"] = nativeUs;
  state.counters["ratio"] = goUs / nativeUs;
  state.SetLabel("example " + std::to_string(example));
}

// Example by example, so that the measures of one example run next to each
// other in time.
const bool kRegistered = [] {
  for (int example = 1; example <= app::kExampleCount; ++example) {
    benchmark::RegisterBenchmark("BM_GoCommand", BM_GoCommand)->Arg(example)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_SolveScript", BM_SolveScript)->Arg(example)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_SolveNative", BM_SolveNative)->Arg(example)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_GoAgainstNative", BM_GoAgainstNative)->Arg(example)->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
