// Number text: how a double is shown to the user and handed to a script engine.
// At most 15 significant digits (exact ties away from zero), plain notation for
// 0.0001 <= |x| < 1E+15 after rounding and E+15 / E-05 style otherwise, no
// trailing zeros, "." as the decimal point whatever the process locale.
#pragma once

#include <string>
#include <string_view>

namespace eval {

// Non-finite values have no number text; callers must not pass them
// (Evaluate fails with Overflow first). They come out as "inf", "-inf", "nan".
std::string NumberText(double value);
// The same text appended to `text`, for callers that build code on a hot path.
void AppendNumberText(std::string& text, double value);

// VBScript's number text of a single-precision value: shortest text of at most
// 7 significant digits, exponent form below 0.0001 and from 1E+07 on.
std::string SingleText(float value);

// The leading-number conversion of initial values and degree-minute-second
// pieces: blanks, tabs and line feeds anywhere are ignored; then a sign,
// digits with "." as decimal point, an exponent (E or e) are read, or a radix
// prefix &H / &O with its digits; reading stops at the first character that
// cannot continue the number. A text that does not begin with a number gives 0.
double LeadingNumber(std::string_view text);

}  // namespace eval
