// The root search on typed systems with several real roots, compiled as
// nlsolve roots compiles them, with deflation and without. Per search: time,
// and the counters roots (in the box), known (the real roots in the box, from
// closed form; 0 where not known), outside (roots outside the box), starts,
// evaluations (of F, with or without J) and false_roots (reported roots a
// fresh evaluation does not confirm; must be 0).
//   build/bench/bench_roots --benchmark_counters_tabular=true
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "robust/CompiledResiduals.h"
#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/Roots.h"

namespace {

struct TypedSystem {
  std::string name;
  std::vector<std::string> equations;
  std::vector<std::string> names;
  double low, high;  // the box, the same for every unknown
  int known;
};

const std::vector<TypedSystem>& Systems() {
  static const std::vector<TypedSystem> systems = {
      {"circle_parabola_4", {"x^2+y^2-4", "y-x^2+3"}, {"x", "y"}, -10, 10, 4},
      {"grid_16", {"(x^2-1)*(x^2-4)", "(y^2-1)*(y^2-9)"}, {"x", "y"}, -10, 10, 16},
      {"cubics_9", {"x^3-3*x-y", "y^3-3*y-x"}, {"x", "y"}, -10, 10, 9},
      {"trig_circle", {"sin(x)*cos(y)", "x^2+y^2-30"}, {"x", "y"}, -6, 6, 0},
      {"sphere_cone_plane", {"x^2+y^2+z^2-9", "x^2+y^2-z^2", "x+y-z"}, {"x", "y", "z"}, -5, 5, 0},
      {"squares_8", {"x^2-1", "y^2-2", "z^2-3"}, {"x", "y", "z"}, -10, 10, 8},
      {"exp_log_2", {"exp(x)-3*x", "y-log(x+1)"}, {"x", "y"}, -0.5, 5, 2},
      {"close_pair_2", {"(x-1)*(x-1.001)", "y-x"}, {"x", "y"}, -10, 10, 2},
      {"hypercube_16", {"x1^2-1", "x2^2-1", "x3^2-1", "x4^2-1"}, {"x1", "x2", "x3", "x4"}, -10, 10, 16},
      {"coupled_4d", {"x1^2+x2-3", "x2^2-x1-1+x3", "x3^2-4", "x4^2+x1-2"}, {"x1", "x2", "x3", "x4"}, -10, 10, 0},
      {"no_real_root", {"x^2+y^2+1", "x-y"}, {"x", "y"}, -10, 10, 0},
  };
  return systems;
}

void Search(benchmark::State& state, const TypedSystem& system, bool deflate) {
  eval::SilentUi ui;
  auto library = std::make_shared<eval::ClsMath>();
  eval::CompiledSystem compiled(system.equations, system.names, library);
  robust::CompiledResiduals residuals(compiled);
  robust::RootsOptions options;
  options.box.assign(system.names.size(), {system.low, system.high});
  options.deflate = deflate;
  robust::RootsReport report;
  for (auto _ : state) {
    report = robust::FindRoots(options, residuals);
    benchmark::DoNotOptimize(report.roots.data());
  }
  int falseRoots = 0;
  std::vector<double> f(system.names.size());
  for (const auto* list : {&report.roots, &report.outsideBox})
    for (const robust::FoundRoot& root : *list) {
      const bool ok = compiled.Evaluate(root.x, f).ok;
      double largest = 0;
      for (double value : f) largest = std::max(largest, std::abs(value));
      if (!ok || !(largest <= robust::kDefaultFtol)) ++falseRoots;
    }
  state.counters["roots"] = static_cast<double>(report.roots.size());
  state.counters["known"] = system.known;
  state.counters["outside"] = static_cast<double>(report.outsideBox.size());
  state.counters["starts"] = report.startsDone;
  state.counters["evaluations"] = static_cast<double>(report.evaluations);
  state.counters["false_roots"] = falseRoots;
}

int Register() {
  for (const TypedSystem& system : Systems()) {
    for (bool deflate : {true, false}) {
      benchmark::RegisterBenchmark(((deflate ? "deflated/" : "plain/") + system.name).c_str(),
                                   [&system, deflate](benchmark::State& state) { Search(state, system, deflate); })
          ->Unit(benchmark::kMillisecond);
    }
  }
  return 0;
}

const int kRegistered = Register();

}  // namespace

BENCHMARK_MAIN();
