// What one script engine holds while it lives: its global variables and
// functions, the objects added to it, the stacks of running calls, and the
// accounting of the text its variables hold. Name resolution lives here too:
// it answers from this state alone. The evaluator (TreeEvaluator) reads and
// changes the state; nothing here runs code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Ast.h"
#include "ScriptError.h"
#include "ScriptObject.h"
#include "Value.h"

namespace eval {

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

// The member index of an object's members (folded name -> index, first
// wins), built once per object for all engines it is added to.
std::shared_ptr<const TextMap<std::uint32_t>> MemberIndexOf(const std::shared_ptr<ScriptObject>& object);

// "Description: 'name'", VBScript's form for errors about one name.
ScriptError NamedError(ErrorNumber number, const NameRef& name);

// Where the names of the running code live: a function's locals start at
// `base` in the locals stack; global code has no function.
struct Frame {
  const FunctionDef* function = nullptr;
  std::size_t base = 0;
};

struct EngineState {
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
    // Folded member name -> index (MemberIndexOf).
    std::shared_ptr<const TextMap<std::uint32_t>> memberIndex;
  };

  std::string language;
  std::vector<Global> globals;
  TextMap<std::uint32_t> globalIndex;
  std::vector<Object> objects;
  // Bumped whenever a name appears or changes kind: every Resolution of an
  // older generation is stale.
  std::uint64_t generation = 1;

  std::vector<Value> locals;
  std::vector<std::uint8_t> live;  // per local: assigned (or declared) yet
  std::vector<Value> argStack;
  int evalDepth = 0;
  int callDepth = 0;
  std::size_t storedTextBytes = 0;  // in globals and live locals
  std::size_t textWorkBytes = 0;    // produced by the running AddCode or Eval

  // ---- text accounting ----

  static std::size_t TextSize(const Value& v) { return v.IsString() ? v.AsString().size() : 0; }

  // Every store into a variable goes through here ("Out of string space"
  // beyond the bound on text held in variables).
  void Store(Value& slot, Value value) {
    if (!slot.IsString() && !value.IsString()) {
      slot = std::move(value);
    } else {
      StoreText(slot, std::move(value));
    }
  }
  void StoreText(Value& slot, Value value);
  // Moves a value out of a variable that is about to go away.
  Value Take(Value& slot);
  // Counts a value one operation produced against the bound of one AddCode or Eval.
  void CountTextWork(const Value& v) {
    if (v.IsString()) CountTextBytes(v.AsString().size());
  }
  void CountTextBytes(std::size_t bytes);

  // ---- names ----

  // Fills `r` for the current generation (no work when it is already current).
  void Resolve(const NameRef& name, Resolution& r) const {
    if (r.generation != generation) ResolveAnew(name.folded, r);
  }
  void ResolveAnew(std::string_view folded, Resolution& r) const;
  std::optional<std::uint32_t> FindObject(std::string_view folded) const;
  // The object and member a bare member name means (objects added with their members).
  std::optional<std::pair<std::uint32_t, std::uint32_t>> FindGlobalMember(std::string_view folded) const;
  std::uint32_t NewGlobal(const NameRef& name);

  // `name = value` for a name that is not a local: an existing global
  // variable or a writable member takes the value (true); false when there is
  // neither, and the caller makes a new variable. A function's or a
  // constant's name is an Illegal assignment.
  bool AssignExisting(const NameRef& name, Resolution& r, Value& value);
  // A new global variable holding `value`; the name must be free.
  void NewVariable(const NameRef& name, Value value);

  // ---- objects ----

  Value InvokeMember(std::uint32_t object, std::uint32_t member, std::span<const Value> args);
  void AssignMember(std::uint32_t object, std::uint32_t member, const Value& value);
};

}  // namespace eval
