#include "Lexer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "NumberScan.h"
#include "ScriptError.h"

namespace eval {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct KeywordEntry {
  std::string_view folded;
  Keyword keyword;
};

constexpr std::array kKeywords{
    KeywordEntry{"and", Keyword::And},
    KeywordEntry{"or", Keyword::Or},
    KeywordEntry{"xor", Keyword::Xor},
    KeywordEntry{"eqv", Keyword::Eqv},
    KeywordEntry{"imp", Keyword::Imp},
    KeywordEntry{"not", Keyword::Not},
    KeywordEntry{"mod", Keyword::Mod},
    KeywordEntry{"is", Keyword::Is},
    KeywordEntry{"true", Keyword::True},
    KeywordEntry{"false", Keyword::False},
    KeywordEntry{"empty", Keyword::Empty},
    KeywordEntry{"null", Keyword::Null},
    KeywordEntry{"nothing", Keyword::Nothing},
    KeywordEntry{"function", Keyword::Function},
    KeywordEntry{"end", Keyword::End},
    KeywordEntry{"exit", Keyword::Exit},
    KeywordEntry{"dim", Keyword::Dim},
    KeywordEntry{"byval", Keyword::ByVal},
    KeywordEntry{"byref", Keyword::ByRef},
    KeywordEntry{"call", Keyword::Call},
    KeywordEntry{"public", Keyword::Public},
    KeywordEntry{"private", Keyword::Private},
    // Statements and words of the full language that this engine does not run.
    KeywordEntry{"case", Keyword::Unsupported},
    KeywordEntry{"class", Keyword::Unsupported},
    KeywordEntry{"const", Keyword::Unsupported},
    KeywordEntry{"default", Keyword::Unsupported},
    KeywordEntry{"do", Keyword::Unsupported},
    KeywordEntry{"each", Keyword::Unsupported},
    KeywordEntry{"else", Keyword::Unsupported},
    KeywordEntry{"elseif", Keyword::Unsupported},
    KeywordEntry{"erase", Keyword::Unsupported},
    KeywordEntry{"execute", Keyword::Unsupported},
    KeywordEntry{"executeglobal", Keyword::Unsupported},
    KeywordEntry{"for", Keyword::Unsupported},
    KeywordEntry{"get", Keyword::Unsupported},
    KeywordEntry{"goto", Keyword::Unsupported},
    KeywordEntry{"if", Keyword::Unsupported},
    KeywordEntry{"in", Keyword::Unsupported},
    KeywordEntry{"let", Keyword::Unsupported},
    KeywordEntry{"loop", Keyword::Unsupported},
    KeywordEntry{"me", Keyword::Unsupported},
    KeywordEntry{"new", Keyword::Unsupported},
    KeywordEntry{"next", Keyword::Unsupported},
    KeywordEntry{"on", Keyword::Unsupported},
    KeywordEntry{"option", Keyword::Unsupported},
    KeywordEntry{"preserve", Keyword::Unsupported},
    KeywordEntry{"property", Keyword::Unsupported},
    KeywordEntry{"randomize", Keyword::Unsupported},
    KeywordEntry{"redim", Keyword::Unsupported},
    KeywordEntry{"resume", Keyword::Unsupported},
    KeywordEntry{"select", Keyword::Unsupported},
    KeywordEntry{"set", Keyword::Unsupported},
    KeywordEntry{"static", Keyword::Unsupported},
    KeywordEntry{"step", Keyword::Unsupported},
    KeywordEntry{"stop", Keyword::Unsupported},
    KeywordEntry{"sub", Keyword::Unsupported},
    KeywordEntry{"then", Keyword::Unsupported},
    KeywordEntry{"to", Keyword::Unsupported},
    KeywordEntry{"until", Keyword::Unsupported},
    KeywordEntry{"wend", Keyword::Unsupported},
    KeywordEntry{"while", Keyword::Unsupported},
    KeywordEntry{"with", Keyword::Unsupported},
};

constexpr std::size_t kLongestKeyword = 13;  // "executeglobal"

}  // namespace

Keyword KeywordOf(std::string_view name) {
  // Runs for every name the compiler and the `name = number` shortcut see:
  // length and first letter rule out nearly every entry without a compare.
  if (name.size() > kLongestKeyword || name.size() < 2) return Keyword::None;
  const char first = FoldChar(name[0]);
  if (first < 'a' || first > 'z') return Keyword::None;
  // The keywords grouped by first letter, built once.
  static const auto kByLetter = [] {
    std::array<std::vector<const KeywordEntry*>, 26> groups;
    for (const auto& entry : kKeywords) groups[static_cast<std::size_t>(entry.folded[0] - 'a')].push_back(&entry);
    return groups;
  }();
  for (const KeywordEntry* candidate : kByLetter[static_cast<std::size_t>(first - 'a')]) {
    const KeywordEntry& entry = *candidate;
    if (entry.folded.size() != name.size()) continue;
    std::size_t k = 1;
    while (k < name.size() && FoldChar(name[k]) == entry.folded[k]) ++k;
    if (k == name.size()) return entry.keyword;
  }
  return Keyword::None;
}

std::size_t ReadDecimalLiteral(std::string_view text, std::size_t position, Value& value) {
  const DecimalScan scan = ScanDecimal(text);
  if (scan.length == 0) return 0;
  if (scan.danglingExponent) throw ScriptError(ErrorNumber::SyntaxError, position + scan.length);
  auto read = DecimalValue(text.substr(0, scan.length), scan.whole);
  if (!read) throw ScriptError(ErrorNumber::Overflow, position);
  value = std::move(*read);
  return scan.length;
}

void Lexer::SkipBlanksAndComments() {
  while (pos_ < code_.size()) {
    const char c = code_[pos_];
    if (IsBlank(c)) {
      ++pos_;
    } else if (c == '\'') {
      while (pos_ < code_.size() && code_[pos_] != '\n' && code_[pos_] != '\r') ++pos_;
    } else if (c == '_') {
      // Line continuation: '_' with only blanks up to the line end joins the lines.
      std::size_t k = pos_ + 1;
      while (k < code_.size() && IsBlank(code_[k])) ++k;
      if (k < code_.size() && code_[k] == '\r') ++k;
      if (k < code_.size() && code_[k] == '\n') ++k;
      if (k == pos_ + 1 || (code_[k - 1] != '\n' && code_[k - 1] != '\r')) return;
      pos_ = k;
    } else {
      return;
    }
  }
}

Token Lexer::ReadRadixLiteral(std::size_t start) {
  const RadixScan scan = ScanRadix(code_.substr(start));
  if (scan.length == 0) throw ScriptError(ErrorNumber::SyntaxError, start);
  if (scan.overflow) throw ScriptError(ErrorNumber::Overflow, start);
  std::size_t k = start + scan.length;
  // A type suffix: &H10& reads as &H10, its kind still set by its value.
  if (k < code_.size() && code_[k] == '&') ++k;
  Token token;
  token.kind = TokenKind::Number;
  token.position = start;
  token.number = RadixValue(scan.bits);
  pos_ = k;
  return token;
}

Token Lexer::Next() {
  Token token = Read();
  token.end = pos_;
  return token;
}

Token Lexer::Read() {
  SkipBlanksAndComments();
  Token token;
  token.position = pos_;
  if (pos_ >= code_.size()) return token;

  const char c = code_[pos_];
  const std::size_t start = pos_;

  if (c == '\n' || c == '\r' || c == ':') {
    token.kind = TokenKind::Newline;
    if (c == '\r' && pos_ + 1 < code_.size() && code_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    return token;
  }

  if (IsLetter(c)) {
    std::size_t k = pos_ + 1;
    while (k < code_.size() && IsNameChar(code_[k])) ++k;
    const std::string_view name = code_.substr(pos_, k - pos_);
    if (EqualsFolded(name, "rem")) {
      // Rem comment: to the end of the line.
      while (k < code_.size() && code_[k] != '\n' && code_[k] != '\r') ++k;
      pos_ = k;
      return Read();
    }
    token.kind = TokenKind::Identifier;
    token.text = name;
    token.keyword = KeywordOf(name);
    pos_ = k;
    return token;
  }

  if (IsDigit(c) || (c == '.' && pos_ + 1 < code_.size() && IsDigit(code_[pos_ + 1]))) {
    token.kind = TokenKind::Number;
    pos_ += ReadDecimalLiteral(code_.substr(pos_), pos_, token.number);
    return token;
  }

  if (c == '"') {
    token.kind = TokenKind::Text;
    std::size_t k = pos_ + 1;
    while (true) {
      if (k >= code_.size() || code_[k] == '\n' || code_[k] == '\r') {
        throw ScriptError(ErrorNumber::UnterminatedString, start);
      }
      if (code_[k] == '"') {
        if (k + 1 < code_.size() && code_[k + 1] == '"') {
          token.literal += '"';
          k += 2;
          continue;
        }
        ++k;
        break;
      }
      // Any other byte, UTF-8 included, passes through unchanged.
      const std::size_t runStart = k;
      while (k < code_.size() && code_[k] != '"' && code_[k] != '\n' && code_[k] != '\r') ++k;
      token.literal.append(code_.substr(runStart, k - runStart));
    }
    pos_ = k;
    return token;
  }

  if (c == '&' && pos_ + 1 < code_.size()) {
    const char kind = FoldChar(code_[pos_ + 1]);
    if (kind == 'h' || kind == 'o') return ReadRadixLiteral(start);
  }

  ++pos_;
  auto single = [&](TokenKind kind) {
    token.kind = kind;
    return token;
  };
  switch (c) {
    case '(':
      return single(TokenKind::LParen);
    case ')':
      return single(TokenKind::RParen);
    case ',':
      return single(TokenKind::Comma);
    case '.':
      return single(TokenKind::Dot);
    case '+':
      return single(TokenKind::Plus);
    case '-':
      return single(TokenKind::Minus);
    case '*':
      return single(TokenKind::Star);
    case '/':
      return single(TokenKind::Slash);
    case '\\':
      return single(TokenKind::Backslash);
    case '^':
      return single(TokenKind::Caret);
    case '&':
      return single(TokenKind::Ampersand);
    case '=':
      // =< and => are <= and >= written the other way round.
      if (pos_ < code_.size() && code_[pos_] == '<') {
        ++pos_;
        return single(TokenKind::LessEqual);
      }
      if (pos_ < code_.size() && code_[pos_] == '>') {
        ++pos_;
        return single(TokenKind::GreaterEqual);
      }
      return single(TokenKind::Equal);
    case '<':
      if (pos_ < code_.size() && code_[pos_] == '>') {
        ++pos_;
        return single(TokenKind::NotEqual);
      }
      if (pos_ < code_.size() && code_[pos_] == '=') {
        ++pos_;
        return single(TokenKind::LessEqual);
      }
      return single(TokenKind::Less);
    case '>':
      if (pos_ < code_.size() && code_[pos_] == '<') {  // >< is <>
        ++pos_;
        return single(TokenKind::NotEqual);
      }
      if (pos_ < code_.size() && code_[pos_] == '=') {
        ++pos_;
        return single(TokenKind::GreaterEqual);
      }
      return single(TokenKind::Greater);
    default:
      break;
  }
  // NUL, control characters, non-ASCII bytes outside text literals, '#', '[', ...
  throw ScriptError(ErrorNumber::InvalidCharacter, start);
}

}  // namespace eval
