// The script engine: a VBScript-subset interpreter with the five operations the
// system uses (create, Language, AddObject, AddCode, Eval).
//
// What code can do: compute with numbers, texts and Booleans, assign global
// variables and define and call functions. There is nothing in the language
// that reaches files, processes, the environment or the network.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "ScriptObject.h"
#include "Value.h"

namespace eval {

struct Program;

// What a name stands for in code run by one engine, as the engine reads it.
enum class NameKind : std::uint8_t {
  Unknown,   // nothing of that name: reads as Empty, and calling it is a Type mismatch
  Variable,  // a global variable of the code
  Function,  // a Function the code defined
  Member,    // a member of an object added with its members global, by its bare name
  Object,    // an object added by name
  Builtin,   // one of the language's functions (Builtins.h)
  Constant,  // one of the language's named constants (vbTrue, vbCrLf, ...)
};

struct NameMeaning {
  NameKind kind = NameKind::Unknown;
  // Variable, Function: the global's slot, in order of appearance; Member:
  // the member's index in its object's Members(); Builtin: the index into
  // Builtins(); Constant: FindConstant's index.
  std::uint32_t index = 0;
  std::uint32_t object = 0;         // Member, Object: the object, in order of AddObject
  const Value* value = nullptr;     // Constant: its value, which lives as long as the program
};

class ScriptEngine {
 public:
  ScriptEngine();
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // Only "VBScript" (any letter case) is accepted; anything else throws
  // ScriptError(UnknownLanguage). AddCode and Eval need a language first.
  void SetLanguage(std::string_view language);
  const std::string& Language() const;

  // Makes `object` reachable as `name`; with addMembers, its members also by
  // their bare names. The engine keeps the object alive.
  void AddObject(std::string_view name, std::shared_ptr<ScriptObject> object, bool addMembers);

  // Compiles the code, then runs its global statements in order; Function
  // definitions replace earlier ones of the same name. A compile error throws
  // and changes nothing; a run-time error throws after the statements before it ran.
  void AddCode(std::string_view code);

  // The syntax tree AddCode(code) runs, compiled once for both: for a reader
  // of the tree that runs nothing. Compile errors throw as AddCode's do.
  std::shared_ptr<const Program> CompiledCode(std::string_view code);

  // What `name` (any letter case; an identifier, not a keyword) means to
  // code run now in the global scope: looked up as the evaluator looks it
  // up (global variables and functions first, then the members of objects
  // added with their members, objects, built-ins, named constants), so a
  // reader of the syntax tree agrees with Eval on every name.
  NameMeaning Resolve(std::string_view name) const;

  // Evaluates an expression in the global scope. Throws ScriptError.
  Value Eval(std::string_view expression);

  // Assigns the global variable `name` the number `numberText` (a decimal
  // literal with an optional "-" in front): exactly what
  // AddCode(name + " = " + numberText) does, failures included, without
  // compiling when the name and the text are plain.
  void AssignNumber(std::string_view name, std::string_view numberText);
  // The same with NumberText(value) as the text, read back without building
  // it (NumberTextValue). A value that is no finite number has no text:
  // Overflow.
  void AssignNumber(std::string_view name, double value);
  // AssignNumber(names[i], values[i]) for each i in order, as far as both
  // go. The same names at every call (the unknowns of one system at each
  // point a solver visits) cost little more than the values that changed.
  void AssignNumbers(std::span<const std::string> names, std::span<const double> values);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace eval
