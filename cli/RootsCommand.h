// nlsolve roots (RootsCommand.cpp, in the command table of Command.h): every
// root the search can reach in a box (robust/Roots.h), over the equations
// compiled at full precision with exact Jacobians.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

inline constexpr int kMaxRootsEquations = 100;

// "LO:HI" for every unknown or "LO:HI,LO:HI,..." one per unknown; nullopt
// with the problem in `problem`.
std::optional<std::vector<std::pair<double, double>>> ParseBox(std::string_view text, int n,
                                                               std::string& problem);

}  // namespace cli
