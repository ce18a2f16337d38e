#include "Problem.h"

#include <algorithm>
#include <array>

namespace problem {
namespace {

// In the order of Method.
constexpr std::array<MethodInfo, 5> kMethods{{
    {Method::Newton, "newton", "the Go command: steepest descent for 3 equations, then Newton's method"},
    {Method::Hybrid, "hybrid", "Powell's dogleg trust region with exact derivatives"},
    {Method::Lm, "lm", "Levenberg-Marquardt with exact derivatives"},
    {Method::Auto, "auto", "hybrid, then lm, then both from perturbed starts; sparse for a large, sparse or bounded system"},
    {Method::Sparse, "sparse", "Ceres Solver's trust region over the Jacobian's nonzeros, with bounds"},
}};

}  // namespace

std::span<const MethodInfo> Methods() { return kMethods; }

std::optional<Method> MethodNamed(std::string_view name) {
  for (const MethodInfo& info : kMethods) {
    if (info.name == name) return info.method;
  }
  return std::nullopt;
}

std::string_view NameOf(Method method) { return kMethods[static_cast<std::size_t>(method)].name; }

std::string MethodNames() {
  std::string names;
  for (const MethodInfo& info : kMethods) names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}

Road RoadOfMethod(const std::optional<std::string>& method) {
  return !method || *method == NameOf(Method::Newton) ? Road::Go : Road::Full;
}

std::string Format(const Warning& warning) { return Format(warning.detail); }

void WarningList::Add(Warning warning) {
  if (kept.size() < kMaxWarnings) {
    kept.push_back(std::move(warning));
  } else {
    ++leftOut;
  }
}

void WarningList::Add(const WarningList& more) {
  for (const Warning& warning : more.kept) Add(warning);
  leftOut += more.leftOut;
}

}  // namespace problem
