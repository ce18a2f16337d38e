// Native equations with exact Jacobians, and a catalogue of standard test
// systems (most from Moré, Garbow and Hillstrom's collection) for the tests
// and the benchmarks; test data, linked by them and shipped with nothing.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "robust/Robust.h"

namespace robust {

// F and J from one native function. It writes f always and the Jacobian
// (row-major) only when the span is not empty; a value it cannot compute
// (log of a negative number) comes back as NaN and counts as a failure.
class NativeResiduals : public Residuals {
 public:
  using Function =
      std::function<void(std::span<const double> x, std::span<double> f, std::span<double> jacobian)>;
  NativeResiduals(int n, Function function) : n_(n), function_(std::move(function)) {}
  int Count() const override { return n_; }
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                            std::span<double> jacobian) override {
    function_(x, f, jacobian);
    return {};
  }

 private:
  int n_;
  Function function_;
};

struct StandardSystem {
  std::string name;
  int n = 0;
  std::vector<double> start;  // the collection's standard start
  std::vector<double> root;   // a root in closed form; empty when it has none
  // Has a root: false for systems built to have none.
  bool solvable = true;
  NativeResiduals::Function function;
};

// max|F_i| at x, infinite where an equation is undefined: a check that
// needs nothing of the methods.
double MaxAbsAt(const StandardSystem& system, std::span<const double> x);
// Equation i alone, for solvers that take one equation at a time.
std::function<double(std::span<const double>)> EquationOf(const StandardSystem& system, int i);

// The catalogue: systems of 1 to 10 equations, and the families of any n.
std::vector<StandardSystem> SmallSystems();
StandardSystem BroydenTridiagonal(int n);
StandardSystem DiscreteBoundaryValue(int n);
StandardSystem ExtendedRosenbrock(int n);  // n even
StandardSystem Wood();
StandardSystem Chebyquad(int n);           // has a root for n <= 7 and n = 9
StandardSystem VariablyDimensioned(int n);
StandardSystem DiscreteIntegral(int n);
StandardSystem BroydenBanded(int n);

}  // namespace robust
