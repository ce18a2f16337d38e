// What nlsolve's commands share: exit statuses, the Go command's run on
// options (`solve`, `solve FILE`, batch lines, the Go road of `plot`), the
// JSON documents' version, and how numbers and names are written.
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
#include "problem/Readers.h"

namespace cli {

// Exit statuses of nlsolve.
inline constexpr int kExitSuccess = 0;  // evaluated, or the system converged
inline constexpr int kExitFailure = 1;  // an evaluation or a solve failed
inline constexpr int kExitUsage = 2;    // the command line was wrong

inline constexpr int kMinEquations = 2;  // what the solvers can work with
// Added where the Go command refuses a number of equations (the robust
// methods' only limit is RobustSolve.h's memory budget).
inline constexpr std::string_view kOtherMethodsTake = "; --method hybrid, lm or auto takes 1 equation or more";
// The same for a batch line, whose method is a field.
inline constexpr std::string_view kOtherMethodsField =
    "; \"method\": \"hybrid\", \"lm\" or \"auto\" takes 1 equation or more";

// Every JSON document the commands print carries kJsonVersionKey:
// kJsonVersion; docs/json.md lists the keys of each version.
inline constexpr std::string_view kJsonVersionKey = "jsonVersion";
inline constexpr int kJsonVersion = 2;
// An object holding only the version: where every document starts.
nlohmann::json JsonDocument();

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

// The Go command's options from a command line's: example N (0: none) or
// the equations, and the names and initial-values texts as typed. Shared by
// `solve` and the Go road of `plot`.
SolveOptions GoSolveOptions(int example, const problem::CommandLineInput& input);

// The methods' names as --method takes them ("newton", "hybrid", ...) and as
// help shows them ("newton|hybrid|lm|auto"), from problem::Methods().
std::vector<std::string> MethodChoices();
std::string MethodAlternatives();
// A default as help prints it: the number text of the engine ("1E-10", "20000").
std::string DefaultText(double value);

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

// The Go command's run as `solve` prints it; returns the exit status.
// `runner` does the run itself; a system file's run locates its errors.
int RunSolve(const SolveOptions& options, std::ostream& out, std::ostream& err,
             const SolveRunner& runner = SolveOnce);

// How the compiled-form commands write numbers: the shortest text that reads
// back as exactly the double ("undefined" / null when not finite).
std::string FullPrecisionText(double value);
// How a value that is not a finite number is written.
inline constexpr std::string_view kUndefinedText = "undefined";
nlohmann::json FullPrecisionJson(double value);
// The first name given twice (in any letter case), or nullopt.
std::optional<std::string> RepeatedName(std::span<const std::string> names);

}  // namespace cli
