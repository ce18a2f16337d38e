// The one reading of number texts, shared by the three doors through which a
// number text reaches a value: a literal in code (Lexer), a text used as a
// number (ParseNumericText, CDbl, arithmetic) and the leading-number
// conversion of initial values (LeadingNumber). Each door decides only what
// may surround the number; the digits mean the same everywhere: the correctly
// rounded double, 0 below the smallest one, Overflow beyond the largest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "Value.h"

namespace eval {

struct DecimalScan {
  std::size_t length = 0;          // bytes of the number; 0 when no number starts here
  bool whole = true;               // digits only: no point, no exponent
  bool danglingExponent = false;   // an E without digits follows; it is not part of the number
};

// digits [ '.' [digits] ] | '.' digits, then [ (E|e) [sign] digits ], no sign
// in front. An exponent without digits is left unread (see danglingExponent).
DecimalScan ScanDecimal(std::string_view text);

// The value of a scanned decimal number (text of ScanDecimal's length): whole
// numbers as the Integer or Long they fit, else a Double; nullopt when the
// number is beyond the largest double (Overflow).
std::optional<Value> DecimalValue(std::string_view number, bool whole);

struct RadixScan {
  std::size_t length = 0;   // bytes of "&H" / "&O" and its digits; 0 when there are no digits
  bool overflow = false;    // more than 32 bits
  std::uint32_t bits = 0;
};

// "&H" / "&O" (any case) and their digits at the start of `text`.
RadixScan ScanRadix(std::string_view text);

// A radix number's digits as a signed bit pattern, 16 bits when they fit in
// 16, else 32; an Integer when that value fits 16 bits, else a Long.
Value RadixValue(std::uint32_t bits);

// An Integer, Long or Double value as a double.
double NumberOf(const Value& number);

// The kind a whole number takes: Integer when it fits 16 bits, else Long,
// else Double.
Value WholeValue(double whole);

}  // namespace eval
