#include "ScriptEngine.h"

#include <array>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Ast.h"
#include "Builtins.h"
#include "Lexer.h"
#include "Operators.h"
#include "Parser.h"
#include "ScriptError.h"

namespace eval {
namespace {

constexpr std::string_view kLanguage = "vbscript";

// Deepest evaluation (expression levels, across calls) and deepest chain of
// script function calls; beyond either, Out of stack space. Measured under
// AddressSanitizer without optimisation (the largest frames): about 1.6 KB per
// expression level and 6 KB per call, so the worst case stays near 3 MB, well
// inside an 8 MB stack. Optimised builds need about a sixth of that.
constexpr int kMaxEvalDepth = 1500;
constexpr int kMaxCallDepth = 250;

// Texts held in variables (globals and the locals of running calls) and texts
// one AddCode or Eval may produce in total: beyond either, "Out of string
// space". With the 64 MiB limit of a single text they bound the memory code
// can take, however it copies and joins.
constexpr std::size_t kMaxStoredTextBytes = std::size_t{256} << 20;
constexpr std::size_t kMaxTextWorkBytes = std::size_t{1} << 30;

// Compiled code is kept per exact text, so the evaluator's repeated
// definitions of one function are compiled once. Long texts are not kept and
// the whole cache is dropped when it fills: texts that vary with every call
// cannot grow it without bound.
constexpr std::size_t kMaxCachedPrograms = 256;
constexpr std::size_t kMaxCachedTextBytes = 4096;

// The longest name the `name = number` shortcut folds on the stack; longer
// names take the general road.
constexpr std::size_t kMaxFastName = 64;

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

ScriptError NamedError(ErrorNumber number, const NameRef& name) {
  return ScriptError(number, std::string(DescriptionOf(number)) + ": '" + name.written + "'");
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The compiled code of a text, from the cache when it was compiled before.
// The last text of each kind is checked first: the evaluator adds the same
// function text and evaluates the same call over and over, and a compare is
// cheaper than hashing the text.
struct CodeCache {
  TextMap<std::shared_ptr<const Program>> programs;
  std::string lastText;
  std::shared_ptr<const Program> lastProgram;
  std::shared_ptr<const Program> uncached;  // the last text too long to keep
};

}  // namespace

struct ScriptEngine::Impl {
  struct Global {
    std::string written;
    bool isFunction = false;
    Value value;
    std::shared_ptr<const Program> program;  // keeps `function` alive
    const FunctionDef* function = nullptr;
  };

  struct Object {
    std::string written;
    std::string folded;
    std::shared_ptr<ScriptObject> object;
    bool addMembers = false;
    std::span<const MemberInfo> members;
    TextMap<std::uint32_t> memberIndex;  // folded member name -> index, first wins
  };

  // Where the names of the running code live: a function's locals start at
  // `base` in `locals`; global code has no function.
  struct Frame {
    const FunctionDef* function = nullptr;
    std::size_t base = 0;
  };

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

  std::string language;
  std::vector<Global> globals;
  TextMap<std::uint32_t> globalIndex;
  std::vector<Object> objects;
  TextMap<std::pair<std::uint32_t, std::uint32_t>> globalMembers;  // first object wins
  std::uint64_t generation = 1;

  std::vector<Value> locals;
  std::vector<std::uint8_t> live;  // per local: assigned (or declared) yet
  std::vector<Value> argStack;
  int evalDepth = 0;
  int callDepth = 0;
  std::size_t storedTextBytes = 0;  // in globals and live locals
  std::size_t textWorkBytes = 0;    // produced by the running AddCode or Eval

  // Per engine: compiled code remembers this engine's name lookups.
  CodeCache codeCache;
  CodeCache expressionCache;

  // ---- text accounting ----

  static std::size_t TextSize(const Value& v) { return v.IsString() ? v.AsString().size() : 0; }

  // Every store into a variable goes through here.
  void Store(Value& slot, Value value) {
    const std::size_t added = TextSize(value);
    const std::size_t removed = TextSize(slot);
    if (added > removed && storedTextBytes - removed + added > kMaxStoredTextBytes) {
      throw ScriptError(ErrorNumber::OutOfStringSpace);
    }
    storedTextBytes = storedTextBytes - removed + added;
    slot = std::move(value);
  }

  // Moves a value out of a variable that is about to go away.
  Value Take(Value& slot) {
    storedTextBytes -= TextSize(slot);
    Value value = std::move(slot);
    slot = Value();
    return value;
  }

  void CountTextWork(const Value& v) {
    if (!v.IsString()) return;
    textWorkBytes += v.AsString().size();
    if (textWorkBytes > kMaxTextWorkBytes) throw ScriptError(ErrorNumber::OutOfStringSpace);
  }

  // ---- names ----

  void Resolve(const NameRef& name, Resolution& r) const {
    if (r.generation == generation) return;
    r.generation = generation;
    r.member = 0;
    if (auto it = globalIndex.find(name.folded); it != globalIndex.end()) {
      r.kind = ResolvedKind::Global;
      r.index = it->second;
    } else if (auto m = globalMembers.find(name.folded); m != globalMembers.end()) {
      r.kind = ResolvedKind::Member;
      r.index = m->second.first;
      r.member = m->second.second;
    } else if (auto o = FindObject(name.folded)) {
      r.kind = ResolvedKind::Object;
      r.index = *o;
    } else if (auto b = FindBuiltin(name.folded)) {
      r.kind = ResolvedKind::Builtin;
      r.index = *b;
    } else {
      r.kind = ResolvedKind::Unknown;
      r.index = 0;
    }
  }

  std::optional<std::uint32_t> FindObject(std::string_view folded) const {
    for (std::uint32_t k = 0; k < objects.size(); ++k) {
      if (objects[k].folded == folded) return k;
    }
    return std::nullopt;
  }

  std::uint32_t NewGlobal(const NameRef& name) {
    const auto slot = static_cast<std::uint32_t>(globals.size());
    globals.push_back(Global{name.written, false, Value(), nullptr, nullptr});
    globalIndex.emplace(name.folded, slot);
    ++generation;
    return slot;
  }

  void RebuildGlobalMembers() {
    globalMembers.clear();
    for (std::uint32_t k = 0; k < objects.size(); ++k) {
      if (!objects[k].addMembers) continue;
      for (const auto& [folded, member] : objects[k].memberIndex) {
        globalMembers.try_emplace(folded, k, member);
      }
    }
  }

  // ---- objects ----

  Value InvokeMember(std::uint32_t object, std::uint32_t member, std::span<const Value> args) {
    const Object& o = objects[object];
    const MemberInfo& info = o.members[member];
    if (args.size() < static_cast<std::size_t>(info.minArgs) ||
        (info.maxArgs != MemberInfo::kAnyCount && args.size() > static_cast<std::size_t>(info.maxArgs))) {
      throw ScriptError(ErrorNumber::WrongNumberOfArguments);
    }
    // Keep the object alive even if the call could replace it.
    const std::shared_ptr<ScriptObject> keep = o.object;
    return keep->Invoke(member, args);
  }

  void AssignMember(std::uint32_t object, std::uint32_t member, const Value& value) {
    const Object& o = objects[object];
    if (!o.members[member].writable) throw ScriptError(ErrorNumber::WrongNumberOfArguments);
    const std::shared_ptr<ScriptObject> keep = o.object;
    keep->Assign(member, value);
  }

  // The object and member an `object.member` expression names.
  std::pair<std::uint32_t, std::uint32_t> ResolveMember(const Expr& e, Frame frame) {
    if (frame.function && e.localSlot >= 0) {
      const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
      if (!e.implicitLocal || live[at]) throw NamedError(ErrorNumber::ObjectRequired, *e.name);
    }
    Resolve(*e.name, e.resolution);
    if (e.resolution.kind != ResolvedKind::Object) throw NamedError(ErrorNumber::ObjectRequired, *e.name);
    const std::uint32_t object = e.resolution.index;
    Resolution& m = e.memberResolution;
    if (m.generation != generation) {
      const auto& index = objects[object].memberIndex;
      const auto it = index.find(e.member->folded);
      if (it == index.end()) {
        throw ScriptError(ErrorNumber::ObjectDoesntSupport,
                          std::string(DescriptionOf(ErrorNumber::ObjectDoesntSupport)) + ": '" +
                              e.name->written + "." + e.member->written + "'");
      }
      m.generation = generation;
      m.kind = ResolvedKind::Member;
      m.index = object;
      m.member = it->second;
    }
    return {object, m.member};
  }

  // ---- evaluation ----

  // Evaluates the arguments onto argStack; the caller keeps a StackMark.
  std::span<const Value> PushArguments(const Expr& call, Frame frame) {
    const std::size_t base = argStack.size();
    for (std::uint32_t k = 0; k < call.argCount; ++k) {
      Value v = Eval(*call.args[k], frame);
      argStack.push_back(std::move(v));
    }
    return {argStack.data() + base, call.argCount};
  }

  // The evaluator's recursion runs through Eval and one helper per node kind;
  // each keeps only its own few values on the stack, so that the depth limits
  // above hold a small, known amount of stack.
  Value Eval(const Expr& e, Frame frame) {
    DepthGuard guard(evalDepth, kMaxEvalDepth);
    Value v = EvalNode(e, frame);
    CountTextWork(v);
    return v;
  }

  Value EvalNode(const Expr& e, Frame frame) {
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

  [[gnu::noinline]] Value EvalUnary(const Expr& e, Frame frame) {
    if (const Value* operand = Leaf(*e.left, frame)) return ApplyUnary(e.op, *operand);
    const Value operand = Eval(*e.left, frame);
    return ApplyUnary(e.op, operand);
  }

  // The value of an operand that is a literal or a variable, in place, or
  // nullptr when the operand needs evaluating (it may run code). Reading it
  // has no effects, so it may be read before or after the other operand; the
  // pointer is good until code runs (a call may move the locals).
  const Value* Leaf(const Expr& e, Frame frame) {
    if (e.kind == ExprKind::Literal) return e.literal;
    if (e.kind != ExprKind::Name) return nullptr;
    if (frame.function && e.localSlot >= 0) {
      const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
      if (!e.implicitLocal || live[at]) return &locals[at];
    }
    Resolve(*e.name, e.resolution);
    if (e.resolution.kind != ResolvedKind::Global) return nullptr;
    const Global& g = globals[e.resolution.index];
    return g.isFunction ? nullptr : &g.value;
  }

  // Operands left to right, without copying those that are literals or
  // variables: equations are mostly such operands.
  [[gnu::noinline]] Value EvalBinary(const Expr& e, Frame frame) {
    if (const Value* left = Leaf(*e.left, frame)) {
      if (const Value* right = Leaf(*e.right, frame)) return ApplyBinary(e.op, *left, *right);
      if (e.left->kind == ExprKind::Literal) {  // a literal cannot change meanwhile
        const Value right = Eval(*e.right, frame);
        return ApplyBinary(e.op, *left, right);
      }
    }
    const Value left = Eval(*e.left, frame);
    if (const Value* right = Leaf(*e.right, frame)) return ApplyBinary(e.op, left, *right);
    const Value right = Eval(*e.right, frame);
    return ApplyBinary(e.op, left, right);
  }

  [[gnu::noinline]] Value MemberCall(const Expr& e, Frame frame) {
    const auto [object, member] = ResolveMember(e, frame);
    StackMark mark(argStack);
    return InvokeMember(object, member, PushArguments(e, frame));
  }

  // A name without arguments: a local, a global variable, or a call of a
  // function, member or built-in without arguments; Empty when unknown.
  Value ReadName(const Expr& e, Frame frame) {
    if (frame.function && e.localSlot >= 0) {
      const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
      if (!e.implicitLocal || live[at]) return locals[at];
    }
    Resolve(*e.name, e.resolution);
    switch (e.resolution.kind) {
      case ResolvedKind::Global: {
        const Global& g = globals[e.resolution.index];
        if (!g.isFunction) return g.value;
        return CallScript(*g.function, e, frame);
      }
      case ResolvedKind::Member:
        return InvokeMember(e.resolution.index, e.resolution.member, {});
      case ResolvedKind::Object:
        // An object has no value of its own (no default member).
        throw NamedError(ErrorNumber::ObjectDoesntSupport, *e.name);
      case ResolvedKind::Builtin:
        return CallBuiltin(e.resolution.index, {});
      case ResolvedKind::Unknown:
        break;
    }
    return Value();
  }

  // name(args): a script function, a member or a built-in; anything else is
  // "Type mismatch: 'name'".
  Value Call(const Expr& e, Frame frame) {
    if (frame.function && e.localSlot >= 0) {
      const std::size_t at = frame.base + static_cast<std::size_t>(e.localSlot);
      if (!e.implicitLocal || live[at]) throw NamedError(ErrorNumber::TypeMismatch, *e.name);
    }
    Resolve(*e.name, e.resolution);
    switch (e.resolution.kind) {
      case ResolvedKind::Global: {
        const Global& g = globals[e.resolution.index];
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
  [[gnu::noinline]] Value CallNative(const Expr& e, Frame frame) {
    StackMark mark(argStack);
    const std::span<const Value> args = PushArguments(e, frame);
    if (e.resolution.kind == ResolvedKind::Builtin) return CallBuiltin(e.resolution.index, args);
    return InvokeMember(e.resolution.index, e.resolution.member, args);
  }

  // Restores the argument and local stacks when a call ends, also by an error.
  struct CallMark {
    explicit CallMark(Impl& impl)
        : impl_(impl), args_(impl.argStack.size()), locals_(impl.locals.size()) {}
    ~CallMark() {
      impl_.argStack.resize(args_);
      for (std::size_t k = locals_; k < impl_.locals.size(); ++k) {
        impl_.storedTextBytes -= TextSize(impl_.locals[k]);
      }
      impl_.locals.resize(locals_);
      impl_.live.resize(locals_);
    }
    Impl& impl_;
    std::size_t args_;
    std::size_t locals_;
  };

  [[gnu::noinline]] Value CallScript(const FunctionDef& function, const Expr& call, Frame caller) {
    if (call.argCount != function.params.size()) throw ScriptError(ErrorNumber::WrongNumberOfArguments);
    DepthGuard guard(callDepth, kMaxCallDepth);
    CallMark mark(*this);
    PushArguments(call, caller);

    const std::size_t base = locals.size();
    locals.resize(base + function.localCount);
    live.resize(base + function.localCount);
    for (std::uint32_t k = 0; k < function.localCount; ++k) {
      live[base + k] = function.implicitSlots[k] ? 0 : 1;
    }
    for (std::size_t k = 0; k < function.params.size(); ++k) {
      Store(locals[base + 1 + k], std::move(argStack[mark.args_ + k]));
    }

    const Frame frame{&function, base};
    for (const Stmt* stmt : function.body) {
      if (Exec(*stmt, frame)) break;
    }

    // ByRef parameters hand their final value back to a variable passed as is.
    for (std::size_t k = 0; k < function.params.size(); ++k) {
      const Expr& arg = *call.args[k];
      if (function.params[k].byRef && arg.kind == ExprKind::Name && !arg.parenthesized) {
        WriteBack(arg, caller, locals[base + 1 + k]);
      }
    }
    return Take(locals[base]);
  }

  void WriteBack(const Expr& name, Frame frame, const Value& value) {
    if (frame.function && name.localSlot >= 0) {
      const std::size_t at = frame.base + static_cast<std::size_t>(name.localSlot);
      if (!name.implicitLocal || live[at]) {
        Store(locals[at], value);
        return;
      }
    }
    Resolve(*name.name, name.resolution);
    if (name.resolution.kind == ResolvedKind::Global && !globals[name.resolution.index].isFunction) {
      Store(globals[name.resolution.index].value, value);
    }
  }

  // ---- statements ----

  // Runs one statement; true when it leaves the function (Exit Function).
  bool Exec(const Stmt& s, Frame frame) {
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
  [[gnu::noinline]] void ExecDim(const Stmt& s) {
    for (const NameRef* name : s.names) {
      const auto it = globalIndex.find(name->folded);
      if (it == globalIndex.end()) {
        NewGlobal(*name);
      } else if (globals[it->second].isFunction) {
        throw NamedError(ErrorNumber::NameRedefined, *name);
      }
    }
  }

  [[gnu::noinline]] void ExecAssign(const Stmt& s, Frame frame) { Assign(s, frame, Eval(*s.value, frame)); }

  [[gnu::noinline]] void ExecMemberAssign(const Stmt& s, Frame frame) {
    const Value value = Eval(*s.value, frame);
    const auto [object, member] = ResolveMember(*s.target, frame);
    AssignMember(object, member, value);
  }

  void Assign(const Stmt& s, Frame frame, Value value) {
    std::size_t localAt = 0;
    const bool inFunction = frame.function && s.localSlot >= 0;
    if (inFunction) {
      localAt = frame.base + static_cast<std::size_t>(s.localSlot);
      if (!s.implicitLocal || live[localAt]) {
        Store(locals[localAt], std::move(value));
        return;
      }
    }
    // A name not declared in the function, or global code: an existing global
    // variable, else a writable member, else a new variable (a local inside a
    // function, a global outside).
    Resolve(*s.name, s.resolution);
    switch (s.resolution.kind) {
      case ResolvedKind::Global: {
        Global& g = globals[s.resolution.index];
        if (g.isFunction) throw NamedError(ErrorNumber::IllegalAssignment, *s.name);
        Store(g.value, std::move(value));
        return;
      }
      case ResolvedKind::Member:
        if (objects[s.resolution.index].members[s.resolution.member].writable) {
          AssignMember(s.resolution.index, s.resolution.member, value);
          return;
        }
        break;
      default:
        break;
    }
    if (inFunction) {
      Store(locals[localAt], std::move(value));
      live[localAt] = 1;
      return;
    }
    // Checked before the name appears, so a failure leaves no new name behind.
    Value stored;
    Store(stored, std::move(value));
    globals[NewGlobal(*s.name)].value = std::move(stored);
  }

  // ---- code ----

  // `name = number` (what the evaluator adds for every unknown) without
  // compiling; returns false for anything else, which then takes the general
  // road with exactly the same outcome.
  bool TryFastAssignment(std::string_view code) {
    std::size_t k = 0;
    while (k < code.size() && IsBlank(code[k])) ++k;
    if (k >= code.size() || !IsAsciiLetter(code[k])) return false;
    const std::size_t nameStart = k;
    while (k < code.size() && IsNameChar(code[k])) ++k;
    const std::string_view name = code.substr(nameStart, k - nameStart);
    if (name.size() > kMaxFastName || KeywordOf(name) != Keyword::None) return false;
    std::array<char, kMaxFastName> buffer;
    for (std::size_t i = 0; i < name.size(); ++i) {
      const char c = name[i];
      buffer[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view folded(buffer.data(), name.size());
    if (folded == "rem") return false;

    while (k < code.size() && IsBlank(code[k])) ++k;
    if (k >= code.size() || code[k] != '=') return false;
    ++k;
    while (k < code.size() && IsBlank(code[k])) ++k;
    bool negative = false;
    if (k < code.size() && code[k] == '-') {
      negative = true;
      ++k;
    }
    if (k >= code.size() || !((code[k] >= '0' && code[k] <= '9') || code[k] == '.')) return false;
    Value value;
    std::size_t used = 0;
    try {
      used = ReadDecimalLiteral(code.substr(k), k, value);
    } catch (const ScriptError&) {
      return false;
    }
    if (used == 0) return false;
    k += used;
    while (k < code.size() && IsBlank(code[k])) ++k;
    if (k != code.size()) return false;
    if (negative) value = ApplyUnary(Op::Negate, value);

    const auto it = globalIndex.find(folded);
    if (it != globalIndex.end()) {
      Global& g = globals[it->second];
      if (g.isFunction) return false;
      Store(g.value, std::move(value));
      return true;
    }
    if (globalMembers.find(folded) != globalMembers.end()) return false;
    globals[NewGlobal(NameRef{std::string(name), std::string(folded)})].value = std::move(value);
    return true;
  }

  // The returned pointer stays put until the next Compile with the same cache.
  static const std::shared_ptr<const Program>& Compile(
      CodeCache& cache, std::string_view text, std::shared_ptr<Program> (*parse)(std::string_view)) {
    if (cache.lastProgram && text == cache.lastText) return cache.lastProgram;
    std::shared_ptr<const Program> program;
    if (auto it = cache.programs.find(text); it != cache.programs.end()) {
      program = it->second;
    } else {
      program = parse(text);
      if (text.size() > kMaxCachedTextBytes) {
        cache.uncached = std::move(program);
        return cache.uncached;
      }
      if (cache.programs.size() >= kMaxCachedPrograms) cache.programs.clear();
      cache.programs.emplace(std::string(text), program);
    }
    cache.lastText.assign(text);
    cache.lastProgram = std::move(program);
    return cache.lastProgram;
  }

  void Install(const std::shared_ptr<const Program>& program) {
    for (const FunctionDef& def : program->functions) {
      std::uint32_t slot;
      if (def.slot.generation == generation) {
        slot = def.slot.index;
      } else if (auto it = globalIndex.find(def.name->folded); it != globalIndex.end()) {
        slot = it->second;
      } else {
        slot = NewGlobal(*def.name);
      }
      Global& g = globals[slot];
      if (!g.isFunction) {
        g.isFunction = true;
        Take(g.value);
        ++generation;  // a variable became a function
      }
      if (g.written != def.name->written) g.written = def.name->written;
      if (g.program != program) g.program = program;
      g.function = &def;
      def.slot.generation = generation;
      def.slot.index = slot;
    }
  }

  void RequireLanguage() const {
    if (language.empty()) throw ScriptError(ErrorNumber::UnknownLanguage);
  }
};

ScriptEngine::ScriptEngine() : impl_(std::make_unique<Impl>()) {}
ScriptEngine::~ScriptEngine() = default;

void ScriptEngine::SetLanguage(std::string_view language) {
  if (FoldName(language) != kLanguage) throw ScriptError(ErrorNumber::UnknownLanguage);
  impl_->language = "VBScript";
}

const std::string& ScriptEngine::Language() const { return impl_->language; }

void ScriptEngine::AddObject(std::string_view name, std::shared_ptr<ScriptObject> object,
                             bool addMembers) {
  if (!object) throw ScriptError(ErrorNumber::ObjectRequired);
  try {
    Impl::Object entry;
    entry.written = std::string(name);
    entry.folded = FoldName(name);
    entry.addMembers = addMembers;
    entry.members = object->Members();
    for (std::uint32_t k = 0; k < entry.members.size(); ++k) {
      entry.memberIndex.try_emplace(FoldName(entry.members[k].name), k);
    }
    entry.object = std::move(object);
    // Adding a name again replaces the earlier object in its place.
    if (auto existing = impl_->FindObject(entry.folded)) {
      impl_->objects[*existing] = std::move(entry);
    } else {
      impl_->objects.push_back(std::move(entry));
    }
    impl_->RebuildGlobalMembers();
    ++impl_->generation;
  } catch (const std::bad_alloc&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  }
}

void ScriptEngine::AddCode(std::string_view code) {
  impl_->RequireLanguage();
  impl_->textWorkBytes = 0;
  try {
    if (impl_->TryFastAssignment(code)) return;
    const std::shared_ptr<const Program>& program = Impl::Compile(impl_->codeCache, code, ParseCode);
    // Functions first: a run-time error in a global statement leaves them defined.
    impl_->Install(program);
    const Impl::Frame global;
    for (const Stmt* stmt : program->topLevel) impl_->Exec(*stmt, global);
  } catch (const std::bad_alloc&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  } catch (const std::length_error&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  }
}

Value ScriptEngine::Eval(std::string_view expression) {
  impl_->RequireLanguage();
  impl_->textWorkBytes = 0;
  try {
    const std::shared_ptr<const Program>& program =
        Impl::Compile(impl_->expressionCache, expression, ParseExpression);
    return impl_->Eval(*program->expression, Impl::Frame{});
  } catch (const std::bad_alloc&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  } catch (const std::length_error&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  }
}

}  // namespace eval
