#include "Evaluate.h"

#include <cmath>

#include "NumberText.h"
#include "ScriptError.h"

namespace eval {
namespace {

// The function header spells the name with a lower-case t and the assignment
// with a capital T; names are case-insensitive, so the assignment sets the
// function's result. The two blanks before "=" are part of the text.
constexpr std::string_view kFunctionHead = "Function theFunction()\r\nTheFunction  = ";
constexpr std::string_view kFunctionTail = "\r\nEnd Function";
constexpr std::string_view kCall = "theFunction()";
constexpr std::string_view kAssign = " = ";

}  // namespace

Value Evaluate(ScriptEngine& engine, std::string_view exprText, std::span<const std::string> names,
               std::span<const double> values, SolverUi& ui) {
  // Reused between calls: this runs for every evaluation of every solver step.
  thread_local std::string code;

  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i >= names.size()) throw ScriptError(ErrorNumber::SubscriptOutOfRange);
    // A coordinate that is no finite number has no number text.
    if (!std::isfinite(values[i])) throw ScriptError(ErrorNumber::Overflow);
    code.assign(names[i]);
    code += kAssign;
    AppendNumberText(code, values[i]);
    engine.AddCode(code);
  }

  code.assign(kFunctionHead);
  code += exprText;
  code += kFunctionTail;
  engine.AddCode(code);

  try {
    return engine.Eval(kCall);
  } catch (const ScriptError& error) {
    ui.Beep();
    ui.ShowMessage(error.Description());
    return Value();
  }
}

std::string FunctionDefinition(std::string_view exprText) {
  std::string code(kFunctionHead);
  code += exprText;
  code += kFunctionTail;
  return code;
}

std::string_view FunctionCall() { return kCall; }

double ResultToDouble(const Value& result, SolverUi& ui) {
  if (result.IsNull()) {
    ui.Beep();
    ui.ShowMessage(DescriptionOf(ErrorNumber::InvalidUseOfNull));
    return 0;
  }
  if (auto d = ToDouble(result)) return *d;
  ui.Beep();
  ui.ShowMessage(DescriptionOf(ErrorNumber::TypeMismatch));
  return 0;
}

}  // namespace eval
