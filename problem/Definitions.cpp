#include "Definitions.h"

#include <unordered_map>

#include "eval/Ascii.h"
#include "eval/Lexer.h"
#include "eval/ScriptError.h"

namespace problem {
namespace {

using eval::Keyword;
using eval::Token;
using eval::TokenKind;

// Calls `visit(token)` for each token up to the end or the first one the
// lexer refuses.
template <typename Visit>
void ForEachToken(std::string_view text, Visit visit) {
  eval::Lexer lexer(text);
  try {
    while (true) {
      const Token token = lexer.Next();
      if (token.kind == TokenKind::End) return;
      visit(token);
    }
  } catch (const eval::ScriptError&) {
    // The rest is left as it is; compiling the text reports the fault.
  }
}

bool IsComparison(const Token& token) {
  switch (token.kind) {
    case TokenKind::Equal:
    case TokenKind::NotEqual:
    case TokenKind::Less:
    case TokenKind::Greater:
    case TokenKind::LessEqual:
    case TokenKind::GreaterEqual:
      return true;
    default:
      return false;
  }
}

bool BindsLooserThanMinus(const Token& token) {
  if (IsComparison(token)) return true;
  switch (token.kind) {
    case TokenKind::Ampersand:
      return true;
    case TokenKind::Identifier:
      return token.keyword == Keyword::Not || token.keyword == Keyword::And || token.keyword == Keyword::Or ||
             token.keyword == Keyword::Xor || token.keyword == Keyword::Eqv || token.keyword == Keyword::Imp ||
             token.keyword == Keyword::Is;
    default:
      return false;
  }
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Replaces each use of a definition in `text` by "(" + its expansion + ")",
// adding to `budget` the bytes written; false when the budget is exceeded.
class Substitution {
 public:
  void Define(const std::string& folded, const std::string* expansion) { known_[folded] = expansion; }

  // nullopt when the result would pass `room` bytes. One token of lookahead
  // (is the name called?), so a long text costs no token list.
  std::optional<std::string> Apply(std::string_view text, std::size_t room) const {
    std::string out;
    std::size_t copied = 0;
    bool tooLarge = false;
    std::optional<std::pair<std::size_t, std::string_view>> pending;  // a name that may be replaced
    const auto replace = [&] {
      const auto it = known_.find(eval::FoldName(pending->second));
      if (it == known_.end() || tooLarge) return;
      const std::string& expansion = *it->second;
      const std::size_t before = pending->first - copied;
      if (out.size() + before + expansion.size() + 2 > room) {
        tooLarge = true;
        return;
      }
      out.append(text.substr(copied, before));
      out += '(';
      out += expansion;
      out += ')';
      copied = pending->first + pending->second.size();
    };
    bool afterDot = false;
    ForEachToken(text, [&](const Token& token) {
      if (pending && token.kind != TokenKind::LParen) replace();
      pending.reset();
      if (token.kind == TokenKind::Identifier && token.keyword == Keyword::None && !afterDot)
        pending.emplace(token.position, token.text);
      afterDot = token.kind == TokenKind::Dot;
    });
    if (pending) replace();
    if (tooLarge || out.size() + (text.size() - copied) > room) return std::nullopt;
    out.append(text.substr(copied));
    return out;
  }

 private:
  std::unordered_map<std::string, const std::string*> known_;
};

}  // namespace

std::vector<std::size_t> TopLevelEquals(std::string_view text) {
  std::vector<std::size_t> found;
  int depth = 0;
  bool complete = true;
  eval::Lexer lexer(text);
  try {
    while (true) {
      const Token token = lexer.Next();
      if (token.kind == TokenKind::End) break;
      if (token.kind == TokenKind::LParen) ++depth;
      if (token.kind == TokenKind::RParen && depth > 0) --depth;
      if (token.kind == TokenKind::Equal && depth == 0) {
        found.push_back(token.position);
        if (found.size() == 2) return found;  // a second one is refused; no need for more
      }
    }
  } catch (const eval::ScriptError&) {
    complete = false;
  }
  if (!complete) found.clear();
  return found;
}

bool TopLevelComparison(std::string_view text) {
  std::vector<Token> tokens;
  eval::Lexer lexer(text);
  try {
    for (Token token = lexer.Next(); token.kind != TokenKind::End; token = lexer.Next()) tokens.push_back(std::move(token));
  } catch (const eval::ScriptError&) {
    return false;  // compiling the equation reports it
  }
  std::size_t first = 0;
  std::size_t last = tokens.size();
  while (true) {
    bool comparison = false;
    bool logical = false;
    bool enclosed = last - first >= 2 && tokens[first].kind == TokenKind::LParen;
    int depth = 0;
    for (std::size_t i = first; i < last; ++i) {
      const Token& token = tokens[i];
      if (token.kind == TokenKind::LParen) ++depth;
      if (token.kind == TokenKind::RParen && depth > 0 && --depth == 0 && i + 1 < last) enclosed = false;
      if (depth != 0 || token.kind == TokenKind::LParen || token.kind == TokenKind::RParen) continue;
      comparison = comparison || IsComparison(token);
      logical = logical || (token.kind == TokenKind::Identifier &&
                            (token.keyword == Keyword::Not || token.keyword == Keyword::And ||
                             token.keyword == Keyword::Or || token.keyword == Keyword::Xor ||
                             token.keyword == Keyword::Eqv || token.keyword == Keyword::Imp));
    }
    if (depth != 0) return false;  // unbalanced: compiling the equation reports it
    if (!enclosed || tokens[last - 1].kind != TokenKind::RParen) return comparison && !logical;
    ++first;  // the whole text is one parenthesized expression: look inside it
    --last;
  }
}

std::string_view SignificantText(std::string_view text) {
  std::optional<std::size_t> begin;
  std::size_t end = 0;
  ForEachToken(text, [&](const Token& token) {
    if (!begin) begin = token.position;
    end = token.end;
  });
  return begin ? text.substr(*begin, end - *begin) : text.substr(0, 0);
}

void ForEachNameUse(std::string_view text, const std::function<void(const NameUse&)>& visit) {
  std::optional<NameUse> pending;  // reported once the next token says whether it is called
  bool afterDot = false;
  ForEachToken(text, [&](const Token& token) {
    if (pending) {
      pending->call = token.kind == TokenKind::LParen;
      visit(*pending);
      pending.reset();
    }
    if (token.kind == TokenKind::Identifier && token.keyword == Keyword::None && !afterDot)
      pending = NameUse{std::string(token.text), eval::FoldName(token.text), token.position, false};
    afterDot = token.kind == TokenKind::Dot;
  });
  if (pending) visit(*pending);
}

std::string NaturalEquation(std::string_view text, std::size_t equalsAt) {
  const std::string_view left = Trimmed(text.substr(0, equalsAt));
  const std::string_view right = Trimmed(SignificantText(text.substr(equalsAt + 1)));
  bool loose = false;
  int depth = 0;
  ForEachToken(left, [&](const Token& token) {
    if (token.kind == TokenKind::LParen) ++depth;
    if (token.kind == TokenKind::RParen && depth > 0) --depth;
    if (depth == 0 && BindsLooserThanMinus(token)) loose = true;
  });
  std::string natural;
  natural.reserve(left.size() + right.size() + 8);
  if (loose) natural += '(';
  natural += left;
  if (loose) natural += ')';
  natural += " - (";
  natural += right;
  natural += ')';
  return natural;
}

ExpandResult Expand(const Problem& problem) {
  Expansion expansion;
  if (problem.road == Road::Go) {
    for (const Equation& equation : problem.equations) expansion.equations.push_back(equation.text.Text());
    return ExpandResult{std::move(expansion), std::nullopt};
  }
  std::size_t used = 0;
  const auto refuse = [&](const std::string& source, Place place, int equation) {
    ProblemError error;
    error.source = source;
    error.place = place;
    error.equation = equation;
    error.message = "expanding the definitions takes more than " + std::to_string(kMaxExpandedBytes >> 20) +
                    " MiB; use fewer nested definitions";
    return ExpandResult{std::nullopt, std::move(error)};
  };
  Substitution substitution;
  expansion.definitions.reserve(problem.definitions.size());
  for (const Definition& definition : problem.definitions) {
    auto text = substitution.Apply(SignificantText(definition.expression.Text()), kMaxExpandedBytes - used);
    if (!text) return refuse(definition.source, definition.place, 0);
    used += text->size();
    expansion.definitions.push_back(ExpandedDefinition{definition.name, std::move(*text)});
    // The reserve above keeps this pointer valid while definitions are added.
    substitution.Define(eval::FoldName(definition.name), &expansion.definitions.back().expression);
  }
  for (std::size_t i = 0; i < problem.equations.size(); ++i) {
    const Equation& equation = problem.equations[i];
    const std::string natural =
        equation.equalsAt ? NaturalEquation(equation.text.Text(), *equation.equalsAt) : equation.text.Text();
    auto text = substitution.Apply(natural, kMaxExpandedBytes - used);
    if (!text) return refuse(equation.source, equation.text.PlaceOf(0), static_cast<int>(i + 1));
    used += text->size();
    expansion.equations.push_back(std::move(*text));
  }
  return ExpandResult{std::move(expansion), std::nullopt};
}

}  // namespace problem
