#include "RealTape.h"

#include <algorithm>
#include <bit>
#include <span>

#include "NumberScan.h"
#include "Operators.h"
#include "RealArithmetic.h"
#include "ScriptError.h"

namespace eval {
namespace {

// The kinds of numbers on the steps, in promotion order.
constexpr std::uint8_t kInteger = 0;
constexpr std::uint8_t kLong = 1;
constexpr std::uint8_t kDouble = 2;

std::uint8_t KindOf(VarType type) {
  return type == VarType::Double ? kDouble : type == VarType::Long ? kLong : kInteger;
}

// The kind of a whole-number result r of operands of kinds a and b (both
// Integer or Long): the narrowest the operands allow, Double beyond Long.
std::uint8_t WholeKind(std::uint8_t a, std::uint8_t b, double r) {
  if (a == kInteger && b == kInteger && r >= -32768 && r <= 32767) return kInteger;
  return r >= -2147483648.0 && r <= 2147483647.0 ? kLong : kDouble;
}

// The kinds a number on the steps may have.
bool IsStepNumber(const Value& v) {
  return v.Type() == VarType::Double || v.Type() == VarType::Integer || v.Type() == VarType::Long;
}

}  // namespace

// A built operand: a number known now (nothing emitted yet), or the top of
// the stack once its steps have run.
struct RealTape::Operand {
  bool constant = false;
  Value value;
};

bool RealTape::Build(const Expr& e, EngineState& state) {
  steps_.clear();
  depth_ = 0;
  maxDepth_ = 0;
  generation = state.generation;
  Operand result;
  if (!Node(e, state, result)) {
    steps_.clear();
    return false;
  }
  if (result.constant) Push(result);
  values_.assign(maxDepth_, 0.0);
  kinds_.assign(maxDepth_, kDouble);

  // Whether a whole number can meet another when every variable holds a
  // Double: only whole numbers held in the steps themselves then can.
  globalSlots_.clear();
  needsKinds_ = false;
  std::vector<std::uint8_t> whole(maxDepth_, 0);
  std::size_t top = 0;
  for (const Step& step : steps_) {
    switch (step.code) {
      case Code::Global:
        if (std::find(globalSlots_.begin(), globalSlots_.end(), step.slot) == globalSlots_.end()) {
          globalSlots_.push_back(step.slot);
        }
        whole[top] = 0;
        break;
      case Code::Constant:
        whole[top] = step.kind != kDouble;
        break;
      case Code::Negate:
        needsKinds_ = needsKinds_ || whole[top - 1];
        break;
      case Code::Add:
      case Code::Subtract:
      case Code::Multiply:
        needsKinds_ = needsKinds_ || (whole[top - 2] && whole[top - 1]);
        whole[top - 2] = 0;
        break;
      case Code::AddNumber:
      case Code::NumberAdd:
      case Code::SubtractNumber:
      case Code::NumberSubtract:
      case Code::MultiplyNumber:
      case Code::NumberMultiply:
        needsKinds_ = needsKinds_ || (step.kind != kDouble && whole[top - 1]);
        whole[top - 1] = 0;
        break;
      case Code::Divide:
      case Code::Power:
        whole[top - 2] = 0;
        break;
      default:
        whole[top - 1] = 0;
        break;
    }
    top = static_cast<std::size_t>(static_cast<long>(top) + StackChange(step.code));
  }
  needsKinds_ = needsKinds_ || whole[0];
  lastBits_.assign(globalSlots_.size(), 0);
  hasLast_ = false;
  Fuse();
  return true;
}

void RealTape::Fuse() {
  fused_.clear();
  for (std::size_t i = 0; i < steps_.size(); ++i) {
    Step step = steps_[i];
    if (step.code == Code::Global && i + 1 < steps_.size()) {
      const Step& next = steps_[i + 1];
      Code joined = Code::Global;
      switch (next.code) {
        case Code::MultiplyNumber:
          joined = Code::GlobalTimesNumber;
          break;
        case Code::NumberMultiply:
          joined = Code::NumberTimesGlobal;
          break;
        case Code::Square:
          joined = Code::SquaredGlobal;
          break;
        case Code::Add:
          joined = Code::AddGlobal;
          break;
        case Code::Subtract:
          joined = Code::SubtractGlobal;
          break;
        case Code::Multiply:
          joined = Code::MultiplyGlobal;
          break;
        default:
          break;
      }
      if (joined != Code::Global) {
        step.code = joined;
        step.number = next.number;
        ++i;
      }
    }
    fused_.push_back(step);
  }
}

int RealTape::StackChange(Code code) {
  switch (code) {
    case Code::Constant:
    case Code::Global:
    case Code::GlobalTimesNumber:
    case Code::NumberTimesGlobal:
    case Code::SquaredGlobal:
      return 1;
    case Code::Add:
    case Code::Subtract:
    case Code::Multiply:
    case Code::Divide:
    case Code::Power:
      return -1;
    default:
      return 0;
  }
}

void RealTape::Emit(const Step& step) {
  steps_.push_back(step);
  depth_ = static_cast<std::size_t>(static_cast<long>(depth_) + StackChange(step.code));
  if (depth_ > maxDepth_) maxDepth_ = depth_;
}

void RealTape::Push(const Operand& o) {
  Step step;
  step.code = Code::Constant;
  step.number = NumberOf(o.value);
  step.kind = KindOf(o.value.Type());
  Emit(step);
}

// Recursion follows the tree's nesting, which the parser bounds; a chain of
// operators is walked along its left operands in a loop.
bool RealTape::Node(const Expr& e, EngineState& state, Operand& out) {
  switch (e.kind) {
    case ExprKind::Literal:
    case ExprKind::Name:
      return Leaf(e, state, out);
    case ExprKind::Call:
      return CallOf(e, state, out);
    case ExprKind::Unary:
      if (!e.arithmetic || !Node(*e.left, state, out)) return false;
      Unary(e.op, out);
      return true;
    case ExprKind::Binary: {
      if (!e.arithmetic) return false;
      std::vector<const Expr*> chain;
      for (const Expr* link = &e; link->kind == ExprKind::Binary; link = link->left) {
        if (!link->arithmetic) return false;
        chain.push_back(link);
      }
      if (!Node(*chain.back()->left, state, out)) return false;
      for (std::size_t i = chain.size(); i-- > 0;) {
        Operand right;
        if (!Node(*chain[i]->right, state, right)) return false;
        Binary(chain[i]->op, out, right);
      }
      return true;
    }
    case ExprKind::Member:
      break;
  }
  return false;
}

bool RealTape::Leaf(const Expr& e, EngineState& state, Operand& out) {
  if (e.kind == ExprKind::Literal) {
    if (!IsStepNumber(*e.literal)) return false;
    out.constant = true;
    out.value = *e.literal;
    return true;
  }
  if (e.localSlot >= 0) return false;
  state.Resolve(*e.name, e.resolution);
  const Resolution& r = e.resolution;
  switch (r.kind) {
    case ResolvedKind::Global: {
      if (state.globals[r.index].isFunction) return false;
      Step step;
      step.code = Code::Global;
      step.slot = r.index;
      Emit(step);
      out.constant = false;
      return true;
    }
    case ResolvedKind::Constant:
      out.value = ConstantValue(r.index);
      out.constant = true;
      return IsStepNumber(out.value);
    case ResolvedKind::Member: {
      if (!state.objects[r.index].members[r.member].constant) return false;
      try {
        out.value = state.InvokeMember(r.index, r.member, {});
      } catch (const ScriptError&) {
        return false;
      }
      out.constant = true;
      return IsStepNumber(out.value);
    }
    default:
      return false;
  }
}

// A built-in of one number (Sin, Exp, ...): it has no effects either, and of
// a number known now it is that number's value.
bool RealTape::CallOf(const Expr& e, EngineState& state, Operand& out) {
  if (e.argCount != 1 || e.localSlot >= 0) return false;
  state.Resolve(*e.name, e.resolution);
  if (e.resolution.kind != ResolvedKind::Builtin) return false;
  const RealFunction function = RealFunctionOf(e.resolution.index);
  if (function == nullptr || !Node(*e.args[0], state, out)) return false;
  if (out.constant) {
    try {
      Value folded = CallBuiltin(e.resolution.index, std::span<const Value>(&out.value, 1));
      if (IsStepNumber(folded)) {
        out.value = std::move(folded);
        return true;
      }
    } catch (const ScriptError&) {
      // Every run raises it, in its place.
    }
    Push(out);
    out.constant = false;
  }
  Step step;
  step.code = Code::Call;
  step.function = function;
  Emit(step);
  return true;
}

void RealTape::Unary(Op op, Operand& operand) {
  if (op == Op::Plus) return;  // the operand as it is, kind included
  if (operand.constant) {
    if (std::optional<Value> folded = FoldUnary(op, operand.value); folded && IsStepNumber(*folded)) {
      operand.value = std::move(*folded);
      return;
    }
    Push(operand);
    operand.constant = false;
  }
  Step step;
  step.code = Code::Negate;
  Emit(step);
}

// `left` becomes left op right. Numbers known now are combined at once, by
// the general rules, unless that fails (then every run fails alike).
void RealTape::Binary(Op op, Operand& left, const Operand& right) {
  // Which operand the step holds: 0 none (both on the stack), 1 the right, 2 the left.
  int held = 0;
  const Operand* number = nullptr;
  if (left.constant && right.constant) {
    if (std::optional<Value> folded = FoldBinary(op, left.value, right.value); folded && IsStepNumber(*folded)) {
      left.value = std::move(*folded);
      return;
    }
    Push(left);
    Push(right);
  } else if (right.constant) {
    held = 1;
    number = &right;
  } else if (left.constant) {
    held = 2;
    number = &left;
  }
  Step step;
  if (number != nullptr) {
    step.number = NumberOf(number->value);
    step.kind = KindOf(number->value.Type());
  }
  auto pick = [held](Code stack, Code numberRight, Code numberLeft) {
    return held == 0 ? stack : held == 1 ? numberRight : numberLeft;
  };
  switch (op) {
    case Op::Add:
      step.code = pick(Code::Add, Code::AddNumber, Code::NumberAdd);
      break;
    case Op::Subtract:
      step.code = pick(Code::Subtract, Code::SubtractNumber, Code::NumberSubtract);
      break;
    case Op::Multiply:
      step.code = pick(Code::Multiply, Code::MultiplyNumber, Code::NumberMultiply);
      break;
    case Op::Divide:
      step.code = pick(Code::Divide, Code::DivideNumber, Code::NumberDivide);
      break;
    default:  // Power
      step.code = pick(Code::Power, Code::PowerNumber, Code::NumberPower);
      if (held == 1 && step.number == 2) step.code = Code::Square;
      break;
  }
  Emit(step);
  left.constant = false;
}

namespace {

using Arithmetic = double (*)(double, double);
double Sum(double a, double b) { return CheckedReal(a + b, a, b); }
double Difference(double a, double b) { return CheckedReal(a - b, a, b); }
double Product(double a, double b) { return CheckedReal(a * b, a, b); }

// The three places a binary operator's operands come from.
template <Arithmetic f>
[[gnu::always_inline]] inline void OnStack(double* v, std::size_t& top) {
  --top;
  v[top - 1] = f(v[top - 1], v[top]);
}
template <Arithmetic f>
[[gnu::always_inline]] inline void WithRight(double* v, std::size_t top, double number) {
  v[top - 1] = f(v[top - 1], number);
}
template <Arithmetic f>
[[gnu::always_inline]] inline void WithLeft(double* v, std::size_t top, double number) {
  v[top - 1] = f(number, v[top - 1]);
}

}  // namespace

// One step on the values.
[[gnu::always_inline]] inline void RealTape::Compute(const Step& s, const EngineState& state, double* v,
                                                     std::size_t& top) {
  switch (s.code) {
    case Code::Constant:
      v[top++] = s.number;
      break;
    case Code::Global:  // a Double: Kinds pushes variables of the other kinds itself
      v[top++] = state.globals[s.slot].value.AsDouble();
      break;
    case Code::Negate:
      v[top - 1] = -v[top - 1];
      break;
    case Code::Call:
      v[top - 1] = s.function(v[top - 1]);
      break;
    case Code::Add:
      OnStack<Sum>(v, top);
      break;
    case Code::AddNumber:
      WithRight<Sum>(v, top, s.number);
      break;
    case Code::NumberAdd:
      WithLeft<Sum>(v, top, s.number);
      break;
    case Code::Subtract:
      OnStack<Difference>(v, top);
      break;
    case Code::SubtractNumber:
      WithRight<Difference>(v, top, s.number);
      break;
    case Code::NumberSubtract:
      WithLeft<Difference>(v, top, s.number);
      break;
    case Code::Multiply:
      OnStack<Product>(v, top);
      break;
    case Code::MultiplyNumber:
      WithRight<Product>(v, top, s.number);
      break;
    case Code::NumberMultiply:
      WithLeft<Product>(v, top, s.number);
      break;
    case Code::Divide:
      OnStack<DividedReal>(v, top);
      break;
    case Code::DivideNumber:
      WithRight<DividedReal>(v, top, s.number);
      break;
    case Code::NumberDivide:
      WithLeft<DividedReal>(v, top, s.number);
      break;
    case Code::Power:
      OnStack<PoweredReal>(v, top);
      break;
    case Code::PowerNumber:
      WithRight<PoweredReal>(v, top, s.number);
      break;
    case Code::NumberPower:
      WithLeft<PoweredReal>(v, top, s.number);
      break;
    case Code::Square:
      v[top - 1] = SquaredReal(v[top - 1], s.number);
      break;
    case Code::GlobalTimesNumber:
      v[top++] = Product(state.globals[s.slot].value.AsDouble(), s.number);
      break;
    case Code::NumberTimesGlobal:
      v[top++] = Product(s.number, state.globals[s.slot].value.AsDouble());
      break;
    case Code::SquaredGlobal:
      v[top++] = SquaredReal(state.globals[s.slot].value.AsDouble(), s.number);
      break;
    case Code::AddGlobal:
      v[top - 1] = Sum(v[top - 1], state.globals[s.slot].value.AsDouble());
      break;
    case Code::SubtractGlobal:
      v[top - 1] = Difference(v[top - 1], state.globals[s.slot].value.AsDouble());
      break;
    case Code::MultiplyGlobal:
      v[top - 1] = Product(v[top - 1], state.globals[s.slot].value.AsDouble());
      break;
  }
}

// One step on the values and their kinds: false, before anything is
// computed, when a variable holds no Integer, Long or Double.
bool RealTape::Kinds(const Step& s, const EngineState& state, std::uint8_t* k, double* v, std::size_t& top) {
  if (s.code == Code::Global) {
    const Value& x = state.globals[s.slot].value;
    if (!IsStepNumber(x)) return false;
    k[top] = KindOf(x.Type());
    v[top++] = NumberOf(x);
    return true;
  }
  if (s.code == Code::Constant) k[top] = s.kind;
  // The operands' kinds, as they are before the step.
  const std::uint8_t right = top >= 1 ? k[top - 1] : kDouble;
  const std::uint8_t left = top >= 2 ? k[top - 2] : kDouble;
  Compute(s, state, v, top);
  const double r = v[top - 1];
  switch (s.code) {
    case Code::Constant:
      break;
    case Code::Negate:
      if (right != kDouble) k[top - 1] = WholeKind(right, right, r);
      break;
    case Code::Add:
    case Code::Subtract:
    case Code::Multiply:
      k[top - 1] = left != kDouble && right != kDouble ? WholeKind(left, right, r) : kDouble;
      break;
    case Code::AddNumber:
    case Code::NumberAdd:
    case Code::SubtractNumber:
    case Code::NumberSubtract:
    case Code::MultiplyNumber:
    case Code::NumberMultiply:
      k[top - 1] = s.kind != kDouble && right != kDouble ? WholeKind(s.kind, right, r) : kDouble;
      break;
    default:  // a function, / and ^: a Double
      k[top - 1] = kDouble;
      break;
  }
  return true;
}

bool RealTape::Run(const EngineState& state, Value& out) {
  double* v = values_.data();
  std::size_t top = 0;  // entries on the stack; the top one is v[top - 1]
  // With every variable a Double, every result is a Double; the steps are
  // a function of the variables alone, so the same values again give the
  // last result (a solver evaluates the point it differentiates at again and again).
  bool doubles = !needsKinds_;
  bool same = hasLast_;
  const std::size_t count = globalSlots_.size();
  const EngineState::Global* globals = state.globals.data();
  for (std::size_t k = 0; k < count; ++k) {
    const Value& x = globals[globalSlots_[k]].value;
    const bool isDouble = x.Type() == VarType::Double;
    const std::uint64_t bits = isDouble ? std::bit_cast<std::uint64_t>(x.AsDouble()) : 0;
    doubles &= isDouble;
    same &= bits == lastBits_[k];
    lastBits_[k] = bits;
  }
  if (doubles) {
    if (!same) {
      hasLast_ = false;  // until the steps have run without an error
      for (const Step& s : fused_) Compute(s, state, v, top);
      last_ = v[0];
      hasLast_ = true;
    }
    out = Value::Double(last_);
    return true;
  }
  hasLast_ = false;
  std::uint8_t* k = kinds_.data();
  for (const Step& s : steps_) {
    if (!Kinds(s, state, k, v, top)) return false;
  }
  switch (k[0]) {
    case kInteger:
      out = Value::Integer(static_cast<std::int16_t>(v[0]));
      break;
    case kLong:
      out = Value::Long(static_cast<std::int32_t>(v[0]));
      break;
    default:
      out = Value::Double(v[0]);
      break;
  }
  return true;
}

void RealTapeDelete::operator()(RealTape* tape) const noexcept { delete tape; }

}  // namespace eval
