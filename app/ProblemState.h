// The shared problem state of one window: what the example loader and the
// input step write and the solvers read. The window owns one instance; the
// command line and the tests make their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/ScriptEngine.h"

namespace app {

inline constexpr int kMaxEquations = 6;

// The texts of the input fields, as typed (a view without Qt of the window's
// txtEqs(0..5), txtVars and txtVarsI).
struct InputFields {
  std::array<std::string, kMaxEquations> txtEqs;
  std::string txtVars;
  std::string txtVarsI;
};

struct ProblemState {
  std::int16_t nEq = 0;                  // set only by the example loader
  std::vector<std::string> eqTexts;      // equation i at [i - 1]
  std::vector<std::string> varNames;     // unknown i at [i - 1]
  std::vector<double> x;                 // the point; the answer after a Go command
  // Declared before the engines, which hold it, so it is destroyed after them.
  std::shared_ptr<eval::ClsMath> mathLib;  // created by the first input step
  std::vector<std::unique_ptr<eval::ScriptEngine>> scriptEngines;  // engine i - 1 for equation i
};

// The pieces of a text split at every comma; an empty text gives no piece.
std::vector<std::string> SplitAtCommas(const std::string& text);

// A new engine as the input step makes one for an equation: the language set,
// the state's library (created on first use) added with its members global.
std::unique_ptr<eval::ScriptEngine> NewEquationEngine(ProblemState& state);

// The input step of the Go command: rebuilds eqTexts, varNames, x and the
// engines from the fields and the current nEq. Shows nothing; the library's
// messages go to the interface the running command binds (ClsMath::UiBinding).
void ReadProblemInput(const InputFields& fields, ProblemState& state);

}  // namespace app
