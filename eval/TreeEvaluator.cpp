#include "TreeEvaluator.h"

#include <array>
#include <cmath>
#include <vector>

#include "Builtins.h"
#include "Operators.h"
#include "RealTape.h"
#include "ScriptError.h"

namespace eval {
namespace {

// Deepest evaluation (nesting levels, across calls) and deepest chain of
// script function calls; beyond either, Out of stack space. Measured under
// AddressSanitizer without optimisation (the largest frames): about 1.6 KB per
// expression level and 6 KB per call, so the worst case stays near 3 MB, well
// inside an 8 MB stack. Optimised builds need about a sixth of that.
constexpr int kMaxEvalDepth = 1500;
constexpr int kMaxCallDepth = 250;

// Chains up to this length keep their nodes on the stack while walked.
constexpr std::size_t kShortChain = 32;

struct DepthGuard {
  DepthGuard(int& depth, int limit) : depth_(depth) {
    if (++depth_ > limit) {
      --depth_;
      throw ScriptError(ErrorNumber::OutOfStackSpace);
    }
  }
  ~DepthGuard() { --depth_; }
  int& depth_;
};

// Shrinks a stack back to its size at construction, also when an error passes.
template <typename Stack>
struct StackMark {
  explicit StackMark(Stack& stack) : stack_(stack), size_(stack.size()) {}
  ~StackMark() { stack_.resize(size_); }
  Stack& stack_;
  std::size_t size_;
};

// Restores the argument and local stacks when a call ends, also by an error.
struct CallMark {
  explicit CallMark(EngineState& state)
      : state_(state), args_(state.argStack.size()), locals_(state.locals.size()) {}
  ~CallMark() {
    while (state_.locals.size() > locals_) {
      state_.storedTextBytes -= EngineState::TextSize(state_.locals.back());
      state_.locals.pop_back();
      state_.live.pop_back();
    }
    while (state_.argStack.size() > args_) state_.argStack.pop_back();
  }
  EngineState& state_;
  std::size_t args_;
  std::size_t locals_;
};

bool IsChainLink(const Expr& e) { return e.kind == ExprKind::Binary; }


// The operators of most equation steps, on two numbers of which one is a
// Double: ApplyBinary's own first case, without its call.
[[gnu::always_inline]] inline bool QuickReal(const Value& v, double& d) {
  switch (v.Type()) {
    case VarType::Double:
      d = v.AsDouble();
      return true;
    case VarType::Integer:
      d = v.AsInteger();
      return true;
    default:
      return false;
  }
}

[[gnu::always_inline]] inline Value Apply(Op op, const Value& left, const Value& right) {
  double a;
  double b;
  const bool real = op == Op::Add || op == Op::Subtract || op == Op::Multiply || op == Op::Divide || op == Op::Power;
  if (real && (left.Type() == VarType::Double || right.Type() == VarType::Double) && QuickReal(left, a) &&
      QuickReal(right, b)) {
    return Value::Double(ApplyReal(op, a, b));
  }
  return ApplyBinary(op, left, right);
}

// The nodes of a chain from the top down to the first whose left operand is
// no binary operator; short chains without the heap.
class Spine {
 public:
  explicit Spine(const Expr& top) {
    for (const Expr* e = &top; IsChainLink(*e); e = e->left) ++length_;
    if (length_ > kShortChain) {
      longChain_.resize(length_);
      nodes_ = longChain_.data();
    }
    std::size_t k = 0;
    for (const Expr* e = &top; IsChainLink(*e); e = e->left) nodes_[k++] = e;
  }
  std::size_t size() const { return length_; }
  const Expr& operator[](std::size_t k) const { return *nodes_[k]; }

 private:
  std::size_t length_ = 0;
  std::array<const Expr*, kShortChain> shortChain_;
  std::vector<const Expr*> longChain_;
  const Expr** nodes_ = shortChain_.data();
};

}  // namespace

// The evaluator's recursion runs through Eval and one helper per node kind;
// each keeps only its own few values on the stack, so that the depth limits
// above hold a small, known amount of stack.
Value TreeEvaluator::Eval(const Expr& e, Frame frame) {
  DepthGuard guard(s_.evalDepth, kMaxEvalDepth);
  Value v = EvalNode(e, frame);
  s_.CountTextWork(v);
  return v;
}

// Eval(e, global frame) without the steps between for a call of a script
// function (Evaluate's "theFunction()"): the same guard, call and count.
Value TreeEvaluator::EvalGlobal(const Expr& e) {
  if (e.kind == ExprKind::Call) {
    s_.Resolve(*e.name, e.resolution);
    if (e.resolution.kind == ResolvedKind::Global && s_.globals[e.resolution.index].isFunction) {
      const FunctionDef& function = *s_.globals[e.resolution.index].function;
      DepthGuard guard(s_.evalDepth, kMaxEvalDepth);
      Value v = CallScript(function, e, Frame{});
      s_.CountTextWork(v);
      return v;
    }
  }
  return Eval(e, Frame{});
}

const Expr* TreeEvaluator::SoleResult(const FunctionDef& function) {
  if (!function.params.empty() || function.body.size() != 1) return nullptr;
  const Stmt& only = *function.body.front();
  if (only.kind != StmtKind::Assign || only.localSlot != 0 || only.implicitLocal) return nullptr;
  return only.value;
}

Value TreeEvaluator::EvalNode(const Expr& e, Frame frame) {
  switch (e.kind) {
    case ExprKind::Literal:
      return *e.literal;
    case ExprKind::Name:
      return ReadName(e, frame);
    case ExprKind::Call:
      return Call(e, frame);
    case ExprKind::Member:
      return MemberCall(e, frame);
    case ExprKind::Unary:
      return EvalUnary(e, frame);
    case ExprKind::Binary:
      return EvalBinary(e, frame);
  }
  return Value();
}

[[gnu::noinline]] Value TreeEvaluator::EvalUnary(const Expr& e, Frame frame) {
  if (Value r; RealRoad(e, r)) return r;
  if (const Value* operand = Leaf(*e.left, frame)) return ApplyUnary(e.op, *operand);
  const Value operand = Eval(*e.left, frame);
  return ApplyUnary(e.op, operand);
}

// The value of an operand that is a literal or a variable, in place, or
// nullptr when the operand needs evaluating (it may run code). Reading it
// has no effects, so it may be read before or after the other operand; the
// pointer is good until code runs (a call may move the locals).
[[gnu::always_inline]] inline const Value* TreeEvaluator::Leaf(const Expr& e, Frame frame) {
  if (e.kind == ExprKind::Literal) return e.literal;
  if (e.kind != ExprKind::Name) return nullptr;
  if (frame.function && e.localSlot >= 0) {
    const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
    if (!e.implicitLocal || s_.live[at]) return &s_.locals[at];
  }
  s_.Resolve(*e.name, e.resolution);
  if (e.resolution.kind == ResolvedKind::Constant) return &ConstantValue(e.resolution.index);
  if (e.resolution.kind != ResolvedKind::Global) return nullptr;
  const EngineState::Global& g = s_.globals[e.resolution.index];
  return g.isFunction ? nullptr : &g.value;
}

[[gnu::noinline]] Value TreeEvaluator::EvalBinary(const Expr& e, Frame frame) {
  if (Value r; RealRoad(e, r)) return r;
  if (IsChainLink(*e.left)) return EvalChain(e, frame);
  return BinaryOperands(e, frame);
}

// The node's steps, built the first time it is evaluated in a generation of
// names. The steps read no locals, so they serve every frame.
bool TreeEvaluator::RealRoad(const Expr& e, Value& out) {
  if (!e.arithmetic || e.realSkipGeneration == s_.generation) return false;
  // Steps that gave up are not tried again in the same run (the fast roads
  // above a node would otherwise try it once more each): the general road
  // gives the same answer either way.
  if (&e == gaveUp_ && gaveUpRun_ == run_) return false;
  RealTape* tape = e.tape.get();
  if (tape == nullptr || tape->generation != s_.generation) {
    if (tape == nullptr) {
      e.tape.reset(new RealTape());
      tape = e.tape.get();
    }
    if (!tape->Build(e, s_)) {
      e.tape.reset();
      e.realSkipGeneration = s_.generation;
      return false;
    }
  }
  if (tape->Run(s_, out)) return true;
  gaveUp_ = &e;
  gaveUpRun_ = run_;
  return false;
}

// One operator whose left operand is no chain: operands left to right,
// without copying those that are literals or variables (equations are mostly
// such operands).
Value TreeEvaluator::BinaryOperands(const Expr& e, Frame frame) {
  if (const Value* left = Leaf(*e.left, frame)) {
    if (const Value* right = Leaf(*e.right, frame)) return Apply(e.op, *left, *right);
    if (e.left->kind == ExprKind::Literal) {  // a literal cannot change meanwhile
      const Value right = Eval(*e.right, frame);
      return Apply(e.op, *left, right);
    }
  }
  const Value left = Eval(*e.left, frame);
  return RightOperand(e.op, left, *e.right, frame);
}

Value TreeEvaluator::RightOperand(Op op, const Value& left, const Expr& right, Frame frame) {
  if (const Value* r = Leaf(right, frame)) return Apply(op, left, *r);
  const Value r = Eval(right, frame);
  return Apply(op, left, r);
}

// a op1 b op2 c ...: the nodes from the top down to the first whose left
// operand is no binary operator, then evaluated bottom up in a loop.
[[gnu::noinline]] Value TreeEvaluator::EvalChain(const Expr& top, Frame frame) {
  const Spine chain(top);
  const std::size_t length = chain.size();

  // The top itself was tried in doubles; a lower link may still succeed
  // (a member call above it, say) and starts the walk with its value.
  std::size_t start = length - 1;
  Value v;
  for (std::size_t i = 1; i < length; ++i) {
    const Expr& link = chain[i];
    if (!link.arithmetic || link.realSkipGeneration == s_.generation) continue;
    if (Value r; RealRoad(link, r)) {
      v = std::move(r);
      start = i;
    }
    break;
  }
  if (start == length - 1 && v.IsEmpty()) v = BinaryOperands(chain[length - 1], frame);
  for (std::size_t i = start; i-- > 0;) {
    s_.CountTextWork(v);
    v = RightOperand(chain[i].op, v, *chain[i].right, frame);
  }
  return v;
}

[[gnu::noinline]] Value TreeEvaluator::MemberCall(const Expr& e, Frame frame) {
  const auto [object, member] = ResolveMember(e, frame);
  StackMark mark(s_.argStack);
  return s_.InvokeMember(object, member, PushArguments(e, frame));
}

// The object and member an `object.member` expression names.
std::pair<std::uint32_t, std::uint32_t> TreeEvaluator::ResolveMember(const Expr& e, Frame frame) {
  if (frame.function && e.localSlot >= 0) {
    const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
    if (!e.implicitLocal || s_.live[at]) throw NamedError(ErrorNumber::ObjectRequired, *e.name);
  }
  s_.Resolve(*e.name, e.resolution);
  if (e.resolution.kind != ResolvedKind::Object) throw NamedError(ErrorNumber::ObjectRequired, *e.name);
  const std::uint32_t object = e.resolution.index;
  Resolution& m = e.member->resolution;
  if (m.generation != s_.generation) {
    const auto& index = *s_.objects[object].memberIndex;
    const auto it = index.find(e.member->name->folded);
    if (it == index.end()) {
      throw ScriptError(ErrorNumber::ObjectDoesntSupport,
                        std::string(DescriptionOf(ErrorNumber::ObjectDoesntSupport)) + ": '" +
                            e.name->written + "." + e.member->name->written + "'");
    }
    m.generation = s_.generation;
    m.kind = ResolvedKind::Member;
    m.index = object;
    m.member = it->second;
  }
  return {object, m.member};
}

// Evaluates the arguments onto argStack; the caller keeps a StackMark.
std::span<const Value> TreeEvaluator::PushArguments(const Expr& call, Frame frame) {
  const std::size_t base = s_.argStack.size();
  for (std::uint32_t k = 0; k < call.argCount; ++k) {
    Value v = Eval(*call.args[k], frame);
    s_.argStack.push_back(std::move(v));
  }
  return {s_.argStack.data() + base, call.argCount};
}

// A name without arguments: a local, a global variable, a constant, or a call
// of a function, member or built-in without arguments; Empty when unknown.
Value TreeEvaluator::ReadName(const Expr& e, Frame frame) {
  if (frame.function && e.localSlot >= 0) {
    const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
    if (!e.implicitLocal || s_.live[at]) return s_.locals[at];
  }
  s_.Resolve(*e.name, e.resolution);
  switch (e.resolution.kind) {
    case ResolvedKind::Global: {
      const EngineState::Global& g = s_.globals[e.resolution.index];
      if (!g.isFunction) return g.value;
      return CallScript(*g.function, e, frame);
    }
    case ResolvedKind::Member:
      return s_.InvokeMember(e.resolution.index, e.resolution.member, {});
    case ResolvedKind::Object:
      // An object has no value of its own (no default member).
      throw NamedError(ErrorNumber::ObjectDoesntSupport, *e.name);
    case ResolvedKind::Builtin:
      return CallBuiltin(e.resolution.index, {});
    case ResolvedKind::Constant:
      return ConstantValue(e.resolution.index);
    case ResolvedKind::Unknown:
      break;
  }
  return Value();
}

// name(args): a script function, a member or a built-in; anything else is
// "Type mismatch: 'name'".
Value TreeEvaluator::Call(const Expr& e, Frame frame) {
  if (frame.function && e.localSlot >= 0) {
    const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
    if (!e.implicitLocal || s_.live[at]) throw NamedError(ErrorNumber::TypeMismatch, *e.name);
  }
  s_.Resolve(*e.name, e.resolution);
  switch (e.resolution.kind) {
    case ResolvedKind::Global: {
      const EngineState::Global& g = s_.globals[e.resolution.index];
      if (!g.isFunction) break;
      return CallScript(*g.function, e, frame);
    }
    case ResolvedKind::Member:
    case ResolvedKind::Builtin:
      return CallNative(e, frame);
    default:
      break;
  }
  throw NamedError(ErrorNumber::TypeMismatch, *e.name);
}

// A member or built-in with its arguments.
[[gnu::noinline]] Value TreeEvaluator::CallNative(const Expr& e, Frame frame) {
  StackMark mark(s_.argStack);
  const std::span<const Value> args = PushArguments(e, frame);
  if (e.resolution.kind == ResolvedKind::Builtin) return CallBuiltin(e.resolution.index, args);
  return s_.InvokeMember(e.resolution.index, e.resolution.member, args);
}

[[gnu::always_inline]] inline Value TreeEvaluator::CallScript(const FunctionDef& function, const Expr& call,
                                                               Frame caller) {
  if (call.argCount != function.params.size()) throw ScriptError(ErrorNumber::WrongNumberOfArguments);
  DepthGuard guard(s_.callDepth, kMaxCallDepth);
  // A function without parameters whose body only sets its result to an
  // arithmetic expression (every equation's): when the expression runs on
  // its steps, that number is the result, and the frame is never needed.
  if (const Expr* value = SoleResult(function); value != nullptr && s_.evalDepth < kMaxEvalDepth) {
    if (Value r; RealRoad(*value, r)) return r;
  }
  return CallInFrame(function, call, caller);
}

// The general call, inside CallScript's guard: arguments, locals, the body,
// ByRef results handed back.
[[gnu::noinline]] Value TreeEvaluator::CallInFrame(const FunctionDef& function, const Expr& call, Frame caller) {
  CallMark mark(s_);
  PushArguments(call, caller);

  const std::size_t base = s_.locals.size();
  for (std::uint32_t k = 0; k < function.localCount; ++k) {
    s_.locals.emplace_back();
    s_.live.push_back(function.implicitSlots[k] ? 0 : 1);
  }
  for (std::size_t k = 0; k < function.params.size(); ++k) {
    s_.Store(s_.locals[base + 1 + k], std::move(s_.argStack[mark.args_ + k]));
  }

  const Frame frame{&function, base};
  for (const Stmt* stmt : function.body) {
    if (Exec(*stmt, frame)) break;
  }

  // ByRef parameters hand their final value back to a variable passed as is.
  for (std::size_t k = 0; k < function.params.size(); ++k) {
    const Expr& arg = *call.args[k];
    if (function.params[k].byRef && arg.kind == ExprKind::Name && !arg.parenthesized) {
      WriteBack(arg, caller, s_.locals[base + 1 + k]);
    }
  }
  return s_.Take(s_.locals[base]);
}

void TreeEvaluator::WriteBack(const Expr& name, Frame frame, const Value& value) {
  if (frame.function && name.localSlot >= 0) {
    const std::size_t at = frame.base + static_cast<std::size_t>(name.localSlot);
    if (!name.implicitLocal || s_.live[at]) {
      s_.Store(s_.locals[at], value);
      return;
    }
  }
  s_.Resolve(*name.name, name.resolution);
  if (name.resolution.kind == ResolvedKind::Global && !s_.globals[name.resolution.index].isFunction) {
    s_.Store(s_.globals[name.resolution.index].value, value);
  }
}

bool TreeEvaluator::Exec(const Stmt& s, Frame frame) {
  switch (s.kind) {
    case StmtKind::Assign:
      ExecAssign(s, frame);
      return false;
    case StmtKind::MemberAssign:
      ExecMemberAssign(s, frame);
      return false;
    case StmtKind::Call:
      Eval(*s.value, frame);
      return false;
    case StmtKind::Dim:
      ExecDim(s);
      return false;
    case StmtKind::ExitFunction:
      return true;
  }
  return false;
}

// Dim in global code (a function's Dim'd names are locals from the call on).
[[gnu::noinline]] void TreeEvaluator::ExecDim(const Stmt& s) {
  for (const NameRef* name : s.names) {
    if (FindConstant(name->folded)) throw NamedError(ErrorNumber::NameRedefined, *name);
    const auto it = s_.globalIndex.find(name->folded);
    if (it == s_.globalIndex.end()) {
      s_.NewGlobal(*name);
    } else if (s_.globals[it->second].isFunction) {
      throw NamedError(ErrorNumber::NameRedefined, *name);
    }
  }
}

[[gnu::noinline]] void TreeEvaluator::ExecAssign(const Stmt& s, Frame frame) {
  Assign(s, frame, Eval(*s.value, frame));
}

[[gnu::noinline]] void TreeEvaluator::ExecMemberAssign(const Stmt& s, Frame frame) {
  const Value value = Eval(*s.value, frame);
  const auto [object, member] = ResolveMember(*s.target, frame);
  s_.AssignMember(object, member, value);
}

// A local of the running function; else an existing global variable or a
// writable member; else a new variable (a local inside a function, a global
// outside).
void TreeEvaluator::Assign(const Stmt& s, Frame frame, Value value) {
  std::size_t localAt = 0;
  const bool inFunction = frame.function && s.localSlot >= 0;
  if (inFunction) {
    localAt = frame.base + static_cast<std::size_t>(s.localSlot);
    if (!s.implicitLocal || s_.live[localAt]) {
      s_.Store(s_.locals[localAt], std::move(value));
      return;
    }
  }
  if (s_.AssignExisting(*s.name, s.resolution, value)) return;
  if (inFunction) {
    s_.Store(s_.locals[localAt], std::move(value));
    s_.live[localAt] = 1;
    return;
  }
  s_.NewVariable(*s.name, std::move(value));
}

}  // namespace eval
