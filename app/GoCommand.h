// The Go command: input step, a steepest-descent stage for three equations,
// Newton's method, the answer text and the equation values in the title.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ProblemState.h"
#include "eval/SolverUi.h"

namespace app {

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
};

// Runs the command on the fields with state.nEq as last set by the example
// loader. Never throws on bad input: every failure becomes a message.
// "The system has 2 equations, so it needs 2 initial values; 1 was given.",
// saying how to separate them when the one piece given holds several words.
std::string CountMessage(int nEq, std::string_view what, std::size_t given,
                         std::span<const std::string> pieces = {});

GoResult CmdExecute_Click(const InputFields& fields, ProblemState& state, eval::SolverUi& ui);

// The title text for the given equation values (rounded to 7 decimals).
std::string TitleText(std::span<const double> residuals);
// The answer field's text for the given answer.
std::string AnswerText(std::span<const double> answer);

}  // namespace app
