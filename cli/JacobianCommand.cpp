// nlsolve jacobian: F and its Jacobian at one point, in one pass of the
// compiled system.
#include <memory>

#include "Commands.h"
#include "StreamUi.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/ScriptError.h"
#include "eval/Value.h"
#include "eval/compiled/CompiledSystem.h"

namespace cli {

int RunJacobian(const JacobianOptions& options, std::ostream& out, std::ostream& err) {
  if (options.equations.empty()) {
    err << "nlsolve jacobian: at least one --eq is needed\n";
    return kExitUsage;
  }
  const int count = static_cast<int>(options.equations.size());
  const std::vector<std::string> names = app::SplitAtCommas(options.namesText.value_or(DefaultNamesText(count)));
  if (names.empty()) {
    err << "nlsolve jacobian: --vars names no unknown\n";
    return kExitUsage;
  }
  if (auto repeated = RepeatedName(names)) {
    err << "nlsolve jacobian: --vars names \"" << *repeated << "\" twice\n";
    return kExitUsage;
  }
  std::vector<double> at;
  for (const std::string& piece : app::SplitAtCommas(options.atText)) {
    const auto value = eval::ParseNumericText(piece);
    if (!value) {
      err << "nlsolve jacobian: --at needs numbers, got \"" << piece << "\"\n";
      return kExitUsage;
    }
    at.push_back(*value);
  }
  if (at.size() != names.size()) {
    err << "nlsolve jacobian: --at gives " << at.size() << " values for " << names.size() << " unknowns\n";
    return kExitUsage;
  }

  StreamUi ui(nullptr, err);
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, ui);
  try {
    eval::CompiledSystem system(options.equations, names, library);
    const std::size_t n = names.size();
    std::vector<double> f(options.equations.size());
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

}  // namespace cli
