// A real interval as an Arb ball: every operation encloses the exact result
// over all points of its operands, rounding outward inside Arb, so nothing
// here sets a rounding mode or widens a bound by hand. The compiled tape runs
// over it to enclose an equation's values and partial derivatives over a box.
#pragma once

#include <arb.h>

#include <utility>

namespace eval {

class Interval {
 public:
  // Working precision in bits: wider than a double, so that a box a few
  // units in the last place across is not swamped by the arithmetic's own
  // widening.
  static constexpr long kPrecision = 128;

  Interval() { arb_init(v_); }
  explicit Interval(double exact) : Interval() { arb_set_d(v_, exact); }
  // Every real number: what is known of a value nobody could enclose.
  static Interval WholeLine() {
    Interval r;
    arb_zero_pm_inf(r.v_);
    return r;
  }
  // [lo, hi], both ends included; lo <= hi.
  Interval(double lo, double hi);
  Interval(const Interval& other) : Interval() { arb_set(v_, other.v_); }
  Interval(Interval&& other) noexcept : Interval() { arb_swap(v_, other.v_); }
  Interval& operator=(const Interval& other) {
    arb_set(v_, other.v_);
    return *this;
  }
  Interval& operator=(Interval&& other) noexcept {
    arb_swap(v_, other.v_);
    return *this;
  }
  ~Interval() { arb_clear(v_); }

  // The ends rounded outward to doubles (-inf/+inf when unbounded, NaN).
  double Lower() const;
  double Upper() const;
  bool Finite() const { return arb_is_finite(v_) != 0; }
  bool ContainsZero() const { return arb_contains_zero(v_) != 0; }
  bool Positive() const { return arb_is_positive(v_) != 0; }  // every point > 0
  bool Negative() const { return arb_is_negative(v_) != 0; }
  bool IsZero() const { return arb_is_zero(v_) != 0; }  // exactly [0, 0]
  // Some point lies in both.
  bool Overlaps(const Interval& other) const { return arb_overlaps(v_, other.v_) != 0; }
  // Every point of `inner` lies in this interval's interior.
  bool ContainsInInterior(const Interval& inner) const { return arb_contains_interior(v_, inner.v_) != 0; }

  arb_ptr get() { return v_; }
  arb_srcptr get() const { return v_; }

 private:
  arb_t v_;
};

Interval operator+(const Interval& a, const Interval& b);
Interval operator-(const Interval& a, const Interval& b);
Interval operator*(const Interval& a, const Interval& b);
Interval operator/(const Interval& a, const Interval& b);  // b must not contain 0
Interval operator-(const Interval& a);

// The smallest interval holding both.
Interval Hull(const Interval& a, const Interval& b);

}  // namespace eval
