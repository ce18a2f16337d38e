// nlsolve batch: JSON Lines in, one solve run per line, one JSON result per
// line out in input order, the runs spread over worker threads.
//
// An input line is an object: {"eq": ["x1^2-2", "x2-1"], "names": "x1,x2",
// "start": "0.5,1", "method": "newton", "id": 7}, or {"file": "system.txt",
// "start": [0.5, 1], "id": "a"} for a system file; "names" and "start" are
// the fields' texts (or arrays of names and of numbers) and override the
// file's lines. Blank lines are skipped.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace cli {

// Most worker threads --jobs accepts.
inline constexpr int kMaxJobs = 256;

struct BatchOptions {
  std::string path = "-";  // the JSON Lines input; "-" for standard input
  int jobs = 0;            // worker threads; 0 for one per core
  bool progress = false;   // a progress line on the error stream while it runs
};

// The outcome of one input line: the result line (no line end) and whether
// the run found a root. The result is the object `solve --json` prints with
// the line's "id" added, or {"id": ..., "error": "line N: ..."} for a line
// that could not be run (id null when it could not be read).
struct BatchLineResult {
  std::string json;
  bool converged = false;
};

// Runs one input line on a problem state of its own; safe to call from
// several threads at once. Never throws.
BatchLineResult RunBatchLine(std::string_view line, std::size_t lineNumber);

// The error object of a line: {"id": id, "error": "line N: message"}.
BatchLineResult BatchLineError(std::size_t lineNumber, const nlohmann::json& id, std::string_view message);

// The command: 0 when every run found a root, 1 otherwise (a bad line, a run
// without a root, input that cannot be read).
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

}  // namespace cli
