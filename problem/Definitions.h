// Definitions (NAME = EXPR) and natural equations (LHS = RHS) on the Full
// road, read with the engine's own lexer, so that names inside text literals
// or as parts of longer names are never touched and letter case is ignored
// as the language ignores it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Problem.h"
#include "ProblemError.h"

namespace problem {

// The '=' tokens of `text` outside parentheses (<=, >=, <> and => are other
// tokens; a '=' in a text literal is part of it), the first two at most.
// Empty when the lexer refuses the text before the end: compiling it
// reports why.
std::vector<std::size_t> TopLevelEquals(std::string_view text);
// True when the expression's outermost operation (inside parentheses that
// enclose all of it) is a comparison: =, <>, <, >, <= or >=, with no logical
// operator (Not, And, Or, Xor, Eqv, Imp) beside it at that level. Read from
// the tokens; false for a text the lexer refuses or whose parentheses do
// not balance.
bool TopLevelComparison(std::string_view text);

// The text from its first token to the end of its last: blanks and a
// trailing comment dropped, so that the text can be put in parentheses.
std::string_view SignificantText(std::string_view text);

// A name the text uses as a value or a function: an identifier that is no
// keyword and does not follow a '.' (a member of an object).
struct NameUse {
  std::string written;
  std::string folded;
  std::size_t offset = 0;  // in the text
  bool call = false;       // followed by '('
};
// Each in order of appearance, as far as the lexer reads; one at a time, so
// that a long text costs no list of them.
void ForEachNameUse(std::string_view text, const std::function<void(const NameUse&)>& visit);

// LHS - (RHS) for `text` with its top-level '=' at `equalsAt`; the left side
// is put in parentheses too when its top level holds an operator that binds
// more loosely than '-' (&, a comparison, Not, And, ...).
std::string NaturalEquation(std::string_view text, std::size_t equalsAt);

// What the evaluators take: each equation as one expression text with every
// use of a definition replaced by its parenthesised, expanded expression,
// and each definition expanded the same way, to be evaluated at the answer
// for the report. Texts on the Go road come back as typed.
struct ExpandedDefinition {
  std::string name;
  std::string expression;
};
struct Expansion {
  std::vector<std::string> equations;
  std::vector<ExpandedDefinition> definitions;
};
struct ExpandResult {
  std::optional<Expansion> expansion;
  std::optional<ProblemError> error;  // beyond kMaxExpandedBytes, naming where
};
ExpandResult Expand(const Problem& problem);

}  // namespace problem
