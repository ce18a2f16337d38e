// The compiled form of one covered expression: a straight-line program over
// numbered slots (the unknowns it uses first, then constants, then one slot
// per operation), run over doubles, and over gradients when asked. Gradients
// run over the unknowns the expression uses only (its columns, local index k
// standing for unknown columns[k]), so an equation over three of 10^5
// unknowns carries three partials per slot. Only CompiledEquation builds and
// runs it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DerivativeRules.h"
#include "Interval.h"
#include "eval/Value.h"

namespace eval {

class ClsMath;

class CompiledTape {
 public:
  enum class Code : std::uint8_t { Add, Subtract, Multiply, Divide, Negate, Square, Power, Call };

  struct Instr {
    Code code = Code::Add;
    bool varA = false;  // operand a depends on the unknowns
    bool varB = false;
    std::uint32_t a = 0;
    std::uint32_t b = 0;  // Call: index into calls_
    std::uint32_t dst = 0;
  };

  struct CallSite {
    const DerivativeRule* rule = nullptr;
    std::uint32_t index = 0;  // into Builtins() or the library's members
    std::uint32_t firstArg = 0;
    std::uint32_t argCount = 0;
  };

  // What an evaluation found besides the value.
  struct Outcome {
    bool coordinateNotFinite = false;  // nothing was run
    bool noDerivative = false;
    std::string_view what;  // the first function or operator without a derivative
    bool whatFailed = false;  // that function is a guarded member that failed
  };

  // What an evaluation over intervals found.
  struct IntervalOutcome {
    enum class Failure : std::uint8_t {
      None,
      NoRule,      // `what` has no enclosure rule: nothing is enclosed
      OverBudget,  // the interval gradients would take more than kMaxGradientBytes
    };
    Failure failure = Failure::None;
    // Without a failure: how much of the box the value (and, Smooth, the
    // partials) speak for; the least of every step's.
    Coverage coverage = Coverage::Smooth;
    std::string_view what;  // the function or operator that failed or first lowered the coverage
  };

  // The first-order rounding bounds are multiplied by this: the neglected
  // second-order terms are O(u^2) relative, and the bounds' own arithmetic
  // rounds too, so twice the first-order sum is ample and still tight.
  static constexpr double kErrorSafety = 2;
  static constexpr double kUnitRoundoff = 0x1p-53;

  // `columns`: the unknowns the expression uses, ascending, each below `dimension`.
  CompiledTape(std::size_t dimension, std::vector<std::uint32_t> columns, ClsMath& library);

  std::size_t Dimension() const { return dimension_; }
  std::span<const std::uint32_t> Columns() const { return columns_; }

  // Building: slots and instructions in evaluation order.
  std::uint32_t AddConstant(double value);
  std::uint32_t AddInstr(Instr instr);
  std::uint32_t AddCall(const DerivativeRule& rule, std::uint32_t index, std::span<const std::uint32_t> args,
                        std::span<const std::uint8_t> varies);
  void SetResult(std::uint32_t slot, bool varies);

  // The gradients take Columns().size() doubles per slot: at most this many bytes
  // in all, so a long equation over many unknowns cannot take the machine.
  static constexpr std::size_t kMaxGradientBytes = std::size_t{256} << 20;
  bool GradientsWithinBudget() const { return grads_.size() * sizeof(double) <= kMaxGradientBytes; }

  // Calls a built-in or member through the engine's tables, exactly as the
  // engine does; guarded members report a failure through `guardedFailure`,
  // leaving the library's Error set as the engine would.
  Value CallFunction(const DerivativeRule& rule, std::uint32_t index, std::span<const Value> args,
                     bool& guardedFailure);

  // Runs the program at x (Dimension() values, of which it reads its
  // columns); with a gradient (Columns().size() partials), fills it.
  // Throws ScriptError where the engine's Eval would.
  // With `bound`, also a bound on the value's rounding error (infinite where
  // none is known); then `gradient` must not be empty.
  double Run(std::span<const double> x, std::span<double> gradient, Outcome& outcome, double* bound = nullptr);

  // The value and the Columns().size() partials enclosed over the box (one
  // interval per unknown of the system, Dimension() of them). Runs no library code and changes no Error. The
  // partials are the whole line unless the coverage is Smooth; the value
  // is the whole line after a failure.
  void RunIntervals(std::span<const Interval> box, Interval& value, std::span<Interval> gradient,
                    IntervalOutcome& outcome);

 private:
  // kUnknowns: the number of unknowns when known at compile time (the small
  // systems solvers see), so the gradient loops unroll; 0 for any other number.
  template <bool kGradient, std::size_t kUnknowns, bool kBounds = false>
  void Execute(Outcome& outcome);
  template <bool kBounds>
  void Dispatch(Outcome& outcome);
  void CallInstr(const Instr& in, bool gradient, bool bounds, Outcome& outcome);
  double CallError(const CallSite& site, double value, bool guardedFailure);
  Coverage CallEnclosure(const Instr& in, bool slopes);

  std::size_t dimension_;
  std::vector<std::uint32_t> columns_;
  std::size_t n_;  // columns_.size(): the partials per slot
  ClsMath& library_;
  std::vector<Instr> code_;
  std::vector<CallSite> calls_;
  std::vector<std::uint32_t> argSlots_;
  std::vector<std::uint8_t> argVaries_;
  std::vector<double> values_;  // one per slot
  std::vector<double> grads_;   // n_ per slot; unknowns' rows are unit vectors, constants' zero
  std::vector<Value> argValues_;
  std::vector<double> argDoubles_;
  std::vector<double> partials_;
  std::vector<double> errors_;  // one per slot: a bound on its rounding error; 0 for unknowns and constants
  std::vector<double> errorPartials_;
  std::vector<Interval> intervals_;      // one per slot, filled by RunIntervals
  std::vector<Interval> intervalGrads_;  // n_ per slot
  std::vector<Interval> intervalArgs_;
  std::vector<Interval> intervalPartials_;
  std::uint32_t result_ = 0;
  bool resultVaries_ = false;
};

}  // namespace eval
