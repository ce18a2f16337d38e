#include "Checks.h"

#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "Definitions.h"
#include "eval/Ascii.h"
#include "eval/EquationNames.h"
#include "eval/ScriptError.h"

namespace problem {
namespace {

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

Warning MakeWarning(WarningCode code, std::string source, Place place, int equation, std::string field,
                    std::string message) {
  return Warning{code, ProblemError{std::move(source), place, equation, std::move(field), std::move(message)}};
}

}  // namespace

bool IsEngineName(std::string_view folded) { return eval::IsEngineName(folded); }

WarningList CheckProblem(const Problem& problem) {
  WarningList warnings;
  std::unordered_map<std::string, std::size_t> unknowns;  // folded name -> index
  std::vector<bool> repeated(problem.names.value.size(), false);  // warned about as duplicates instead
  for (std::size_t k = 0; k < problem.names.value.size(); ++k)
    repeated[k] = !unknowns.emplace(eval::FoldName(Trimmed(problem.names.value[k])), k).second;
  std::unordered_map<std::string, std::size_t> definitions;  // folded name -> index
  std::vector<std::vector<bool>> definitionUses;  // per definition: the unknowns it reaches
  std::vector<bool> used(problem.names.value.size(), false);

  // Marks what `text` uses in `reach`; warns about names nothing defines.
  const auto visit = [&](std::string_view text, std::vector<bool>& reach, const auto& placeOf,
                         const std::string& source, int equation, const std::string& field) {
    std::unordered_set<std::string> warned;
    ForEachNameUse(text, [&](const NameUse& use) {
      if (const auto it = unknowns.find(use.folded); it != unknowns.end() && !use.call) {
        reach[it->second] = true;
      } else if (const auto def = definitions.find(use.folded); def != definitions.end() && !use.call) {
        const std::vector<bool>& through = definitionUses[def->second];
        for (std::size_t k = 0; k < reach.size(); ++k) reach[k] = reach[k] || through[k];
      } else if (!IsEngineName(use.folded) && warned.insert(use.folded).second) {
        std::string message = use.call ? "calls " + use.written + ", which is no function of the language or the library"
                                       : "uses " + use.written + ", which is not an unknown: it counts as 0";
        warnings.Add(MakeWarning(WarningCode::UnknownName, source, placeOf(use.offset), equation, field,
                                 std::move(message)));
      }
    });
  };

  for (const Definition& definition : problem.definitions) {
    std::vector<bool> reach(used.size(), false);
    visit(definition.expression.Text(), reach,
          [&](std::size_t offset) { return definition.expression.PlaceOf(offset); }, definition.source, 0,
          "definition of " + definition.name);
    definitionUses.push_back(std::move(reach));
    definitions.emplace(eval::FoldName(definition.name), definitionUses.size() - 1);
  }

  for (std::size_t i = 0; i < problem.equations.size(); ++i) {
    const Equation& equation = problem.equations[i];
    const int index = static_cast<int>(i + 1);
    const auto placeOf = [&](std::size_t offset) { return equation.text.PlaceOf(offset); };
    visit(equation.text.Text(), used, placeOf, equation.source, index, "");
    if (!equation.equalsAt && TopLevelComparison(equation.text.Text())) {
      warnings.Add(MakeWarning(
          WarningCode::Comparison, equation.source, placeOf(0), index, "",
          "is a comparison, whose value is True (-1) or False (0), not an equation" +
              std::string(problem.road == Road::Go ? "; write it as LEFT - (RIGHT)" : "")));
    }
  }
  for (std::size_t k = 0; k < used.size(); ++k) {
    if (used[k] || repeated[k] || Trimmed(problem.names.value[k]).empty()) continue;
    const Place place = k < problem.namePlaces.size() ? problem.namePlaces[k] : Place{};
    warnings.Add(MakeWarning(WarningCode::UnusedUnknown, problem.names.origin.source, place, 0,
                                   problem.names.origin.field,
                                   Trimmed(problem.names.value[k]) + " is an unknown that no equation uses"));
  }
  return warnings;
}

}  // namespace problem
