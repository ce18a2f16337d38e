// Why a problem cannot be read, or what in it looks unintended, with the
// place it comes from. Formatted in one function (Format), in the form the
// tool uses for files:
//
//   system.txt:5:13: Eq_2: Syntax error
//   system.txt:3: start: needs 2 values, one per unknown (given 3)
//   --x0: '3x' is not a number
//   --eq (column 4): Eq_1: uses z, which is not an unknown: it counts as 0
//   batch line 4: start: '3x' is not a number
#pragma once

#include <string>
#include <string_view>

#include "PlacedText.h"

namespace problem {

struct ProblemError {
  std::string source;   // "system.txt", "<stdin>", "--eq", "--x0", "batch line 4"
  Place place;
  int equation = 0;     // 1-based equation index (shown as Eq_N), 0 for none
  std::string field;    // "start", "names", "box", "definitions", ...; empty for none
  std::string message;  // the sentence itself, without the place
};

// Stable codes of warnings, for JSON (CodeName) and for tests.
enum class WarningCode {
  UnknownName,    // an equation uses a name that nothing defines: it counts as 0
  UnusedUnknown,  // no equation uses an unknown
  Comparison,     // an equation's top level is a comparison: its value is -1 or 0
  DuplicateName,  // a name given twice (Go road; elsewhere an error)
  Separator,      // values separated by something other than commas (Go road)
};
std::string_view CodeName(WarningCode code);  // "unknownName", "unusedUnknown", ...

// "source[:line[:column]]: [Eq_N: ][field: ]message"; a column without a
// line reads "source (column C): ". The one place where a problem's
// messages are put together.
std::string Format(const ProblemError& error);

}  // namespace problem
