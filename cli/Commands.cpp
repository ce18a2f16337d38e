#include "Commands.h"

#include <cassert>
#include <memory>

#include "StreamUi.h"
#include "app/Examples.h"
#include "eval/ClsMath.h"
#include "eval/Evaluate.h"
#include "eval/NumberText.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"

namespace cli {
namespace {

// An eval engine is prepared as the input step prepares an equation's engine.
constexpr std::string_view kLanguage = "VBScript";

constexpr std::string_view kNullText = "Null";
constexpr std::string_view kTrueText = "True";
constexpr std::string_view kFalseText = "False";

}  // namespace

std::optional<std::pair<std::string, double>> ParseAssignment(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  return std::pair{std::string(text.substr(0, equals)), eval::LeadingNumber(text.substr(equals + 1))};
}

std::string ValueText(const eval::Value& value) {
  switch (value.Type()) {
    case eval::VarType::Empty:
      return "";
    case eval::VarType::Null:
      return std::string(kNullText);
    case eval::VarType::Boolean:
      return std::string(value.AsBoolean() ? kTrueText : kFalseText);
    case eval::VarType::Integer:
      return std::to_string(value.AsInteger());
    case eval::VarType::Long:
      return std::to_string(value.AsLong());
    case eval::VarType::Single:
      return eval::SingleText(value.AsSingle());
    case eval::VarType::Double:
      return eval::NumberText(value.AsDouble());
    case eval::VarType::String:
      return value.AsString();
  }
  return "";
}

std::string DefaultNamesText(int n) {
  std::string text = "x1";
  for (int i = 2; i <= n; ++i) text += ",x" + std::to_string(i);
  return text;
}

std::string DefaultValuesText(int n) {
  std::string text = "0";
  for (int i = 2; i <= n; ++i) text += ",0";
  return text;
}

std::optional<std::string> SolveOptionsProblem(const SolveOptions& options) {
  if (options.example != 0) {
    if (options.example < 1 || options.example > app::kExampleCount)
      return "--example must be between 1 and " + std::to_string(app::kExampleCount);
    if (!options.equations.empty()) return "--example and --eq cannot be used together";
    return std::nullopt;
  }
  if (options.equations.empty()) return "give --example N or at least two --eq EXPR";
  const auto count = options.equations.size();
  if (count < static_cast<std::size_t>(kMinEquations) || count > static_cast<std::size_t>(app::kMaxEquations))
    return "--eq must be given " + std::to_string(kMinEquations) + " to " +
           std::to_string(app::kMaxEquations) + " times (given " + std::to_string(count) + ")" +
           std::string(kOtherMethodsTake);
  return std::nullopt;
}

void PrepareSolveInput(const SolveOptions& options, app::ProblemState& state,
                       app::InputFields& fields) {
  assert(!SolveOptionsProblem(options) && "options are checked before the input is prepared");
  if (options.example != 0) {
    app::LoadExampleEntry(app::ExampleEntryText(options.example), state, fields);
  } else {
    const int count = static_cast<int>(options.equations.size());
    state.nEq = static_cast<std::int16_t>(count);
    state.eqTexts = options.equations;
    for (int i = 0; i < count; ++i) fields.txtEqs[static_cast<std::size_t>(i)] = options.equations[static_cast<std::size_t>(i)];
    fields.txtVars = DefaultNamesText(count);
    fields.txtVarsI = DefaultValuesText(count);
  }
  if (options.namesText) fields.txtVars = *options.namesText;
  if (options.valuesText) fields.txtVarsI = *options.valuesText;
}

std::string JsonText(const nlohmann::json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json SolveJson(const app::GoResult& result, const eval::RecordingUi& ui) {
  nlohmann::json document;
  document["log"] = ui.log;
  document["messages"] = ui.messages;
  document["beeps"] = ui.beeps;
  document["answer"] = result.answerText;
  document["title"] = result.title;
  document["x"] = result.x;
  document["residuals"] = result.residuals;
  document["converged"] = result.converged;
  document["error"] = result.error ? nlohmann::json(*result.error) : nlohmann::json(nullptr);
  return document;
}

bool ParseAssignments(std::span<const std::string> assignments, std::vector<std::string>& names,
                      std::vector<double>& values, std::ostream& err) {
  for (const std::string& assignment : assignments) {
    auto parsed = ParseAssignment(assignment);
    if (!parsed) {
      err << "nlsolve eval: --var needs NAME=VALUE, got \"" << assignment << "\"\n";
      return false;
    }
    names.push_back(std::move(parsed->first));
    values.push_back(parsed->second);
  }
  return true;
}

int RunEval(const EvalOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<std::string> names;
  std::vector<double> values;
  if (!ParseAssignments(options.assignments, names, values, err)) return kExitUsage;

  StreamUi ui(nullptr, err);
  eval::ScriptEngine engine;
  const auto mathLib = std::make_shared<eval::ClsMath>();
  // The library's messages go to this command's ui while it runs.
  const eval::ClsMath::UiBinding libraryUi(*mathLib, ui);
  try {
    engine.SetLanguage(kLanguage);
    engine.AddObject(eval::kLibraryName, mathLib, true);
    const eval::Value result = eval::Evaluate(engine, options.expression, names, values, ui);
    // Evaluate beeps only when the evaluation failed; its message is already out.
    if (ui.Beeps() > 0) return kExitFailure;
    out << ValueText(result) << '\n';
    return kExitSuccess;
  } catch (const eval::ScriptError& error) {
    err << OneLine(error.Description()) << '\n';
    return kExitFailure;
  }
}

app::GoResult SolveOnce(const SolveOptions& options, eval::SolverUi& ui) {
  app::ProblemState state;
  app::InputFields fields;
  PrepareSolveInput(options, state, fields);
  return app::CmdExecute_Click(fields, state, ui);
}

int RunSolve(const SolveOptions& options, std::ostream& out, std::ostream& err, const SolveRunner& runner) {
  if (auto problem = SolveOptionsProblem(options)) {
    err << "nlsolve solve: " << *problem << '\n';
    return kExitUsage;
  }
  eval::RecordingUi recorder;
  StreamUi streamUi(options.log ? &out : nullptr, err);
  eval::SolverUi& ui = options.json ? static_cast<eval::SolverUi&>(recorder) : streamUi;
  const app::GoResult result = runner(options, ui);

  if (options.json) {
    out << JsonText(SolveJson(result, recorder)) << '\n';
  } else if (result.ran) {
    // The answer field's lines, from the same formatting as its text.
    for (const std::string& line : app::AnswerLines(result.x)) out << line << '\n';
    out << result.title << '\n';
  }
  return result.converged ? kExitSuccess : kExitFailure;
}

int RunExamples(std::ostream& out) {
  const std::vector<std::string> entries = app::ExampleEntries();
  for (std::size_t i = 0; i < entries.size(); ++i) out << i + 1 << '\t' << entries[i] << '\n';
  return kExitSuccess;
}

}  // namespace cli
