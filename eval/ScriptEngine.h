// The script engine: a VBScript-subset interpreter with the five operations the
// system uses (create, Language, AddObject, AddCode, Eval).
//
// What code can do: compute with numbers, texts and Booleans, assign global
// variables and define and call functions. There is nothing in the language
// that reaches files, processes, the environment or the network.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "ScriptObject.h"
#include "Value.h"

namespace eval {

struct Program;

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
