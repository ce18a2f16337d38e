// The problem a user states, whichever door it came through (command-line
// options, a system file, standard input, one batch line): equations,
// definitions, unknowns, start point, box, bounds and the method with its
// options, each remembering where it came from so that a message can point
// at it. The readers (Readers.h) build it; Expand (Definitions.h) turns it
// into the texts the evaluators take; Checks.h says what looks unintended.
//
//   problem::CommandLineInput options;   // what was given beside the file
//   options.method = "hybrid";
//   problem::ReadResult read = problem::ReadSystemFile("system.txt", text, options);
//   if (!read.problem) { err << problem::Format(*read.error) << '\n'; return 1; }
//   for (const problem::Warning& w : read.problem->warnings) err << problem::Format(w) << '\n';
//   problem::ExpandResult texts = problem::Expand(*read.problem);  // what the evaluators take
//
// Nothing here knows Qt, streams or the commands; no text is parsed twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PlacedText.h"
#include "ProblemError.h"
#include "robust/Robust.h"
#include "robust/Roots.h"

namespace problem {

// Which road a problem is solved on; it decides how its texts are read.
enum class Road {
  // The Go command's road (the window, `solve` without --method or with
  // --method newton): equations, names and start values are taken as typed,
  // start values by the leading-number rule, no definitions; `a = b` is the
  // language's comparison.
  Go,
  // Every other road (the robust methods, roots, plot, jacobian): names are
  // trimmed identifiers given once, numbers are strict decimal numbers, a
  // line `NAME = EXPR` may define a quantity and `LHS = RHS` is LHS - (RHS).
  Full,
};

// The methods by which a problem can be solved, in the order help lists them.
enum class Method { Newton, Hybrid, Lm, Auto, Sparse };

struct MethodInfo {
  Method method;
  std::string_view name;         // as typed after --method and in a batch line
  std::string_view description;  // one line for help texts
};
// Every method, in the order of Method.
std::span<const MethodInfo> Methods();
// The method a name (exact, lower case) stands for.
std::optional<Method> MethodNamed(std::string_view name);
std::string_view NameOf(Method method);
// "newton, hybrid, lm, auto": the names for messages and help.
std::string MethodNames();
// The road a method is solved on, decided here only: the Go road for newton
// or no method at all, the Full road for every other (an unknown name too:
// the Full road's reader refuses it with the list of methods).
Road RoadOfMethod(const std::optional<std::string>& method);

// Every default of a problem's fields in one place: help texts print them
// from here. The methods' budgets are those of the library they configure.
struct Defaults {
  Method method = Method::Newton;
  double ftol = robust::kDefaultFtol;
  long maxEvaluations = robust::Options{}.maxEvaluations;
  double maxSeconds = robust::Options{}.maxSeconds;
  int maxStarts = robust::Options{}.maxStarts;
  std::uint64_t seed = robust::Options{}.seed;
  double budget = robust::RootsOptions{}.maxSeconds;  // seconds of a root search or a picture
  double boxLow = -10.0;                               // each unknown's box without --box
  double boxHigh = 10.0;
  double start = 0.0;  // each unknown's start without --x0
};
inline constexpr std::string_view kDefaultNamePrefix = "x";  // unknowns x1, x2, ... without --vars

// Most bytes the expanded equations and definitions of one problem may take
// together (Expand): a definition used twice in the next one doubles its
// size, so a few lines could otherwise ask for gigabytes.
inline constexpr std::size_t kMaxExpandedBytes = std::size_t{64} << 20;

// Where a field's value came from.
enum class OriginKind {
  Default,      // nobody gave it: the value of Defaults
  CommandLine,  // an option, e.g. "--x0"
  File,         // a line of a system file (or of standard input)
  BatchField,   // a field of a batch line
};

struct Origin {
  OriginKind kind = OriginKind::Default;
  std::string source;  // "--x0", "system.txt", "<stdin>", "batch line 4"; empty for Default
  int line = 0;        // file lines only
  std::string field;   // "start", "names", "box", ... for files and batch lines
};

// A value and where it came from.
template <typename T>
struct Given {
  T value{};
  Origin origin;
};

// One equation: its text as typed (a natural equation `LHS = RHS` keeps
// both sides; Expand writes it LHS - (RHS)).
struct Equation {
  PlacedText text;
  std::string source;  // as ProblemError::source names it
  // Full road: the byte offset of the top-level '=' of a natural equation.
  std::optional<std::size_t> equalsAt;
};

// NAME = EXPR: a quantity the equations and later definitions use by name.
struct Definition {
  std::string name;       // as written
  PlacedText expression;  // the text after '=', as typed
  std::string source;
  Place place;  // of the name
};

// One [low, high] per unknown. A box (where a search looks and a picture
// shows) is finite with low < high; bounds may be infinite on either side.
struct Range {
  double low = 0.0;
  double high = 0.0;
  bool operator==(const Range&) const = default;
};

// How the numbers of a field were read (NumberReader.h).
enum class NumberRule {
  Leading,  // the window's leading-number rule: "3x" is 3, "abc" is 0, "&H10" is 16
  Strict,   // decimal numbers only, finite, correctly rounded
  Bounds,   // Strict, and inf / -inf
};

struct MethodOptions {
  Given<Method> method{Defaults{}.method, {}};
  Given<double> ftol{Defaults{}.ftol, {}};
  Given<long> maxEvaluations{Defaults{}.maxEvaluations, {}};
  Given<double> maxSeconds{Defaults{}.maxSeconds, {}};
  Given<int> maxStarts{Defaults{}.maxStarts, {}};
  Given<std::uint64_t> seed{Defaults{}.seed, {}};
  Given<double> budget{Defaults{}.budget, {}};
};

// A warning about what the user typed: the problem can still be solved.
struct Warning {
  WarningCode code = WarningCode::UnknownName;
  ProblemError detail;  // its place and message
};
std::string Format(const Warning& warning);  // as Format(warning.detail)

// A long text can hold a warning in every other byte: the first ones are
// kept, the rest only counted.
inline constexpr std::size_t kMaxWarnings = 100;
struct WarningList {
  std::vector<Warning> kept;  // the first kMaxWarnings, in order of finding
  std::size_t leftOut = 0;    // found beyond them
  void Add(Warning warning);
  void Add(const WarningList& more);
};

struct Problem {
  Road road = Road::Go;
  std::vector<Equation> equations;
  std::vector<Definition> definitions;  // in order: each uses only earlier ones
  // One name per unknown. On the Go road as typed (possibly blank or of a
  // different count than the equations: the Go command reports that).
  Given<std::vector<std::string>> names;
  std::vector<Place> namePlaces;  // where each name stands in its field
  // The start point. On the Go road read by the leading-number rule, as many
  // values as the field has pieces.
  Given<std::vector<double>> start;
  NumberRule startRule = NumberRule::Leading;
  // The fields' texts as given, for the Go command, which reads them itself;
  // nullopt where the field was not given.
  std::optional<std::string> namesText;
  std::optional<std::string> startText;
  Given<std::vector<Range>> box;     // empty: not given (Defaults' box then)
  Given<std::vector<Range>> bounds;  // empty: unbounded
  MethodOptions options;
  WarningList warnings;
};

}  // namespace problem
