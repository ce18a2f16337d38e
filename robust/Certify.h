// A proof that a system has exactly one root in a small box around a point:
// Krawczyk's operator over Arb intervals on the compiled equations.
//
//   K(X) = y - C F(y) + (I - C J(X)) (X - y),   C ~ J(y)^-1 in doubles,
//
// with F(y) and J(X) enclosed by the tape over intervals and every product
// in interval arithmetic (C is any matrix: only the enclosures must be
// rigorous). When K(X) lies in the interior of X, X holds exactly one root
// of the equations (their numbers taken as the doubles they read as), and
// that root lies in K(X).
//
//   robust::Certificate c = robust::Certify(system, point);  // square systems only
//   if (c.outcome == robust::CertifyOutcome::Certified) ... c.enclosure[j].lo, .hi
#pragma once

#include <span>
#include <string>
#include <vector>

#include "eval/compiled/CompiledSystem.h"
#include "Robust.h"

namespace robust {

enum class CertifyOutcome : unsigned char {
  Certified,       // one root in the box, enclosed
  NotCertifiable,  // an equation uses a function without an enclosure rule (named), or is not compiled
  NotSquare,       // as many equations as unknowns are needed
  Singular,        // J(y) is singular or nearly so: a multiple root or none can be proved
  Domain,          // every box tried reaches where a function is undefined (named)
  NoContraction,   // K(X) left X for every radius tried: no root near the point, or not alone
};

struct Certificate {
  CertifyOutcome outcome = CertifyOutcome::NoContraction;
  std::vector<Bounds> enclosure;  // per unknown; Certified only
  // The box proved to hold exactly one root (the one in the enclosure),
  // enclosure within it; Certified only.
  std::vector<Bounds> box;
  double radius = 0;              // the relative radius of the box that was proved; Certified only
  int equation = -1;              // NotCertifiable, Domain: the equation (0-based)
  std::string what;               // NotCertifiable, Domain: the function, operator or reason
};

struct CertifyOptions {
  // The first box is y_j +- radius*|y_j| (+- radius where y_j = 0), so roots
  // of any scale get boxes of their own size, and at least twice the Newton
  // step from y, so that it holds the root the step aims at; each failed
  // box is followed by one `growth` times wider, at most `tries` boxes in
  // all (the cost is `tries` interval evaluations of F and J).
  double radius = 1E-10;
  double growth = 100;
  int tries = 5;
  // Above this estimated condition of J(y) (columns scaled) the root is
  // reported as singular or near-singular when no box contracts.
  double singularCondition = 1E14;
};

namespace detail {
// The inverse of the n x n row-major matrix by Gauss-Jordan with partial
// pivoting; false at an exactly zero pivot or a non-finite entry.
bool Inverse(std::vector<double> a, int n, std::vector<double>& inverse);
}  // namespace detail

// `point` has system.Dimension() coordinates. Changes nothing in the system
// but its scratch space; the library's Error is left as it was.
Certificate Certify(eval::CompiledSystem& system, std::span<const double> point, const CertifyOptions& options = {});

}  // namespace robust
