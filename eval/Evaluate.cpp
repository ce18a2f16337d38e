#include "Evaluate.h"

#include <array>
#include <cstring>

#include "ScriptError.h"

namespace eval {
namespace {

// The function header spells the name with a lower-case t and the assignment
// with a capital T; names are case-insensitive, so the assignment sets the
// function's result. The two blanks before "=" are part of the text.
constexpr std::string_view kFunctionHead = "Function theFunction()\r\nTheFunction  = ";
constexpr std::string_view kFunctionTail = "\r\nEnd Function";
constexpr std::string_view kCall = "theFunction()";

// The function texts of the last few expressions, built once each: a
// solver evaluates the equations of one system in turn.
class FunctionTexts {
 public:
  const std::string& Of(std::string_view exprText) {
    const std::size_t size = kFunctionHead.size() + exprText.size() + kFunctionTail.size();
    for (const std::string& text : texts_) {
      if (text.size() == size && (exprText.empty() || std::memcmp(text.data() + kFunctionHead.size(),
                                                                   exprText.data(), exprText.size()) == 0)) {
        return text;
      }
    }
    std::string& text = texts_[next_];
    next_ = (next_ + 1) % texts_.size();
    text = FunctionDefinition(exprText);
    return text;
  }

 private:
  std::array<std::string, 8> texts_;
  std::size_t next_ = 0;
};

const std::string& FunctionText(std::string_view exprText) {
  thread_local FunctionTexts texts;
  return texts.Of(exprText);
}

}  // namespace

Value Evaluate(ScriptEngine& engine, std::string_view exprText, std::span<const std::string> names,
               std::span<const double> values, SolverUi& ui) {
  // names[i] = text(values[i]), one assignment per unknown; the engine reads
  // the 15-digit text back without it being written out.
  engine.AssignNumbers(names, values);
  if (values.size() > names.size()) throw ScriptError(ErrorNumber::SubscriptOutOfRange);

  engine.AddCode(FunctionText(exprText));

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
  if (result.Type() == VarType::Double) return result.AsDouble();  // nearly every equation's
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
