// Large sparse systems, solved as a user runs them: the whole nlsolve process
// on a system file (read, compile, solve, verdict, print), its wall time and
// peak memory; SciPy's least_squares with the Jacobian's sparsity pattern on
// the same system beside it, where /usr/bin/python3 has SciPy. And the solve
// alone, in process, for the sparse method and the dense ones.
//
//   build/bench/bench_sparse --benchmark_filter=Process
//
// Systems: Broyden's tridiagonal system (3 unknowns per equation, start -1)
// of 10^3 and 10^4 equations, and the 2D Bratu problem on a 316 x 316 grid
// (99,856 unknowns, five-point stencil, lambda = 6, start 0).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/CompiledResiduals.h"
#include "robust/Robust.h"

extern char** environ;

namespace {

struct System {
  std::vector<std::string> names, equations;
  double start = 0;
};

System Tridiagonal(int n) {
  System s;
  s.start = -1;
  for (int i = 1; i <= n; ++i) {
    s.names.push_back("x" + std::to_string(i));
    std::string e = "(3 - 2*x" + std::to_string(i) + ")*x" + std::to_string(i) + " + 1";
    if (i > 1) e += " - x" + std::to_string(i - 1);
    if (i < n) e += " - 2*x" + std::to_string(i + 1);
    s.equations.push_back(std::move(e));
  }
  return s;
}

System Bratu(int m, double lambda) {
  System s;
  const int scale = (m + 1) * (m + 1);  // 1/h^2
  auto name = [](int i, int j) { return "u" + std::to_string(i) + "_" + std::to_string(j); };
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= m; ++j) s.names.push_back(name(i, j));
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= m; ++j) {
      std::string e = "(4*" + name(i, j);
      if (i > 1) e += " - " + name(i - 1, j);
      if (i < m) e += " - " + name(i + 1, j);
      if (j > 1) e += " - " + name(i, j - 1);
      if (j < m) e += " - " + name(i, j + 1);
      e += ")*" + std::to_string(scale) + " - " + std::to_string(lambda) + "*exp(" + name(i, j) + ")";
      s.equations.push_back(std::move(e));
    }
  return s;
}

// The system as a file: names:, start: and one equation per line.
std::string WriteFile(const System& s, const std::string& tag) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / ("nls_bench_" + tag + ".txt");
  std::ofstream out(path);
  out << "names: ";
  for (std::size_t j = 0; j < s.names.size(); ++j) out << (j ? ", " : "") << s.names[j];
  out << "\nstart: ";
  for (std::size_t j = 0; j < s.names.size(); ++j) out << (j ? ", " : "") << s.start;
  out << '\n';
  for (const std::string& e : s.equations) out << e << '\n';
  return path.string();
}

struct ProcessRun {
  double seconds = 0;
  double peakMegabytes = 0;
  int status = -1;
};

// Runs argv with standard output and error discarded; wall time and the
// child's peak resident memory.
ProcessRun Run(const std::vector<std::string>& argv) {
  // posix_spawn, as a shell starts a command: no copy of this process's pages.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ProcessRun run;
  const auto begin = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return run;
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

constexpr const char* kPython = "/usr/bin/python3";
constexpr int kSciPySeconds = 120;

bool HaveSciPy() {
  static const bool have = Run({kPython, "-c", "import scipy.optimize, scipy.sparse"}).status == 0;
  return have;
}

// SciPy's least_squares (trf, lsmr on the sparse Jacobian from jac_sparsity),
// vectorised F, on the tridiagonal system or the Bratu grid.
const char* const kSciPyScript = R"(
import sys, numpy as np
from scipy.optimize import least_squares
from scipy.sparse import diags, kron, identity
kind, n = sys.argv[1], int(sys.argv[2])
if kind == 'tri':
    def F(x):
        f = (3 - 2*x)*x + 1
        f[1:] -= x[:-1]
        f[:-1] -= 2*x[1:]
        return f
    pattern = diags([1, 1, 1], [-1, 0, 1], shape=(n, n))
    x0 = -np.ones(n)
else:
    m = n; s = (m + 1)**2
    def F(v):
        u = np.zeros((m + 2, m + 2)); u[1:-1, 1:-1] = v.reshape(m, m)
        lap = 4*u[1:-1, 1:-1] - u[:-2, 1:-1] - u[2:, 1:-1] - u[1:-1, :-2] - u[1:-1, 2:]
        return (lap*s - 6*np.exp(u[1:-1, 1:-1])).ravel()
    t = diags([1, 1, 1], [-1, 0, 1], shape=(m, m))
    pattern = kron(identity(m), t) + kron(t, identity(m))
    x0 = np.zeros(m*m)
r = least_squares(F, x0, jac_sparsity=pattern, xtol=1e-15, ftol=1e-15, gtol=1e-15)
sys.exit(0 if np.max(np.abs(r.fun)) < 1e-8 else 1)
)";

std::string SciPyScriptPath() {
  static const std::string path = [] {
    const std::filesystem::path p = std::filesystem::temp_directory_path() / "nls_bench_scipy.py";
    std::ofstream(p) << kSciPyScript;
    return p.string();
  }();
  return path;
}

void Report(benchmark::State& state, const ProcessRun& run, double& peak) {
  state.SetIterationTime(run.seconds);
  peak = std::max(peak, run.peakMegabytes);
  if (run.status == 124) state.SkipWithError("no answer within the time limit");
  else if (run.status != 0) state.SkipWithError("the run found no root");
}

// nlsolve solve FILE --method sparse, the whole process.
void BM_ProcessNlsolve(benchmark::State& state, const std::string& kind) {
  const int n = static_cast<int>(state.range(0));
  const std::string file = WriteFile(kind == "tri" ? Tridiagonal(n) : Bratu(n, 6), kind + std::to_string(n));
  double peak = 0;
  for (auto _ : state)
    Report(state, Run({NLSOLVE_PATH, "solve", file, "--method", "sparse", "--quiet"}), peak);
  state.counters["peak_mb"] = peak;
  std::filesystem::remove(file);
}

// The same system in SciPy, the whole Python process (its start included).
void BM_ProcessSciPy(benchmark::State& state, const std::string& kind) {
  if (!HaveSciPy()) {
    state.SkipWithError("SciPy is not installed for /usr/bin/python3");
    return;
  }
  double peak = 0;
  // SciPy is given kSciPySeconds: on the Bratu grid its lsmr steps ran for
  // over 13 minutes without a root.
  for (auto _ : state)
    Report(state,
           Run({"/usr/bin/timeout", std::to_string(kSciPySeconds), kPython, SciPyScriptPath(), kind,
                std::to_string(state.range(0))}),
           peak);
  state.counters["peak_mb"] = peak;
}

BENCHMARK_CAPTURE(BM_ProcessNlsolve, tridiagonal, std::string("tri"))
    ->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_ProcessSciPy, tridiagonal, std::string("tri"))
    ->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_ProcessNlsolve, bratu, std::string("bratu"))
    ->Arg(316)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_ProcessSciPy, bratu, std::string("bratu"))
    ->Arg(316)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// The solve alone (compiled once outside the loop): the sparse method on the
// tridiagonal system, and a small dense system by each method.
void BM_SolveTridiagonal(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const System s = Tridiagonal(n);
  eval::SilentUi ui;
  eval::CompiledSystem system(s.equations, s.names, std::make_shared<eval::ClsMath>());
  robust::CompiledResiduals residuals(system);
  robust::Options options;
  options.method = robust::Method::Sparse;
  const std::vector<double> start(static_cast<std::size_t>(n), s.start);
  for (auto _ : state) {
    const robust::Report report = robust::Solve(options, residuals, start);
    if (report.verdict != robust::Verdict::Root) state.SkipWithError("no root");
  }
}
BENCHMARK(BM_SolveTridiagonal)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SolveSmallDense(benchmark::State& state) {
  // Example 1 of the window: x1^2 - 2 x2 - 2 = 0, x1 - x2^3 - 1 = 0.
  eval::SilentUi ui;
  const std::vector<std::string> equations{"x1^2 - 2*x2 - 2", "x1 - x2^3 - 1"}, names{"x1", "x2"};
  eval::CompiledSystem system(equations, names, std::make_shared<eval::ClsMath>());
  robust::CompiledResiduals residuals(system);
  robust::Options options;
  options.method = static_cast<robust::Method>(state.range(0));
  state.SetLabel(std::string(robust::MethodName(options.method)));
  const std::vector<double> start{1, 1};
  for (auto _ : state) {
    const robust::Report report = robust::Solve(options, residuals, start);
    if (report.verdict != robust::Verdict::Root) state.SkipWithError("no root");
  }
}
BENCHMARK(BM_SolveSmallDense)
    ->Arg(static_cast<int>(robust::Method::Hybrid))
    ->Arg(static_cast<int>(robust::Method::LevenbergMarquardt))
    ->Arg(static_cast<int>(robust::Method::Auto))
    ->Arg(static_cast<int>(robust::Method::Sparse))
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
