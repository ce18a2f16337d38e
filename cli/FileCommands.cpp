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
namespace {

constexpr std::string_view kErrorPrefix = "nlsolve: ";

int Fail(std::ostream& err, std::string_view message) {
  err << kErrorPrefix << OneLine(message) << '\n';
  return kExitFailure;
}

}  // namespace

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

int RunSolveFile(const std::string& path, const SolveOptions& options, const RobustCliOptions& robust,
                 std::ostream& out, std::ostream& err) {
  // Read once: standard input cannot be read again.
  const InputRead input = ReadInputText(path);
  if (!input.text) return Fail(err, input.error);
  const std::string fileName = InputName(path);
  const SystemFileRead read = ParseSystemFile(fileName, *input.text);
  if (!read.system) return Fail(err, read.error);
  const SystemFile& system = *read.system;
  RunFields fields;
  const SolveOptions run = SystemSolveOptions(system, options, fields);

  if (WantsRobustSolve(robust)) {
    problem::CommandLineInput given = RobustInput(options, robust);
    given.equations.clear();  // they come from the file
    const ProblemRead problem = Expanded(problem::ReadSystemFile(fileName, *input.text, given));
    SolveOptions counted = run;
    if (problem.read) counted.equations = problem.read->expansion.equations;
    if (auto refusal = RobustSolveProblem(counted, robust)) {
      err << kErrorPrefix << *refusal << '\n';
      return kExitUsage;
    }
    return PrintRobustRun(problem, robust, run.json, out, err);
  }

  if (!options.definitions.empty()) {
    err << kErrorPrefix << "--def needs --method hybrid, lm or auto: the Go command takes the equations as typed\n";
    return kExitUsage;
  }
  problem::CommandLineInput given;
  given.names = options.namesText;
  given.start = options.valuesText;
  PrintWarnings(GoRoadWarnings(given, input.text, fileName), err);
  if (auto problem = EquationCountProblem(system.equations.size()))
    return Fail(err, system.fileName + ": " + *problem);
  return RunSolve(run, out, err, [&](const SolveOptions& o, eval::SolverUi& ui) {
    return SolveSystem(system, fields, o, ui);
  });
}

int RunEvalFile(const std::string& path, const EvalOptions& options, bool grad, bool json, std::ostream& out,
                std::ostream& err) {
  const SystemFileRead read = LoadSystemFile(path);
  if (!read.system) return Fail(err, read.error);
  const SystemFile& system = *read.system;
  if (system.equations.size() != 1) {
    return Fail(err, system.fileName + ": eval --file takes one expression; the file holds " +
                         std::to_string(system.equations.size()));
  }
  const SourceText& expression = system.equations.front();
  if (auto failure = CompileFailureOf(expression.Text())) {
    const SourceText::Place place = failure->offset == std::string::npos
                                        ? SourceText::Place{expression.Line(), 0}
                                        : expression.PlaceOf(failure->offset);
    err << system.Where(place) << OneLine(failure->description) << '\n';
    return kExitFailure;
  }

  // The names and start lines pair up as the solve command's fields do, with
  // the same defaults when one of them is missing.
  std::vector<std::string> names = system.names ? app::SplitAtCommas(system.names->Text()) : std::vector<std::string>{};
  std::vector<std::string> values = system.start ? app::SplitAtCommas(system.start->Text()) : std::vector<std::string>{};
  if (system.names && system.start && names.size() != values.size()) {
    return Fail(err, system.Where({system.start->Line(), 0}) + std::to_string(names.size()) + " names but " +
                         std::to_string(values.size()) + " initial values");
  }
  if (system.start && !system.names && !values.empty())
    names = app::SplitAtCommas(DefaultNamesText(static_cast<int>(values.size())));
  if (system.names && !system.start && !names.empty())
    values = app::SplitAtCommas(DefaultValuesText(static_cast<int>(names.size())));

  EvalOptions run;
  run.expression = expression.Text();
  std::size_t offset = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    // An --var text holds NAME=VALUE; a name with "=" or none cannot be one
    // (the default names, used without a names line, are fine).
    if (system.names && (names[i].empty() || names[i].find('=') != std::string::npos)) {
      return Fail(err, system.Where(system.names->PlaceOf(offset)) + "names: \"" + names[i] +
                           "\" is not a name");
    }
    run.assignments.push_back(names[i] + "=" + values[i]);
    offset += names[i].size() + 1;
  }
  if (grad) {
    // Each name once: a --var replaces the file's assignment of its name.
    std::vector<std::string> assignments;
    for (const std::string& assignment : run.assignments) {
      const std::string name = assignment.substr(0, assignment.find('='));
      bool replaced = false;
      for (const std::string& given : options.assignments) {
        const auto parsed = ParseAssignment(given);
        replaced = replaced || (parsed && RepeatedName(std::vector<std::string>{name, parsed->first}));
      }
      if (!replaced) assignments.push_back(assignment);
    }
    assignments.insert(assignments.end(), options.assignments.begin(), options.assignments.end());
    return RunEvalGrad(GradOptions{assignments, run.expression, json}, out, err);
  }
  run.assignments.insert(run.assignments.end(), options.assignments.begin(), options.assignments.end());
  return RunEval(run, out, err);
}

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

int RunJacobianFile(const std::string& path, const JacobianOptions& overrides, const std::optional<std::string>& at,
                    std::ostream& out, std::ostream& err) {
  JacobianOptions options = overrides;
  options.equations.clear();  // they come from the file
  if (at) options.atText = *at;
  return RunJacobianProblem(options, path, at.has_value(), out, err);
}

}  // namespace cli
