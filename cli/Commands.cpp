#include "Commands.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <memory>
#include <set>

#include "StreamUi.h"
#include "app/Examples.h"
#include "eval/Ascii.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"

namespace cli {
namespace {

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

SolveOptions GoSolveOptions(int example, const problem::CommandLineInput& input) {
  SolveOptions options;
  options.example = example;
  if (example == 0) options.equations = input.equations;
  options.namesText = input.names;
  options.valuesText = input.start;
  options.definitions = input.definitions;
  return options;
}

std::vector<std::string> MethodChoices() {
  std::vector<std::string> names;
  for (const problem::MethodInfo& info : problem::Methods()) names.emplace_back(info.name);
  return names;
}

std::string MethodAlternatives() {
  std::string text;
  for (const problem::MethodInfo& info : problem::Methods()) text += (text.empty() ? "" : "|") + std::string(info.name);
  return text;
}

std::string DefaultText(double value) { return eval::NumberText(value); }

std::string JsonText(const nlohmann::json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json JsonDocument() { return nlohmann::json{{kJsonVersionKey, kJsonVersion}}; }

nlohmann::json SolveJson(const app::GoResult& result, const eval::RecordingUi& ui) {
  nlohmann::json document = JsonDocument();
  document["log"] = ui.log;
  document["messages"] = ui.messages;
  document["beeps"] = ui.beeps;
  document["answer"] = result.answerText;
  document["title"] = result.title;
  document["x"] = result.x;
  document["residuals"] = result.residuals;
  document["converged"] = result.converged;
  document["error"] = result.error ? nlohmann::json(*result.error) : nlohmann::json(nullptr);
  // The problem solved, as read; empty lists when the input was refused.
  document["names"] = result.names;
  document["start"] = result.start;
  return document;
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

std::string FullPrecisionText(double value) {
  if (!std::isfinite(value)) return std::string(kUndefinedText);
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

nlohmann::json FullPrecisionJson(double value) {
  if (!std::isfinite(value)) return nullptr;
  return value;
}

std::optional<std::string> RepeatedName(std::span<const std::string> names) {
  std::set<std::string> seen;
  for (const std::string& name : names) {
    if (!seen.insert(eval::FoldName(name)).second) return name;
  }
  return std::nullopt;
}

}  // namespace cli
