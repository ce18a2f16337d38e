// nlsolve solve --method hybrid|lm|auto: the robust methods over the
// equations compiled at full precision with exact Jacobians. `--method
// newton` and no --method at all stay the Go command (Commands.h).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "problem/Readers.h"
#include "robust/Robust.h"

namespace CLI {
class App;
}

namespace cli {

// Far beyond what anyone types; the time budget guards the rest.
inline constexpr int kMaxRobustEquations = 1000;
static_assert(kMaxRobustEquations == 1000, "Commands.h kOtherMethodsTake names this count");

inline constexpr std::string_view kRobustSolveUsage =
    "       nlsolve solve (--example N | --eq EXPR...) [--vars TEXT] [--x0 TEXT] [--json]\n"
    "             --method hybrid|lm|auto [--ftol T] [--max-evaluations N] [--max-seconds S]\n"
    "             [--max-starts N] [--seed N] [--def NAME=EXPR]...\n";

inline constexpr const char* kRobustSolveHelp =
    "Methods of solve:\n"
    "  nlsolve solve ... --method newton|hybrid|lm|auto [--def NAME=EXPR]... [--ftol T]\n"
    "                [--max-evaluations N] [--max-seconds S] [--max-starts N] [--seed N]\n"
    "      newton (the default) is the Go command above. hybrid (Powell's dogleg\n"
    "      trust region), lm (Levenberg-Marquardt) and auto (hybrid, then lm, then\n"
    "      both from perturbed starts) take 1 to 1000 equations at full precision\n"
    "      with exact derivatives. A root is a point where every |F| is at most\n"
    "      --ftol (1E-10). Budgets: --max-evaluations (20000), --max-seconds (10);\n"
    "      auto: --max-starts (40), --seed (1). Prints NAME= value per unknown\n"
    "      (the names of --vars), NAME = value per definition, then one\n"
    "      sentence; --json adds method, verdict, evaluations, maxAbsResidual,\n"
    "      condition, names, definitions, warnings and more to the keys above.\n"
    "      Exit status 0 only for a root. Beyond newton names are given once,\n"
    "      numbers are decimal numbers, a line NAME = EXPR (or --def NAME=EXPR)\n"
    "      defines a quantity and LEFT = RIGHT is the equation LEFT - (RIGHT).\n"
    "      Every command warns on stderr (\"nlsolve: warning: ...\") about a name\n"
    "      nothing defines, an unknown no equation uses, a comparison as an\n"
    "      equation and values not separated by commas.\n";

// What the command line gave for the robust methods.
struct RobustCliOptions {
  std::string method = "newton";
  std::optional<double> ftol;
  std::optional<long> maxEvaluations;
  std::optional<double> maxSeconds;
  std::optional<int> maxStarts;
  std::optional<std::uint64_t> seed;
};

// Adds --method and the robust methods' options to the solve command.
void AddRobustOptions(CLI::App& solveCommand, RobustCliOptions& options);

// True when the robust road runs: --method is not newton, or one of its
// options was given (then RobustSolveProblem reports the missing --method).
bool WantsRobustSolve(const RobustCliOptions& options);

// What is wrong with the command line for the robust road, or nullopt.
std::optional<std::string> RobustSolveProblem(const SolveOptions& solve, const RobustCliOptions& options);

// The library's options from the command line's.
robust::Options ToRobustOptions(const RobustCliOptions& options);

struct ProblemRead;

// One run by a robust method as `solve --json` prints it: the document and
// the exit status.
struct RobustRun {
  nlohmann::json document;
  int status = kExitFailure;
};

// What a robust run shows in text: messages for stderr, then the lines for
// stdout (NAME= value per unknown, NAME = value per definition, the sentence).
struct RobustText {
  std::vector<std::string> messages;
  std::vector<std::string> lines;
};

// The input of a robust solve from its command line: the equations (or the
// example's), --def, --vars, --x0 and --method, on the Full road.
problem::CommandLineInput RobustInput(const SolveOptions& solve, const RobustCliOptions& options);

// One run of a read problem (or its refusal) by a robust method: the
// document of `solve --json` (with names, definitions and warnings) and the
// exit status; with `text`, also what the text output shows.
RobustRun RunRobustProblem(const ProblemRead& read, const robust::Options& options, const std::string& requested,
                           RobustText* text);

// The run printed as `solve --method` prints it, its warnings first on err.
int PrintRobustRun(const ProblemRead& read, const RobustCliOptions& options, bool json, std::ostream& out,
                   std::ostream& err);

int RunRobustSolve(const SolveOptions& solve, const RobustCliOptions& options, std::ostream& out,
                   std::ostream& err);

}  // namespace cli
