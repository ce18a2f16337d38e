// Krawczyk's proof on equations whose roots are known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/Certify.h"

namespace {

using robust::CertifyOutcome;

struct Case {
  std::string name;
  std::vector<std::string> equations;
  std::vector<std::string> names;
  std::vector<double> point;
  CertifyOutcome outcome;
  std::vector<double> root;  // Certified: exactly representable, must lie in the enclosure
  std::string what;          // NotCertifiable, Domain
};

robust::Certificate CertifyCase(const Case& c) {
  eval::SilentUi ui;
  eval::CompiledSystem system(c.equations, c.names, std::make_shared<eval::ClsMath>());
  return robust::Certify(system, c.point);
}

TEST(Certify, KnownRootsAndFailures) {
  const std::vector<Case> cases = {
      {"cubic, root 1", {"x^3 - 3.5*x^2 + x + 1.5"}, {"x"}, {1 + 1E-9}, CertifyOutcome::Certified, {1}, ""},
      {"cubic, root 3", {"x^3 - 3.5*x^2 + x + 1.5"}, {"x"}, {3 - 2E-9}, CertifyOutcome::Certified, {3}, ""},
      {"cubic, root -0.5", {"x^3 - 3.5*x^2 + x + 1.5"}, {"x"}, {-0.5}, CertifyOutcome::Certified, {-0.5}, ""},
      {"circle and line", {"x^2 + y^2 - 25", "x - y - 1"}, {"x", "y"}, {4.0000001, 2.9999999},
       CertifyOutcome::Certified, {4, 3}, ""},
      {"circle and line, other root", {"x^2 + y^2 - 25", "x - y - 1"}, {"x", "y"}, {-3, -4},
       CertifyOutcome::Certified, {-3, -4}, ""},
      {"scaled by 1E-12", {"1E-12*(x^2 + y^2 - 25)", "1E-12*(x - y - 1)"}, {"x", "y"}, {4, 3},
       CertifyOutcome::Certified, {4, 3}, ""},
      {"transcendental", {"Exp(x) - Cos(y)", "sinH(y) - x + Log(1 + x^2)"}, {"x", "y"}, {1E-7, -1E-7},
       CertifyOutcome::Certified, {0, 0}, ""},
      // Roots of very different scale: boxes follow each coordinate's size.
      {"root 1E-8", {"(x - 1E-8)*(x + 3)"}, {"x"}, {1.0000001E-8}, CertifyOutcome::Certified, {1E-8}, ""},
      {"root 1E+8", {"(x - 1E+8)*(x + 3)"}, {"x"}, {1.0000001E+8}, CertifyOutcome::Certified, {1E+8}, ""},
      {"roots 1E+4 and 1E-4", {"x*y - 1", "x - 1E8*y"}, {"x", "y"}, {1.00001E4, 0.99999E-4},
       CertifyOutcome::Certified, {1E4, 1E-4}, ""},
      // Functions with enclosure rules beyond the elementary ones.
      {"AsinH, root 0", {"AsinH(x) + x"}, {"x"}, {1E-9}, CertifyOutcome::Certified, {0}, ""},
      {"Sqr2, root 2.25", {"Sqr2(x) - 1.5"}, {"x"}, {2.2500001}, CertifyOutcome::Certified, {2.25}, ""},
      {"Int between its jumps, root 1.5", {"Int(x) + x - 2.5"}, {"x"}, {1.5000001}, CertifyOutcome::Certified,
       {1.5}, ""},
      {"DMin away from its kink, root 1", {"DMin(x, 2) - 1"}, {"x"}, {0.9999999}, CertifyOutcome::Certified, {1},
       ""},
      {"ACosH at the end of its domain", {"ACosH(x)"}, {"x"}, {1}, CertifyOutcome::Domain, {}, "ACosH"},
      // A double root: no box ever contracts.
      {"double root at the root", {"x^2"}, {"x"}, {0}, CertifyOutcome::Singular, {}, ""},
      {"double root near it", {"x^2"}, {"x"}, {1E-9}, CertifyOutcome::NoContraction, {}, ""},
      {"double root in two unknowns", {"(x - y)^2", "x + y - 2"}, {"x", "y"}, {1, 1}, CertifyOutcome::Singular,
       {}, ""},
      {"no root near", {"x^2 - 2"}, {"x"}, {3}, CertifyOutcome::NoContraction, {}, ""},
      {"no root at all", {"x^2 + 1"}, {"x"}, {0.001}, CertifyOutcome::NoContraction, {}, ""},
      {"a function without an enclosure rule", {"x - 1", "Modxy(y, 7) + y - 3.5"}, {"x", "y"}, {1, 1.5},
       CertifyOutcome::NotCertifiable, {}, "Modxy"},
      {"an equation the tape does not cover", {"x \\ 1 + x - 3"}, {"x"}, {1.5}, CertifyOutcome::NotCertifiable,
       {}, "The equation uses \\ or Mod"},
      {"a root on the domain's edge", {"Sqr(x)"}, {"x"}, {0}, CertifyOutcome::Domain, {}, "Sqr"},
      {"more equations than unknowns", {"x - 1", "x - 1"}, {"x"}, {1}, CertifyOutcome::NotSquare, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const robust::Certificate cert = CertifyCase(c);
    EXPECT_EQ(cert.outcome, c.outcome);
    EXPECT_EQ(cert.what, c.what);
    if (c.outcome != CertifyOutcome::Certified) {
      EXPECT_TRUE(cert.enclosure.empty());
      continue;
    }
    ASSERT_EQ(cert.enclosure.size(), c.point.size());
    for (std::size_t j = 0; j < c.root.size(); ++j) {
      EXPECT_LE(cert.enclosure[j].lo, c.root[j]);
      EXPECT_GE(cert.enclosure[j].hi, c.root[j]);
      // Tight: within a millionth of the root's size (of 1E-12 at 0).
      EXPECT_LE(cert.enclosure[j].hi - cert.enclosure[j].lo, 1E-6 * std::max(std::fabs(c.root[j]), 1E-6));
    }
  }
}

TEST(Certify, EnclosesAnIrrationalRoot) {
  const robust::Certificate cert = CertifyCase({"sqrt 2", {"x^2 - 2"}, {"x"}, {1.41421356}, {}, {}, ""});
  ASSERT_EQ(cert.outcome, CertifyOutcome::Certified);
  const double lo = cert.enclosure[0].lo;
  const double hi = cert.enclosure[0].hi;
  // lo^2 < 2 < hi^2, decided exactly: lo and hi have 53 bits, their squares 106.
  EXPECT_LT(std::fma(lo, lo, -2), 0);
  EXPECT_GT(std::fma(hi, hi, -2), 0);
  EXPECT_LE(hi - lo, 1E-12);
}

}  // namespace
