// Arbitrary bytes into a fresh engine carrying the real function library: the
// first line as code, the rest as code and as an expression, then the call the
// evaluator makes. Any outcome is fine except a crash, a hang, a sanitizer
// report, or an engine that no longer evaluates 1 + 1 afterwards.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
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

  const eval::Value check = engine.Eval("1 + 1");
  if (check.Type() != eval::VarType::Integer || check.AsInteger() != 2) std::abort();
  return 0;
}
