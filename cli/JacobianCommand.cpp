// nlsolve jacobian: F and its Jacobian at one point, in one pass of the
// compiled system.
#include <memory>

#include "Commands.h"
#include "InputText.h"
#include "ProblemInput.h"
#include "StreamUi.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/ScriptError.h"
#include "eval/Value.h"
#include "eval/compiled/CompiledSystem.h"

namespace cli {

int RunJacobianProblem(const JacobianOptions& options, const std::optional<std::string>& file, bool atGiven,
                       std::ostream& out, std::ostream& err) {
  problem::CommandLineInput input;
  input.road = problem::Road::Full;
  input.equations = options.equations;
  input.definitions = options.definitions;
  input.names = options.namesText;
  if (atGiven) input.start = options.atText;
  input.startOption = "--at";
  input.square = false;
  const ProblemRead read = ReadCommandProblem(input, file);
  if (!read.read) {
    err << (read.refusal.inFile ? "nlsolve: " : "nlsolve jacobian: ") << OneLine(read.refusal.message) << '\n';
    return read.refusal.inFile ? kExitFailure : kExitUsage;
  }
  const problem::Problem& given = read.read->problem;
  if (given.start.origin.kind == problem::OriginKind::Default) {
    err << "nlsolve jacobian: --at is needed: " << (file ? InputName(*file) : std::string("the system"))
        << " has no start: line\n";
    return kExitUsage;
  }
  if (!options.json) PrintWarnings(given.warnings, err);
  if (const auto refused = RefusedText(*read.read)) {
    err << (file ? "" : "nlsolve jacobian: ") << *refused << '\n';
    return kExitFailure;
  }
  const std::vector<std::string>& names = given.names.value;
  const std::vector<std::string>& equations = read.read->expansion.equations;
  const std::vector<double>& at = given.start.value;
  const std::vector<DefinitionValue> definitions = DefinitionValues(*read.read, at);

  StreamUi ui(nullptr, err);
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, ui);
  try {
    eval::CompiledSystem system(equations, names, library);
    const std::size_t n = names.size();
    std::vector<double> f(equations.size());
    std::vector<double> jacobian(f.size() * n);
    const eval::EvaluationStatus status = system.Evaluate(at, f, jacobian);
    const auto results = system.Results();
    auto valueDefined = [&](std::size_t i) { return results[i].fault != eval::EquationFault::ScriptError; };

    if (options.json) {
      nlohmann::json document;
      document["names"] = names;
      document["at"] = at;
      nlohmann::json values = nlohmann::json::array();
      nlohmann::json rows = nlohmann::json::array();
      nlohmann::json errors = nlohmann::json::array();
      for (std::size_t i = 0; i < f.size(); ++i) {
        values.push_back(valueDefined(i) ? FullPrecisionJson(f[i]) : nlohmann::json(nullptr));
        nlohmann::json row = nlohmann::json::array();
        for (std::size_t k = 0; k < n; ++k) row.push_back(FullPrecisionJson(jacobian[i * n + k]));
        rows.push_back(row);
        if (results[i].fault != eval::EquationFault::None) {
          errors.push_back({{"equation", i + 1}, {"description", results[i].description}});
        }
      }
      document["F"] = values;
      document["J"] = rows;
      document["derivatives"] = std::string(eval::DerivativesName(status.derivatives));
      document["definitions"] = DefinitionsJson(definitions);
      document["warnings"] = WarningsJson(given.warnings);
      if (!errors.empty()) document["errors"] = errors;
      out << JsonText(document) << '\n';
    } else {
      for (std::size_t i = 0; i < f.size(); ++i) {
        out << 'F' << i + 1 << " = " << (valueDefined(i) ? FullPrecisionText(f[i]) : std::string("undefined"))
            << '\n';
      }
      for (std::size_t i = 0; i < f.size(); ++i) {
        for (std::size_t k = 0; k < n; ++k) {
          out << "dF" << i + 1 << "/d" << names[k] << " = " << FullPrecisionText(jacobian[i * n + k]) << '\n';
        }
      }
      out << "derivatives = " << eval::DerivativesName(status.derivatives) << '\n';
      PrintDefinitions(definitions, out);
      for (std::size_t i = 0; i < f.size(); ++i) {
        if (results[i].fault != eval::EquationFault::None) {
          err << "equation " << i + 1 << ": " << OneLine(results[i].description) << '\n';
        }
      }
    }
    return status.ok ? kExitSuccess : kExitFailure;
  } catch (const eval::ScriptError& error) {
    err << OneLine(error.Description()) << '\n';
    return kExitFailure;
  }
}

int RunJacobian(const JacobianOptions& options, std::ostream& out, std::ostream& err) {
  if (options.equations.empty()) {
    err << "nlsolve jacobian: at least one --eq is needed\n";
    return kExitUsage;
  }
  return RunJacobianProblem(options, std::nullopt, true, out, err);
}

}  // namespace cli
