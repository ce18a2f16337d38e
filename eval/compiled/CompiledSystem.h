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
  // fault in the text or a name throws the same ScriptError; then compiles.
  CompiledEquation(std::string_view text, std::span<const std::string> names,
                   std::shared_ptr<ClsMath> library);
  ~CompiledEquation();
  CompiledEquation(CompiledEquation&&) noexcept;
  CompiledEquation& operator=(CompiledEquation&&) noexcept;

  std::size_t Dimension() const;
  Derivatives Method() const;
  const std::string& FallbackReason() const;  // why central differences; empty when exact

  // The value at x (Dimension() coordinates, used exactly) and, when
  // `gradient` is not empty, the Dimension() partials into it (not-a-number
  // where they do not exist).
  EquationResult Evaluate(std::span<const double> x, std::span<double> gradient = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
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
