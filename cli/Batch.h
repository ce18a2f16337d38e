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

#include "problem/SystemFile.h"

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
// the line's "id" added, or {"error": "line N: ...", "id": ...} for a line
// that could not be run (id null when it could not be read). The id is the
// line's own text of its value, blanks outside strings dropped, so any JSON
// value comes back exactly (an integer of any length, a string's escapes).
struct BatchLineResult {
  std::string json;
  bool converged = false;
};

// Deepest nesting of arrays and objects a line may hold; a deeper line is
// refused before it is parsed, so no part of it is ever copied recursively.
inline constexpr int kMaxBatchLineNesting = 100;

// A line's most bytes: a system file's limit, as a line may hold one inline.
inline constexpr std::size_t kMaxBatchLineBytes = kMaxSystemFileBytes;

// The most bytes of input lines read ahead but not yet written (queued,
// running, or finished behind an earlier line still running); the reader
// waits beyond it. One line up to the line limit is always taken.
inline constexpr std::size_t kBatchWindowBytes = std::size_t{64} << 20;

// Runs one input line on a problem state of its own; safe to call from
// several threads at once. Never throws.
BatchLineResult RunBatchLine(std::string_view line, std::size_t lineNumber);

// The error object of a line: {"error": "line N: message", "id": idText},
// where idText is the JSON text of the id.
BatchLineResult BatchLineError(std::size_t lineNumber, std::string_view idText, std::string_view message);

// The command: 0 when every run found a root, 1 otherwise (a bad line, a run
// without a root, input that cannot be read, output that cannot be written).
// Each result leaves as one whole line, flushed as soon as it and every line
// before it are done. After SIGINT or SIGTERM (once CatchInterrupts ran) no
// further line starts, the lines running are finished and written, and the
// status is 128 + the signal's number.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

}  // namespace cli
