// The engine as the Go command prepares it (language, the library as "math"),
// for comparing the compiled form with Eval at the same exact point.
#pragma once

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"

namespace compiledtest {

// The value the engine gives the text at x the way Evaluate asks it (the text
// as theFunction's body), or the description of the error it raises.
struct EngineAnswer {
  std::optional<double> value;
  std::string error;
};

// 17 significant digits: the engine reads each coordinate back exactly.
inline std::string Exact(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

inline EngineAnswer EngineEval(const std::string& expr, const std::vector<std::string>& names,
                               const std::vector<double>& x) {
  eval::SilentUi ui;
  eval::ScriptEngine engine;
  engine.SetLanguage("VBScript");
  engine.AddObject("math", std::make_shared<eval::ClsMath>(), true);
  EngineAnswer answer;
  try {
    for (std::size_t i = 0; i < names.size(); ++i) engine.AddCode(names[i] + " = " + Exact(x[i]));
    engine.AddCode("Function theFunction()\r\nTheFunction  = " + expr + "\r\nEnd Function");
    answer.value = eval::ToDouble(engine.Eval("theFunction()"));
  } catch (const eval::ScriptError& error) {
    answer.error = error.Description();
  }
  return answer;
}

// Bit for bit, not-a-number equal to itself.
inline bool Identical(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

struct Compiled {
  explicit Compiled(const std::string& expr, std::vector<std::string> names = {"x"})
      : library(std::make_shared<eval::ClsMath>()), equation(expr, names, library) {}
  eval::SilentUi ui;
  std::shared_ptr<eval::ClsMath> library;
  eval::CompiledEquation equation;
};

}  // namespace compiledtest
