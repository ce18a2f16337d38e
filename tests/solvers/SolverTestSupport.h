// Shared helpers of the solver tests: native equation systems that record the
// points they are evaluated at.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "solvers/EquationSystem.h"

namespace solvers::testing {

// Native equations that also keep every call: equation index and point.
class RecordingEquations : public EquationSystem {
 public:
  explicit RecordingEquations(std::vector<NativeEquations::Function> functions)
      : native_(std::move(functions)) {}
  int Count() const override { return native_.Count(); }
  double Value(int i, std::span<const double> x) override {
    calls.push_back({i, std::vector<double>(x.begin(), x.end())});
    return native_.Value(i, x);
  }

  struct Call {
    int equation;
    std::vector<double> point;
  };
  std::vector<Call> calls;

 private:
  NativeEquations native_;
};

// The text after the first occurrence of `marker` in `line`, or "" if absent.
inline std::string After(const std::string& line, const std::string& marker) {
  const auto at = line.find(marker);
  return at == std::string::npos ? std::string() : line.substr(at + marker.size());
}

}  // namespace solvers::testing
