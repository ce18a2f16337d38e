#include "Evaluate.h"


#include "ScriptError.h"

namespace eval {
namespace {

// The function header spells the name with a lower-case t and the assignment
// with a capital T; names are case-insensitive, so the assignment sets the
// function's result. The two blanks before "=" are part of the text.
constexpr std::string_view kFunctionHead = "Function theFunction()\r\nTheFunction  = ";
constexpr std::string_view kFunctionTail = "\r\nEnd Function";
constexpr std::string_view kCall = "theFunction()";

}  // namespace

Value Evaluate(ScriptEngine& engine, std::string_view exprText, std::span<const std::string> names,
               std::span<const double> values, SolverUi& ui) {
  // Reused between calls: this runs for every evaluation of every solver step.
  thread_local std::string code;

  // names[i] = text(values[i]), one assignment per unknown; the engine reads
  // the 15-digit text back without it being written out.
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i >= names.size()) throw ScriptError(ErrorNumber::SubscriptOutOfRange);
    engine.AssignNumber(names[i], values[i]);
  }

  // `code` only ever holds a function text built here: when its middle is
  // this expression, it is this text already.
  const bool same = code.size() == kFunctionHead.size() + exprText.size() + kFunctionTail.size() &&
                    std::string_view(code).substr(kFunctionHead.size(), exprText.size()) == exprText;
  if (!same) {
    code.assign(kFunctionHead);
    code += exprText;
    code += kFunctionTail;
  }
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

std::size_t FunctionBodyOffset() { return kFunctionHead.size(); }

double ResultToDouble(const Value& result, SolverUi& ui) {
  if (result.IsNull()) {
    ui.Beep();
    ui.ShowMessage(DescriptionOf(ErrorNumber::InvalidUseOfNull));
    return 0;
  }
  try {
    if (auto d = ToDouble(result)) return *d;
  } catch (const ScriptError& error) {  // a numeric text beyond the double range
    ui.Beep();
    ui.ShowMessage(error.Description());
    return 0;
  }
  ui.Beep();
  ui.ShowMessage(DescriptionOf(ErrorNumber::TypeMismatch));
  return 0;
}

}  // namespace eval
