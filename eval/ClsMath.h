// The function library every script engine carries as "math", its members made
// global: constants, logarithms, integer functions, trigonometry and
// degree-minute-second angle texts.
#pragma once

#include <span>

#include "ScriptObject.h"
#include "SolverUi.h"

namespace eval {

class ClsMath : public ScriptObject {
 public:
  // `ui` shows the library's own messages ("Err input data", ...); it must
  // outlive the instance.
  explicit ClsMath(SolverUi& ui);

  std::span<const MemberInfo> Members() const override;
  Value Invoke(std::size_t member, std::span<const Value> args) override;
  void Assign(std::size_t member, const Value& value) override;

  // Set by guarded functions when they catch a failure; never cleared by the class.
  bool Error() const { return error_; }
  void SetError(bool error) { error_ = error; }

  // The constants, exactly as the library computes them.
  static double E();
  static double PI();
  static double Ra();
  static double Da();

 private:
  SolverUi& ui_;
  bool error_ = false;
};

}  // namespace eval
