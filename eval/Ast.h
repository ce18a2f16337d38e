// The syntax tree of compiled code. A Program owns every node; nodes point at
// each other with plain pointers into the Program's deques, which never move.
//
// Name lookups are resolved once and remembered in the node (Resolution),
// tagged with the engine's name generation: the engine bumps the generation
// whenever a name appears or changes kind, which invalidates every remembered
// answer at once. A Program therefore belongs to one engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Value.h"

namespace eval {

class RealTape;

// A name as written plus its case-folded key.
struct NameRef {
  std::string written;
  std::string folded;
};

enum class ResolvedKind : std::uint8_t {
  Unknown,   // nothing of that name: reads as Empty
  Global,    // script global variable or function: index = slot
  Member,    // member of an object added with its members global: index = object, member
  Object,    // an object added by name: index = object
  Builtin,   // built-in function: index = its number
  Constant,  // a named constant of the language (FindConstant)
};

struct Resolution {
  std::uint64_t generation = 0;  // 0 never matches: the engine starts at 1
  ResolvedKind kind = ResolvedKind::Unknown;
  std::uint32_t index = 0;
  std::uint32_t member = 0;
};

enum class ExprKind : std::uint8_t {
  Literal,  // literal
  Name,     // name without argument list
  Call,     // name(args) or, as a statement, name args
  Member,   // object.member [ (args) ]
  Unary,    // op left
  Binary,   // left op right
};

enum class Op : std::uint8_t {
  None,
  Negate, Plus, Not,
  Power, Multiply, Divide, IntDivide, Mod, Add, Subtract, Concat,
  Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual,
  And, Or, Xor, Eqv, Imp,
};

// The member a Member expression names, with the engine's remembered answer
// for it (the member's index in the object): kept apart, as few nodes have one.
struct MemberRef {
  const NameRef* name = nullptr;
  mutable Resolution resolution;
};

// Frees an arithmetic node's steps (defined with RealTape).
struct RealTapeDelete {
  void operator()(RealTape* tape) const noexcept;
};

// One node: 88 bytes on 64-bit systems, each field used by the kinds its comment names. Which
// member of a union is set follows from `kind` alone.
struct Expr {
  ExprKind kind = ExprKind::Literal;
  Op op = Op::None;
  bool parenthesized = false;  // (x) passed to a ByRef parameter is a copy
  bool implicitLocal = false;  // localSlot names a local that exists only once assigned
  // Binary +, -, *, /, ^ or a sign over literals, names and such nodes only:
  // the evaluator may compute it in doubles (it falls back where kinds matter).
  bool arithmetic = false;
  std::int32_t localSlot = -1; // function-local variable, resolved when compiled
  std::uint32_t position = 0;
  std::uint32_t height = 1;    // nesting levels of the subtree, the left operand of a
                               // binary operator adding none: bounds the evaluator's recursion
  std::uint32_t argCount = 0;  // Call, Member
  union {
    const Value* literal = nullptr;  // Literal
    const NameRef* name;             // Name, Call, Member (the object's name)
  };
  union {
    const Expr* left = nullptr;  // Unary, Binary
    const MemberRef* member;     // Member
  };
  union {
    const Expr* right = nullptr;  // Binary
    const Expr* const* args;      // Call, Member: argCount of them
  };
  mutable Resolution resolution;  // the name (Name, Call, Member's object)
  // An arithmetic node's steps over doubles, once it has been evaluated, and
  // the name generation in which it could have none (it names a function, a
  // member that is no constant, an unknown name, ...): not tried again until
  // names change.
  mutable std::unique_ptr<RealTape, RealTapeDelete> tape;
  mutable std::uint64_t realSkipGeneration = 0;
};

enum class StmtKind : std::uint8_t {
  Assign,        // name = value
  MemberAssign,  // object.member = value
  Call,          // call: a Call or Member expression, result discarded
  Dim,           // names
  ExitFunction,
};

struct Stmt {
  StmtKind kind = StmtKind::Assign;
  bool implicitLocal = false;
  std::int32_t localSlot = -1;
  std::uint32_t position = 0;
  const NameRef* name = nullptr;    // Assign target, MemberAssign object
  const NameRef* member = nullptr;  // MemberAssign
  const Expr* value = nullptr;      // Assign, MemberAssign; Call: the call expression
  const Expr* target = nullptr;     // MemberAssign: the Member expression assigned to
  std::vector<const NameRef*> names;  // Dim
  mutable Resolution resolution;
};

struct Param {
  const NameRef* name = nullptr;
  bool byRef = true;  // VBScript's default
};

struct FunctionDef {
  const NameRef* name = nullptr;
  std::vector<Param> params;       // local slots 1..params.size()
  std::uint32_t localCount = 1;    // slot 0 is the result
  std::vector<std::uint8_t> implicitSlots;  // 1 for locals that exist only once assigned
  std::vector<const Stmt*> body;
  mutable Resolution slot;  // where the engine last installed it
};

struct Program {
  std::deque<NameRef> names;
  std::deque<MemberRef> members;
  std::deque<Value> literals;
  std::deque<Expr> exprs;
  std::deque<std::vector<const Expr*>> argLists;
  std::deque<Stmt> stmts;
  std::deque<FunctionDef> functions;
  std::vector<const Stmt*> topLevel;  // global statements in order
  const Expr* expression = nullptr;   // Eval: the expression
  std::size_t nodeCount = 0;          // names, literals, expressions and statements
};

}  // namespace eval
