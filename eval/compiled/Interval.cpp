#include "Interval.h"

#include <cassert>

namespace eval {

Interval::Interval(double lo, double hi) : Interval() {
  assert(lo <= hi);
  arf_t a;
  arf_t b;
  arf_init(a);
  arf_init(b);
  arf_set_d(a, lo);
  arf_set_d(b, hi);
  arb_set_interval_arf(v_, a, b, kPrecision);
  arf_clear(a);
  arf_clear(b);
}

namespace {
double End(arb_srcptr v, bool upper) {
  arf_t e;
  arf_init(e);
  if (upper) {
    arb_get_ubound_arf(e, v, Interval::kPrecision);
  } else {
    arb_get_lbound_arf(e, v, Interval::kPrecision);
  }
  const double d = arf_get_d(e, upper ? ARF_RND_CEIL : ARF_RND_FLOOR);
  arf_clear(e);
  return d;
}
}  // namespace

double Interval::Lower() const { return End(v_, false); }
double Interval::Upper() const { return End(v_, true); }

Interval operator+(const Interval& a, const Interval& b) {
  Interval r;
  arb_add(r.get(), a.get(), b.get(), Interval::kPrecision);
  return r;
}
Interval operator-(const Interval& a, const Interval& b) {
  Interval r;
  arb_sub(r.get(), a.get(), b.get(), Interval::kPrecision);
  return r;
}
Interval operator*(const Interval& a, const Interval& b) {
  Interval r;
  arb_mul(r.get(), a.get(), b.get(), Interval::kPrecision);
  return r;
}
Interval operator/(const Interval& a, const Interval& b) {
  Interval r;
  arb_div(r.get(), a.get(), b.get(), Interval::kPrecision);
  return r;
}
Interval operator-(const Interval& a) {
  Interval r;
  arb_neg(r.get(), a.get());
  return r;
}
Interval Hull(const Interval& a, const Interval& b) {
  Interval r;
  arb_union(r.get(), a.get(), b.get(), Interval::kPrecision);
  return r;
}

}  // namespace eval
