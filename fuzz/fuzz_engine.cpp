// Arbitrary bytes into a fresh engine carrying the real function library: the
// first line as code, the rest as code and as an expression, then the call the
// evaluator makes. Any outcome is fine except a crash, a hang, a sanitizer
// report, or an engine that no longer evaluates 1 + 1 afterwards.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "eval/ClsMath.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"
#include "eval/SolverUi.h"

namespace {

template <typename Operation>
void Try(Operation operation) {
  try {
    operation();
  } catch (const eval::ScriptError&) {
    // Expected: bad code fails with VBScript's error.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineEnd = input.find('\n');
  const std::string_view first = input.substr(0, lineEnd);
  const std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);

  eval::RecordingUi ui;
  eval::ScriptEngine engine;
  engine.SetLanguage("VBScript");
  const auto mathLib = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryUi(*mathLib, ui);
  engine.AddObject("math", mathLib, true);

  Try([&] { engine.AddCode(first); });
  Try([&] { engine.AddCode(rest); });
  Try([&] { engine.Eval(rest); });
  Try([&] { engine.Eval("theFunction()"); });
  // The same texts again take the compiled-code cache.
  Try([&] { engine.AddCode(rest); });
  Try([&] { engine.Eval(rest); });

  // The first line as a name and a number: AssignNumber must end as AddCode does.
  {
    const std::size_t equals = first.find('=');
    if (equals != std::string_view::npos) {
      const std::string name(first.substr(0, equals));
      const std::string number(first.substr(equals + 1));
      eval::ScriptEngine viaCode;
      eval::ScriptEngine viaAssign;
      for (eval::ScriptEngine* e : {&viaCode, &viaAssign}) e->SetLanguage("VBScript");
      std::string codeError = "none";
      std::string assignError = "none";
      try {
        viaCode.AddCode(name + " = " + number);
      } catch (const eval::ScriptError& error) {
        codeError = error.Description();
      }
      try {
        viaAssign.AssignNumber(name, number);
      } catch (const eval::ScriptError& error) {
        assignError = error.Description();
      }
      if (codeError != assignError) std::abort();
    }
  }

  const eval::Value check = engine.Eval("1 + 1");
  if (check.Type() != eval::VarType::Integer || check.AsInteger() != 2) std::abort();
  return 0;
}
