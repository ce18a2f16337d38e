// nlsolve eval --grad: the value of one expression at full precision and its
// partial derivative along each --var, through the compiled form.
#include <charconv>
#include <cmath>
#include <memory>
#include <set>

#include "Commands.h"
#include "ProblemInput.h"
#include "problem/Checks.h"
#include "StreamUi.h"
#include "eval/ClsMath.h"
#include "eval/ScriptError.h"
#include "eval/compiled/CompiledSystem.h"

namespace cli {
namespace {

constexpr std::string_view kUndefinedText = "undefined";

std::string FoldedName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace

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
    if (!seen.insert(FoldedName(name)).second) return name;
  }
  return std::nullopt;
}

int RunEvalGrad(const GradOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<std::string> names;
  std::vector<double> values;
  if (!ParseAssignments(options.assignments, names, values, err)) return kExitUsage;
  if (auto repeated = RepeatedName(names)) {
    err << "nlsolve eval: --grad needs each NAME once, got \"" << *repeated << "\" twice\n";
    return kExitUsage;
  }

  // What looks unintended in the expression: a name no --var assigns, a --var it does not use.
  problem::Problem typed;
  typed.road = problem::Road::Go;
  typed.equations.push_back(problem::Equation{problem::PlacedText(options.expression, 0, 1), "EXPR", std::nullopt});
  typed.names.value = names;
  const problem::WarningList warnings = problem::CheckProblem(typed);
  if (!options.json) PrintWarnings(warnings, err);

  StreamUi ui(nullptr, err);
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, ui);
  try {
    eval::CompiledEquation equation(options.expression, names, library);
    std::vector<double> gradient(names.size());
    const eval::EquationResult result = equation.Evaluate(values, gradient);
    const bool valueDefined = result.fault != eval::EquationFault::ScriptError;
    if (options.json) {
      nlohmann::json document;
      document["value"] = valueDefined ? FullPrecisionJson(result.value) : nlohmann::json(nullptr);
      nlohmann::json partials = nlohmann::json::object();
      for (std::size_t i = 0; i < names.size(); ++i) partials[names[i]] = FullPrecisionJson(gradient[i]);
      document["gradient"] = partials;
      document["derivatives"] = std::string(eval::DerivativesName(equation.Method()));
      if (result.fault != eval::EquationFault::None) document["error"] = result.description;
      document["warnings"] = WarningsJson(warnings);
      out << JsonText(document) << '\n';
    } else {
      out << (valueDefined ? FullPrecisionText(result.value) : std::string(kUndefinedText)) << '\n';
      for (std::size_t i = 0; i < names.size(); ++i) {
        out << "d/d" << names[i] << " = " << FullPrecisionText(gradient[i]) << '\n';
      }
      if (result.fault != eval::EquationFault::None) err << OneLine(result.description) << '\n';
    }
    return result.fault == eval::EquationFault::None ? kExitSuccess : kExitFailure;
  } catch (const eval::ScriptError& error) {
    err << OneLine(error.Description()) << '\n';
    return kExitFailure;
  }
}

}  // namespace cli
