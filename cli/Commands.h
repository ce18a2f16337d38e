// The commands of nlsolve (eval, eval --grad, jacobian, solve, examples), each
// taking its already-parsed options and writing to the streams it is given.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/GoCommand.h"
#include "eval/SolverUi.h"
#include "eval/Value.h"

namespace cli {

// Exit statuses of nlsolve.
inline constexpr int kExitSuccess = 0;  // evaluated, or the system converged
inline constexpr int kExitFailure = 1;  // an evaluation or a solve failed
inline constexpr int kExitUsage = 2;    // the command line was wrong

inline constexpr int kMinEquations = 2;  // what the solvers can work with
// Added where the Go command refuses a number of equations; the count is
// RobustSolve.h's kMaxRobustEquations.
inline constexpr std::string_view kOtherMethodsTake = "; --method hybrid, lm or auto takes 1 to 1000 equations";
// The same for a batch line, whose method is a field.
inline constexpr std::string_view kOtherMethodsField =
    "; \"method\": \"hybrid\", \"lm\" or \"auto\" takes 1 to 1000 equations";

struct EvalOptions {
  std::vector<std::string> assignments;  // "NAME=VALUE", in the order given
  std::string expression;
};

struct SolveOptions {
  int example = 0;                     // 1..kExampleCount, or 0 when equations are given
  std::vector<std::string> equations;  // used when example is 0
  std::optional<std::string> namesText;   // overrides the names field
  std::optional<std::string> valuesText;  // overrides the initial-values field
  std::vector<std::string> definitions;   // --def NAME=EXPR, in order (not on the Go road)
  bool log = false;
  bool json = false;
};

// One --var: the name is the text before the first "=", the value the leading
// number of the rest. nullopt when there is no "=" or the name is empty.
std::optional<std::pair<std::string, double>> ParseAssignment(std::string_view text);
// Every --var in order into names and values; false after telling err which
// one is not NAME=VALUE.
bool ParseAssignments(std::span<const std::string> assignments, std::vector<std::string>& names,
                      std::vector<double>& values, std::ostream& err);

// How eval prints a result: numbers as number text (a Single as VBScript
// shows it), texts as they are, True/False, Empty as an empty text, Null as "Null".
std::string ValueText(const eval::Value& value);

// The names and initial-values texts the example loader writes for n unknowns.
std::string DefaultNamesText(int n);
std::string DefaultValuesText(int n);

// What is wrong with the solve options as a command line, or nullopt: the
// example number out of range, both or neither of --example and --eq, or a
// number of equations the solvers and the fields cannot take.
std::optional<std::string> SolveOptionsProblem(const SolveOptions& options);

// Fills the state and the fields as a double-click on the example (or, for
// typed equations, the same with those equations) followed by the user's
// edits of the names and initial values would.
void PrepareSolveInput(const SolveOptions& options, app::ProblemState& state,
                       app::InputFields& fields);

// The JSON document of one solve run.
nlohmann::json SolveJson(const app::GoResult& result, const eval::RecordingUi& ui);
// The document as printed. Bytes that are not UTF-8 (an equation typed in
// another encoding comes back inside descriptions) become U+FFFD instead of
// aborting the output.
std::string JsonText(const nlohmann::json& document);

// One solve run on a problem state of its own: the input prepared from the
// options (checked by SolveOptionsProblem), then the Go command. Everything
// the run tells goes to `ui`. What `solve` and every line of a batch run.
app::GoResult SolveOnce(const SolveOptions& options, eval::SolverUi& ui);
using SolveRunner = std::function<app::GoResult(const SolveOptions&, eval::SolverUi&)>;

// The commands; each returns the exit status. Script failures are reported,
// not thrown.
int RunEval(const EvalOptions& options, std::ostream& out, std::ostream& err);
// `runner` does the run itself; a system file's run locates its errors.
int RunSolve(const SolveOptions& options, std::ostream& out, std::ostream& err,
             const SolveRunner& runner = SolveOnce);
int RunExamples(std::ostream& out);

// eval --grad (GradCommand.cpp): the value at full precision, then d/dNAME per
// --var in order; with json one object {value, gradient, derivatives}.
struct GradOptions {
  std::vector<std::string> assignments;  // "NAME=VALUE", each NAME once
  std::string expression;
  bool json = false;
};
int RunEvalGrad(const GradOptions& options, std::ostream& out, std::ostream& err);

// jacobian (JacobianCommand.cpp): F and J of the equations at one point.
struct JacobianOptions {
  std::vector<std::string> equations;
  std::optional<std::string> namesText;  // default x1,x2,... one per equation
  std::string atText;                    // comma-separated numbers, one per unknown
  std::vector<std::string> definitions;  // --def NAME=EXPR, in order
  bool json = false;
};
int RunJacobian(const JacobianOptions& options, std::ostream& out, std::ostream& err);
// The same for the equations of `file` (a path, "-" for standard input) when
// given; the point is --at when `atGiven`, else the file's start: line.
int RunJacobianProblem(const JacobianOptions& options, const std::optional<std::string>& file, bool atGiven,
                       std::ostream& out, std::ostream& err);

// How the compiled-form commands write numbers: the shortest text that reads
// back as exactly the double ("undefined" / null when not finite).
std::string FullPrecisionText(double value);
nlohmann::json FullPrecisionJson(double value);
// The first name given twice (in any letter case), or nullopt.
std::optional<std::string> RepeatedName(std::span<const std::string> names);

}  // namespace cli
