// The Go command: input step, a steepest-descent stage for three equations,
// Newton's method, the answer text and the equation values in the title.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ProblemState.h"
#include "eval/SolverUi.h"
#include "solvers/Solvers.h"

namespace app {

// What a refused or abandoned command failed on: the facts behind
// GoResult::error, for a caller that knows where the texts came from.
struct GoFailure {
  enum class Kind {
    NoSystem,         // no example has been loaded
    NameCount,        // the names field holds another number of names than nEq
    ValueCount,       // the initial-values field, likewise
    Name,             // piece `piece` of the names field is no variable name
    Value,            // piece `piece` of the initial values is beyond the number range
    Equation,         // the engine refused equation `equation`'s text
    LeftNumberRange,  // a Newton iterate left the number range
  };
  static constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

  Kind kind = Kind::NoSystem;
  std::size_t equation = 0;  // Equation: 0-based
  std::size_t piece = 0;     // Name, Value: 0-based piece of the field split at commas
  // Equation: the byte offset in the equation's text where the engine
  // stopped compiling it; Name: the offset in the piece. kNoOffset when the
  // engine gives none.
  std::size_t offset = kNoOffset;
};

struct GoOptions {
  // Told each point the solvers reach (see solvers::ReachedPoint); none by default.
  solvers::IterateObserver observer;
  // The text a refusal shows and keeps in GoResult::error, from what failed
  // and the message; the message itself when unset (the window's way). A
  // system file's run puts the place in the file before the message.
  std::function<std::string(const GoFailure&, const std::string& message)> locate;
};

struct GoResult {
  // False when the command was refused or abandoned; the answer field and
  // title must then be left as they were, and `error` says why (also shown
  // to the user as a message).
  bool ran = false;
  std::string answerText;   // "x1= ...\r\nx2= ...\r\n"
  std::string title;        // "Fxyz1= ...;Fxyz2= ..." [";Fxyz3= ..."]
  std::vector<double> x;          // the answer, full precision
  std::vector<double> residuals;  // the equation values at the answer, unrounded
  // Newton met its tolerance, no linear solve failed and no evaluation failed.
  bool converged = false;
  std::optional<std::string> error;
  std::optional<GoFailure> failure;  // set exactly when `error` is
  // The problem as the input step read it (empty when it refused the input):
  // the unknowns' names and the start, each value as the field's text reads.
  std::vector<std::string> names;
  std::vector<double> start;
};

// "The system has 2 equations, so it needs 2 initial values; 1 was given.",
// saying how to separate them when the one piece given holds several words.
std::string CountMessage(int nEq, std::string_view what, std::size_t given,
                         std::span<const std::string> pieces = {});

// Runs the command on the fields with state.nEq as last set by the example
// loader. Never throws on bad input: every failure becomes a message.
GoResult CmdExecute_Click(const InputFields& fields, ProblemState& state, eval::SolverUi& ui,
                          const GoOptions& options = {});

// The title text for the given equation values (rounded to 7 decimals).
std::string TitleText(std::span<const double> residuals);
// The answer field's lines for the given answer, "x1= 1.5" (no line end).
std::vector<std::string> AnswerLines(std::span<const double> answer);
// The answer field's text: each line ended by CR LF.
std::string AnswerText(std::span<const double> answer);

}  // namespace app
