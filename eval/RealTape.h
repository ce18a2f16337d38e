// An arithmetic expression as a straight list of steps over doubles: the
// evaluator's road for equations. The steps read global variables in place,
// take subexpressions without variables as the values they always have, and
// run without recursion, so a sum of any length is one loop.
//
// The steps give exactly what the general rules give, kinds included, or
// nothing: a run gives up, with nothing changed, as soon as a variable holds
// no Integer, Long or Double; the general road then decides. Whole numbers
// are exact in doubles, and the kind of each result follows the rules (an
// Integer sum that leaves the Integer range is a Long, and so on). Nothing
// on the steps has an effect, so giving up midway is safe, and the
// operations' errors (Division by zero, Overflow, ...) are raised in the
// general road's order.
#pragma once

#include <cstdint>
#include <vector>

#include "Ast.h"
#include "Builtins.h"
#include "EngineState.h"

namespace eval {

class RealTape {
 public:
  // Writes the steps of the arithmetic node `e` under the names as they
  // resolve now; false when some part of it is no number for certain (a
  // function of the script, a member other than a constant, a local, a text
  // or Boolean, an unknown name, a built-in without a function of a double).
  bool Build(const Expr& e, EngineState& state);

  // The value of the steps; false when the general road must decide.
  bool Run(const EngineState& state, Value& out);

  // The name generation the steps were built in: they read global slots.
  std::uint64_t generation = 0;

 private:
  enum class Code : std::uint8_t {
    Constant,  // push number, of kind
    Global,    // push the global variable in slot
    Negate,
    Call,      // top = function(top)
    // Binary operators: on the two top entries, or with the right (...Number)
    // or the left (Number...) operand held in the step.
    Add, AddNumber, NumberAdd,
    Subtract, SubtractNumber, NumberSubtract,
    Multiply, MultiplyNumber, NumberMultiply,
    Divide, DivideNumber, NumberDivide,
    Power, PowerNumber, NumberPower,
    Square,    // top ^ number, number being 2
    // A variable and the operator after it, in one step (the steps run when
    // every variable holds a Double): push variable * number, number *
    // variable, variable ^ 2; top = top + variable, top - variable, top * variable.
    GlobalTimesNumber, NumberTimesGlobal, SquaredGlobal,
    AddGlobal, SubtractGlobal, MultiplyGlobal,
  };

  struct Step {
    Code code = Code::Constant;
    std::uint8_t kind = 0;  // of number: kInteger, kLong or kDouble
    std::uint32_t slot = 0;
    double number = 0;
    RealFunction function = nullptr;
  };

  struct Operand;
  bool Node(const Expr& e, EngineState& state, Operand& out);
  bool Leaf(const Expr& e, EngineState& state, Operand& out);
  bool CallOf(const Expr& e, EngineState& state, Operand& out);
  void Unary(Op op, Operand& operand);
  void Binary(Op op, Operand& left, const Operand& right);
  void Push(const Operand& o);
  void Emit(const Step& step);
  static int StackChange(Code code);
  static void Compute(const Step& s, const EngineState& state, double* v, std::size_t& top);
  void Fuse();
  static bool Kinds(const Step& s, const EngineState& state, std::uint8_t* k, double* v, std::size_t& top);

  std::vector<Step> steps_;
  std::vector<Step> fused_;  // the same with variables joined to the operator after them
  std::size_t depth_ = 0;  // entries on the stack while building
  std::size_t maxDepth_ = 0;
  // The global variables the steps read, each once; when all of them hold
  // Doubles, every result is a Double, unless needsKinds_ (whole numbers
  // held in the steps meet).
  std::vector<std::uint32_t> globalSlots_;
  bool needsKinds_ = false;
  // The variables' bits at the last run with all of them Doubles, and its result.
  std::vector<std::uint64_t> lastBits_;
  bool hasLast_ = false;
  double last_ = 0;
  std::vector<double> values_;         // the stack while running
  std::vector<std::uint8_t> kinds_;    // per entry: kInteger, kLong or kDouble
};

}  // namespace eval
