#include <cassert>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>

#include "CompiledSystem.h"
#include "CompiledTape.h"
#include "DerivativeRules.h"
#include "eval/Builtins.h"
#include "eval/ClsMath.h"
#include "eval/Evaluate.h"
#include "eval/Operators.h"
#include "eval/Parser.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"

namespace eval {
namespace {

// The private engine is prepared as the input step prepares an equation's.
constexpr std::string_view kLanguage = "VBScript";
// The function Evaluate's definition declares, case-folded.
constexpr std::string_view kFunctionFolded = "thefunction";

// Central differences: a step of cbrt(epsilon) times the coordinate's size
// balances truncation (step^2) against rounding (epsilon / step).
constexpr double kStepScale = 6.0554544523933395E-6;

// Descriptions of faults the engine has no text for.
constexpr std::string_view kNotFiniteValue = "The value is not finite";
constexpr std::string_view kNotFiniteCoordinate = "A coordinate is not finite";
constexpr std::string_view kNoDerivativeSuffix = " has no derivative at this point";
constexpr std::string_view kGuardedFailureSuffix = " failed at this point (Error is set)";
constexpr std::string_view kNotFiniteDerivative = "The derivative is not finite at this point";
constexpr std::string_view kCentralFailurePrefix = "The central difference along ";

// A double as the shortest literal the engine reads back as exactly that double.
std::string ExactText(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  std::string text(buffer, end);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

bool AllFinite(std::span<const double> values) {
  for (const double v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// Why an expression is outside the compiled form.
struct Uncovered {
  std::string reason;
};

// Reads one expression tree and writes the tape. Every name means what the
// equation's own engine says it means (ScriptEngine::Resolve): the unknowns
// are its global variables, then come the library's members, the library
// itself, the built-ins and the named constants; any other name reads as
// Empty. Subtrees without unknowns are evaluated once, by the engine's own
// operators and pure functions, unless that fails (then every evaluation
// fails alike).
class Builder {
 public:
  using UnknownMap = std::unordered_map<std::uint32_t, std::uint32_t>;  // global slot -> coordinate

  // `engine` is the equation's own, its unknowns assigned and its Function defined.
  Builder(CompiledTape& tape, const ScriptEngine& engine, const UnknownMap& unknownOf, const ClsMath& library)
      : tape_(tape), engine_(engine), unknownOf_(unknownOf), members_(library.Members()) {}

  struct Operand {
    bool constant = false;
    Value value;  // constant
    std::uint32_t slot = 0;
    bool varies = false;
  };

  Operand Build(const Expr& e) {
    if (e.localSlot >= 0) throw Uncovered{"reads the function's own result"};
    if (!tape_.GradientsWithinBudget()) {
      throw Uncovered{"needs more than " + std::to_string(CompiledTape::kMaxGradientBytes >> 20) +
                      " MiB for the gradients of its operations"};
    }
    switch (e.kind) {
      case ExprKind::Literal:
        return Literal(*e.literal);
      case ExprKind::Name:
        return Named(e, {});
      case ExprKind::Call:
        return Named(e, std::span<const Expr* const>(e.args, e.argCount));
      case ExprKind::Member:
        throw Uncovered{"uses object.member"};
      case ExprKind::Unary:
        return Unary(e);
      case ExprKind::Binary:
        return Binary(e);
    }
    throw Uncovered{"uses an unknown construct"};
  }

  std::uint32_t Slot(const Operand& o) {
    if (!o.constant) return o.slot;
    return tape_.AddConstant(*ToDouble(o.value));
  }

 private:
  static Operand Constant(Value v) {
    Operand o;
    o.constant = true;
    o.value = std::move(v);
    return o;
  }

  static Operand Literal(const Value& v) {
    switch (v.Type()) {
      case VarType::Empty:
      case VarType::Integer:
      case VarType::Long:
      case VarType::Double:
        return Constant(v);
      case VarType::String:
        throw Uncovered{"uses a text"};
      default:
        throw Uncovered{"uses a literal that is not a number"};
    }
  }

  Operand Named(const Expr& e, std::span<const Expr* const> args) {
    const std::string& written = e.name->written;
    const bool call = e.kind == ExprKind::Call;
    const NameMeaning meaning = engine_.Resolve(e.name->folded);
    switch (meaning.kind) {
      case NameKind::Variable: {
        const auto unknown = unknownOf_.find(meaning.index);
        if (unknown == unknownOf_.end()) throw Uncovered{"reads the variable " + written};
        if (call) throw Uncovered{"calls the unknown " + written};
        Operand o;
        o.slot = unknown->second;
        o.varies = true;
        return o;
      }
      case NameKind::Function:
        throw Uncovered{"calls " + written};
      case NameKind::Member: {
        const MemberInfo& member = members_[meaning.index];
        if (member.writable) throw Uncovered{"reads the library's " + std::string(member.name)};
        const auto count = static_cast<std::int32_t>(args.size());
        if (count < member.minArgs || (member.maxArgs != MemberInfo::kAnyCount && count > member.maxArgs)) {
          throw Uncovered{"calls " + written + " with a number of arguments it does not take"};
        }
        return Call(FindDerivativeRule(e.name->folded, true), meaning.index, written, args);
      }
      case NameKind::Object:
        throw Uncovered{"uses the library object"};
      case NameKind::Builtin: {
        const BuiltinInfo& info = Builtins()[meaning.index];
        const auto count = static_cast<std::int32_t>(args.size());
        if (count < info.minArgs || count > info.maxArgs) {
          throw Uncovered{"calls " + written + " with a number of arguments it does not take"};
        }
        return Call(FindDerivativeRule(e.name->folded, false), meaning.index, written, args);
      }
      case NameKind::Constant:
        if (call) throw Uncovered{"calls " + written + ", which is not a function"};
        return Literal(*meaning.value);  // a text constant is a text
      case NameKind::Unknown:
        break;
    }
    if (call) throw Uncovered{"calls " + written + ", which is not a function"};
    return Constant(Value());  // an undefined name reads as Empty
  }

  Operand Call(const DerivativeRule* rule, std::uint32_t index, const std::string& written,
               std::span<const Expr* const> args) {
    if (rule == nullptr) throw Uncovered{"calls " + written + ", which has no derivative rule"};
    std::vector<Operand> operands;
    operands.reserve(args.size());
    bool allConstant = true;
    for (const Expr* arg : args) {
      operands.push_back(Build(*arg));
      allConstant = allConstant && operands.back().constant;
    }
    if (allConstant && rule->foldable) {
      std::vector<Value> values;
      for (const Operand& o : operands) values.push_back(o.value);
      try {
        bool guardedFailure = false;
        Value r = tape_.CallFunction(*rule, index, values, guardedFailure);
        if (!guardedFailure && ToDouble(r)) return Constant(std::move(r));
      } catch (const ScriptError&) {
        // Not folded: every evaluation raises it, as the engine does.
      }
    }
    std::vector<std::uint32_t> slots;
    std::vector<std::uint8_t> varies;
    Operand o;
    for (const Operand& arg : operands) {
      slots.push_back(Slot(arg));
      varies.push_back(arg.varies ? 1 : 0);
      o.varies = o.varies || arg.varies;
    }
    o.slot = tape_.AddCall(*rule, index, slots, varies);
    return o;
  }

  Operand Unary(const Expr& e) {
    if (e.op == Op::Not) throw Uncovered{"uses a logical operator"};
    Operand operand = Build(*e.left);
    if (e.op == Op::Plus) return operand;
    if (operand.constant) {
      if (std::optional<Value> folded = FoldUnary(e.op, operand.value)) return Constant(std::move(*folded));
    }
    CompiledTape::Instr in;
    in.code = CompiledTape::Code::Negate;
    in.a = Slot(operand);
    in.varA = operand.varies;
    Operand o;
    o.varies = operand.varies;
    o.slot = tape_.AddInstr(in);
    return o;
  }

  // A chain of binary operators is walked along its left operands without
  // recursing, as the engine's evaluator walks it: a sum of any length costs
  // no stack, and only a right operand's own nesting (bounded by the parser's
  // tree height) recurses.
  Operand Binary(const Expr& e) {
    std::vector<const Expr*> chain;  // the outermost first
    const Expr* bottom = &e;
    while (bottom->kind == ExprKind::Binary) {
      CodeOf(bottom->op);  // an operator outside the compiled form: the outermost one is named
      chain.push_back(bottom);
      bottom = bottom->left;
    }
    Operand left = Build(*bottom);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) left = Combine(**it, std::move(left));
    return left;
  }

  static CompiledTape::Code CodeOf(Op op) {
    switch (op) {
      case Op::Add:
        return CompiledTape::Code::Add;
      case Op::Subtract:
        return CompiledTape::Code::Subtract;
      case Op::Multiply:
        return CompiledTape::Code::Multiply;
      case Op::Divide:
        return CompiledTape::Code::Divide;
      case Op::Power:
        return CompiledTape::Code::Power;
      case Op::IntDivide:
      case Op::Mod:
        throw Uncovered{"uses \\ or Mod"};
      case Op::Concat:
        throw Uncovered{"joins texts with &"};
      case Op::Equal:
      case Op::NotEqual:
      case Op::Less:
      case Op::Greater:
      case Op::LessEqual:
      case Op::GreaterEqual:
        throw Uncovered{"uses a comparison"};
      default:
        throw Uncovered{"uses a logical operator"};
    }
  }

  // One link of a chain: the operand built so far, the link's right operand.
  Operand Combine(const Expr& e, Operand left) {
    CompiledTape::Code code = CodeOf(e.op);
    Operand right = Build(*e.right);
    if (left.constant && right.constant) {
      if (std::optional<Value> folded = FoldBinary(e.op, left.value, right.value)) {
        return Constant(std::move(*folded));
      }
    }
    if (code == CompiledTape::Code::Power && right.constant && *ToDouble(right.value) == 2) {
      code = CompiledTape::Code::Square;
    }
    CompiledTape::Instr in;
    in.code = code;
    in.a = Slot(left);
    in.b = Slot(right);
    in.varA = left.varies;
    in.varB = right.varies;
    Operand o;
    o.varies = left.varies || right.varies;
    o.slot = tape_.AddInstr(in);
    return o;
  }

  CompiledTape& tape_;
  const ScriptEngine& engine_;
  const UnknownMap& unknownOf_;
  std::span<const MemberInfo> members_;
};

// The variable a name assigns, case-folded, as the parser reads it.
std::string ParsedName(const std::string& name) {
  try {
    const std::shared_ptr<Program> parsed = ParseExpression(name);
    const Expr* e = parsed->expression;
    if (e != nullptr && e->kind == ExprKind::Name && !e->parenthesized) return e->name->folded;
  } catch (const ScriptError&) {
  }
  throw Uncovered{"has an unknown whose name is not a plain variable name: " + name};
}

// The one expression a definition holds, or why there is none.
const Expr& SingleExpression(const Program& program) {
  if (!program.topLevel.empty() || program.functions.size() != 1) {
    throw Uncovered{"holds statements or a Function of its own"};
  }
  const FunctionDef& function = program.functions.front();
  if (function.body.size() != 1 || function.body.front()->kind != StmtKind::Assign ||
      function.body.front()->name->folded != kFunctionFolded) {
    throw Uncovered{"holds statements or a Function of its own"};
  }
  return *function.body.front()->value;
}

}  // namespace

std::string_view DerivativesName(Derivatives derivatives) {
  return derivatives == Derivatives::Exact ? "exact" : "central differences";
}

struct CompiledEquation::Impl {
  Impl(std::string_view text, std::span<const std::string> names, std::shared_ptr<ClsMath> library);
  EquationResult Evaluate(std::span<const double> x, std::span<double> gradient, double* bound = nullptr);
  double EngineValue(std::span<const double> x, bool& guardedFailure);
  EquationResult EvaluateByEngine(std::span<const double> x, std::span<double> gradient);

  std::size_t dimension_ = 0;
  std::vector<std::string> names_;
  std::shared_ptr<ClsMath> library_;
  ScriptEngine engine_;                 // the fallback evaluator; holds the library too
  std::unique_ptr<CompiledTape> tape_;  // null when falling back
  std::string fallbackReason_;
};

CompiledEquation::Impl::Impl(std::string_view text, std::span<const std::string> names,
                             std::shared_ptr<ClsMath> library)
    : dimension_(names.size()), names_(names.begin(), names.end()), library_(std::move(library)) {
  assert(library_ != nullptr);
  ScriptEngine& engine = engine_;
  engine.SetLanguage(kLanguage);
  engine.AddObject(kLibraryName, library_, true);
  for (const std::string& name : names_) engine.AddCode(name + " = 0");
  const std::string definition = FunctionDefinition(text);
  engine.AddCode(definition);

  try {
    // Each unknown is the global variable its assignment made (the name as
    // the engine's parser reads it, blanks around it dropped). A name the
    // library takes for itself (a property such as Error) makes none. Of a
    // name given twice, the later assignment is the one the engine keeps.
    Builder::UnknownMap unknownOf;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      const std::string folded = ParsedName(names_[i]);
      const NameMeaning meaning = engine.Resolve(folded);
      if (meaning.kind != NameKind::Variable) throw Uncovered{"has an unknown named " + folded};
      unknownOf[meaning.index] = static_cast<std::uint32_t>(i);
    }
    // The tree the engine compiled for the definition above: parsed once.
    const std::shared_ptr<const Program> program = engine.CompiledCode(definition);
    auto tape = std::make_unique<CompiledTape>(dimension_, *library_);
    Builder builder(*tape, engine, unknownOf, *library_);
    const Builder::Operand result = builder.Build(SingleExpression(*program));
    tape->SetResult(builder.Slot(result), result.varies);
    tape_ = std::move(tape);
  } catch (const Uncovered& uncovered) {
    fallbackReason_ = "The equation " + uncovered.reason;
  }
}

CompiledEquation::CompiledEquation(std::string_view text, std::span<const std::string> names,
                                   std::shared_ptr<ClsMath> library)
    : impl_(std::make_unique<Impl>(text, names, std::move(library))) {}
CompiledEquation::~CompiledEquation() = default;
CompiledEquation::CompiledEquation(CompiledEquation&&) noexcept = default;
CompiledEquation& CompiledEquation::operator=(CompiledEquation&&) noexcept = default;

std::size_t CompiledEquation::Dimension() const { return impl_->dimension_; }

Derivatives CompiledEquation::Method() const {
  return impl_->tape_ ? Derivatives::Exact : Derivatives::CentralDifferences;
}

const std::string& CompiledEquation::FallbackReason() const { return impl_->fallbackReason_; }

EquationResult CompiledEquation::Evaluate(std::span<const double> x, std::span<double> gradient) {
  return impl_->Evaluate(x, gradient);
}

EquationResult CompiledEquation::Evaluate(std::span<const double> x, std::span<double> gradient, double& bound) {
  assert(!gradient.empty());
  bound = std::numeric_limits<double>::infinity();
  EquationResult result = impl_->Evaluate(x, gradient, &bound);
  if (result.fault != EquationFault::None) bound = std::numeric_limits<double>::infinity();
  return result;
}

EnclosureStatus CompiledEquation::Enclose(std::span<const Interval> box, Interval& value,
                                          std::span<Interval> gradient) {
  assert(box.size() == impl_->dimension_ && gradient.size() == impl_->dimension_);
  EnclosureStatus status;
  if (!impl_->tape_) {
    value = Interval::WholeLine();
    for (Interval& g : gradient) g = Interval::WholeLine();
    status.ok = false;
    status.coverage = Coverage::Partly;
    status.fault = EnclosureFault::NoRule;
    status.what = impl_->fallbackReason_;
    return status;
  }
  CompiledTape::IntervalOutcome outcome;
  impl_->tape_->RunIntervals(box, value, gradient, outcome);
  using Failure = CompiledTape::IntervalOutcome::Failure;
  if (outcome.failure == Failure::None && outcome.coverage == Coverage::Smooth) return status;
  status.ok = false;
  status.what = std::string(outcome.what);
  switch (outcome.failure) {
    case Failure::NoRule:
      status.fault = EnclosureFault::NoRule;
      status.coverage = Coverage::Partly;
      break;
    case Failure::OverBudget:
      status.fault = EnclosureFault::OverBudget;
      status.coverage = Coverage::Partly;
      break;
    case Failure::None:
      status.fault = EnclosureFault::Domain;
      status.coverage = outcome.coverage;
      break;
  }
  return status;
}

namespace {

EquationResult Success(double value) {
  EquationResult result;
  result.value = value;
  return result;
}

EquationResult Fault(EquationFault fault, std::string description, double value, std::span<double> gradient) {
  for (double& g : gradient) g = std::numeric_limits<double>::quiet_NaN();
  EquationResult result;
  result.value = value;
  result.fault = fault;
  result.description = std::move(description);
  return result;
}

}  // namespace

EquationResult CompiledEquation::Impl::Evaluate(std::span<const double> x, std::span<double> gradient,
                                                double* bound) {
  assert(x.size() == dimension_);
  assert(gradient.empty() || gradient.size() == dimension_);
  if (!tape_) {
    if (!AllFinite(x)) return Fault(EquationFault::NotFinite, std::string(kNotFiniteCoordinate), 0, gradient);
    return EvaluateByEngine(x, gradient);
  }

  CompiledTape::Outcome outcome;
  double value;
  try {
    value = tape_->Run(x, gradient, outcome, bound);
  } catch (const ScriptError& error) {
    return Fault(EquationFault::ScriptError, error.Description(), 0, gradient);
  }
  if (std::isfinite(value) && gradient.empty() && !outcome.coordinateNotFinite) [[likely]] {
    return Success(value);
  }
  if (outcome.coordinateNotFinite) {
    return Fault(EquationFault::NotFinite, std::string(kNotFiniteCoordinate), 0, gradient);
  }
  if (!std::isfinite(value)) return Fault(EquationFault::NotFinite, std::string(kNotFiniteValue), value, gradient);
  if (gradient.empty()) return Success(value);
  if (outcome.noDerivative) {
    return Fault(EquationFault::NoDerivative,
                 std::string(outcome.what) +
                     std::string(outcome.whatFailed ? kGuardedFailureSuffix : kNoDerivativeSuffix),
                 value, gradient);
  }
  if (!AllFinite(gradient)) return Fault(EquationFault::NoDerivative, std::string(kNotFiniteDerivative), value, gradient);
  return Success(value);
}

double CompiledEquation::Impl::EngineValue(std::span<const double> x, bool& guardedFailure) {
  ScriptEngine& engine = engine_;
  for (std::size_t i = 0; i < dimension_; ++i) engine.AddCode(names_[i] + " = " + ExactText(x[i]));
  const bool before = library_->Error();
  library_->SetError(false);
  try {
    const std::optional<double> value = ToDouble(engine.Eval(FunctionCall()));
    guardedFailure = library_->Error();
    library_->SetError(before || guardedFailure);
    // A result that is no number (a text) is a type mismatch, as Evaluate's callers count it.
    if (!value) throw ScriptError(ErrorNumber::TypeMismatch);
    return *value;
  } catch (...) {
    library_->SetError(before || library_->Error());
    throw;
  }
}

EquationResult CompiledEquation::Impl::EvaluateByEngine(std::span<const double> x, std::span<double> gradient) {
  bool guardedFailure = false;
  double value;
  try {
    value = EngineValue(x, guardedFailure);
  } catch (const ScriptError& error) {
    return Fault(EquationFault::ScriptError, error.Description(), 0, gradient);
  }
  if (!std::isfinite(value)) return Fault(EquationFault::NotFinite, std::string(kNotFiniteValue), value, gradient);
  if (gradient.empty()) return Success(value);
  if (guardedFailure) {
    return Fault(EquationFault::NoDerivative, "The equation" + std::string(kGuardedFailureSuffix), value, gradient);
  }

  std::vector<double> at(x.begin(), x.end());
  for (std::size_t i = 0; i < dimension_; ++i) {
    const double step = kStepScale * std::max(1.0, std::fabs(x[i]));
    // The difference of the two representable neighbours, not 2 * step.
    const double up = x[i] + step;
    const double down = x[i] - step;
    std::string problem;
    try {
      bool failedUp = false;
      bool failedDown = false;
      at[i] = up;
      const double fUp = EngineValue(at, failedUp);
      at[i] = down;
      const double fDown = EngineValue(at, failedDown);
      gradient[i] = (fUp - fDown) / (up - down);
      if (failedUp || failedDown) {
        problem = "a library function failed (Error is set)";
      } else if (!std::isfinite(gradient[i])) {
        problem = kNotFiniteDerivative;
      }
    } catch (const ScriptError& error) {
      problem = error.Description();
    }
    at[i] = x[i];
    if (!problem.empty()) {
      return Fault(EquationFault::NoDerivative, std::string(kCentralFailurePrefix) + names_[i] + ": " + problem,
                   value, gradient);
    }
  }
  return Success(value);
}

// ---- systems ----------------------------------------------------------------

CompiledSystem::CompiledSystem(std::span<const std::string> equations, std::span<const std::string> names,
                               std::shared_ptr<ClsMath> library)
    : names_(names.begin(), names.end()) {
  equations_.reserve(equations.size());
  for (const std::string& text : equations) equations_.emplace_back(text, names_, library);
}

CompiledSystem::CompiledSystem(std::vector<CompiledEquation> equations, std::span<const std::string> names)
    : names_(names.begin(), names.end()), equations_(std::move(equations)) {
  for (const CompiledEquation& equation : equations_) {
    assert(equation.Dimension() == names_.size() && "each equation is compiled with the system's names");
    (void)equation;
  }
}

Derivatives CompiledSystem::Method() const {
  for (const CompiledEquation& e : equations_) {
    if (e.Method() == Derivatives::CentralDifferences) return Derivatives::CentralDifferences;
  }
  return Derivatives::Exact;
}

namespace {

// The first equation that failed decides the status.
void NoteFault(EvaluationStatus& status, std::size_t equation, const EquationResult& result) {
  if (result.fault == EquationFault::None || !status.ok) return;
  status.ok = false;
  status.failedEquation = static_cast<int>(equation);
  status.fault = result.fault;
  status.description = result.description;
}

}  // namespace

EvaluationStatus CompiledSystem::Evaluate(std::span<const double> x, std::span<double> f,
                                          std::span<double> jacobian) {
  const std::size_t n = names_.size();
  assert(f.size() == equations_.size());
  assert(jacobian.empty() || jacobian.size() == equations_.size() * n);
  EvaluationStatus status;
  status.derivatives = Method();
  results_.resize(equations_.size());
  for (std::size_t i = 0; i < equations_.size(); ++i) {
    const std::span<double> row = jacobian.empty() ? std::span<double>() : jacobian.subspan(i * n, n);
    results_[i] = equations_[i].Evaluate(x, row);
    const EquationResult& r = results_[i];
    f[i] = r.value;
    NoteFault(status, i, r);
  }
  return status;
}

}  // namespace eval

namespace eval {

EvaluationStatus CompiledSystem::Evaluate(std::span<const double> x, std::span<double> f,
                                          std::span<double> jacobian, std::span<double> bounds) {
  const std::size_t n = names_.size();
  assert(f.size() == equations_.size() && bounds.size() == equations_.size());
  assert(jacobian.size() == equations_.size() * n);
  EvaluationStatus status;
  status.derivatives = Method();
  results_.resize(equations_.size());
  for (std::size_t i = 0; i < equations_.size(); ++i) {
    results_[i] = equations_[i].Evaluate(x, jacobian.subspan(i * n, n), bounds[i]);
    const EquationResult& r = results_[i];
    f[i] = r.value;
    NoteFault(status, i, r);
  }
  return status;
}

EnclosureStatus CompiledSystem::EncloseEquation(int i, std::span<const Interval> box, Interval& value,
                                                std::span<Interval> gradient) {
  EnclosureStatus status = equations_[static_cast<std::size_t>(i)].Enclose(box, value, gradient);
  if (!status.ok) status.failedEquation = i;
  return status;
}

EnclosureStatus CompiledSystem::Enclose(std::span<const Interval> box, std::span<Interval> values,
                                        std::span<Interval> jacobian) {
  const std::size_t n = names_.size();
  assert(box.size() == n && values.size() == equations_.size() && jacobian.size() == equations_.size() * n);
  for (std::size_t i = 0; i < equations_.size(); ++i) {
    EnclosureStatus status = equations_[i].Enclose(box, values[i], jacobian.subspan(i * n, n));
    if (!status.ok) {
      status.failedEquation = static_cast<int>(i);
      return status;
    }
  }
  return {};
}

}  // namespace eval
