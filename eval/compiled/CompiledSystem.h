// Equations compiled once for evaluation at full double precision, with their
// exact partial derivatives. The text is parsed by the engine's own parser and
// read under the engine's rules (precedence, built-ins, library members by bare
// name, the same errors for the same faults); each evaluation then runs over
// doubles without any text, and forward-mode dual numbers carry the gradient.
//
// An equation that uses what the compiled form does not cover (texts,
// comparisons, logical operators, \ and Mod, a Function of its own in the text,
// degree-minute-second texts, ...) is evaluated instead by a private engine at
// the exact point and differentiated by central differences with a step scaled
// to each coordinate; Method() and every status say which was used.
//
//   auto library = std::make_shared<eval::ClsMath>(ui);
//   eval::CompiledSystem system(equations, names, library);  // ScriptError as AddCode gives
//   eval::EvaluationStatus s = system.Evaluate(x, f, jacobian);  // J row-major Count() x Dimension()
//
// An object keeps scratch space between calls: one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace eval {

class ClsMath;
class CompiledTape;

enum class Derivatives : std::uint8_t {
  Exact,               // dual numbers through every operation and function
  CentralDifferences,  // the equation uses what the compiled form does not cover
};

// The name a result gives its method: "exact" or "central differences".
std::string_view DerivativesName(Derivatives derivatives);

enum class EquationFault : std::uint8_t {
  None,
  ScriptError,   // the engine's Eval fails at this point; description is its text
  NotFinite,     // the value is infinite or not a number (a guarded member's quotient)
  NoDerivative,  // the value is defined, a partial derivative is not (Abs at 0, a guarded failure)
};

struct EquationResult {
  double value = 0;  // 0 after a ScriptError, as the Evaluate road counts a failure
  EquationFault fault = EquationFault::None;
  std::string description;  // empty without a fault
};

struct EvaluationStatus {
  bool ok = true;           // every value finite and defined, and every derivative asked for
  int failedEquation = -1;  // 0-based index of the first equation with a fault, -1 when ok
  EquationFault fault = EquationFault::None;
  std::string description;  // that equation's description
  Derivatives derivatives = Derivatives::Exact;  // CentralDifferences when any equation fell back
};

class CompiledEquation {
 public:
  // Performs Evaluate's add-code steps once in a private engine carrying
  // `library` as "math" (each unknown assigned, then theFunction defined), so a
  // fault in the text or a name throws the same ScriptError, then compiles.
  CompiledEquation(std::string_view text, std::span<const std::string> names,
                   std::shared_ptr<ClsMath> library);
  ~CompiledEquation();
  CompiledEquation(CompiledEquation&&) noexcept;
  CompiledEquation& operator=(CompiledEquation&&) noexcept;

  std::size_t Dimension() const { return dimension_; }
  Derivatives Method() const;
  // Why the equation falls back to central differences; empty when exact.
  const std::string& FallbackReason() const { return fallbackReason_; }

  // The value at x (Dimension() coordinates, used exactly) and, when
  // `gradient` is not empty, the Dimension() partial derivatives into it.
  // Entries of a gradient that does not exist are not-a-number.
  EquationResult Evaluate(std::span<const double> x, std::span<double> gradient = {});

 private:
  double EngineValue(std::span<const double> x, bool& guardedFailure);
  EquationResult EvaluateByEngine(std::span<const double> x, std::span<double> gradient);

  std::size_t dimension_ = 0;
  std::vector<std::string> names_;
  std::shared_ptr<ClsMath> library_;
  struct Engine;
  std::unique_ptr<Engine> engine_;     // the fallback evaluator
  std::unique_ptr<CompiledTape> tape_;  // null when falling back
  std::string fallbackReason_;
};

class CompiledSystem {
 public:
  CompiledSystem(std::span<const std::string> equations, std::span<const std::string> names,
                 std::shared_ptr<ClsMath> library);

  int Count() const { return static_cast<int>(equations_.size()); }
  std::span<const std::string> Names() const { return names_; }
  int Dimension() const { return static_cast<int>(names_.size()); }
  // CentralDifferences when any equation falls back.
  Derivatives Method() const;
  const CompiledEquation& Equation(int i) const { return equations_[static_cast<std::size_t>(i)]; }

  // F(x) into f (Count() values) and, when `jacobian` is not empty, J(x) into
  // it row by row (Count() x Dimension()). Every equation is evaluated even
  // after a fault; the status names the first one.
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f,
                            std::span<double> jacobian = {});
  // Every equation's result of the last Evaluate, in order.
  std::span<const EquationResult> Results() const { return results_; }

 private:
  std::vector<std::string> names_;
  std::vector<CompiledEquation> equations_;
  std::vector<EquationResult> results_;
};

}  // namespace eval
