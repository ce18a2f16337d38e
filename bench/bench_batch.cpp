// Batch throughput: `nlsolve batch` in-process on 10,000 starts of example 1
// (a 100 x 100 grid over [-3, 3] x [-3, 3]), with 1 and 2 worker threads.
// items_per_second is runs per second, reading the JSON Lines and writing
// every result line included.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

#include <benchmark/benchmark.h>

#include "app/Examples.h"
#include "cli/Batch.h"
#include "eval/NumberText.h"

namespace {

constexpr int kGridSide = 100;  // kGridSide^2 starts
constexpr double kGridLow = -3.0;
constexpr double kGridHigh = 3.0;

// Swallows the result lines.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The batch input, written once to a temporary file.
class BatchInput {
 public:
  BatchInput() {
    char pattern[] = "/tmp/nlsolve_bench_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    path_ = pattern;
    std::string eq;
    for (const std::string_view equation : app::ExampleEquations(1)) {
      eq += (eq.empty() ? "\"" : ", \"") + std::string(equation) + "\"";
    }
    std::ofstream out(path_);
    const double step = (kGridHigh - kGridLow) / (kGridSide - 1);
    for (int i = 0; i < kGridSide; ++i) {
      for (int j = 0; j < kGridSide; ++j) {
        out << "{\"eq\": [" << eq << "], \"start\": [" << eval::NumberText(kGridLow + i * step) << ", "
            << eval::NumberText(kGridLow + j * step) << "], \"id\": " << i * kGridSide + j << "}\n";
      }
    }
  }
  ~BatchInput() { std::remove(path_.c_str()); }
  BatchInput(const BatchInput&) = delete;
  BatchInput& operator=(const BatchInput&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

void BM_BatchThroughput(benchmark::State& state) {
  static const BatchInput input;
  cli::BatchOptions options;
  options.path = input.Path();
  options.jobs = static_cast<int>(state.range(0));
  NullBuffer nullBuffer;
  std::ostream out(&nullBuffer);
  std::ostream err(&nullBuffer);
  for (auto _ : state) {
    // 1: not every start converges; anything else means the batch failed.
    const int status = cli::RunBatch(options, out, err);
    if (status != 0 && status != 1) {
      state.SkipWithError("nlsolve batch failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kGridSide * kGridSide);
}
// Worker threads do the work: measured in real time.
BENCHMARK(BM_BatchThroughput)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
