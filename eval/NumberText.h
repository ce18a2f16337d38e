// Number text: how a double is shown to the user and handed to a script engine.
// At most 15 significant digits (exact ties away from zero), plain notation for
// 0.0001 <= |x| < 1E+15 after rounding and E+15 / E-05 style otherwise, no
// trailing zeros, "." as the decimal point whatever the process locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Value.h"

namespace eval {

// Non-finite values have no number text; callers must not pass them
// (Evaluate fails with Overflow first). They come out as "inf", "-inf", "nan".
std::string NumberText(double value);
// The same text appended to `text`, for callers that build code on a hot path.
void AppendNumberText(std::string& text, double value);

// The value a script engine reads back from NumberText(value), computed
// without the text: the value rounded to 15 significant digits (exact ties
// away from zero), as the Integer, Long or Double the text spells with its
// sign applied as the language's negation does; nullopt when the text reads
// beyond the double range (the largest doubles round up past it). `value`
// must be finite.
std::optional<Value> NumberTextValue(double value);

// VBScript's number text of a single-precision value: shortest text of at most
// 7 significant digits, exponent form below 0.0001 and from 1E+07 on.
std::string SingleText(float value);

// The leading-number conversion of initial values and degree-minute-second
// pieces: blanks, tabs and line feeds anywhere are ignored; then a sign,
// digits with "." as decimal point, an exponent (E or e) are read, or a radix
// prefix &H / &O with its digits; reading stops at the first character that
// cannot continue the number. A text that does not begin with a number gives 0,
// one below the smallest double 0, one beyond the largest an infinity, which
// every caller refuses as an Overflow.
double LeadingNumber(std::string_view text);

}  // namespace eval
