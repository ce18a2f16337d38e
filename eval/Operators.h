// VBScript's operators on values: result kinds, promotion on overflow, Null
// propagation and the errors (Division by zero, Overflow, Type mismatch, ...).
#pragma once

#include <cstddef>
#include <optional>

#include "Ast.h"
#include "Value.h"

namespace eval {

// The longest text an operator may build; longer is "Out of string space".
inline constexpr std::size_t kMaxTextBytes = std::size_t{64} << 20;

// Unary operators: Op::Negate, Op::Plus, Op::Not.
Value ApplyUnary(Op op, const Value& operand);

// Binary operators: everything from Op::Power to Op::Imp.
Value ApplyBinary(Op op, const Value& left, const Value& right);

// An operator on operands known before the code runs (a compiler folding a
// subexpression without variables): its value, or nullopt when it raises an
// error, which then belongs to every evaluation in its place.
std::optional<Value> FoldUnary(Op op, const Value& operand);
std::optional<Value> FoldBinary(Op op, const Value& left, const Value& right);

// +, -, *, / and ^ on two numbers when at least one of them is a Double (the
// result is then a Double): what ApplyBinary gives, errors included. Other
// operators are not allowed here.
double ApplyReal(Op op, double left, double right);

// Joins two texts, raising "Out of string space" beyond kMaxTextBytes.
Value JoinTexts(const std::string& left, const std::string& right);

}  // namespace eval
