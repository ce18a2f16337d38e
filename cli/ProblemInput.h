// The commands' door to the problem model (problem/): a command line or a
// system file read into one Problem, expanded into the texts the compiled
// form takes, its warnings written out, its definitions evaluated at a point.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "problem/Definitions.h"
#include "problem/Problem.h"
#include "problem/Readers.h"

namespace cli {

// A problem as read, with what the evaluators take.
struct ReadProblem {
  problem::Problem problem;
  problem::Expansion expansion;
};

// Why a problem could not be had: the message as printed, and whether the
// fault is in a file (exit status 1) rather than on the command line (2).
struct ProblemRefusal {
  std::string message;
  bool inFile = false;
};

// The problem of `file` (a path, "-" for standard input) with the options
// beside it, or of the options alone; expanded. Either the problem or the refusal.
struct ProblemRead {
  std::optional<ReadProblem> read;
  ProblemRefusal refusal;
};
ProblemRead ReadCommandProblem(const problem::CommandLineInput& input, const std::optional<std::string>& file);

// Says why the problem could not be had and returns the exit status: a fault
// of a file as "nlsolve: ..." on err, status 1; one of the command line
// through `usage`, which prints it with the command's usage.
int Refuse(const ProblemRefusal& refusal, std::ostream& err, const std::function<int(const std::string&)>& usage);

// A read problem expanded, or the refusal when the expansion is too large.
ProblemRead Expanded(problem::ReadResult result);

// One line per warning on err: "nlsolve: warning: --eq (column 1): Eq_1: uses z, ...",
// and one for the warnings left out.
void PrintWarnings(const problem::WarningList& warnings, std::ostream& err);
// [{"code": "unknownName", "message": "...", "place": "--eq (column 1)"}, ...]
nlohmann::json WarningsJson(const problem::WarningList& warnings);

// The warnings of what a Go-road command was given (the equations, names and
// start as typed, or a file with them), for stderr; none when it cannot be
// read, since the Go command reports that itself.
problem::WarningList GoRoadWarnings(const problem::CommandLineInput& input, const std::optional<std::string>& fileText,
                                    const std::string& fileName);

// The first equation or definition the compiled form refuses with these
// names, as a message with its place ("system.txt:3:7: Eq_2: Expected ')'"),
// or nullopt when every one compiles.
// With `equations` false only the definitions are tried.
std::optional<std::string> RefusedText(const ReadProblem& read, bool equations = true);

// Each definition's value at x (nullopt where it is undefined there).
struct DefinitionValue {
  std::string name;
  std::optional<double> value;
};
std::vector<DefinitionValue> DefinitionValues(const ReadProblem& read, std::span<const double> x);
// "NAME = value" per definition, at full precision.
void PrintDefinitions(const std::vector<DefinitionValue>& values, std::ostream& out);
// {"NAME": value or null, ...} in the order defined.
nlohmann::json DefinitionsJson(const std::vector<DefinitionValue>& values);

}  // namespace cli
