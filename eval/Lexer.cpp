#include "Lexer.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

#include "ScriptError.h"

namespace eval {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

// The rough decimal exponent of a literal (its digits and its written
// exponent): tells a literal beyond Double's range from one below it.
long ApproximateMagnitude(std::string_view literal) {
  long integerDigits = 0;
  long leadingFractionZeros = 0;
  long exponent = 0;
  bool seenNonZero = false;
  bool inFraction = false;
  std::size_t k = 0;
  for (; k < literal.size(); ++k) {
    const char c = literal[k];
    if (c == '.') {
      inFraction = true;
    } else if (IsDigit(c)) {
      if (c != '0') seenNonZero = true;
      if (!inFraction) {
        if (seenNonZero) ++integerDigits;
      } else if (!seenNonZero) {
        ++leadingFractionZeros;
      }
    } else {
      break;
    }
  }
  if (k < literal.size()) {  // exponent part: E, sign, digits (capped: only the sign matters beyond)
    ++k;
    bool negative = false;
    if (k < literal.size() && (literal[k] == '+' || literal[k] == '-')) negative = literal[k++] == '-';
    for (; k < literal.size() && IsDigit(literal[k]); ++k) {
      if (exponent < 100000) exponent = exponent * 10 + (literal[k] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return integerDigits > 0 ? integerDigits + exponent : exponent - leadingFractionZeros;
}

// The double a literal spells when that takes one exact operation: at most
// 15 significant digits (a whole number below 2^53) scaled by a power of ten
// up to 1E22 (exact in a double), so the one multiplication or division rounds
// correctly, as any full conversion would. That covers every number text the
// evaluator writes; anything else returns nullopt for the general conversion.
std::optional<double> ExactDecimal(std::string_view literal) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr int kMaxDigits = 15;
  constexpr int kMaxPower = 22;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int scale = 0;  // decimal exponent to apply to the mantissa
  bool inFraction = false;
  std::size_t k = 0;
  for (; k < literal.size(); ++k) {
    const char c = literal[k];
    if (c == '.') {
      inFraction = true;
      continue;
    }
    if (!IsDigit(c)) break;
    if (mantissa != 0 || c != '0') {
      if (++digits > kMaxDigits) return std::nullopt;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (inFraction) --scale;
  }
  if (k < literal.size()) {  // exponent: E, sign, digits
    ++k;
    bool negative = false;
    if (k < literal.size() && (literal[k] == '+' || literal[k] == '-')) negative = literal[k++] == '-';
    int exponent = 0;
    for (; k < literal.size(); ++k) {
      exponent = exponent * 10 + (literal[k] - '0');
      if (exponent > 1000) return std::nullopt;
    }
    scale += negative ? -exponent : exponent;
  }
  const auto m = static_cast<double>(mantissa);
  if (mantissa == 0) return 0.0;
  if (scale >= 0 && scale <= kMaxPower) return m * kPowersOfTen[scale];
  if (scale < 0 && scale >= -kMaxPower) return m / kPowersOfTen[-scale];
  return std::nullopt;
}

}  // namespace

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = Lower(c);
  return folded;
}

Keyword KeywordOf(std::string_view name) {
  // Runs for every name the compiler and the `name = number` shortcut see:
  // length and first letter rule out nearly every entry without a compare.
  if (name.size() > kLongestKeyword || name.size() < 2) return Keyword::None;
  const char first = Lower(name[0]);
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
    while (k < name.size() && Lower(name[k]) == entry.folded[k]) ++k;
    if (k == name.size()) return entry.keyword;
  }
  return Keyword::None;
}

std::size_t ReadDecimalLiteral(std::string_view text, std::size_t position, Value& value) {
  std::size_t k = 0;
  bool anyDigit = false;
  bool whole = true;
  while (k < text.size() && IsDigit(text[k])) {
    ++k;
    anyDigit = true;
  }
  if (k < text.size() && text[k] == '.') {
    const bool digitFollows = k + 1 < text.size() && IsDigit(text[k + 1]);
    if (anyDigit || digitFollows) {
      whole = false;
      ++k;
      while (k < text.size() && IsDigit(text[k])) {
        ++k;
        anyDigit = true;
      }
    }
  }
  if (!anyDigit) return 0;
  if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
    std::size_t e = k + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e >= text.size() || !IsDigit(text[e])) {
      throw ScriptError(ErrorNumber::SyntaxError, position + k);
    }
    while (e < text.size() && IsDigit(text[e])) ++e;
    k = e;
    whole = false;
  }
  const std::string_view literal = text.substr(0, k);

  if (whole) {
    // Whole literals are Integers when they fit, then Longs, then Doubles.
    std::uint64_t n = 0;
    bool small = true;
    for (char c : literal) {
      n = n * 10 + static_cast<std::uint64_t>(c - '0');
      if (n > 2147483647u) {
        small = false;
        break;
      }
    }
    if (small) {
      value = n <= 32767 ? Value::Integer(static_cast<std::int16_t>(n))
                         : Value::Long(static_cast<std::int32_t>(n));
      return k;
    }
  }

  if (const auto exact = ExactDecimal(literal)) {
    value = Value::Double(*exact);
    return k;
  }
  double d = 0.0;
  const auto result = std::from_chars(literal.data(), literal.data() + literal.size(), d,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    if (ApproximateMagnitude(literal) > 0) throw ScriptError(ErrorNumber::Overflow, position);
    d = 0.0;  // below the smallest denormal
  } else if (result.ec != std::errc() || result.ptr != literal.data() + literal.size()) {
    throw ScriptError(ErrorNumber::SyntaxError, position);
  }
  value = Value::Double(d);
  return k;
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
  // &H / &O literal: up to 16 bits an Integer (so &HFFFF is -1), up to 32 bits a Long.
  const char kind = Lower(code_[start + 1]);
  const unsigned radix = kind == 'h' ? 16 : 8;
  std::size_t k = start + 2;
  std::uint64_t n = 0;
  bool anyDigit = false;
  while (k < code_.size()) {
    const char c = Lower(code_[k]);
    unsigned digit;
    if (IsDigit(c)) {
      digit = static_cast<unsigned>(c - '0');
    } else if (radix == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      break;
    }
    if (digit >= radix) break;
    n = n * radix + digit;
    if (n > 0xFFFFFFFFu) throw ScriptError(ErrorNumber::Overflow, start);
    anyDigit = true;
    ++k;
  }
  if (!anyDigit) throw ScriptError(ErrorNumber::SyntaxError, start);
  bool forceLong = false;
  if (k < code_.size() && code_[k] == '&') {  // type suffix: &HFFFF& is the Long 65535
    forceLong = true;
    ++k;
  }
  Token token;
  token.kind = TokenKind::Number;
  token.position = start;
  if (n <= 0xFFFF && !forceLong) {
    token.number = Value::Integer(static_cast<std::int16_t>(static_cast<std::uint16_t>(n)));
  } else {
    token.number = Value::Long(static_cast<std::int32_t>(static_cast<std::uint32_t>(n)));
  }
  pos_ = k;
  return token;
}

Token Lexer::Next() {
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
    if (name.size() == 3 && Lower(name[0]) == 'r' && Lower(name[1]) == 'e' && Lower(name[2]) == 'm') {
      // Rem comment: to the end of the line.
      while (k < code_.size() && code_[k] != '\n' && code_[k] != '\r') ++k;
      pos_ = k;
      return Next();
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
    const char kind = Lower(code_[pos_ + 1]);
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
