#include <algorithm>
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

  // `engine` has the unknowns assigned (global slots as in `unknownOf`) and
  // nothing else of the equation's own: its Function is named by the folded
  // name alone. The tape's columns are the unknowns the expression uses.
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
    // The equation's own Function, which its engine would have defined.
    if (e.name->folded == kFunctionFolded) throw Uncovered{"calls " + written};
    const NameMeaning meaning = engine_.Resolve(e.name->folded);
    switch (meaning.kind) {
      case NameKind::Variable: {
        const auto unknown = unknownOf_.find(meaning.index);
        if (unknown == unknownOf_.end()) throw Uncovered{"reads the variable " + written};
        if (call) throw Uncovered{"calls the unknown " + written};
        const std::span<const std::uint32_t> columns = tape_.Columns();
        const auto local = std::lower_bound(columns.begin(), columns.end(), unknown->second);
        assert(local != columns.end() && *local == unknown->second && "UsedUnknowns found every unknown read");
        Operand o;
        o.slot = static_cast<std::uint32_t>(local - columns.begin());
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

// The unknowns (coordinates) an expression reads by name, ascending, found
// without recursing (a sum of any length is one long left chain). A name
// Builder refuses may be among them: then nothing is built anyway.
std::vector<std::uint32_t> UsedUnknowns(const Expr& root, const ScriptEngine& engine,
                                        const Builder::UnknownMap& unknownOf) {
  std::vector<std::uint32_t> used;
  std::vector<const Expr*> pending{&root};
  while (!pending.empty()) {
    const Expr* e = pending.back();
    pending.pop_back();
    switch (e->kind) {
      case ExprKind::Name:
        if (e->localSlot < 0 && e->name->folded != kFunctionFolded) {
          const NameMeaning meaning = engine.Resolve(e->name->folded);
          if (meaning.kind == NameKind::Variable) {
            if (const auto unknown = unknownOf.find(meaning.index); unknown != unknownOf.end()) {
              used.push_back(unknown->second);
            }
          }
        }
        break;
      case ExprKind::Call:
        for (std::uint32_t k = 0; k < e->argCount; ++k) pending.push_back(e->args[k]);
        break;
      case ExprKind::Unary:
        pending.push_back(e->left);
        break;
      case ExprKind::Binary:
        pending.push_back(e->right);
        pending.push_back(e->left);
        break;
      case ExprKind::Literal:
      case ExprKind::Member:
        break;
    }
  }
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  return used;
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

struct CompiledNames::Impl {
  std::vector<std::string> names;
  std::shared_ptr<ClsMath> library;
  ScriptEngine engine;  // the unknowns assigned; never an equation's code
  Builder::UnknownMap unknownOf;
  std::string uncovered;  // why no equation over these names is compiled; empty when none
};

CompiledNames::CompiledNames(std::span<const std::string> names, std::shared_ptr<ClsMath> library)
    : impl_(std::make_unique<Impl>()) {
  assert(library != nullptr);
  Impl& self = *impl_;
  self.names.assign(names.begin(), names.end());
  self.library = std::move(library);
  self.engine.SetLanguage(kLanguage);
  self.engine.AddObject(kLibraryName, self.library, true);
  for (const std::string& name : self.names) self.engine.AssignNumber(name, std::string_view("0"));
  try {
    // Each unknown is the global variable its assignment made (the name as
    // the engine's parser reads it, blanks around it dropped). A name the
    // library takes for itself (a property such as Error) makes none, nor
    // does the name of the equation's own Function, which the definition
    // makes a function. Of a name given twice, the later assignment is the
    // one the engine keeps.
    for (std::size_t i = 0; i < self.names.size(); ++i) {
      const std::string folded = ParsedName(self.names[i]);
      const NameMeaning meaning = self.engine.Resolve(folded);
      if (meaning.kind != NameKind::Variable || folded == kFunctionFolded) {
        throw Uncovered{"has an unknown named " + folded};
      }
      self.unknownOf[meaning.index] = static_cast<std::uint32_t>(i);
    }
  } catch (const Uncovered& uncovered) {
    self.uncovered = uncovered.reason;
    self.unknownOf.clear();
  }
}

CompiledNames::~CompiledNames() = default;
std::span<const std::string> CompiledNames::Names() const { return impl_->names; }
const std::shared_ptr<ClsMath>& CompiledNames::Library() const { return impl_->library; }

struct CompiledEquation::Impl {
  Impl(std::string_view text, std::shared_ptr<CompiledNames> unknowns);
  // Everything from the tape, with x known to be finite or not.
  EquationResult Evaluate(std::span<const double> x, std::span<double> gradient, double* bound, bool finite);
  EquationResult EvaluateRow(std::span<const double> x, std::span<double> row, double* bound, bool finite);
  EquationResult RunTape(std::span<const double> x, std::span<double> gradient, double* bound);
  double EngineValue(std::span<const double> x, bool& guardedFailure);
  EquationResult EvaluateByEngine(std::span<const double> x, std::span<double> gradient);
  void PrepareEngine(const std::string& definition);

  std::shared_ptr<CompiledNames> unknowns_;  // the names and the library, shared by the system's equations
  std::size_t dimension_ = 0;
  std::unique_ptr<ScriptEngine> engine_;  // the fallback evaluator, only when falling back
  std::unique_ptr<CompiledTape> tape_;    // null when falling back
  std::vector<std::uint32_t> columns_;    // the unknowns used; all of them when falling back
  std::vector<double> local_;             // the tape's partials, before they are scattered
  std::string fallbackReason_;
};

// Evaluate's add-code steps in a private engine, exactly as the input step
// prepares an equation's; a fault throws the same ScriptError.
void CompiledEquation::Impl::PrepareEngine(const std::string& definition) {
  const CompiledNames::Impl& shared = *unknowns_->impl_;
  auto engine = std::make_unique<ScriptEngine>();
  engine->SetLanguage(kLanguage);
  engine->AddObject(kLibraryName, shared.library, true);
  for (const std::string& name : shared.names) engine->AssignNumber(name, std::string_view("0"));
  engine->AddCode(definition);
  engine_ = std::move(engine);
}

CompiledEquation::Impl::Impl(std::string_view text, std::shared_ptr<CompiledNames> unknowns)
    : unknowns_(std::move(unknowns)), dimension_(unknowns_->impl_->names.size()) {
  CompiledNames::Impl& shared = *unknowns_->impl_;
  const std::string definition = FunctionDefinition(text);
  // The tree AddCode would run, its compile errors as AddCode's. Code with
  // global statements runs when added: only a private engine may run it.
  const std::shared_ptr<const Program> program = shared.engine.CompiledCode(definition);
  try {
    if (!shared.uncovered.empty()) throw Uncovered{shared.uncovered};
    if (!program->topLevel.empty()) throw Uncovered{"holds statements or a Function of its own"};
    const Expr& expression = SingleExpression(*program);
    auto tape = std::make_unique<CompiledTape>(dimension_, UsedUnknowns(expression, shared.engine, shared.unknownOf),
                                               *shared.library);
    Builder builder(*tape, shared.engine, shared.unknownOf, *shared.library);
    const Builder::Operand result = builder.Build(expression);
    tape->SetResult(builder.Slot(result), result.varies);
    tape_ = std::move(tape);
    columns_.assign(tape_->Columns().begin(), tape_->Columns().end());
    local_.resize(columns_.size());
  } catch (const Uncovered& uncovered) {
    PrepareEngine(definition);
    fallbackReason_ = "The equation " + uncovered.reason;
    columns_.resize(dimension_);
    for (std::size_t i = 0; i < dimension_; ++i) columns_[i] = static_cast<std::uint32_t>(i);
  }
}

CompiledEquation::CompiledEquation(std::string_view text, std::span<const std::string> names,
                                   std::shared_ptr<ClsMath> library)
    : impl_(std::make_unique<Impl>(text, std::make_shared<CompiledNames>(names, std::move(library)))) {}
CompiledEquation::CompiledEquation(std::string_view text, std::shared_ptr<CompiledNames> unknowns)
    : impl_(std::make_unique<Impl>(text, std::move(unknowns))) {}
CompiledEquation::~CompiledEquation() = default;
CompiledEquation::CompiledEquation(CompiledEquation&&) noexcept = default;
CompiledEquation& CompiledEquation::operator=(CompiledEquation&&) noexcept = default;

std::size_t CompiledEquation::Dimension() const { return impl_->dimension_; }

Derivatives CompiledEquation::Method() const {
  return impl_->tape_ ? Derivatives::Exact : Derivatives::CentralDifferences;
}

const std::string& CompiledEquation::FallbackReason() const { return impl_->fallbackReason_; }

std::span<const std::uint32_t> CompiledEquation::Columns() const { return impl_->columns_; }

EquationResult CompiledEquation::Evaluate(std::span<const double> x, std::span<double> gradient) {
  return impl_->Evaluate(x, gradient, nullptr, AllFinite(x));
}

EquationResult CompiledEquation::Evaluate(std::span<const double> x, std::span<double> gradient, double& bound) {
  assert(!gradient.empty());
  return impl_->Evaluate(x, gradient, &bound, AllFinite(x));
}

EquationResult CompiledEquation::EvaluateRow(std::span<const double> x, std::span<double> row, double* bound) {
  return impl_->EvaluateRow(x, row, bound, true);
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
  std::vector<Interval> local(impl_->columns_.size());
  impl_->tape_->RunIntervals(box, value, local, outcome);
  using Failure = CompiledTape::IntervalOutcome::Failure;
  // Partials along unknowns the equation does not use are exactly 0, unless
  // nothing is known of the partials (then each is the whole line).
  const bool smooth = outcome.failure == Failure::None && outcome.coverage == Coverage::Smooth;
  for (Interval& g : gradient) g = smooth ? Interval(0.0) : Interval::WholeLine();
  for (std::size_t k = 0; k < local.size(); ++k) gradient[impl_->columns_[k]] = local[k];
  if (smooth) return status;
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
                                                double* bound, bool finite) {
  assert(x.size() == dimension_);
  assert(gradient.empty() || gradient.size() == dimension_);
  // Without a tape the row spans every unknown; a coordinate not finite
  // spoils the whole dense gradient, whatever the columns.
  if (!tape_) return EvaluateRow(x, gradient, bound, finite);
  if (bound != nullptr) *bound = std::numeric_limits<double>::infinity();
  if (!finite) return Fault(EquationFault::NotFinite, std::string(kNotFiniteCoordinate), 0, gradient);
  if (gradient.empty()) return RunTape(x, gradient, nullptr);  // the solvers' most frequent call
  // Ascending and distinct: as many columns as unknowns are all of them, in order.
  const bool usesAll = columns_.size() == dimension_;
  EquationResult result = RunTape(x, usesAll ? gradient : std::span<double>(local_), bound);
  if (bound != nullptr && result.fault != EquationFault::None) *bound = std::numeric_limits<double>::infinity();
  if (usesAll) return result;
  const double unused = result.fault == EquationFault::None ? 0.0 : std::numeric_limits<double>::quiet_NaN();
  for (double& g : gradient) g = unused;
  for (std::size_t k = 0; k < columns_.size(); ++k) gradient[columns_[k]] = local_[k];
  return result;
}

// Any coordinate not finite is a fault of every equation, as the engine's
// road counts it (a coordinate has no text to assign).
EquationResult CompiledEquation::Impl::EvaluateRow(std::span<const double> x, std::span<double> row, double* bound,
                                                   bool finite) {
  assert(x.size() == dimension_);
  assert(row.empty() || row.size() == columns_.size());
  assert(bound == nullptr || row.size() == columns_.size());
  if (bound != nullptr) *bound = std::numeric_limits<double>::infinity();
  if (!finite) return Fault(EquationFault::NotFinite, std::string(kNotFiniteCoordinate), 0, row);
  if (!tape_) {
    if (!AllFinite(x)) return Fault(EquationFault::NotFinite, std::string(kNotFiniteCoordinate), 0, row);
    return EvaluateByEngine(x, row);
  }
  EquationResult result = RunTape(x, row, bound);
  if (bound != nullptr && result.fault != EquationFault::None) *bound = std::numeric_limits<double>::infinity();
  return result;
}

EquationResult CompiledEquation::Impl::RunTape(std::span<const double> x, std::span<double> gradient,
                                               double* bound) {
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
  ScriptEngine& engine = *engine_;
  const std::vector<std::string>& names = unknowns_->impl_->names;
  ClsMath* library = unknowns_->impl_->library.get();
  for (std::size_t i = 0; i < dimension_; ++i) engine.AddCode(names[i] + " = " + ExactText(x[i]));
  const bool before = library->Error();
  library->SetError(false);
  try {
    const std::optional<double> value = ToDouble(engine.Eval(FunctionCall()));
    guardedFailure = library->Error();
    library->SetError(before || guardedFailure);
    // A result that is no number (a text) is a type mismatch, as Evaluate's callers count it.
    if (!value) throw ScriptError(ErrorNumber::TypeMismatch);
    return *value;
  } catch (...) {
    library->SetError(before || library->Error());
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
      return Fault(EquationFault::NoDerivative,
                   std::string(kCentralFailurePrefix) + unknowns_->impl_->names[i] + ": " + problem,
                   value, gradient);
    }
  }
  return Success(value);
}

// ---- systems ----------------------------------------------------------------

CompiledSystem::CompiledSystem(std::span<const std::string> equations, std::span<const std::string> names,
                               std::shared_ptr<ClsMath> library)
    : names_(names.begin(), names.end()) {
  const auto unknowns = std::make_shared<CompiledNames>(names, std::move(library));
  equations_.reserve(equations.size());
  for (const std::string& text : equations) equations_.emplace_back(text, unknowns);
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
  const bool finite = AllFinite(x);
  for (std::size_t i = 0; i < equations_.size(); ++i) {
    const std::span<double> row = jacobian.empty() ? std::span<double>() : jacobian.subspan(i * n, n);
    results_[i] = equations_[i].impl_->Evaluate(x, row, nullptr, finite);
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
  const bool finite = AllFinite(x);
  for (std::size_t i = 0; i < equations_.size(); ++i) {
    results_[i] = equations_[i].impl_->Evaluate(x, jacobian.subspan(i * n, n), &bounds[i], finite);
    const EquationResult& r = results_[i];
    f[i] = r.value;
    NoteFault(status, i, r);
  }
  return status;
}

SparseJacobian CompiledSystem::Pattern() const {
  SparseJacobian pattern;
  pattern.rowCount = Count();
  pattern.columnCount = Dimension();
  pattern.rowStart.reserve(equations_.size() + 1);
  pattern.rowStart.push_back(0);
  for (const CompiledEquation& equation : equations_) {
    const std::span<const std::uint32_t> columns = equation.Columns();
    pattern.columns.insert(pattern.columns.end(), columns.begin(), columns.end());
    pattern.rowStart.push_back(pattern.columns.size());
  }
  pattern.values.assign(pattern.columns.size(), 0.0);
  return pattern;
}

EvaluationStatus CompiledSystem::Evaluate(std::span<const double> x, std::span<double> f, SparseJacobian& jacobian,
                                          std::span<double> bounds) {
  assert(x.size() == names_.size() && f.size() == equations_.size());
  assert(bounds.empty() || bounds.size() == equations_.size());
  assert(jacobian.rowCount == Count() && jacobian.rowStart.size() == equations_.size() + 1);
  assert(jacobian.values.size() == jacobian.rowStart.back());
  EvaluationStatus status;
  status.derivatives = Method();
  results_.resize(equations_.size());
  const bool finite = AllFinite(x);
  for (std::size_t i = 0; i < equations_.size(); ++i) {
    const std::size_t start = jacobian.rowStart[i];
    const std::span<double> row(jacobian.values.data() + start, jacobian.rowStart[i + 1] - start);
    assert(row.size() == equations_[i].Columns().size());
    results_[i] = equations_[i].impl_->EvaluateRow(x, row, bounds.empty() ? nullptr : &bounds[i], finite);
    f[i] = results_[i].value;
    NoteFault(status, i, results_[i]);
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
