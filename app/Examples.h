// The nine worked example systems and the example list's load and
// double-click logic, without Qt.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ProblemState.h"

namespace app {

inline constexpr int kExampleCount = 9;

// Equation texts of example n (1-based): two or three.
std::vector<std::string_view> ExampleEquations(int n);

// The list entry text of example n: " Eq_1 =" E1 " ;Eq_2=" E2 [" ;Eq_3=" E3].
std::string ExampleEntryText(int n);

// All nine entries in list order (what the load handler appends).
std::vector<std::string> ExampleEntries();

// What a double-click on an entry produces.
struct LoadedExample {
  std::int16_t nEq = 0;
  std::vector<std::string> eqTexts;  // equation i at [i - 1], each shown in row i
  std::string namesText;             // "x1,x2,..."
  std::string valuesText;            // "0,0,..."
};

// Parses an entry text as the double-click does; nullopt for an empty text
// (no entry selected).
std::optional<LoadedExample> ParseExampleEntry(std::string_view entryText);

// The double-click's effect on the state and the fields: nEq and eqTexts set,
// rows 1..nEq filled, names and initial values written. Rows beyond nEq keep
// their text. Returns the number of rows to show (0 when nothing is selected).
int LoadExampleEntry(std::string_view entryText, ProblemState& state, InputFields& fields);

}  // namespace app
