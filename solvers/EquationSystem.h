// The equations as the solvers see them: equation i at a point. The script
// form goes through Evaluate with engine i - 1; tests and benchmarks plug in
// native functions instead.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "eval/Evaluate.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"
#include "eval/SolverUi.h"

namespace solvers {

class EquationSystem {
 public:
  virtual ~EquationSystem() = default;
  virtual int Count() const = 0;
  // Equation i (1-based) at x; x[0] is unknown 1. May throw eval::ScriptError
  // (an add-code failure), which the solvers let pass.
  virtual double Value(int i, std::span<const double> x) = 0;
};

// Equation i evaluated through Evaluate in engines[i - 1] with text eqTexts[i - 1].
//
// It holds views of the arrays as they were when it was made: when the input
// step replaces the problem state's arrays, the views point into freed
// storage. Build it after the input step, for one command.
class ScriptEquations : public EquationSystem {
 public:
  // The spans and `ui` must stay valid while the equations are in use.
  ScriptEquations(std::span<const std::unique_ptr<eval::ScriptEngine>> engines,
                  std::span<const std::string> eqTexts, std::span<const std::string> varNames,
                  eval::SolverUi& ui)
      : engines_(engines), eqTexts_(eqTexts), varNames_(varNames), ui_(ui) {}

  int Count() const override { return static_cast<int>(eqTexts_.size()); }
  // An equation without an engine or a text is the script world's
  // "Subscript out of range", like any other index beyond an array.
  double Value(int i, std::span<const double> x) override {
    if (i < 1 || static_cast<std::size_t>(i) > engines_.size() ||
        static_cast<std::size_t>(i) > eqTexts_.size() || !engines_[i - 1]) {
      throw eval::ScriptError(eval::ErrorNumber::SubscriptOutOfRange);
    }
    return eval::ResultToDouble(
        eval::Evaluate(*engines_[i - 1], eqTexts_[i - 1], varNames_, x, ui_), ui_);
  }

 private:
  std::span<const std::unique_ptr<eval::ScriptEngine>> engines_;
  std::span<const std::string> eqTexts_;
  std::span<const std::string> varNames_;
  eval::SolverUi& ui_;
};

// Native equations for tests and benchmarks.
class NativeEquations : public EquationSystem {
 public:
  using Function = std::function<double(std::span<const double>)>;
  explicit NativeEquations(std::vector<Function> functions) : functions_(std::move(functions)) {}
  int Count() const override { return static_cast<int>(functions_.size()); }
  double Value(int i, std::span<const double> x) override { return functions_[i - 1](x); }

 private:
  std::vector<Function> functions_;
};

}  // namespace solvers
