// Runs compiled code on an engine's state: expressions, calls of script
// functions, members and built-ins, and statements.
//
// Recursion follows the tree's nesting (parentheses, arguments, calls): a
// chain of binary operators is walked along its left operands in a loop, so
// a sum of any length takes one level. Both the nesting and the chain of
// script calls are bounded (Out of stack space).
#pragma once

#include <span>

#include "Ast.h"
#include "EngineState.h"
#include "Value.h"

namespace eval {

class TreeEvaluator {
 public:
  explicit TreeEvaluator(EngineState& state) : s_(state) {}

  Value Eval(const Expr& e, Frame frame);
  // Eval in the global scope, a call of a script function straight to the call.
  Value EvalGlobal(const Expr& e);
  // A new AddCode or Eval of the engine begins.
  void NewRun() { ++run_; }
  // Runs one statement; true when it leaves the function (Exit Function).
  bool Exec(const Stmt& s, Frame frame);

 private:
  Value EvalNode(const Expr& e, Frame frame);
  Value EvalUnary(const Expr& e, Frame frame);
  Value EvalBinary(const Expr& e, Frame frame);
  Value EvalChain(const Expr& top, Frame frame);
  // An arithmetic node computed by its steps over doubles (RealTape); false
  // when the general road must decide.
  bool RealRoad(const Expr& e, Value& out);
  // The arithmetic expression a function's body only sets its result to.
  static const Expr* SoleResult(const FunctionDef& function);
  Value BinaryOperands(const Expr& e, Frame frame);
  Value RightOperand(Op op, const Value& left, const Expr& right, Frame frame);
  const Value* Leaf(const Expr& e, Frame frame);
  Value ReadName(const Expr& e, Frame frame);
  Value Call(const Expr& e, Frame frame);
  Value CallNative(const Expr& e, Frame frame);
  Value CallScript(const FunctionDef& function, const Expr& call, Frame caller);
  Value CallInFrame(const FunctionDef& function, const Expr& call, Frame caller);
  Value MemberCall(const Expr& e, Frame frame);
  std::pair<std::uint32_t, std::uint32_t> ResolveMember(const Expr& e, Frame frame);
  std::span<const Value> PushArguments(const Expr& call, Frame frame);
  void WriteBack(const Expr& name, Frame frame, const Value& value);
  void ExecDim(const Stmt& s);
  void ExecAssign(const Stmt& s, Frame frame);
  void ExecMemberAssign(const Stmt& s, Frame frame);
  void Assign(const Stmt& s, Frame frame, Value value);

  EngineState& s_;
  // The arithmetic node whose steps last gave up, and in which run.
  std::uint64_t run_ = 0;
  const Expr* gaveUp_ = nullptr;
  std::uint64_t gaveUpRun_ = 0;
};

}  // namespace eval
