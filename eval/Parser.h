// Turns code into a Program: global statements and Function definitions
// (AddCode), or a single expression (Eval). Compile errors throw ScriptError
// with VBScript's number and the byte position; nothing else is touched.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "Ast.h"

namespace eval {

// Deepest nesting of parentheses, signs, Not and arguments the parser follows,
// and the tallest expression tree it builds (Expr::height: a chain of binary
// operators counts as one level, however long); beyond either, Out of stack space.
// Both keep the parser's and the evaluator's recursion well inside a thread's
// stack, also under AddressSanitizer.
inline constexpr int kMaxParseDepth = 400;
inline constexpr std::uint32_t kMaxTreeHeight = 800;

// The most syntax-tree nodes one text compiles to: a node per expression
// (number, text, name, operator, call), statement and name written. Beyond
// it, Out of memory: a text of any length costs memory a user can predict.
inline constexpr std::size_t kMaxTreeNodes = 8'000'000;

std::shared_ptr<Program> ParseCode(std::string_view code);
std::shared_ptr<Program> ParseExpression(std::string_view expression);
// The same with another bound than kMaxTreeNodes.
std::shared_ptr<Program> ParseCode(std::string_view code, std::size_t maxNodes);
std::shared_ptr<Program> ParseExpression(std::string_view expression, std::size_t maxNodes);

}  // namespace eval
