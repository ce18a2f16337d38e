// The doors through which a problem arrives, one reader each, all building
// the same Problem (Problem.h) by the same rules:
//
//   ReadCommandLine     --eq, --def, --vars, --x0 (or --at), --box, --bounds,
//                       --method and its options, as the option texts
//   ReadSystemFile      a system file's text (with the options given beside it)
//   ReadStandardInput   the same, named "<stdin>"
//   ReadBatchLine       one JSON line of a batch
//
// What the road decides (Problem.h's Road): on the Go road the texts are
// taken as typed; on the Full road names are trimmed identifiers given once,
// numbers strict, `NAME = EXPR` defines a quantity and `LHS = RHS` is an
// equation LHS - (RHS). Without names, a line `xK = ...` (K digits) is an
// equation in the default unknown xK; any other `NAME = ...` a definition.
//
// A reader never throws: it gives a Problem (with its warnings) or the one
// error that stopped it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Problem.h"
#include "ProblemError.h"

namespace problem {

struct ReadResult {
  std::optional<Problem> problem;
  std::optional<ProblemError> error;  // set exactly when problem is not
};

// The option texts of a command line, as typed; nullopt or empty where the
// option was not given.
struct CommandLineInput {
  // Which road; unset: the Go road without --method or with --method
  // newton, else the Full road. Commands beyond `solve` (roots, plot,
  // jacobian) set Full.
  std::optional<Road> road;
  std::vector<std::string> equations;    // --eq, in order
  std::vector<std::string> definitions;  // --def NAME=EXPR, in order, after a file's
  std::optional<std::string> names;      // --vars
  std::optional<std::string> start;      // --x0
  std::string startOption = "--x0";      // how messages name the start: "--at" for jacobian
  // Full road: one name per equation. jacobian clears it: F and J of any
  // number of equations in any number of unknowns.
  bool square = true;
  std::optional<std::string> box;        // LO:HI, one for all unknowns or one per unknown
  std::optional<std::string> bounds;     // the same; inf and -inf allowed
  std::optional<std::string> method;     // newton, hybrid, lm, auto
  std::optional<std::string> ftol;
  std::optional<std::string> maxEvaluations;
  std::optional<std::string> maxSeconds;
  std::optional<std::string> maxStarts;
  std::optional<std::string> seed;
  std::optional<std::string> budget;
};

// The road a command line chooses (CommandLineInput::road).
Road RoadOf(const CommandLineInput& input);

// The problem of a command line without a file.
ReadResult ReadCommandLine(const CommandLineInput& input);

// The problem of a system file's text (cli/SystemFile.h's format) named
// `fileName` in messages; `options` are the options given beside it: its
// --vars, --x0, --box replace the file's names:, start: and box: lines, its
// --def come after the file's definitions; --eq is refused.
ReadResult ReadSystemFile(std::string_view fileName, std::string_view text, const CommandLineInput& options);
// The same for a text read from standard input, named "<stdin>".
ReadResult ReadStandardInput(std::string_view text, const CommandLineInput& options);
inline constexpr std::string_view kStandardInputName = "<stdin>";

// The text of the file at `path` for a batch line's "file", or nullopt with
// the message (naming the file) in `error`. The commands pass their reader
// of files and standard input; tests pass texts they hold.
using TextLoader = std::function<std::optional<std::string>(const std::string& path, std::string& error)>;

// One batch line (JSON): an object with "eq" (an array of equation texts) or
// "file" (a system file's path), and optionally "names" (a text, or an array
// of names), "start" (a text, or an array of numbers and number texts),
// "method", "definitions" (an array of "NAME = EXPR" texts, or an object
// NAME: EXPR in the order written), "bounds" (a text as --bounds, or an array
// of [LOW, HIGH] pairs of numbers or texts such as "inf") and "id" (any
// value, not read here). The method decides the road as --method does.
// Messages name the source "batch line N". Numbers of the line reach the
// problem exactly as the JSON reader read them.
ReadResult ReadBatchLine(std::string_view line, std::size_t lineNumber, const TextLoader& load);

}  // namespace problem
