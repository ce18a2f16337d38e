// The value of one equation at one point, through a script engine: one
// assignment per unknown, a fresh definition of theFunction, then
// Eval("theFunction()").
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "ScriptEngine.h"
#include "SolverUi.h"
#include "Value.h"

namespace eval {

// A failure while evaluating: beep, the engine's description in a message box,
// and the Empty value. A failure while adding code (syntax error, a name the
// engine does not accept, a non-finite coordinate, fewer names than values)
// throws ScriptError to the caller.
Value Evaluate(ScriptEngine& engine, std::string_view exprText, std::span<const std::string> names,
               std::span<const double> values, SolverUi& ui);

// The code Evaluate adds to define theFunction with `exprText` as its body,
// and the expression it then evaluates. The compiled form (compiled/) builds
// the same code, so the same text fails in the same way on both roads.
std::string FunctionDefinition(std::string_view exprText);
std::string_view FunctionCall();
// Where `exprText` starts inside FunctionDefinition's code, for placing an
// engine error's position back in the expression.
std::size_t FunctionBodyOffset();

// How every caller turns Evaluate's result into a number: Empty is 0. A value
// that is no number (a text such as "abc", Null) is reported like an
// evaluation failure (beep, description) and counts as 0.
double ResultToDouble(const Value& result, SolverUi& ui);

}  // namespace eval
