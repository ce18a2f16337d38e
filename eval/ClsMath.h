// The function library every script engine carries as "math", its members made
// global: constants, logarithms, integer functions, trigonometry and
// degree-minute-second angle texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "ScriptError.h"
#include "ScriptObject.h"
#include "SolverUi.h"

namespace eval {

// The name under which every equation's engine carries the library (its
// members global as well): the window, the command line and the compiled form.
inline constexpr std::string_view kLibraryName = "math";

class ClsMath : public ScriptObject {
 public:
  // The library lives as long as the window; the user interface of a command
  // lives only while that command runs. So the library holds none of its own:
  // the command that runs binds its interface for its duration, and the
  // library's own messages ("Err input data", ...) go to whichever is bound.
  ClsMath() = default;

  // Routes the library's messages to `ui` from construction to destruction;
  // then (also when the command ends by an exception) the previous route is
  // back, so bindings nest. Make it a local of the running command, declared
  // after `ui`, so it ends before `ui` and before the library.
  class UiBinding {
   public:
    UiBinding(ClsMath& lib, SolverUi& ui) : lib_(lib), previous_(std::exchange(lib.ui_, &ui)) {}
    ~UiBinding() { lib_.ui_ = previous_; }
    UiBinding(const UiBinding&) = delete;
    UiBinding& operator=(const UiBinding&) = delete;

   private:
    ClsMath& lib_;
    SolverUi* previous_;
  };

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
  using Args = std::span<const Value>;
  using Handler = Value (*)(ClsMath&, Args);
  struct Entry {
    MemberInfo info;
    Handler handler;
  };
  static std::span<const Entry> Table();

  // Guarded convention: `body` computes into its result argument step by step;
  // a failure (ScriptError) inside it sets Error and the call returns whatever
  // the result held at that moment.
  template <class Body>
  double Guarded(Body body) {
    double result = 0.0;
    try {
      body(result);
    } catch (const ScriptError&) {
      error_ = true;
    }
    return result;
  }

  // Arithmetic that fails where the script language raises an error: results
  // beyond the double range (Overflow), x/0 (Division by zero), 0/0 (Overflow),
  // square roots of negatives and logarithms of non-positives (Invalid
  // procedure call). Non-finite operands count as an overflow.
  static double Add(double a, double b);
  static double Sub(double a, double b);
  static double Mul(double a, double b);
  static double Div(double a, double b);
  static double Sqrt(double a);
  static double Log(double a);
  static double Exp(double a);
  static double Atan(double a);
  // A guarded function's last division: the IEEE quotient lands in `result`
  // before the failure is noticed, so Cot(0) answers +inf with Error set.
  static void FinalQuotient(double& result, double a, double b);
  static int Sgn(double a);

  // Trigonometry (ClsMathTrig.cpp).
  double SinD(double x);
  double CosD(double x);
  double TanD(double x);
  double Cot(double x);
  double CotD(double x);
  double Csc(double x);
  double CscD(double x);
  double Sec(double x);
  double SecD(double x);
  double Asin(double x);
  double AsinD(double x);
  double Acos(double x);
  double AcosD(double x);
  double Asec(double x);
  double AsecD(double x);
  double Acsc(double x);
  double AcscD(double x);
  static double Acot(double x);
  static double AcotD(double x);
  static double AtanD(double x);
  double SinH(double x);
  double CosH(double x);
  double TanH(double x);
  double SecH(double x);
  double CscH(double x);
  double CotH(double x);
  double AsinH(double x);
  double ACosH(double x);
  double AtanH(double x);
  double AsecH(double x);
  double AcscH(double x);
  double AcotH(double x);

  // Logarithms and whole-number functions (ClsMath.cpp).
  static double Frac(double x);
  double LogN(double r, double b);
  double Log10(double x);
  double Ln(double x);
  static std::int16_t SIGN(double x);
  static double Modxy(double x, double y);
  static std::int32_t Floor(const Value& number);
  std::int32_t Lcm(std::int32_t m, std::int32_t n);
  std::int32_t Gcd(std::int32_t m, std::int32_t n);
  static std::int32_t Odd(const Value& number);
  static std::int32_t Even(const Value& number);
  static double DMin(Args values);
  static double DMax(Args values);
  double Sqr2(double x);
  // The divisor search shared by Gcd and Lcm, after the bad-input message.
  std::int32_t CommonDivisor(std::int32_t m, std::int32_t n);

  // Degree-minute-second texts (ClsMathDms.cpp).
  static double RadFromDms(std::string_view st1);
  static std::string DmsFromRad(double rad, std::int16_t itype);
  static double SinS(std::string_view x);
  static double CosS(std::string_view x);
  static double TanS(std::string_view x);
  static double CtnS(std::string_view x);
  static std::string AsinToDms(double x);
  static std::string AcosToDms(double x);
  static std::string AtnToDms(double x);

  // One of the library's own messages, to the bound interface; with none
  // bound (a caller outside any command) it goes to standard error, so it is
  // never lost.
  void Tell(std::string_view message);

  SolverUi* ui_ = nullptr;  // only ever set by a UiBinding, for its lifetime
  bool error_ = false;
};

}  // namespace eval
