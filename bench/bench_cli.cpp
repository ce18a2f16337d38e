// The whole Go command for each example: in-process (fresh state, example
// loaded as a double-click does, CmdExecute_Click with a recorder), and as
// `nlsolve solve --example N` in a child process, process start included.
// `nlsolve examples` (no script engine, no solver) shows what the process
// start alone costs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/Examples.h"
#include "app/GoCommand.h"
#include "eval/SolverUi.h"

extern char** environ;

namespace {

void BM_GoCommandInProcess(benchmark::State& state) {
  const int example = static_cast<int>(state.range(0));
  const std::string entry = app::ExampleEntryText(example);
  bool converged = true;
  for (auto _ : state) {
    // Declared before the state: the library keeps a reference to it.
    eval::RecordingUi ui;
    app::ProblemState problem;
    app::InputFields fields;
    app::LoadExampleEntry(entry, problem, fields);
    const app::GoResult result = app::CmdExecute_Click(fields, problem, ui);
    converged = converged && result.converged;
    benchmark::DoNotOptimize(result.x.data());
  }
  // Not every example converges from its default start; the time counts anyway.
  state.counters["converged"] = converged ? 1 : 0;
}
BENCHMARK(BM_GoCommandInProcess)->DenseRange(1, app::kExampleCount)->Unit(benchmark::kMillisecond);

// Runs nlsolve with the arguments, its output discarded; the exit status, or
// -1 when it could not be started or did not exit normally.
int RunNlsolve(const std::vector<std::string>& args) {
  std::vector<std::string> argvText{NLSOLVE_PATH};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvText) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, NLSOLVE_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The child's time is not this process's CPU time: measured in real time.
void BM_SolveProcess(benchmark::State& state) {
  const std::vector<std::string> args{"solve", "--example", std::to_string(state.range(0))};
  for (auto _ : state) {
    // 0 converged, 1 not converged; anything else means the run itself failed.
    const int status = RunNlsolve(args);
    if (status != 0 && status != 1) {
      state.SkipWithError("nlsolve solve failed");
      break;
    }
  }
}
BENCHMARK(BM_SolveProcess)->DenseRange(1, app::kExampleCount)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ProcessStartOnly(benchmark::State& state) {
  for (auto _ : state) {
    if (RunNlsolve({"examples"}) != 0) {
      state.SkipWithError("nlsolve examples failed");
      break;
    }
  }
}
BENCHMARK(BM_ProcessStartOnly)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
