// The interval proofs: a complete root list by branch and prune over the box
// (ProveRoots, no search roots handed over, so every root is found by the
// proof), and one root's certificate against finding it.
//   build/bench/bench_prove --benchmark_counters_tabular=true
// Counters: roots certified inside the box, complete (1 proved), boxes
// taken up; for the certificate, its time over the time to find the root.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/CompiledResiduals.h"
#include "robust/Certify.h"
#include "robust/Completeness.h"
#include "robust/Robust.h"

namespace {

struct System {
  std::string name;
  std::vector<std::string> equations;
  std::vector<std::string> names;
  double halfWidth;  // the box is [-halfWidth, halfWidth] in every unknown
};

// Isolated, non-singular roots only.
const std::vector<System>& Systems() {
  static const std::vector<System> systems = {
      // Two unknowns, box of width 20.
      {"circle_line", {"x^2 + y^2 - 25", "x - y - 1"}, {"x", "y"}, 10},
      {"circle_hyperbola", {"x^2 + y^2 - 25", "x*y - 12"}, {"x", "y"}, 10},
      {"cubics_9_roots", {"y - x^3 + 3*x", "x - y^3 + 3*y"}, {"x", "y"}, 10},
      {"trig_ellipse", {"Sin(x) - y/5", "x^2/50 + y^2/10 - 1"}, {"x", "y"}, 10},
      {"exp_log", {"Exp(x/3) - y - 1", "Log(y + 20) - x/4 - 2"}, {"x", "y"}, 10},
      // Three and four unknowns, up to 16 roots.
      {"squares_8_roots", {"x^2 - 1", "y^2 - 4", "z^2 - 9"}, {"x", "y", "z"}, 10},
      {"sphere_products", {"x^2 + y^2 + z^2 - 14", "x*y - 2", "y*z - 6"}, {"x", "y", "z"}, 10},
      {"squares_16_roots", {"x^2 - 1", "y^2 - 4", "z^2 - 9", "w^2 - 0.25"}, {"x", "y", "z", "w"}, 10},
      {"coupled_16_roots", {"x^2 - 1 + 0.1*y*z", "y^2 - 4 + 0.1*x*w", "z^2 - 9 + 0.1*x*y", "w^2 - 0.25 + 0.01*z"},
       {"x", "y", "z", "w"}, 10},
  };
  return systems;
}

void ProveComplete(benchmark::State& state, const System& s) {
  eval::SilentUi ui;
  eval::CompiledSystem system(s.equations, s.names, std::make_shared<eval::ClsMath>());
  const std::vector<robust::Bounds> box(s.names.size(), robust::Bounds{-s.halfWidth, s.halfWidth});
  robust::ProveReport report;
  for (auto _ : state) {
    report = robust::ProveRoots(system, box, {});
    benchmark::DoNotOptimize(report.roots.data());
  }
  state.counters["roots"] = report.certifiedInside;
  state.counters["complete"] = report.complete ? 1 : 0;
  state.counters["boxes"] = static_cast<double>(report.boxes);
  state.counters["undecided"] = static_cast<double>(report.undecided.size());
}

// Finding a root from a start 1% away (hybrid, exact derivatives) and
// certifying the root found, timed in alternation; `ratio` is the
// certificate's time over the finding's.
void CertifyAgainstFind(benchmark::State& state, const System& s, std::vector<double> root) {
  eval::SilentUi ui;
  eval::CompiledSystem system(s.equations, s.names, std::make_shared<eval::ClsMath>());
  robust::CompiledResiduals residuals(system);
  std::vector<double> start = root;
  for (double& v : start) v = v * 1.01 + 0.01;
  robust::Options options;
  options.method = robust::Method::Hybrid;
  double findSeconds = 0;
  double certifySeconds = 0;
  bool certified = true;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const robust::Report found = robust::Solve(options, residuals, start);
    const auto t1 = Clock::now();
    const robust::Certificate c = robust::Certify(system, found.x);
    const auto t2 = Clock::now();
    certified = certified && c.outcome == robust::CertifyOutcome::Certified;
    findSeconds += std::chrono::duration<double>(t1 - t0).count();
    certifySeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["find_us"] = 1E6 * findSeconds / static_cast<double>(state.iterations());
  state.counters["certify_us"] = 1E6 * certifySeconds / static_cast<double>(state.iterations());
  state.counters["ratio"] = certifySeconds / findSeconds;
  state.counters["certified"] = certified ? 1 : 0;
}

const bool kRegistered = [] {
  for (const System& s : Systems()) {
    benchmark::RegisterBenchmark(("ProveComplete/" + s.name).c_str(), ProveComplete, s)
        ->Unit(benchmark::kMillisecond);
  }
  const std::vector<std::pair<std::size_t, std::vector<double>>> roots = {
      {0, {4, 3}}, {1, {3, 4}}, {5, {1, 2, 3}}, {6, {1, 2, 3}}, {7, {1, 2, 3, 0.5}}};
  for (const auto& [index, root] : roots) {
    const System& s = Systems()[index];
    benchmark::RegisterBenchmark(("CertifyAgainstFind/" + s.name).c_str(), CertifyAgainstFind, s, root)
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
