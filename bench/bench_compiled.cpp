// The compiled form of every example equation beside the same equation as a
// native lambda, in one run: the value alone, then the value with the full
// gradient. After the run a table gives value / native and gradient / value.
//
// Then large systems: a tridiagonal system of n equations (each using three
// unknowns) compiled, and F with J evaluated once as a sparse matrix, for
// n = 1000, 10^4 and 10^5 (and once dense for n = 1000). Peak memory of the
// process is reported as max_rss_mb (the largest n runs last).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "app/Examples.h"
#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"

namespace {

// A point the solvers might visit.
const std::vector<double> kPoint{-0.7912345678, 1.5412345678, 0.9712345678};
const double pi = eval::ClsMath::PI();

using Native = double (*)(const double* x);

// The example equations in the order of app::ExampleEquations, as C++.
const std::vector<std::vector<Native>> kNative{
    {[](const double* x) { return std::pow(x[0], 2) - 2 * x[1] - 2; },
     [](const double* x) { return x[0] - std::pow(x[1], 3) - 1; }},
    {[](const double* x) { return 2 * std::pow(x[0], 2) - 20 * x[0] + 0.25 * std::pow(x[1], 2) + 8; },
     [](const double* x) { return 0.5 * x[0] * std::pow(x[1], 2) + 2 * x[0] - 5 * x[1] + 8; }},
    {[](const double* x) { return std::sin(4 * pi * x[0] * x[1]) - 2 * x[1] - x[0]; },
     [](const double* x) {
       return ((4 * pi - 1) / 4 / pi) * (std::exp(2 * x[0]) - std::exp(1.0)) +
              4 * std::exp(1.0) * std::pow(x[1], 2) - 2 * std::exp(1.0) * x[0];
     }},
    {[](const double* x) { return 3 * x[0] - std::cos(x[1] * x[2]) - 0.5; },
     [](const double* x) { return 4 * std::pow(x[0], 2) - 625 * std::pow(x[1], 2) + 2 * x[1] - 1; },
     [](const double* x) { return std::exp(-x[0] * x[1]) + 20 * x[2] + (10 * pi - 3) / 3; }},
    {[](const double* x) { return std::pow(x[0], 2) + x[1] + x[2] - 20; },
     [](const double* x) { return x[0] - std::pow(x[1], 2) - 5; },
     [](const double* x) { return x[0] + x[1] + x[2] - 13; }},
    {[](const double* x) { return 5 * std::pow(x[0], 2) - std::pow(x[1], 2); },
     [](const double* x) { return x[1] - 0.25 * (std::sin(x[0]) + std::cos(x[1])); }},
    {[](const double* x) { return 15 * x[0] + std::pow(x[1], 2) + 4 * x[2] - 13; },
     [](const double* x) { return std::pow(x[0], 2) + 10 * x[1] - x[2] - 11; },
     [](const double* x) { return std::pow(x[1], 3) - 25 * x[2] + 22; }},
    {[](const double* x) { return 10 * x[0] - 2 * std::pow(x[1], 2) - 2 * x[2] - 5; },
     [](const double* x) { return 8 * std::pow(x[1], 2) + 4 * std::pow(x[2], 2) - 9; },
     [](const double* x) { return 8 * x[1] * x[2] + 4; }},
    {[](const double* x) { return 2 * x[0] - 3 * x[1] - x[2] - 4; },
     [](const double* x) { return 2 * x[0] + x[1] - x[2] + 4; },
     [](const double* x) { return std::pow(x[0], 2) + std::pow(x[1], 2) + std::pow(x[2], 2) - 4; }},
};

struct Case {
  std::string text;
  std::vector<std::string> names;
};

Case CaseOf(const benchmark::State& state) {
  const auto eqs = app::ExampleEquations(static_cast<int>(state.range(0)));
  Case c{std::string(eqs[static_cast<std::size_t>(state.range(1) - 1)]), {}};
  for (std::size_t i = 1; i <= eqs.size(); ++i) c.names.push_back("x" + std::to_string(i));
  return c;
}

void BM_Native(benchmark::State& state) {
  const Case c = CaseOf(state);
  const Native f = kNative[static_cast<std::size_t>(state.range(0) - 1)][static_cast<std::size_t>(state.range(1) - 1)];
  std::vector<double> point(kPoint.begin(), kPoint.begin() + static_cast<long>(c.names.size()));
  double sum = 0;
  for (auto _ : state) {
    point[0] += 1E-9;
    benchmark::DoNotOptimize(point.data());
    sum += f(point.data());
  }
  benchmark::DoNotOptimize(sum);
  state.SetLabel(c.text);
}

void RunCompiled(benchmark::State& state, bool gradient, bool bounded = false) {
  const Case c = CaseOf(state);
  eval::SilentUi ui;
  eval::CompiledEquation equation(c.text, c.names, std::make_shared<eval::ClsMath>());
  if (equation.Method() != eval::Derivatives::Exact) {
    state.SkipWithError("not compiled");
    return;
  }
  std::vector<double> point(kPoint.begin(), kPoint.begin() + static_cast<long>(c.names.size()));
  std::vector<double> g(gradient ? c.names.size() : 0);
  double sum = 0;
  if (bounded) {
    double bound = 0;
    for (auto _ : state) {
      point[0] += 1E-9;
      sum += equation.Evaluate(point, g, bound).value + bound;
    }
  } else {
    for (auto _ : state) {
      point[0] += 1E-9;
      sum += equation.Evaluate(point, g).value;
    }
  }
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(g.data());
  state.SetLabel(c.text);
}

void BM_CompiledValue(benchmark::State& state) { RunCompiled(state, false); }
void BM_CompiledGradient(benchmark::State& state) { RunCompiled(state, true); }
void BM_CompiledBounded(benchmark::State& state) { RunCompiled(state, true, true); }

// -u_{i-1} + 2 u_i - u_{i+1} - h^2 exp(u_i) = 0 with u_0 = u_{n+1} = 0: a
// discretised boundary-value problem, as a user would type it.
struct Tridiagonal {
  std::vector<std::string> equations;
  std::vector<std::string> names;
  std::vector<double> start;
};

Tridiagonal MakeTridiagonal(std::size_t n) {
  Tridiagonal t;
  const double h = 1.0 / static_cast<double>(n + 1);
  char hSquared[40];
  std::snprintf(hSquared, sizeof hSquared, "%.17g", h * h);
  for (std::size_t i = 1; i <= n; ++i) t.names.push_back("u" + std::to_string(i));
  for (std::size_t i = 1; i <= n; ++i) {
    std::string text = i > 1 ? "-u" + std::to_string(i - 1) + " + " : std::string();
    text += "2*u" + std::to_string(i);
    if (i < n) text += " - u" + std::to_string(i + 1);
    text += std::string(" - ") + hSquared + "*exp(u" + std::to_string(i) + ")";
    t.equations.push_back(std::move(text));
  }
  t.start.assign(n, 0.5);
  return t;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_TridiagonalCompile(benchmark::State& state) {
  const Tridiagonal t = MakeTridiagonal(static_cast<std::size_t>(state.range(0)));
  eval::SilentUi ui;
  for (auto _ : state) {
    eval::CompiledSystem system(t.equations, t.names, std::make_shared<eval::ClsMath>());
    benchmark::DoNotOptimize(system.Count());
  }
  state.counters["max_rss_mb"] = PeakMegabytes();
}

void BM_TridiagonalSparseFJ(benchmark::State& state) {
  const Tridiagonal t = MakeTridiagonal(static_cast<std::size_t>(state.range(0)));
  eval::SilentUi ui;
  eval::CompiledSystem system(t.equations, t.names, std::make_shared<eval::ClsMath>());
  eval::SparseJacobian jacobian = system.Pattern();
  std::vector<double> f(t.equations.size());
  std::vector<double> x = t.start;
  for (auto _ : state) {
    x[0] += 1E-9;
    const eval::EvaluationStatus status = system.Evaluate(x, f, jacobian);
    if (!status.ok) state.SkipWithError("evaluation failed");
    benchmark::DoNotOptimize(jacobian.values.data());
  }
  state.counters["nonzeros"] = static_cast<double>(jacobian.Nonzeros());
  state.counters["max_rss_mb"] = PeakMegabytes();
}

void BM_TridiagonalDenseFJ(benchmark::State& state) {
  const Tridiagonal t = MakeTridiagonal(static_cast<std::size_t>(state.range(0)));
  eval::SilentUi ui;
  eval::CompiledSystem system(t.equations, t.names, std::make_shared<eval::ClsMath>());
  std::vector<double> f(t.equations.size());
  std::vector<double> jacobian(t.equations.size() * t.names.size());
  std::vector<double> x = t.start;
  for (auto _ : state) {
    x[0] += 1E-9;
    const eval::EvaluationStatus status = system.Evaluate(x, f, jacobian);
    if (!status.ok) state.SkipWithError("evaluation failed");
    benchmark::DoNotOptimize(jacobian.data());
  }
  state.counters["max_rss_mb"] = PeakMegabytes();
}

void RegisterLarge() {
  benchmark::RegisterBenchmark("BM_TridiagonalDenseFJ", BM_TridiagonalDenseFJ)
      ->Arg(1000)
      ->Unit(benchmark::kMillisecond);
  for (const int n : {1000, 10000, 100000}) {
    benchmark::RegisterBenchmark("BM_TridiagonalCompile", BM_TridiagonalCompile)
        ->Arg(n)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_TridiagonalSparseFJ", BM_TridiagonalSparseFJ)
        ->Arg(n)
        ->Unit(benchmark::kMillisecond);
  }
}

// The four runs of one equation one after the other, so that a change in the
// machine's load between them skews the ratios as little as possible; with
// --benchmark_repetitions the fastest repetition counts.
double Fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

void RegisterAll() {
  for (int n = 1; n <= app::kExampleCount; ++n) {
    const int count = static_cast<int>(app::ExampleEquations(n).size());
    for (int i = 1; i <= count; ++i) {
      benchmark::RegisterBenchmark("BM_Native", BM_Native)->Args({n, i})->ComputeStatistics("min", Fastest);
      benchmark::RegisterBenchmark("BM_CompiledValue", BM_CompiledValue)
          ->Args({n, i})
          ->ComputeStatistics("min", Fastest);
      benchmark::RegisterBenchmark("BM_CompiledGradient", BM_CompiledGradient)
          ->Args({n, i})
          ->ComputeStatistics("min", Fastest);
      benchmark::RegisterBenchmark("BM_CompiledBounded", BM_CompiledBounded)
          ->Args({n, i})
          ->ComputeStatistics("min", Fastest);
    }
  }
}

// Keeps every run's time per iteration, keyed by the arguments, for the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // With --benchmark_repetitions the fastest repetition counts.
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
      if (run.run_type != Run::RT_Iteration && !fastest) continue;
      std::string name = run.benchmark_name();
      if (fastest) name = name.substr(0, name.rfind('_'));
      const std::size_t slash = name.find('/');
      const std::string args = name.substr(slash);
      const std::string family = name.substr(0, slash);
      if (!fastest && fastest_.count(args + family)) continue;
      if (fastest) fastest_.insert(args + family);
      times_[args][family] = run.GetAdjustedCPUTime();
      if (!run.report_label.empty()) labels_[args] = run.report_label;
    }
  }

  // value / native at most 10, gradient / value at most 3, bounded / gradient at most 1.5.
  int PrintTable() const {
    int over = 0;
    std::printf("\n%-10s %10s %10s %10s %10s %14s %16s %17s  %s\n", "example", "native", "value", "gradient",
                "bounded", "value/native", "gradient/value", "bounded/gradient", "equation");
    for (const auto& [args, t] : times_) {
      if (!t.count("BM_Native") || !t.count("BM_CompiledValue") || !t.count("BM_CompiledGradient") ||
          !t.count("BM_CompiledBounded")) {
        continue;
      }
      const double native = t.at("BM_Native");
      const double value = t.at("BM_CompiledValue");
      const double gradient = t.at("BM_CompiledGradient");
      const double bounded = t.at("BM_CompiledBounded");
      const bool ok = value / native <= 10 && gradient / value <= 3 && bounded / gradient <= 1.5;
      if (!ok) ++over;
      std::printf("%-10s %9.1fns %9.1fns %9.1fns %9.1fns %14.2f %16.2f %17.2f  %s%s\n", args.c_str(), native, value,
                  gradient, bounded, value / native, gradient / value, bounded / gradient, labels_.at(args).c_str(),
                  ok ? "" : "  OVER");
    }
    return over;
  }

 private:
  std::map<std::string, std::map<std::string, double>> times_;
  std::map<std::string, std::string> labels_;
  std::set<std::string> fastest_;  // args + family with a "min" aggregate
};

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  RegisterLarge();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const int over = reporter.PrintTable();
  benchmark::Shutdown();
  return over == 0 ? 0 : 1;
}
