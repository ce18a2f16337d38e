// Forward-difference partial derivative with a fixed step.
#include <cstddef>
#include <vector>

#include "Solvers.h"
#include "eval/ScriptError.h"

namespace solvers {

namespace {

// Not scaled by the coordinate: at magnitudes near 1E+12 and above the step is
// lost in the addition and the difference is 0, as users of the tool know it.
constexpr double kStep = 1E-6;

// Exactly two evaluations, the unperturbed one first, on a private copy of the
// point so the caller's array is never written.
template <typename ValueAt>
double ForwardDifference(std::span<const double> point, std::size_t count, int j, ValueAt valueAt) {
  std::vector<double> work(point.begin(), point.begin() + static_cast<std::ptrdiff_t>(count));
  const double f0 = valueAt(std::span<const double>(work));
  work[std::size_t(j - 1)] = point[std::size_t(j - 1)] + kStep;
  const double f1 = valueAt(std::span<const double>(work));
  return (f1 - f0) / kStep;
}

}  // namespace

double PartialDerivative(EquationSystem& equations, int i, std::span<const double> point, int j) {
  if (j < 1 || std::size_t(j) > point.size()) {
    throw eval::ScriptError(eval::ErrorNumber::SubscriptOutOfRange);
  }
  return ForwardDifference(point, point.size(), j, [&](std::span<const double> at) {
    return equations.Value(i, at);
  });
}

double PartialDerivative(eval::ScriptEngine& engine, std::string_view eqText,
                         std::span<const std::string> varNames, std::span<const double> point,
                         std::int16_t j, eval::SolverUi& ui) {
  // The copy covers one coordinate per name; a shorter point or an unknown
  // index is the script world's "Subscript out of range", not a crash.
  const std::size_t count = varNames.size();
  if (point.size() < count || j < 1 || std::size_t(j) > count) {
    throw eval::ScriptError(eval::ErrorNumber::SubscriptOutOfRange);
  }
  return ForwardDifference(point, count, j, [&](std::span<const double> at) {
    return eval::ResultToDouble(eval::Evaluate(engine, eqText, varNames, at, ui), ui);
  });
}

}  // namespace solvers
