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
// Each compiled equation knows the unknowns it uses (Columns(), its row of
// the Jacobian's sparsity pattern) and carries partials along those only;
// the system evaluates J either dense or as a sparse matrix (rows compressed).
//
//   auto library = std::make_shared<eval::ClsMath>();
//   eval::CompiledSystem system(equations, names, library);  // ScriptError as AddCode gives
//   auto unknowns = std::make_shared<eval::CompiledNames>(names, library);  // read once per system
//   eval::CompiledEquation one(text, unknowns);  // one at a time, sharing the unknowns
//   eval::CompiledSystem same(std::move(compiledEquations), names);  // or from CompiledEquations
//   eval::EvaluationStatus s = system.Evaluate(x, f, jacobian);  // J row-major Count() x Dimension()
//   eval::SparseJacobian j = system.Pattern();  // rows' columns known after compiling
//   system.Evaluate(x, f, j);  // J's nonzeros into j.values
//   system.Evaluate(x, f, jacobian, bounds);  // and a bound on each F_i's rounding error
//   eval::EnclosureStatus e = system.Enclose(box, fBox, jacobianBox);  // over an interval box
//   system.EncloseEquation(i, box, fBox[i], gradientBox);  // one equation, its coverage in the status
//
// An object keeps scratch space between calls: one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DerivativeRules.h"  // Coverage
#include "Interval.h"

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

// Why an equation could not be enclosed over a box.
enum class EnclosureFault : std::uint8_t {
  None,
  NoRule,      // a function without an enclosure rule, or an equation the compiled form does not cover
  Domain,      // the box reaches where a function or operator is undefined or has no slope
  OverBudget,  // the interval slopes would take more than the tape's gradient budget
};

struct EnclosureStatus {
  bool ok = true;
  int failedEquation = -1;  // 0-based, -1 when ok
  EnclosureFault fault = EnclosureFault::None;
  std::string what;  // the function or operator at fault, or why the equation is not compiled
  // Domain: Nowhere when the equation is undefined at every point of the box;
  // NoSlope and Partly keep the value enclosed (over the points where it is
  // defined) for deciding where no root can be. Smooth when ok.
  Coverage coverage = Coverage::Smooth;
};

// The unknowns of one system, read once for all its equations: an engine
// carrying the library as "math" with each unknown assigned 0, as Evaluate's
// add-code steps leave a private engine before theFunction is defined, and
// each name resolved to its global variable. Equations compiled with it cost
// time and memory for their own text, not for every unknown.
class CompiledNames {
 public:
  // Throws the ScriptError the first failing `NAME = 0` gives.
  CompiledNames(std::span<const std::string> names, std::shared_ptr<ClsMath> library);
  ~CompiledNames();
  CompiledNames(const CompiledNames&) = delete;
  CompiledNames& operator=(const CompiledNames&) = delete;

  std::span<const std::string> Names() const;
  const std::shared_ptr<ClsMath>& Library() const;

 private:
  friend class CompiledEquation;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A Jacobian's nonzeros, rows compressed: row i's entries are
// values[rowStart[i] .. rowStart[i + 1]), at the 0-based columns in
// `columns` (ascending within a row). An entry listed may hold 0 at a point.
struct SparseJacobian {
  int rowCount = 0;
  int columnCount = 0;
  std::vector<std::size_t> rowStart;  // rowCount + 1 entries
  std::vector<std::uint32_t> columns;
  std::vector<double> values;
  std::size_t Nonzeros() const { return columns.size(); }
};

class CompiledEquation {
 public:
  // Performs Evaluate's add-code steps once in a private engine carrying
  // `library` as "math" (each unknown assigned, then theFunction defined), so a
  // fault in the text or a name throws the same ScriptError; then compiles.
  CompiledEquation(std::string_view text, std::span<const std::string> names,
                   std::shared_ptr<ClsMath> library);
  // The same with the unknowns read once for many equations: the text throws
  // the same ScriptError, and the equation evaluates alike; a private engine
  // is prepared only for an equation the compiled form does not cover.
  CompiledEquation(std::string_view text, std::shared_ptr<CompiledNames> unknowns);
  ~CompiledEquation();
  CompiledEquation(CompiledEquation&&) noexcept;
  CompiledEquation& operator=(CompiledEquation&&) noexcept;

  std::size_t Dimension() const;
  Derivatives Method() const;
  const std::string& FallbackReason() const;  // why central differences; empty when exact
  // The unknowns the equation uses, 0-based and ascending: where its partials
  // may be nonzero. Every unknown when it falls back (the engine may read any).
  std::span<const std::uint32_t> Columns() const;

  // The value at x (Dimension() coordinates, used exactly) and, when
  // `gradient` is not empty, the Dimension() partials into it (not-a-number
  // where they do not exist).
  EquationResult Evaluate(std::span<const double> x, std::span<double> gradient = {});
  // The same, with a bound on the value's rounding error at x (first order,
  // from each step's rounding and each function's stated error): the exact
  // equation, its numbers taken as the doubles they read as, lies within
  // `bound` of the value. Infinite where no bound is known (the engine's
  // road, a function whose error is unbounded, a fault).
  EquationResult Evaluate(std::span<const double> x, std::span<double> gradient, double& bound);
  // The value at x and the partials along Columns() into `row`
  // (Columns().size() values); with `bound`, the rounding bound as above.
  // Only the coordinates in Columns() are read.
  EquationResult EvaluateRow(std::span<const double> x, std::span<double> row, double* bound = nullptr);  // The value and the partials enclosed over the box (Dimension() intervals).
  EnclosureStatus Enclose(std::span<const Interval> box, Interval& value, std::span<Interval> gradient);

 private:
  friend class CompiledSystem;  // evaluates many equations at one point, checked once
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class CompiledSystem {
 public:
  CompiledSystem(std::span<const std::string> equations, std::span<const std::string> names,
                 std::shared_ptr<ClsMath> library);
  // Equations compiled already, each with these names (one at a time, so
  // that a caller knows which one a ScriptError came from).
  CompiledSystem(std::vector<CompiledEquation> equations, std::span<const std::string> names);

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
  // The same with the Jacobian (not empty) and each F_i's rounding-error
  // bound into bounds (Count() values).
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f, std::span<double> jacobian,
                            std::span<double> bounds);
  // The sparsity pattern: each equation's Columns() as a row, values 0.
  // Its memory grows with the nonzeros, never with Count() x Dimension().
  SparseJacobian Pattern() const;
  // F(x) into f and J(x)'s nonzeros into jacobian.values (`jacobian` as
  // Pattern() gave it), with the bounds when `bounds` is not empty. The same
  // values and status as the dense Evaluate.
  EvaluationStatus Evaluate(std::span<const double> x, std::span<double> f, SparseJacobian& jacobian,
                            std::span<double> bounds = {});
  // Equation i's value and partials over the box, as CompiledEquation::Enclose.
  EnclosureStatus EncloseEquation(int i, std::span<const Interval> box, Interval& value, std::span<Interval> gradient);
  // F and J enclosed over the box: values Count() intervals, jacobian
  // Count() x Dimension() row-major. Stops at the first equation at fault.
  EnclosureStatus Enclose(std::span<const Interval> box, std::span<Interval> values, std::span<Interval> jacobian);
  // Every equation's result of the last Evaluate, in order.
  std::span<const EquationResult> Results() const { return results_; }

 private:
  std::vector<std::string> names_;
  std::vector<CompiledEquation> equations_;
  std::vector<EquationResult> results_;
};

}  // namespace eval
