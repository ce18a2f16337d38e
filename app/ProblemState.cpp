#include "ProblemState.h"

#include <algorithm>

#include "eval/NumberText.h"

namespace app {

namespace {
constexpr std::string_view kLanguage = "VBScript";
using eval::kLibraryName;
}  // namespace

std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

std::unique_ptr<eval::ScriptEngine> NewEquationEngine(ProblemState& state) {
  auto engine = std::make_unique<eval::ScriptEngine>();
  engine->SetLanguage(kLanguage);
  if (!state.mathLib) state.mathLib = std::make_shared<eval::ClsMath>();
  engine->AddObject(kLibraryName, state.mathLib, true);
  return engine;
}

void ReadProblemInput(const InputFields& fields, ProblemState& state) {
  const int nEq = std::clamp<int>(state.nEq, 0, kMaxEquations);

  // Fields beyond nEq are not read, shown or hidden.
  state.eqTexts.assign(fields.txtEqs.begin(), fields.txtEqs.begin() + nEq);

  // With no piece at all the names and the point of the previous command stay.
  if (auto names = SplitAtCommas(fields.txtVars); !names.empty()) state.varNames = std::move(names);
  if (auto values = SplitAtCommas(fields.txtVarsI); !values.empty()) {
    state.x.clear();
    for (const auto& piece : values) state.x.push_back(eval::LeadingNumber(piece));
  }

  // Every command works with fresh engines: nothing an equation left in an
  // engine survives into the next command. They all share the one library.
  state.scriptEngines.clear();
  for (int i = 0; i < nEq; ++i) state.scriptEngines.push_back(NewEquationEngine(state));
}

}  // namespace app
