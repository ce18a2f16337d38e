#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "Solvers.h"
#include "eval/NumberText.h"

namespace solvers {

namespace {
// Below this magnitude the 15-digit text cannot round past the largest double.
constexpr double kSurelyInRange = 1E+308;
}  // namespace

bool InNumberRange(double value) {
  if (!std::isfinite(value)) return false;
  if (std::fabs(value) < kSurelyInRange) return true;
  const std::string text = eval::NumberText(value);
  double read = 0.0;
  return std::from_chars(text.data(), text.data() + text.size(), read).ec == std::errc();
}

}  // namespace solvers
