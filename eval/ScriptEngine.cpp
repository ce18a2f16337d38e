#include "ScriptEngine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "Ast.h"
#include "Builtins.h"
#include "CodeCache.h"
#include "EngineState.h"
#include "Lexer.h"
#include "NumberText.h"
#include "Operators.h"
#include "Parser.h"
#include "ScriptError.h"
#include "TreeEvaluator.h"

namespace eval {
namespace {

constexpr std::string_view kLanguage = "vbscript";
constexpr std::string_view kAssignText = " = ";

// How many names AssignNumber remembers with their slots: the unknowns of
// one system.
constexpr std::size_t kRememberedNames = 16;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '_'; }

// Names of unknowns are a few bytes: compared in place, without a call.
bool SameText(std::string_view a, std::string_view b) {
  const std::size_t size = a.size();
  if (size != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  for (std::size_t k = 0; k < size; ++k) {
    if (p[k] != q[k]) return false;
  }
  return true;
}

// Equal kind and value, Doubles compared in place.
bool SameNumber(const Value& a, const Value& b) {
  if (a.Type() != b.Type()) return false;
  if (a.Type() == VarType::Double) return a.AsDouble() == b.AsDouble();
  return a == b;
}

// A name the lexer reads as one ordinary identifier, nothing around it.
bool IsPlainName(std::string_view name) {
  if (name.empty() || !IsLetter(name[0])) return false;
  for (char c : name) {
    if (!IsNameChar(c)) return false;
  }
  return KeywordOf(name) == Keyword::None && !EqualsFolded(name, "rem");
}

// "-" and a decimal literal, nothing else, as its value; nullopt for anything
// else (AddCode then decides, errors included).
std::optional<Value> PlainNumber(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view literal = text.substr(negative ? 1 : 0);
  Value value;
  try {
    if (literal.empty() || literal[0] == '-' || ReadDecimalLiteral(literal, 0, value) != literal.size()) {
      return std::nullopt;
    }
  } catch (const ScriptError&) {
    return std::nullopt;
  }
  return negative ? ApplyUnary(Op::Negate, value) : value;
}

// NumberTextValue of the doubles seen last, by their bits: the same
// coordinates reach every equation's engine, and the coordinates a solver
// moves come back to where they were. Empty marks a free entry.
struct NumberMemo {
  struct Entry {
    std::uint64_t bits = 0;
    double number = 0;
    VarType type = VarType::Empty;

    // Puts the number, as its kind, into a variable that holds no text.
    void Set(Value& v) const {
      switch (type) {
        case VarType::Double:
          v = Value::Double(number);
          break;
        case VarType::Long:
          v = Value::Long(static_cast<std::int32_t>(number));
          break;
        default:
          v = Value::Integer(static_cast<std::int16_t>(number));
          break;
      }
    }
  };
  static constexpr std::size_t kSize = 64;
  std::array<Entry, kSize> entries{};

  // The entry of the value, or nullptr when NumberTextValue has none (the
  // text reads beyond the double range).
  const Entry* Find(double value, std::uint64_t bits) {
    Entry& e = entries[(bits ^ (bits >> 29)) % kSize];
    if (e.bits == bits && e.type != VarType::Empty) return &e;
    const std::optional<Value> number = NumberTextValue(value);
    if (!number) return nullptr;
    e.bits = bits;
    e.type = number->Type();
    e.number = e.type == VarType::Double ? number->AsDouble()
               : e.type == VarType::Long ? number->AsLong()
                                         : number->AsInteger();
    return &e;
  }
};

thread_local NumberMemo numberMemo;

}  // namespace

struct ScriptEngine::Impl {
  EngineState state;
  TreeEvaluator evaluator{state};
  // Per engine: compiled code remembers this engine's name lookups.
  CodeCache code{ParseCode};
  CodeCache expressions{ParseExpression};

  // A name AssignNumber met before, as written, and the slot of its global
  // variable in the generation it was found.
  struct RememberedName {
    std::string written;
    std::uint32_t slot = 0;
    std::uint64_t generation = 0;
    // The last double assigned through this entry and the value it gave:
    // while the variable still holds that value, the same double again
    // changes nothing (solvers move one coordinate at a time).
    bool hasLast = false;
    std::uint64_t lastBits = 0;
    Value lastValue;
  };
  // How many functions Install has put in place, and the program it last
  // found or put all of its functions in place, at that count and generation
  // (held, so that no other program can take its address).
  std::uint64_t installs = 0;
  std::shared_ptr<const Program> installed;
  std::uint64_t installedAt = 0;
  std::uint64_t installedGeneration = 0;

  std::vector<RememberedName> remembered;
  std::size_t nextRemembered = 0;
  std::size_t nextHint = 0;

  void RequireLanguage() const {
    if (state.language.empty()) throw ScriptError(ErrorNumber::UnknownLanguage);
  }

  void Install(const std::shared_ptr<const Program>& program) {
    for (const FunctionDef& def : program->functions) {
      if (def.slot.generation == state.generation) {
        const EngineState::Global& installed = state.globals[def.slot.index];
        if (installed.function == &def && installed.program == program) continue;  // already in place
      }
      std::uint32_t slot;
      if (def.slot.generation == state.generation) {
        slot = def.slot.index;
      } else if (auto it = state.globalIndex.find(def.name->folded); it != state.globalIndex.end()) {
        slot = it->second;
      } else {
        slot = state.NewGlobal(*def.name);
      }
      EngineState::Global& g = state.globals[slot];
      if (!g.isFunction) {
        g.isFunction = true;
        state.Take(g.value);
        ++state.generation;  // a variable became a function
      }
      if (g.written != def.name->written) g.written = def.name->written;
      if (g.program != program) g.program = program;
      g.function = &def;
      ++installs;
      def.slot.generation = state.generation;
      def.slot.index = slot;
    }
  }

  void AddCode(std::string_view text) {
    const std::shared_ptr<const Program>& program = code.Compile(text);
    // Functions first: a run-time error in a global statement leaves them
    // defined. The same code again, with no function replaced since, finds
    // its functions in place.
    if (program != installed || installs != installedAt || state.generation != installedGeneration) {
      Install(program);
      installed = program;
      installedAt = installs;
      installedGeneration = state.generation;
    }
    const Frame global;
    for (const Stmt* stmt : program->topLevel) evaluator.Exec(*stmt, global);
  }

  // The global variable slot `name = number` would store into, or nullopt
  // when the statement would do more than store (a new name that is no plain
  // one, a function, a member, a constant): AddCode decides those.
  RememberedName* PlainVariable(std::string_view name) {
    // Unknowns come in the same order at every call: the entry after the
    // last one found is tried first.
    if (nextHint < remembered.size()) {
      RememberedName& r = remembered[nextHint];
      if (r.generation == state.generation && SameText(r.written, name)) {
        nextHint = nextHint + 1 == remembered.size() ? 0 : nextHint + 1;
        return &r;
      }
    }
    for (std::size_t k = 0; k < remembered.size(); ++k) {
      std::size_t at = nextHint + k;
      if (at >= remembered.size()) at -= remembered.size();
      RememberedName& r = remembered[at];
      if (r.generation == state.generation && SameText(r.written, name)) {
        nextHint = at + 1 == remembered.size() ? 0 : at + 1;
        return &r;
      }
    }
    if (!IsPlainName(name)) return nullptr;
    NameRef ref{std::string(name), FoldName(name)};
    Resolution resolution;
    state.ResolveAnew(ref.folded, resolution);
    std::uint32_t slot;
    if (resolution.kind == ResolvedKind::Global && !state.globals[resolution.index].isFunction) {
      slot = resolution.index;
    } else if (resolution.kind == ResolvedKind::Unknown || resolution.kind == ResolvedKind::Object ||
               resolution.kind == ResolvedKind::Builtin) {
      slot = state.NewGlobal(ref);  // what the assignment does for these
    } else {
      return nullptr;
    }
    return Remember(std::move(ref.written), slot);
  }

  // AssignNumber(names[i], values[i]) from `i` on for as long as each name is
  // the entry the hint points at and its value has a number; returns where it
  // stopped (the general road decides that one; nothing of it is changed).
  std::size_t AssignHinted(std::span<const std::string> names, std::span<const double> values, std::size_t i) {
    const std::size_t known = remembered.size();
    RememberedName* const entries = remembered.data();
    const std::uint64_t generation = state.generation;
    std::size_t hint = nextHint;
    for (; i < values.size() && hint < known; ++i) {
      RememberedName& r = entries[hint];
      const double value = values[i];
      if (r.generation != generation || !SameText(r.written, names[i]) || !std::isfinite(value) ||
          !AssignRemembered(r, value)) {
        break;
      }
      if (++hint == known) hint = 0;
    }
    nextHint = hint;
    return i;
  }

  // The finite `value` into the variable of `r` as the number its 15-digit
  // text reads back as; false, with nothing changed, when that text reads
  // beyond the double range (the general road then decides).
  [[gnu::always_inline]] bool AssignRemembered(RememberedName& r, double value) {
    Value& variable = state.globals[r.slot].value;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    if (r.hasLast && r.lastBits == bits && SameNumber(variable, r.lastValue)) return true;  // holds it already
    const NumberMemo::Entry* number = numberMemo.Find(value, bits);
    if (number == nullptr) return false;
    Value assigned;
    number->Set(assigned);
    r.lastValue = assigned;
    r.hasLast = true;
    r.lastBits = bits;
    state.Store(variable, std::move(assigned));
    return true;
  }

  // The pointer stays good until the next Remember.
  RememberedName* Remember(std::string written, std::uint32_t slot) {
    for (RememberedName& r : remembered) {
      if (r.written == written) {
        r.slot = slot;
        r.generation = state.generation;
        return &r;
      }
    }
    RememberedName entry;
    entry.written = std::move(written);
    entry.slot = slot;
    entry.generation = state.generation;
    if (remembered.size() < kRememberedNames) {
      remembered.push_back(std::move(entry));
      return &remembered.back();
    }
    RememberedName& replaced = remembered[nextRemembered];
    replaced = std::move(entry);
    nextRemembered = (nextRemembered + 1) % kRememberedNames;
    return &replaced;
  }
};

ScriptEngine::ScriptEngine() : impl_(std::make_unique<Impl>()) {}
ScriptEngine::~ScriptEngine() = default;

void ScriptEngine::SetLanguage(std::string_view language) {
  if (FoldName(language) != kLanguage) throw ScriptError(ErrorNumber::UnknownLanguage);
  impl_->state.language = "VBScript";
}

const std::string& ScriptEngine::Language() const { return impl_->state.language; }

void ScriptEngine::AddObject(std::string_view name, std::shared_ptr<ScriptObject> object,
                             bool addMembers) {
  if (!object) throw ScriptError(ErrorNumber::ObjectRequired);
  EngineState& state = impl_->state;
  try {
    EngineState::Object entry;
    entry.written = std::string(name);
    entry.folded = FoldName(name);
    entry.addMembers = addMembers;
    entry.members = object->Members();
    entry.memberIndex = MemberIndexOf(object);
    entry.object = std::move(object);
    // Adding a name again replaces the earlier object in its place.
    if (auto existing = state.FindObject(entry.folded)) {
      state.objects[*existing] = std::move(entry);
    } else {
      state.objects.push_back(std::move(entry));
    }
    ++state.generation;
  } catch (const std::bad_alloc&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  }
}

NameMeaning ScriptEngine::Resolve(std::string_view name) const {
  const EngineState& state = impl_->state;
  Resolution r;
  state.ResolveAnew(FoldName(name), r);
  NameMeaning meaning;
  switch (r.kind) {
    case ResolvedKind::Unknown:
      break;
    case ResolvedKind::Global:
      meaning.kind = state.globals[r.index].isFunction ? NameKind::Function : NameKind::Variable;
      meaning.index = r.index;
      break;
    case ResolvedKind::Member:
      meaning.kind = NameKind::Member;
      meaning.object = r.index;
      meaning.index = r.member;
      break;
    case ResolvedKind::Object:
      meaning.kind = NameKind::Object;
      meaning.object = r.index;
      break;
    case ResolvedKind::Builtin:
      meaning.kind = NameKind::Builtin;
      meaning.index = r.index;
      break;
    case ResolvedKind::Constant:
      meaning.kind = NameKind::Constant;
      meaning.index = r.index;
      meaning.value = &ConstantValue(r.index);
      break;
  }
  return meaning;
}

std::shared_ptr<const Program> ScriptEngine::CompiledCode(std::string_view code) {
  impl_->RequireLanguage();
  try {
    return impl_->code.Compile(code);
  } catch (const std::bad_alloc&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  }
}

void ScriptEngine::AddCode(std::string_view code) {
  impl_->RequireLanguage();
  impl_->state.textWorkBytes = 0;
  impl_->evaluator.NewRun();
  try {
    impl_->AddCode(code);
  } catch (const std::bad_alloc&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  } catch (const std::length_error&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  }
}

Value ScriptEngine::Eval(std::string_view expression) {
  impl_->RequireLanguage();
  impl_->state.textWorkBytes = 0;
  impl_->evaluator.NewRun();
  try {
    const std::shared_ptr<const Program>& program = impl_->expressions.Compile(expression);
    return impl_->evaluator.EvalGlobal(*program->expression);
  } catch (const std::bad_alloc&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  } catch (const std::length_error&) {
    throw ScriptError(ErrorNumber::OutOfMemory);
  }
}

void ScriptEngine::AssignNumber(std::string_view name, std::string_view numberText) {
  impl_->RequireLanguage();
  if (auto value = PlainNumber(numberText)) {
    if (Impl::RememberedName* r = impl_->PlainVariable(name)) {
      impl_->state.textWorkBytes = 0;
      r->hasLast = false;
      impl_->state.Store(impl_->state.globals[r->slot].value, std::move(*value));
      return;
    }
  }
  std::string code(name);
  code += kAssignText;
  code += numberText;
  AddCode(code);
}

void ScriptEngine::AssignNumber(std::string_view name, double value) {
  impl_->RequireLanguage();
  if (!std::isfinite(value)) throw ScriptError(ErrorNumber::Overflow);
  if (Impl::RememberedName* r = impl_->PlainVariable(name); r != nullptr && impl_->AssignRemembered(*r, value)) {
    return;
  }
  AssignNumber(name, NumberText(value));
}

void ScriptEngine::AssignNumbers(std::span<const std::string> names, std::span<const double> values) {
  impl_->RequireLanguage();
  const std::size_t count = std::min(names.size(), values.size());
  names = names.first(count);
  values = values.first(count);
  for (std::size_t i = impl_->AssignHinted(names, values, 0); i < count; i = impl_->AssignHinted(names, values, i + 1)) {
    AssignNumber(names[i], values[i]);
  }
}

}  // namespace eval
