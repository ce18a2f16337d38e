#include "FileCommands.h"

#include "app/ProblemState.h"

namespace cli {

std::optional<std::string> EquationCountProblem(std::size_t count, std::string_view otherMethods) {
  if (count >= static_cast<std::size_t>(kMinEquations) && count <= static_cast<std::size_t>(app::kMaxEquations))
    return std::nullopt;
  return "solve takes " + std::to_string(kMinEquations) + " to " + std::to_string(app::kMaxEquations) +
         " equations; the system has " + std::to_string(count) + std::string(otherMethods);
}

SolveOptions SystemSolveOptions(const SystemFile& system, const SolveOptions& overrides, RunFields& fields) {
  SolveOptions options = overrides;
  options.example = 0;
  options.equations = system.EquationTexts();
  fields.namesFromFile = !overrides.namesText && system.names;
  fields.startFromFile = !overrides.valuesText && system.start;
  if (fields.namesFromFile) options.namesText = system.names->Text();
  if (fields.startFromFile) options.valuesText = system.start->Text();
  return options;
}

app::GoResult SolveSystem(const SystemFile& system, const RunFields& fields, const SolveOptions& options,
                          eval::SolverUi& ui) {
  app::ProblemState state;
  app::InputFields inputs;
  PrepareSolveInput(options, state, inputs);
  app::GoOptions go;
  go.locate = [&](const app::GoFailure& failure, const std::string& message) {
    return LocateRunError(system, fields, failure, message);
  };
  return app::CmdExecute_Click(inputs, state, ui, go);
}

}  // namespace cli
