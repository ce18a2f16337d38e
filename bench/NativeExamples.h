// The nine example systems as native code, in list order, for the
// benchmarks to set beside the script road. ^ is the power as in the script
// language.
#pragma once

#include <cmath>
#include <functional>
#include <span>
#include <vector>

namespace benchnative {

using Function = std::function<double(std::span<const double>)>;

inline std::vector<Function> NativeExample(int n) {
  const double pi = 4 * std::atan(1.0);
  const double e = std::exp(1.0);
  switch (n) {
    case 1:
      return {[](auto x) { return std::pow(x[0], 2) - 2 * x[1] - 2; },
              [](auto x) { return x[0] - std::pow(x[1], 3) - 1; }};
    case 2:
      return {[](auto x) { return 2 * std::pow(x[0], 2) - 20 * x[0] + 0.25 * std::pow(x[1], 2) + 8; },
              [](auto x) { return 0.5 * x[0] * std::pow(x[1], 2) + 2 * x[0] - 5 * x[1] + 8; }};
    case 3:
      return {[pi](auto x) { return std::sin(4 * pi * x[0] * x[1]) - 2 * x[1] - x[0]; },
              [pi, e](auto x) {
                return ((4 * pi - 1) / 4 / pi) * (std::exp(2 * x[0]) - e) +
                       4 * e * std::pow(x[1], 2) - 2 * e * x[0];
              }};
    case 4:
      return {[](auto x) { return 3 * x[0] - std::cos(x[1] * x[2]) - 0.5; },
              [](auto x) { return 4 * std::pow(x[0], 2) - 625 * std::pow(x[1], 2) + 2 * x[1] - 1; },
              [pi](auto x) { return std::exp(-x[0] * x[1]) + 20 * x[2] + (10 * pi - 3) / 3; }};
    case 5:
      return {[](auto x) { return std::pow(x[0], 2) + x[1] + x[2] - 20; },
              [](auto x) { return x[0] - std::pow(x[1], 2) - 5; },
              [](auto x) { return x[0] + x[1] + x[2] - 13; }};
    case 6:
      return {[](auto x) { return 5 * std::pow(x[0], 2) - std::pow(x[1], 2); },
              [](auto x) { return x[1] - 0.25 * (std::sin(x[0]) + std::cos(x[1])); }};
    case 7:
      return {[](auto x) { return 15 * x[0] + std::pow(x[1], 2) + 4 * x[2] - 13; },
              [](auto x) { return std::pow(x[0], 2) + 10 * x[1] - x[2] - 11; },
              [](auto x) { return std::pow(x[1], 3) - 25 * x[2] + 22; }};
    case 8:
      return {[](auto x) { return 10 * x[0] - 2 * std::pow(x[1], 2) - 2 * x[2] - 5; },
              [](auto x) { return 8 * std::pow(x[1], 2) + 4 * std::pow(x[2], 2) - 9; },
              [](auto x) { return 8 * x[1] * x[2] + 4; }};
    default:
      return {[](auto x) { return 2 * x[0] - 3 * x[1] - x[2] - 4; },
              [](auto x) { return 2 * x[0] + x[1] - x[2] + 4; },
              [](auto x) { return std::pow(x[0], 2) + std::pow(x[1], 2) + std::pow(x[2], 2) - 4; }};
  }
}

}  // namespace benchnative
