#include "FileCommands.h"

#include <cmath>
#include <utility>

#include "InputText.h"
#include "ProblemInput.h"
#include "StreamUi.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/ScriptError.h"
#include "eval/NumberText.h"
#include "eval/compiled/CompiledSystem.h"

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

namespace {

int Fail(std::ostream& err, std::string_view message) {
  err << "nlsolve: " << OneLine(message) << '\n';
  return kExitFailure;
}

}  // namespace

std::optional<SystemFile> LoadCommandFile(const std::string& path, std::optional<std::string>& namesText,
                                          std::optional<std::string>& valuesText, RunFields& fields,
                                          std::ostream& err, std::string* text) {
  InputRead input = ReadInputText(path);
  if (!input.text) {
    Fail(err, input.error);
    return std::nullopt;
  }
  SystemFileRead read = ParseSystemFile(InputName(path), *input.text);
  if (text) *text = std::move(*input.text);
  if (!read.system) {
    Fail(err, read.error);
    return std::nullopt;
  }
  const SystemFile& system = *read.system;
  fields.namesFromFile = !namesText && system.names;
  fields.startFromFile = !valuesText && system.start;
  if (fields.namesFromFile) namesText = system.names->Text();
  if (fields.startFromFile) valuesText = system.start->Text();
  return std::move(read.system);
}

std::optional<EquationRefusal> RefusedEquation(const std::vector<std::string>& texts,
                                               const std::vector<std::string>& names) {
  eval::SilentUi ui;
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, ui);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    try {
      eval::CompiledEquation equation(texts[i], names, library);
    } catch (const eval::ScriptError& error) {
      EquationRefusal refusal{{.kind = app::GoFailure::Kind::Equation, .equation = i},
                              "Eq_" + std::to_string(i + 1) + ": " + OneLine(error.Description())};
      // A refused name fails the equation too; only the text's own fault has a place in it.
      if (const auto failure = CompileFailureOf(texts[i]);
          failure && failure->description == error.Description())
        refusal.failure.offset = failure->offset;
      return refusal;
    }
  }
  return std::nullopt;
}

}  // namespace cli
