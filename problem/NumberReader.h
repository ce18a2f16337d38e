// The numbers of a problem's fields, read by one of two rules (NumberRule in
// Problem.h):
//
//   Leading: the window's initial-values rule, through the engine's own
//     LeadingNumber: "3x" is 3, "abc" is 0, "&H10" is 16, "1 1" is 11. Only
//     the Go road's start values are read this way.
//   Strict (and Bounds): every other number. Blanks and tabs around the
//     number, then [+|-] digits [. digits] [(E|e) [+|-] digits] (".5" and
//     "5." too), read to the nearest double by the engine's decimal scanner
//     (the same digits give the same double as a literal in an equation).
//     Bounds also take inf and -inf (any letter case, "+inf" too). Anything
//     else is refused with the field and the piece: "--x0: '3x' is not a number".
//
// A list is split at every comma; a piece holding two numbers separated by
// blanks or semicolons is refused (Strict) or warned about (Leading) with
// "values are separated by commas".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Problem.h"
#include "ProblemError.h"

namespace problem {

// Thrown by the readers below; the doors (Readers.h) catch it and hand it on
// as ReadResult::error, so it never leaves the library.
struct ProblemFailure {
  ProblemError error;
};

// Where a field's text stands, for messages: the source, the field's name
// ("start", or empty for an option that is its own source) and the places of
// its bytes.
struct FieldText {
  std::string source;
  std::string field;
  PlacedText text;
};

// One number of a field by `rule`: the bytes [begin, end) of field.text.
// Throws ProblemFailure.
double ReadNumber(const FieldText& field, std::size_t begin, std::size_t end, NumberRule rule);

// The numbers of a comma-separated field by `rule`. An empty text gives none.
// Throws ProblemFailure; on the Leading road a piece that looks like two
// numbers adds a Separator warning to `warnings` instead.
std::vector<double> ReadNumbers(const FieldText& field, NumberRule rule, WarningList& warnings);

// LO:HI ranges, comma-separated: `box` finite with LO < HI, bounds
// (rule Bounds) with LO < HI where inf and -inf are allowed. Throws ProblemFailure.
std::vector<Range> ReadRanges(const FieldText& field, NumberRule rule);

// A whole number from 1 (or 0 when zeroAllowed) to `most`: optional blanks,
// optional '+', digits. Throws ProblemFailure naming the field.
std::uint64_t ReadWholeNumber(const FieldText& field, std::uint64_t most, bool zeroAllowed);

// A positive finite Strict number. Throws ProblemFailure naming the field.
double ReadPositiveNumber(const FieldText& field);

// The strict reading of one text, without a field: nullopt when it is not a
// finite decimal number (or, with allowInfinity, inf / -inf).
std::optional<double> StrictNumber(std::string_view text, bool allowInfinity);

}  // namespace problem
