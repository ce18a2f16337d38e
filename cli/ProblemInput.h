// The commands' door to the problem model (problem/): a command line or a
// system file read into one Problem, expanded into the texts the compiled
// form takes, its warnings written out, compiled once, its definitions
// evaluated at a point.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
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
// The same for a problem read on the Go road.
problem::WarningList GoRoadWarnings(const problem::Problem& typed);

// Each definition's value at a point (nullopt where it is undefined there).
struct DefinitionValue {
  std::string name;
  std::optional<double> value;
};

class CompiledProblem;

// Either the compiled problem or why not: the first definition or equation
// (definitions first, in order) the compiled form refuses, as a message with
// its place ("system.txt:3:7: Eq_2: Expected ')'", "--def (column 5): the
// definition of k: Syntax error"). Each text is compiled once, one at a time,
// so the one refused is known without compiling the others again.
struct ProblemCompile {
  std::unique_ptr<CompiledProblem> compiled;
  std::string refusal;  // set exactly when compiled is not
  std::optional<problem::ProblemError> error;  // the refusal's facts: its place, equation and message
};
ProblemCompile CompileProblem(const ReadProblem& read);

// A problem's definitions and equations compiled, with the library they
// call. The library's messages go to a silent ui: they would come once per
// trial point, and a failing equation is reported by the run. A command that
// shows them binds the library to its own ui for a while (an
// eval::ClsMath::UiBinding on Library(), destroyed before this object).
// Keeps no reference to the ReadProblem it came from.
class CompiledProblem {
 public:
  CompiledProblem(const CompiledProblem&) = delete;
  CompiledProblem& operator=(const CompiledProblem&) = delete;

  eval::CompiledSystem& System() { return *system_; }
  eval::ClsMath& Library() { return *library_; }
  // Each definition's value at x, in the order defined.
  std::vector<DefinitionValue> DefinitionValues(std::span<const double> x);

 private:
  friend ProblemCompile CompileProblem(const ReadProblem& read);
  CompiledProblem();

  // The members' order is their lifetimes': the ui outlives the binding that
  // points the library at it, the binding ends before the library and the
  // compiled texts (which share the library) go first.
  eval::SilentUi ui_;
  std::shared_ptr<eval::ClsMath> library_;
  eval::ClsMath::UiBinding libraryMessages_;
  std::vector<std::string> definitionNames_;
  std::vector<eval::CompiledEquation> definitions_;  // in the order of definitionNames_
  std::optional<eval::CompiledSystem> system_;       // set once every equation compiled
};

// "NAME = value" per definition, at full precision.
void PrintDefinitions(const std::vector<DefinitionValue>& values, std::ostream& out);
// {"NAME": value or null, ...}, one member per definition (printed with sorted keys).
nlohmann::json DefinitionsJson(const std::vector<DefinitionValue>& values);

}  // namespace cli
