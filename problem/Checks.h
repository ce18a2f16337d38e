// What looks unintended in a problem the user typed: warnings, each with its
// place and a stable code (ProblemError.h's WarningCode), never errors.
#pragma once

#include <string_view>
#include <vector>

#include "Problem.h"

namespace problem {

// A name the engine knows without the problem: a built-in function
// (Abs, Sqr, ...), a named constant (vbCrLf, vbTrue, ...), a member of the
// library (pi, e, SinD, ...) or the library object itself ("math").
// `folded` is case-folded (eval::FoldName).
bool IsEngineName(std::string_view folded);

// The warnings about the equations and definitions of a problem whose names,
// definitions and equations are in place:
//   UnknownName: an equation or definition uses a name that is no unknown,
//     definition or engine name ("uses z, which is not an unknown: it counts as 0"),
//     or calls one that is no function;
//   UnusedUnknown: no equation uses an unknown, directly or through definitions;
//   Comparison: an equation's top level is a comparison (on the Full road
//     `=` has made it LHS - (RHS) already; <, <=, <> and the like remain).
// Each name once per equation or definition, at its first use. In order:
// per definition, then per equation, then the unknowns.
WarningList CheckProblem(const Problem& problem);

}  // namespace problem
