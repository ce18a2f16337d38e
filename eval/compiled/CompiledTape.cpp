#include "CompiledTape.h"

#include <bit>
#include <cassert>
#include <cmath>

#include "eval/Builtins.h"
#include "eval/ClsMath.h"
#include "eval/RealArithmetic.h"
#include "eval/ScriptError.h"

namespace eval {

CompiledTape::CompiledTape(std::size_t dimension, ClsMath& library)
    : n_(dimension), library_(library), values_(dimension, 0.0), grads_(dimension * dimension, 0.0) {
  for (std::size_t i = 0; i < n_; ++i) grads_[i * n_ + i] = 1;
}

std::uint32_t CompiledTape::AddConstant(double value) {
  values_.push_back(value);
  grads_.resize(grads_.size() + n_, 0.0);
  return static_cast<std::uint32_t>(values_.size() - 1);
}

std::uint32_t CompiledTape::AddInstr(Instr instr) {
  instr.dst = AddConstant(0);
  code_.push_back(instr);
  return instr.dst;
}

std::uint32_t CompiledTape::AddCall(const DerivativeRule& rule, std::uint32_t index,
                                    std::span<const std::uint32_t> args, std::span<const std::uint8_t> varies) {
  CallSite site{&rule, index, static_cast<std::uint32_t>(argSlots_.size()),
                static_cast<std::uint32_t>(args.size())};
  argSlots_.insert(argSlots_.end(), args.begin(), args.end());
  argVaries_.insert(argVaries_.end(), varies.begin(), varies.end());
  if (argValues_.size() < args.size()) {
    argValues_.resize(args.size());
    argDoubles_.resize(args.size());
    partials_.resize(args.size());
  }
  calls_.push_back(site);
  Instr instr;
  instr.code = Code::Call;
  instr.b = static_cast<std::uint32_t>(calls_.size() - 1);
  for (const std::uint8_t v : varies) instr.varA = instr.varA || v != 0;
  return AddInstr(instr);
}

void CompiledTape::SetResult(std::uint32_t slot, bool varies) {
  result_ = slot;
  resultVaries_ = varies;
}

Value CompiledTape::CallFunction(const DerivativeRule& rule, std::uint32_t index, std::span<const Value> args,
                                 bool& guardedFailure) {
  guardedFailure = false;
  if (!rule.member) return CallBuiltin(index, args);
  // Error is cleared for the call so that this call's failure shows; what it
  // held before is put back, together with anything the call added.
  const bool before = library_.Error();
  library_.SetError(false);
  try {
    Value result = library_.Invoke(index, args);
    guardedFailure = library_.Error();
    library_.SetError(before || guardedFailure);
    return result;
  } catch (...) {
    library_.SetError(before || library_.Error());
    throw;
  }
}

void CompiledTape::CallInstr(const Instr& in, bool gradient, Outcome& outcome) {
  const CallSite& site = calls_[in.b];
  const std::span<Value> args(argValues_.data(), site.argCount);
  for (std::uint32_t k = 0; k < site.argCount; ++k) {
    argDoubles_[k] = values_[argSlots_[site.firstArg + k]];
    args[k] = Value::Double(argDoubles_[k]);
  }
  bool guardedFailure = false;
  const Value result = CallFunction(*site.rule, site.index, args, guardedFailure);
  // Every covered function returns a number.
  const double value = *ToDouble(result);
  values_[in.dst] = value;
  if (!gradient || !in.varA) return;

  double* out = &grads_[in.dst * n_];
  for (std::size_t k = 0; k < n_; ++k) out[k] = 0;
  auto noDerivative = [&] {
    if (!outcome.noDerivative) {
      outcome.what = site.rule->name;
      outcome.whatFailed = guardedFailure;
    }
    outcome.noDerivative = true;
  };
  if (guardedFailure) return noDerivative();
  const std::uint32_t* slots = &argSlots_[site.firstArg];
  const std::uint8_t* varies = &argVaries_[site.firstArg];

  if (site.rule->kind == RuleKind::Select) {
    // The argument DMin or DMax keeps (strict comparisons: the first extreme).
    const bool minimum = site.rule->extreme == ExtremeKind::Minimum;
    std::uint32_t chosen = 0;
    for (std::uint32_t k = 1; k < site.argCount; ++k) {
      const double current = argDoubles_[chosen];
      if (minimum ? current > argDoubles_[k] : current < argDoubles_[k]) chosen = k;
    }
    const double* g = &grads_[slots[chosen] * n_];
    for (std::uint32_t k = 0; k < site.argCount; ++k) {
      if (k == chosen || argDoubles_[k] != argDoubles_[chosen]) continue;
      const double* other = &grads_[slots[k] * n_];
      for (std::size_t i = 0; i < n_; ++i) {
        if (other[i] != g[i]) return noDerivative();  // a tie with another slope: a kink
      }
    }
    for (std::size_t i = 0; i < n_; ++i) out[i] = g[i];
    return;
  }

  const std::span<double> partials(partials_.data(), site.argCount);
  if (!site.rule->partials(std::span<const double>(argDoubles_.data(), site.argCount), value, partials)) {
    return noDerivative();
  }
  for (std::uint32_t k = 0; k < site.argCount; ++k) {
    if (!varies[k]) continue;
    if (!std::isfinite(partials[k])) return noDerivative();
    const double* g = &grads_[slots[k] * n_];
    for (std::size_t i = 0; i < n_; ++i) out[i] += partials[k] * g[i];
  }
}

template <bool kGradient, std::size_t kUnknowns>
void CompiledTape::Execute(Outcome& outcome) {
  double* v = values_.data();
  double* g = grads_.data();
  const std::size_t n = kUnknowns != 0 ? kUnknowns : n_;
  for (const Instr& in : code_) {
    const double a = v[in.a];
    const double b = v[in.b];
    double* gd = g + in.dst * n;
    const double* ga = g + in.a * n;
    const double* gb = g + in.b * n;
    switch (in.code) {
      case Code::Add: {
        v[in.dst] = CheckedReal(a + b, a, b);
        if constexpr (kGradient) {
          for (std::size_t i = 0; i < n; ++i) gd[i] = ga[i] + gb[i];
        }
        break;
      }
      case Code::Subtract: {
        v[in.dst] = CheckedReal(a - b, a, b);
        if constexpr (kGradient) {
          for (std::size_t i = 0; i < n; ++i) gd[i] = ga[i] - gb[i];
        }
        break;
      }
      case Code::Multiply: {
        v[in.dst] = CheckedReal(a * b, a, b);
        if constexpr (kGradient) {
          if (!in.varB) {
            for (std::size_t i = 0; i < n; ++i) gd[i] = b * ga[i];
          } else if (!in.varA) {
            for (std::size_t i = 0; i < n; ++i) gd[i] = a * gb[i];
          } else {
            for (std::size_t i = 0; i < n; ++i) gd[i] = b * ga[i] + a * gb[i];
          }
        }
        break;
      }
      case Code::Divide: {
        const double r = DividedReal(a, b);
        v[in.dst] = r;
        if constexpr (kGradient) {
          if (!in.varB) {
            for (std::size_t i = 0; i < n; ++i) gd[i] = ga[i] / b;
          } else {
            for (std::size_t i = 0; i < n; ++i) gd[i] = (ga[i] - r * gb[i]) / b;
          }
        }
        break;
      }
      case Code::Negate: {
        v[in.dst] = -a;
        if constexpr (kGradient) {
          for (std::size_t i = 0; i < n; ++i) gd[i] = -ga[i];
        }
        break;
      }
      case Code::Square: {
        v[in.dst] = SquaredReal(a, b);
        if constexpr (kGradient) {
          const double slope = 2 * a;
          for (std::size_t i = 0; i < n; ++i) gd[i] = slope * ga[i];
        }
        break;
      }
      case Code::Power: {
        const double r = PoweredReal(a, b);
        v[in.dst] = r;
        if constexpr (kGradient) {
          // d(a^b) = b a^(b-1) da + a^b ln(a) db. Along b the power exists
          // only for a > 0 (a = 0 with b > 0 stays 0); a negative base is
          // defined at whole exponents alone, so it has no slope along b.
          const double alongA = in.varA ? (b == 0 ? 0.0 : b * std::pow(a, b - 1)) : 0.0;
          double alongB = 0;
          if (in.varB) {
            if (a > 0) {
              alongB = r * std::log(a);
            } else if (!(a == 0 && b > 0)) {
              if (!outcome.noDerivative) outcome.what = "^";
              outcome.noDerivative = true;
            }
          }
          if (!std::isfinite(alongA) || !std::isfinite(alongB)) {
            if (!outcome.noDerivative) outcome.what = "^";
            outcome.noDerivative = true;
          }
          for (std::size_t i = 0; i < n; ++i) gd[i] = alongA * ga[i] + alongB * gb[i];
        }
        break;
      }
      case Code::Call:
        CallInstr(in, kGradient, outcome);
        break;
    }
  }
}

double CompiledTape::Run(std::span<const double> x, std::span<double> gradient, Outcome& outcome) {
  assert(x.size() == n_);
  bool finite = true;
  for (std::size_t i = 0; i < n_; ++i) {
    values_[i] = x[i];
    finite &= std::isfinite(x[i]);
  }
  if (!finite) [[unlikely]] {
    outcome.coordinateNotFinite = true;
    return 0;
  }
  if (gradient.empty()) {
    Execute<false, 0>(outcome);
  } else {
    assert(gradient.size() == n_);
    switch (n_) {
      case 1:
        Execute<true, 1>(outcome);
        break;
      case 2:
        Execute<true, 2>(outcome);
        break;
      case 3:
        Execute<true, 3>(outcome);
        break;
      case 4:
        Execute<true, 4>(outcome);
        break;
      case 5:
        Execute<true, 5>(outcome);
        break;
      case 6:
        Execute<true, 6>(outcome);
        break;
      default:
        Execute<true, 0>(outcome);
        break;
    }
    const double* g = &grads_[result_ * n_];
    for (std::size_t i = 0; i < n_; ++i) gradient[i] = resultVaries_ ? g[i] : 0.0;
  }
  return values_[result_];
}

}  // namespace eval
