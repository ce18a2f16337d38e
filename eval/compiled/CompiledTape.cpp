#include "CompiledTape.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <limits>
#include <utility>

#include "eval/Builtins.h"
#include "eval/ClsMath.h"
#include "eval/RealArithmetic.h"
#include "eval/ScriptError.h"

namespace eval {

CompiledTape::CompiledTape(std::size_t dimension, std::vector<std::uint32_t> columns, ClsMath& library)
    : dimension_(dimension),
      columns_(std::move(columns)),
      n_(columns_.size()),
      library_(library),
      values_(n_, 0.0),
      grads_(n_ * n_, 0.0) {
  for (std::size_t k = 0; k < n_; ++k) {
    assert(columns_[k] < dimension_ && (k == 0 || columns_[k - 1] < columns_[k]));
  }
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
    errorPartials_.resize(args.size());
    intervalArgs_.resize(args.size());
    intervalPartials_.resize(args.size());
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

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();
}  // namespace

// The call's error bound: its own rounding as its row states it, plus each
// argument's error through the partial derivative (first order).
double CompiledTape::CallError(const CallSite& site, double value, bool guardedFailure) {
  const ErrorModel& model = site.rule->error;
  const std::uint32_t* slots = &argSlots_[site.firstArg];
  double largest = 0;
  for (std::uint32_t k = 0; k < site.argCount; ++k) largest = std::max(largest, errors_[slots[k]]);
  if (guardedFailure || !std::isfinite(value)) return kInfinity;
  if (site.rule->kind == RuleKind::Select) return largest;  // off by at most the chosen argument's error
  if (model.jumps) return largest > 0 ? kInfinity : 0;
  if (!model.bounded) return kInfinity;
  const double u = kUnitRoundoff;
  if (site.rule->partials == nullptr) return u * model.value * std::fabs(value);
  const std::span<double> partials(errorPartials_.data(), site.argCount);
  if (!site.rule->partials(std::span<const double>(argDoubles_.data(), site.argCount), value, partials)) {
    return kInfinity;
  }
  double own = model.value * std::fabs(value);
  double carried = 0;
  for (std::uint32_t k = 0; k < site.argCount; ++k) {
    const double slope = std::fabs(partials[k]);
    if (!std::isfinite(slope)) return kInfinity;
    own += slope * (model.argument * std::fabs(argDoubles_[k]) + model.slope);
    carried += slope * errors_[slots[k]];
  }
  return u * own + carried;
}

void CompiledTape::CallInstr(const Instr& in, bool gradient, bool bounds, Outcome& outcome) {
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
  if (bounds) errors_[in.dst] = CallError(site, value, guardedFailure);
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

template <bool kGradient, std::size_t kUnknowns, bool kBounds>
void CompiledTape::Execute(Outcome& outcome) {
  static_assert(kGradient || !kBounds, "bounds need the partials");
  constexpr double u = kUnitRoundoff;
  double* v = values_.data();
  double* g = grads_.data();
  double* e = errors_.data();
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
        if constexpr (kBounds) e[in.dst] = u * std::fabs(v[in.dst]) + e[in.a] + e[in.b];
        if constexpr (kGradient) {
          for (std::size_t i = 0; i < n; ++i) gd[i] = ga[i] + gb[i];
        }
        break;
      }
      case Code::Subtract: {
        v[in.dst] = CheckedReal(a - b, a, b);
        if constexpr (kBounds) e[in.dst] = u * std::fabs(v[in.dst]) + e[in.a] + e[in.b];
        if constexpr (kGradient) {
          for (std::size_t i = 0; i < n; ++i) gd[i] = ga[i] - gb[i];
        }
        break;
      }
      case Code::Multiply: {
        v[in.dst] = CheckedReal(a * b, a, b);
        if constexpr (kBounds) {
          e[in.dst] = u * std::fabs(v[in.dst]) + std::fabs(b) * e[in.a] + std::fabs(a) * e[in.b];
        }
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
        if constexpr (kBounds) e[in.dst] = u * std::fabs(r) + (e[in.a] + std::fabs(r) * e[in.b]) / std::fabs(b);
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
        if constexpr (kBounds) e[in.dst] = e[in.a];
        if constexpr (kGradient) {
          for (std::size_t i = 0; i < n; ++i) gd[i] = -ga[i];
        }
        break;
      }
      case Code::Square: {
        v[in.dst] = SquaredReal(a, b);
        // Within one unit in the last place (pow's bound where it is asked).
        if constexpr (kBounds) e[in.dst] = 2 * u * v[in.dst] + 2 * std::fabs(a) * e[in.a];
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
          if constexpr (kBounds) {
            // glibc's pow is within one unit in the last place.
            const double carried = (in.varA ? std::fabs(alongA) * e[in.a] : 0.0) +
                                   (in.varB ? std::fabs(alongB) * e[in.b] : 0.0);
            e[in.dst] = std::isfinite(carried) ? 2 * u * std::fabs(r) + carried : kInfinity;
          }
        }
        break;
      }
      case Code::Call:
        CallInstr(in, kGradient, kBounds, outcome);
        break;
    }
  }
}

template <bool kBounds>
void CompiledTape::Dispatch(Outcome& outcome) {
  switch (n_) {
    case 1:
      return Execute<true, 1, kBounds>(outcome);
    case 2:
      return Execute<true, 2, kBounds>(outcome);
    case 3:
      return Execute<true, 3, kBounds>(outcome);
    case 4:
      return Execute<true, 4, kBounds>(outcome);
    case 5:
      return Execute<true, 5, kBounds>(outcome);
    case 6:
      return Execute<true, 6, kBounds>(outcome);
    default:
      return Execute<true, 0, kBounds>(outcome);
  }
}

double CompiledTape::Run(std::span<const double> x, std::span<double> gradient, Outcome& outcome, double* bound) {
  assert(x.size() == dimension_);
  // A bound needs the partials, except for an equation of no unknown at all.
  assert(bound == nullptr || gradient.size() == n_);
  bool finite = true;
  for (std::size_t i = 0; i < n_; ++i) {
    values_[i] = x[columns_[i]];
    finite &= std::isfinite(values_[i]);
  }
  if (!finite) [[unlikely]] {
    outcome.coordinateNotFinite = true;
    if (bound != nullptr) *bound = kInfinity;
    return 0;
  }
  if (gradient.empty() && bound == nullptr) {
    Execute<false, 0>(outcome);
  } else {
    assert(gradient.size() == n_);
    if (bound != nullptr) {
      // Unknowns and constants are exact: the equation is the function of
      // its numbers as the doubles they read as. Every operation writes its
      // slot's bound before a later one reads it, so zeros set once stay valid.
      if (errors_.size() != values_.size()) errors_.assign(values_.size(), 0.0);
      Dispatch<true>(outcome);
      const double e = errors_[result_] * kErrorSafety;
      *bound = outcome.noDerivative || !std::isfinite(e) ? kInfinity : e;
    } else {
      Dispatch<false>(outcome);
    }
    for (std::size_t i = 0; i < n_; ++i) gradient[i] = resultVaries_ ? grads_[result_ * n_ + i] : 0.0;
  }
  return values_[result_];
}

// ---- over intervals ---------------------------------------------------------

Coverage CompiledTape::CallEnclosure(const Instr& in, bool slopes) {
  const CallSite& site = calls_[in.b];
  const std::uint32_t* slots = &argSlots_[site.firstArg];
  for (std::uint32_t k = 0; k < site.argCount; ++k) intervalArgs_[k] = intervals_[slots[k]];
  const std::span<Interval> partials(intervalPartials_.data(), site.argCount);
  const Coverage coverage =
      site.rule->enclose(std::span<const Interval>(intervalArgs_.data(), site.argCount), intervals_[in.dst], partials);
  if (coverage != Coverage::Smooth || !slopes) return coverage;
  Interval* gd = &intervalGrads_[in.dst * n_];
  for (std::size_t i = 0; i < n_; ++i) gd[i] = Interval(0.0);
  for (std::uint32_t k = 0; k < site.argCount; ++k) {
    if (!argVaries_[site.firstArg + k]) continue;
    const Interval* g = &intervalGrads_[slots[k] * n_];
    for (std::size_t i = 0; i < n_; ++i) gd[i] = gd[i] + partials[k] * g[i];
  }
  return coverage;
}

void CompiledTape::RunIntervals(std::span<const Interval> box, Interval& value, std::span<Interval> gradient,
                                IntervalOutcome& outcome) {
  assert(box.size() == dimension_ && gradient.size() == n_);
  outcome = IntervalOutcome{};
  auto unknown = [&] {
    value = Interval::WholeLine();
    for (Interval& g : gradient) g = Interval::WholeLine();
  };
  if (values_.size() * (n_ + 1) * sizeof(Interval) > kMaxGradientBytes) {
    outcome.failure = IntervalOutcome::Failure::OverBudget;
    return unknown();
  }
  // A function without a rule stops the run before anything is computed.
  for (const Instr& in : code_) {
    if (in.code == Code::Call && calls_[in.b].rule->enclose == nullptr) {
      outcome.failure = IntervalOutcome::Failure::NoRule;
      outcome.what = calls_[in.b].rule->name;
      return unknown();
    }
  }
  intervals_.resize(values_.size());
  intervalGrads_.resize(values_.size() * n_);
  // Constants and operation slots start exact with zero slopes; the unknowns
  // are the box and its unit directions.
  for (std::size_t s = 0; s < values_.size(); ++s) {
    intervals_[s] = s < n_ ? box[columns_[s]] : Interval(values_[s]);
    for (std::size_t i = 0; i < n_; ++i) intervalGrads_[s * n_ + i] = Interval(s == i ? 1.0 : 0.0);
  }
  // Every step's slot is used by a later one or is the result, and the
  // engine evaluates every step: the equation covers no more than any step.
  Coverage coverage = Coverage::Smooth;
  auto lower = [&](Coverage step, std::string_view what) {
    if (step > coverage) {
      coverage = step;
      outcome.what = what;
    }
  };
  for (const Instr& in : code_) {
    const Interval& a = intervals_[in.a];
    const Interval& b = intervals_[in.b];
    const bool slopes = coverage == Coverage::Smooth;
    Interval* gd = &intervalGrads_[in.dst * n_];
    const Interval* ga = &intervalGrads_[in.a * n_];
    const Interval* gb = &intervalGrads_[in.b * n_];
    Interval& r = intervals_[in.dst];
    switch (in.code) {
      case Code::Add:
        r = a + b;
        if (slopes) {
          for (std::size_t i = 0; i < n_; ++i) gd[i] = ga[i] + gb[i];
        }
        break;
      case Code::Subtract:
        r = a - b;
        if (slopes) {
          for (std::size_t i = 0; i < n_; ++i) gd[i] = ga[i] - gb[i];
        }
        break;
      case Code::Multiply:
        r = a * b;
        if (slopes) {
          for (std::size_t i = 0; i < n_; ++i) gd[i] = b * ga[i] + a * gb[i];
        }
        break;
      case Code::Divide:
        if (b.IsZero()) {
          lower(Coverage::Nowhere, "/");
        } else if (b.ContainsZero()) {
          r = Interval::WholeLine();  // over the points where b is not 0
          lower(Coverage::Partly, "/");
        } else {
          r = a / b;
          if (slopes) {
            for (std::size_t i = 0; i < n_; ++i) gd[i] = (ga[i] - r * gb[i]) / b;
          }
        }
        break;
      case Code::Negate:
        r = -a;
        if (slopes) {
          for (std::size_t i = 0; i < n_; ++i) gd[i] = -ga[i];
        }
        break;
      case Code::Square: {
        arb_sqr(r.get(), a.get(), Interval::kPrecision);
        if (slopes) {
          const Interval slope = Interval(2.0) * a;
          for (std::size_t i = 0; i < n_; ++i) gd[i] = slope * ga[i];
        }
        break;
      }
      case Code::Power: {
        // Arb takes a whole exponent by repeated products (any base) and
        // any other as exp(b ln a), over positive bases only; elsewhere the
        // result is not finite, and the value is left unknown over the
        // points where the power is defined.
        arb_pow(r.get(), a.get(), b.get(), Interval::kPrecision);
        if (!r.Finite() || (in.varB && !a.Positive())) {
          r = Interval::WholeLine();
          lower(Coverage::Partly, "^");
          break;
        }
        if (!slopes) break;
        Interval alongA(0.0);
        if (in.varA) {
          Interval lowered;
          arb_sub_ui(lowered.get(), b.get(), 1, Interval::kPrecision);
          Interval power;
          arb_pow(power.get(), a.get(), lowered.get(), Interval::kPrecision);
          alongA = b * power;
        }
        Interval alongB(0.0);
        if (in.varB) {
          Interval log;
          arb_log(log.get(), a.get(), Interval::kPrecision);
          alongB = r * log;
        }
        if (!alongA.Finite() || !alongB.Finite()) {
          lower(Coverage::Partly, "^");
          break;
        }
        for (std::size_t i = 0; i < n_; ++i) gd[i] = alongA * ga[i] + alongB * gb[i];
        break;
      }
      case Code::Call:
        lower(CallEnclosure(in, slopes), calls_[in.b].rule->name);
        break;
    }
    if (coverage == Coverage::Nowhere) break;
    if (!r.Finite()) {
      r = Interval::WholeLine();
      lower(Coverage::Partly, in.code == Code::Call ? calls_[in.b].rule->name : std::string_view("an operation"));
    }
  }
  outcome.coverage = coverage;
  if (coverage == Coverage::Smooth) outcome.what = {};
  value = coverage == Coverage::Nowhere ? Interval::WholeLine() : intervals_[result_];
  for (std::size_t i = 0; i < n_; ++i) {
    if (coverage != Coverage::Smooth) {
      gradient[i] = Interval::WholeLine();
    } else {
      gradient[i] = resultVaries_ ? intervalGrads_[result_ * n_ + i] : Interval(0.0);
    }
  }
}

}  // namespace eval
