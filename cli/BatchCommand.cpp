// The batch command's machinery: a reader thread takes the input's lines, the
// workers run them, and the calling thread writes the results in input order,
// each as soon as it and every line before it are done. At most a window of
// lines (in number and in bytes) is between reading and writing, so a batch of
// any length runs in bounded memory.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <iostream>

#include <CLI/CLI.hpp>

#include "Batch.h"
#include "Command.h"
#include "Commands.h"
#include "InputText.h"
#include "Interrupt.h"

namespace cli {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 16;
// Lines between reading and writing, per worker: enough to keep every worker
// busy while one long run holds the writer back.
constexpr std::size_t kWindowPerJob = 16;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// How often a thread waiting for input or for a result looks for a stop
// request (a signal arrives without waking a condition variable).
constexpr auto kStopPollInterval = std::chrono::milliseconds(50);
constexpr std::string_view kErrorPrefix = "nlsolve batch: ";
constexpr std::string_view kTooLongLine = "longer than the limit of a system file";
constexpr std::string_view kUsage = "Usage: nlsolve batch [FILE|-] [--jobs N]\n";

// --jobs's default in words: 0 stands for one per core.
std::string DefaultJobsText() {
  const int jobs = BatchOptions{}.jobs;
  return jobs > 0 ? std::to_string(jobs) : std::string("one per core");
}

struct InputLine {
  std::size_t number = 0;  // 1-based line number in the input
  std::string text;
  bool tooLong = false;
};

// The input's lines, one at a time, each at most kMaxBatchLineBytes long
// (the rest of a longer line is skipped and the line marked).
class LineInput {
 public:
  // Reading gives up when `stop` becomes true, even on a pipe whose writer
  // sends nothing more.
  LineInput(int fd, const std::atomic<bool>& stop) : fd_(fd), stop_(stop) {}

  // The next line; nullopt at the end of the input, after a read error or
  // once stopped.
  std::optional<InputLine> Next() {
    InputLine line;
    line.number = ++number_;
    bool any = false;  // bytes of this line were taken
    while (true) {
      if (pos_ == buffer_.size() && !Fill()) {
        if (!any) return std::nullopt;
        return line;  // the last line, without a line end
      }
      const char* begin = buffer_.data() + pos_;
      const char* end = buffer_.data() + buffer_.size();
      const char* newline = std::find(begin, end, '\n');
      Add(line, std::string_view(begin, static_cast<std::size_t>(newline - begin)));
      any = true;
      pos_ = static_cast<std::size_t>(newline - buffer_.data());
      if (newline != end) {
        ++pos_;
        if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
        return line;
      }
    }
  }

  // The message of a read error, empty when the input was read to its end.
  const std::string& Error() const { return error_; }
  void Fail(std::string message) { error_ = std::move(message); }

 private:
  void Add(InputLine& line, std::string_view piece) {
    if (line.tooLong) return;
    if (line.text.size() + piece.size() > kMaxBatchLineBytes) {
      line.tooLong = true;
      line.text.clear();
      line.text.shrink_to_fit();
      return;
    }
    line.text += piece;
  }

  bool Fill() {
    buffer_.resize(kChunkBytes);
    pos_ = 0;
    while (true) {
      if (!WaitReadable()) {
        buffer_.clear();
        return false;
      }
      const ssize_t got = read(fd_, buffer_.data(), buffer_.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) error_ = std::generic_category().message(errno);
      buffer_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
      return got > 0;
    }
  }

  // False once a stop is requested before input arrives.
  bool WaitReadable() {
    pollfd ready{fd_, POLLIN, 0};
    const int timeout = static_cast<int>(kStopPollInterval.count());
    while (!stop_.load()) {
      const int polled = poll(&ready, 1, timeout);
      if (polled < 0 && errno == EINTR) continue;
      // Input, the end, or an error that read(2) then reports.
      if (polled != 0) return true;
    }
    return false;
  }

  int fd_;
  const std::atomic<bool>& stop_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t number_ = 0;
  std::string error_;
};

bool IsBlankLine(std::string_view text) { return text.find_first_not_of(" \t\r") == std::string_view::npos; }

// The number of lines of a regular file, for the progress line's total.
std::optional<std::size_t> CountLines(const std::string& path) {
  if (path == kStandardInputPath) return std::nullopt;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::size_t> count;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    std::string buffer(kChunkBytes, '\0');
    std::size_t lines = 0;
    char last = '\n';
    ssize_t got = 0;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0) {
      lines += static_cast<std::size_t>(std::count(buffer.data(), buffer.data() + got, '\n'));
      last = buffer[static_cast<std::size_t>(got) - 1];
    }
    if (got == 0) count = lines + (last == '\n' ? 0 : 1);
  }
  close(fd);
  return count;
}

// What the threads share; every member under `mutex` but `stop`.
struct BatchState {
  std::mutex mutex;
  std::condition_variable workReady;    // a line was queued, the input ended, or stop
  std::condition_variable resultReady;  // a result was stored, the input ended, or stop
  std::condition_variable spaceFree;    // a result was written, or stop
  std::deque<std::pair<std::size_t, InputLine>> queue;  // sequence number and line
  std::map<std::size_t, BatchLineResult> results;      // by sequence number
  std::map<std::size_t, std::size_t> heldBytes;        // input bytes of each line not yet written
  std::size_t heldTotal = 0;  // their sum
  std::size_t queued = 0;     // lines handed to the workers
  std::size_t written = 0;    // results written
  std::size_t running = 0;    // lines a worker has taken and not yet stored
  bool inputDone = false;
  // No further line starts and the reader stops: a signal, or the output failed.
  std::atomic<bool> stop{false};

  void RequestStop() {
    {
      const std::lock_guard lock(mutex);
      stop.store(true);
    }
    workReady.notify_all();
    resultReady.notify_all();
    spaceFree.notify_all();
  }
};

void Worker(BatchState& state) {
  while (true) {
    std::pair<std::size_t, InputLine> job;
    {
      std::unique_lock lock(state.mutex);
      state.workReady.wait(lock, [&] { return !state.queue.empty() || state.inputDone || state.stop.load(); });
      if (state.queue.empty() || state.stop.load()) return;
      job = std::move(state.queue.front());
      state.queue.pop_front();
      ++state.running;
    }
    const InputLine& line = job.second;
    BatchLineResult result =
        line.tooLong ? BatchLineError(line.number, "null", kTooLongLine) : RunBatchLine(line.text, line.number);
    {
      const std::lock_guard lock(state.mutex);
      state.results.emplace(job.first, std::move(result));
      --state.running;
    }
    state.resultReady.notify_all();
  }
}

void Reader(BatchState& state, LineInput& input, std::size_t windowLines) {
  try {
    while (auto line = input.Next()) {
      if (!line->tooLong && IsBlankLine(line->text)) continue;
      const std::size_t bytes = line->text.size();
      {
        std::unique_lock lock(state.mutex);
        // A line that alone exceeds the byte window still runs, alone.
        state.spaceFree.wait(lock, [&] {
          return state.stop.load() || (state.queued - state.written < windowLines &&
                                       (state.heldTotal == 0 || state.heldTotal + bytes <= kBatchWindowBytes));
        });
        if (state.stop.load()) break;
        state.heldBytes.emplace(state.queued, bytes);
        state.heldTotal += bytes;
        state.queue.emplace_back(state.queued++, std::move(*line));
      }
      state.workReady.notify_one();
    }
  } catch (const std::exception& error) {
    // Out of memory: what was read still runs; the command then fails.
    input.Fail(error.what());
  }
  {
    const std::lock_guard lock(state.mutex);
    state.inputDone = true;
  }
  state.workReady.notify_all();
  state.resultReady.notify_all();
}

// Writes one result as one line with one write: flushed at once, so that a
// reader sees it while later lines still run.
bool WriteLine(std::ostream& out, std::string& text) {
  text += '\n';
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  return static_cast<bool>(out);
}

class Progress {
 public:
  Progress(std::ostream& err, bool enabled, std::optional<std::size_t> total)
      : err_(err), enabled_(enabled), total_(total), start_(Clock::now()), last_(start_) {}

  void Update(std::size_t done, std::size_t roots, bool final) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (!final && now - last_ < kProgressInterval) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f", seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
    // "\r" and erase-to-end keep it one line on the terminal.
    err_ << "\rbatch: " << done << " of " << (total_ ? std::to_string(*total_) : std::string("?"))
         << " runs, " << roots << " roots, " << rate << " runs/s\x1b[K";
    if (final) err_ << '\n';
    err_.flush();
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  bool enabled_;
  std::optional<std::size_t> total_;
  Clock::time_point start_;
  Clock::time_point last_;
};

}  // namespace

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err) {
  const InputFile file(options.path);
  if (file.Get() < 0) {
    err << kErrorPrefix << file.Error() << '\n';
    return kExitFailure;
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t jobs = static_cast<std::size_t>(options.jobs > 0 ? options.jobs : static_cast<int>(cores));
  // Counted only for the progress line: a second pass over a regular file.
  Progress progress(err, options.progress, options.progress ? CountLines(options.path) : std::nullopt);

  BatchState state;
  LineInput input(file.Get(), state.stop);
  std::vector<std::thread> workers;
  workers.reserve(jobs);
  for (std::size_t i = 0; i < jobs; ++i) workers.emplace_back(Worker, std::ref(state));
  std::thread reader(Reader, std::ref(state), std::ref(input), jobs * kWindowPerJob);

  std::size_t roots = 0;
  bool allConverged = true;
  bool outputFailed = false;
  while (true) {
    BatchLineResult result;
    {
      std::unique_lock lock(state.mutex);
      // Once stopped, the lines running are finished and written; nothing
      // after the first line that never ran is.
      auto ready = [&] {
        return state.results.count(state.written) > 0 || (state.inputDone && state.written == state.queued) ||
               (state.stop.load() && state.running == 0);
      };
      while (true) {
        if (InterruptSignal() != 0 && !state.stop.load()) {
          lock.unlock();
          state.RequestStop();
          lock.lock();
        }
        if (ready()) break;
        state.resultReady.wait_for(lock, kStopPollInterval);
      }
      const auto it = state.results.find(state.written);
      if (it == state.results.end()) break;
      result = std::move(it->second);
      state.results.erase(it);
      state.heldTotal -= state.heldBytes[state.written];
      state.heldBytes.erase(state.written);
      ++state.written;
    }
    state.spaceFree.notify_one();
    if (!WriteLine(out, result.json)) {
      outputFailed = true;
      break;
    }
    roots += result.converged ? 1 : 0;
    allConverged = allConverged && result.converged;
    progress.Update(state.written, roots, false);
  }
  // Workers still running (after a failed write) finish their line unwritten.
  state.RequestStop();
  reader.join();
  for (std::thread& worker : workers) worker.join();
  progress.Update(state.written, roots, true);

  // The output's failure is reported once, by the command line's caller.
  if (outputFailed) return kExitFailure;
  if (const int signal = InterruptSignal(); signal != 0) return InterruptedExitStatus(signal);
  if (!input.Error().empty()) {
    err << kErrorPrefix << InputName(options.path) << ": cannot read: " << input.Error() << '\n';
    return kExitFailure;
  }
  return allConverged ? kExitSuccess : kExitFailure;
}

namespace {

class BatchCommand : public Command {
 public:
  std::string_view Name() const override { return "batch"; }
  std::string_view Summary() const override { return "Solve one system per JSON line"; }
  std::string Usage() const override { return std::string(kUsage); }
  std::string Help() const override {
    return "  nlsolve batch [FILE|-] [--jobs N]\n"
           "      Reads JSON Lines (standard input without FILE or with -), one run\n"
           "      per line: {\"eq\": [EXPR, ...], \"names\": TEXT, \"start\": TEXT,\n"
           "      \"method\": M, \"definitions\": [\"NAME = EXPR\", ...], \"id\": ...} (M as\n"
           "      solve --method; definitions need one beyond newton), or {\"file\": PATH, ...}\n"
           "      for a system file; \"certify\": true (with a method beyond newton) proves\n"
           "      the root found as solve --certify does. Writes one JSON object per line in input order:\n"
           "      the object of solve --json with the line's id, or {\"id\": ...,\n"
           "      \"error\": ...} for a line that cannot run (see docs/json.md). --jobs\n"
           "      runs N lines at once (default: " +
           DefaultJobsText() +
           ", at most " + std::to_string(kMaxJobs) +
           "). Exit status 0 only when every run\n"
           "      converged. Each result is written whole as soon as it and the lines\n"
           "      before it are done; SIGINT or SIGTERM finishes the lines running,\n"
           "      writes them and exits with 130 or 143.\n";
  }

  void AddOptions(CLI::App& command) override {
    command.add_option("FILE", options_.path, "JSON Lines input (- or nothing: standard input)");
    command.add_option("--jobs", options_.jobs, "Runs at once (default: " + DefaultJobsText() + ")")
        ->type_name("N")
        ->check(CLI::Range(1, kMaxJobs));
  }

  int Run(std::ostream& out, std::ostream& err) override {
    // Only the program's own terminal gets the progress line.
    options_.progress = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
    // In the program itself, SIGINT and SIGTERM let the batch finish the
    // lines it is running (a test calling in keeps its own handling).
    if (&err == &std::cerr) CatchInterrupts();
    return RunBatch(options_, out, err);
  }

 private:
  BatchOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeBatchCommand() { return std::make_unique<BatchCommand>(); }

}  // namespace cli
