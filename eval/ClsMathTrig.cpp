// Trigonometry of the library: degree-based, reciprocal, inverse and
// hyperbolic functions. Each formula runs in the order written, one checked
// operation at a time, so a guarded function fails exactly where the script
// language would raise and keeps the result it had at that moment.
#include <cmath>

#include "ClsMath.h"

namespace eval {
namespace {

// Arguments this close to +-1 take the limit values: the general formulas
// divide by zero there.
constexpr double kUnitBand = 1E-8;

}  // namespace

// ---- degree-based and reciprocal --------------------------------------------

double ClsMath::SinD(double x) {
  return Guarded([&](double& result) { result = std::sin(Mul(x, Ra())); });
}

double ClsMath::CosD(double x) {
  return Guarded([&](double& result) { result = std::cos(Mul(x, Ra())); });
}

double ClsMath::TanD(double x) {
  return Guarded([&](double& result) { result = std::tan(Mul(x, Ra())); });
}

double ClsMath::Cot(double x) {
  return Guarded([&](double& result) { FinalQuotient(result, 1, std::tan(x)); });
}

double ClsMath::CotD(double x) {
  return Guarded([&](double& result) { FinalQuotient(result, 1, std::tan(Mul(x, Ra()))); });
}

double ClsMath::Csc(double x) {
  return Guarded([&](double& result) { FinalQuotient(result, 1, std::sin(x)); });
}

double ClsMath::CscD(double x) {
  return Guarded([&](double& result) { FinalQuotient(result, 1, std::sin(Mul(x, Ra()))); });
}

double ClsMath::Sec(double x) {
  return Guarded([&](double& result) { FinalQuotient(result, 1, std::cos(x)); });
}

double ClsMath::SecD(double x) {
  return Guarded([&](double& result) { FinalQuotient(result, 1, std::cos(Mul(x, Ra()))); });
}

// ---- inverse ----------------------------------------------------------------

double ClsMath::Asin(double x) {
  // The band takes PI's half, not the full-precision atan of the general branch.
  if (std::fabs(std::fabs(x) - 1) <= kUnitBand) return x / std::fabs(x) * PI() / 2;
  return Guarded([&](double& result) {
    const double root = Sqrt(Add(Mul(-x, x), 1));
    result = Atan(Div(x, root));
  });
}

double ClsMath::AsinD(double x) { return Mul(Asin(x), Da()); }

double ClsMath::Acos(double x) {
  if (std::fabs(std::fabs(x) - 1) <= kUnitBand) return x > 0 ? 0 : PI();
  return Guarded([&](double& result) {
    const double root = Sqrt(Add(Mul(-x, x), 1));
    const double angle = Atan(Div(-x, root));
    result = Add(angle, Mul(2, Atan(1)));
  });
}

double ClsMath::AcosD(double x) { return Mul(Acos(x), Da()); }

double ClsMath::Asec(double x) {
  return Guarded([&](double& result) {
    const double angle = Atan(Div(x, Sqrt(Sub(Mul(x, x), 1))));
    const double shift = Mul(Sgn(Sub(x, 1)), Mul(2, Atan(1)));
    result = Add(angle, shift);
  });
}

double ClsMath::AsecD(double x) { return Mul(Asec(x), Da()); }

double ClsMath::Acsc(double x) {
  return Guarded([&](double& result) {
    const double angle = Atan(Div(x, Sqrt(Sub(Mul(x, x), 1))));
    const double shift = Mul(Sgn(x) - 1, Mul(2, Atan(1)));
    result = Add(angle, shift);
  });
}

double ClsMath::AcscD(double x) { return Mul(Acsc(x), Da()); }

double ClsMath::Acot(double x) { return Add(Atan(x), Mul(2, Atan(1))); }

double ClsMath::AcotD(double x) { return Mul(Acot(x), Da()); }

double ClsMath::AtanD(double x) { return Mul(Atan(x), Da()); }

// ---- hyperbolic -------------------------------------------------------------

double ClsMath::SinH(double x) {
  return Guarded([&](double& result) {
    const double up = Exp(x);
    const double down = Exp(-x);
    FinalQuotient(result, Sub(up, down), 2);
  });
}

double ClsMath::CosH(double x) {
  return Guarded([&](double& result) {
    const double up = Exp(x);
    const double down = Exp(-x);
    FinalQuotient(result, Add(up, down), 2);
  });
}

double ClsMath::TanH(double x) {
  return Guarded([&](double& result) {
    const double up = Exp(x);
    const double down = Exp(-x);
    const double numerator = Sub(up, down);
    const double downAgain = Exp(-x);
    const double upAgain = Exp(x);
    FinalQuotient(result, numerator, Add(downAgain, upAgain));
  });
}

double ClsMath::SecH(double x) {
  return Guarded([&](double& result) {
    const double down = Exp(-x);
    const double up = Exp(x);
    FinalQuotient(result, 2, Add(down, up));
  });
}

double ClsMath::CscH(double x) {
  return Guarded([&](double& result) {
    const double up = Exp(x);
    const double down = Exp(-x);
    FinalQuotient(result, 2, Sub(up, down));
  });
}

double ClsMath::CotH(double x) {
  return Guarded([&](double& result) {
    const double up = Exp(x);
    const double down = Exp(-x);
    const double numerator = Add(up, down);
    const double upAgain = Exp(x);
    const double downAgain = Exp(-x);
    FinalQuotient(result, numerator, Sub(upAgain, downAgain));
  });
}

double ClsMath::AsinH(double x) {
  return Guarded([&](double& result) { result = Log(Add(Sqrt(Add(Mul(x, x), 1)), x)); });
}

double ClsMath::ACosH(double x) {
  return Guarded([&](double& result) { result = Log(Add(Sqrt(Sub(Mul(x, x), 1)), x)); });
}

double ClsMath::AtanH(double x) {
  return Guarded([&](double& result) {
    const double numerator = Add(x, 1);
    const double quotient = Div(numerator, Sub(1, x));
    FinalQuotient(result, Log(quotient), 2);
  });
}

double ClsMath::AsecH(double x) {
  return Guarded([&](double& result) {
    const double top = Add(Sqrt(Add(Mul(-x, x), 1)), 1);
    result = Log(Div(top, x));
  });
}

double ClsMath::AcscH(double x) {
  return Guarded([&](double& result) {
    const double top = Add(Mul(Sgn(x), Sqrt(Add(Mul(x, x), 1))), 1);
    result = Log(Div(top, x));
  });
}

double ClsMath::AcotH(double x) {
  return Guarded([&](double& result) {
    const double numerator = Add(x, 1);
    const double quotient = Div(numerator, Sub(x, 1));
    FinalQuotient(result, Log(quotient), 2);
  });
}

}  // namespace eval
