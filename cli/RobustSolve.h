// A read problem solved by a robust method (hybrid, lm, auto) over its
// equations compiled at full precision with exact Jacobians: the run builds
// a report, and one printer per format writes it. Shared by `solve
// --method`, `solve FILE --method` and batch lines beyond newton; the Go
// command's road is Commands.h.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "ProblemInput.h"
#include "problem/Readers.h"
#include "robust/Robust.h"

namespace cli {

// Far beyond what anyone types; the time budget guards the rest.
inline constexpr int kMaxRobustEquations = 1000;
static_assert(kMaxRobustEquations == 1000, "Commands.h kOtherMethodsTake names this count");

// True when the robust road runs: the method's road is the Full road
// (problem::RoadOfMethod), or one of the robust options was given (then
// RobustSolveProblem reports the missing --method).
bool WantsRobustSolve(const problem::CommandLineInput& input);

// What is wrong with a robust solve of `count` equations, or nullopt:
// options of the robust methods without one, --log, a count out of range.
std::optional<std::string> RobustSolveProblem(const problem::CommandLineInput& input, std::size_t count, bool log);

// The library's options from a problem's.
robust::Options RobustOptionsOf(const problem::MethodOptions& options);

// What one robust run found, or why it could not run.
struct RobustSolveReport {
  std::string requested;               // the method as asked for
  std::optional<std::string> refusal;  // set when nothing ran
  bool problemRead = false;            // names, start and warnings hold the problem as read
  std::vector<std::string> names;
  std::vector<double> start;
  problem::WarningList warnings;
  robust::Report run;                  // valid when !refusal
  std::optional<double> ftol;          // --ftol when given
  std::string failure;   // the engine's description of the failing equation, if any
  std::string sentence;  // robust::Summary with that description
  std::vector<DefinitionValue> definitions;
  std::string_view derivatives;
  int interruptSignal = 0;  // SIGINT or SIGTERM when the run was interrupted
  int status = 1;           // the exit status
};

// One run of a read problem (or its refusal), with the options the problem
// holds; `requested` names the method for a refusal.
RobustSolveReport RunRobustProblem(const ProblemRead& read, const std::string& requested);

// The document of `solve --method ... --json` (docs/json.md).
nlohmann::json RobustSolveJson(const RobustSolveReport& report);
// The text: messages on err, then NAME= value per unknown, NAME = value per
// definition and the sentence on out.
void PrintRobustSolveText(const RobustSolveReport& report, std::ostream& out, std::ostream& err);

// The run printed as `solve --method` prints it, the warnings first on err
// in text; returns the exit status.
int PrintRobustRun(const ProblemRead& read, const std::string& requested, bool json, std::ostream& out,
                   std::ostream& err);

}  // namespace cli
