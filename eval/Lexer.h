// Splits script text into tokens, one at a time, so that a megabyte of code
// never turns into a megabyte-sized token list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Ascii.h"
#include "Value.h"

namespace eval {

enum class TokenKind : std::uint8_t {
  End,         // end of the text
  Newline,     // a line end or ':' (both end a statement)
  Number,      // value in Token::number
  Text,        // a text literal, quotes removed and "" turned into "
  Identifier,  // a name or a keyword (see Token::keyword)
  LParen,
  RParen,
  Comma,
  Dot,
  Plus,
  Minus,
  Star,
  Slash,
  Backslash,
  Caret,
  Ampersand,
  Equal,
  NotEqual,
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
};

// Reserved words. Statements the language subset does not run (For, Set,
// Sub, ...) are reserved as well, so that they fail when code is added
// instead of reading as unknown names.
enum class Keyword : std::uint8_t {
  None,
  // operators and constants
  And, Or, Xor, Eqv, Imp, Not, Mod, Is,
  True, False, Empty, Null, Nothing,
  // statements this engine runs
  Function, End, Exit, Dim, ByVal, ByRef, Call, Public, Private,
  // statements it refuses
  Unsupported,
};

struct Token {
  TokenKind kind = TokenKind::End;
  Keyword keyword = Keyword::None;
  std::size_t position = 0;  // byte offset in the code
  std::size_t end = 0;       // byte offset just after the token (its type suffix, closing quote, line end)
  std::string_view text;     // identifiers: as written
  std::string literal;       // Text tokens
  Value number;              // Number tokens
};

// The keyword a name spells, Keyword::None for an ordinary name.
Keyword KeywordOf(std::string_view name);

// Reads a decimal literal (see ScanDecimal) at the start of `text`. Returns
// the number of bytes used, 0 when no number starts there; fills `value` with
// an Integer, Long or Double as VBScript types the literal. Throws ScriptError
// for an exponent without digits (Syntax error) or a value beyond Double
// (Overflow); `position` is where `text` starts in the code.
std::size_t ReadDecimalLiteral(std::string_view text, std::size_t position, Value& value);

class Lexer {
 public:
  explicit Lexer(std::string_view code) : code_(code) {}

  // The next token. Throws ScriptError (Invalid character, Unterminated
  // string constant, Syntax error, Overflow) with the position in the code.
  Token Next();

 private:
  Token Read();
  void SkipBlanksAndComments();
  Token ReadRadixLiteral(std::size_t start);

  std::string_view code_;
  std::size_t pos_ = 0;
};

}  // namespace eval
