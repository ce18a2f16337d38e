#include "Examples.h"

#include <cassert>

namespace app {
namespace {

// The nine systems in list order; a third equation is empty for two-equation systems.
struct ExampleSystem {
  std::string_view eq1, eq2, eq3;
};

constexpr ExampleSystem kExamples[kExampleCount] = {
    {"x1^2-2*x2-2", "x1-x2^3-1", ""},
    {"2*x1^2-20*x1+0.25*x2^2+8", "0.5*x1*x2^2+2*x1-5*x2+8", ""},
    {"sin(4*pi*x1*x2)-2*x2-x1",
     "((4*pi-1)/4/pi)*(exp(2*x1)-exp(1))+4*exp(1)*x2^2-2*exp(1)*x1", ""},
    {"3*x1-cos(x2*x3)-0.5", "4*x1^2-625*x2^2+2*x2-1", "exp(-x1*x2)+20*x3+(10*pi-3)/3"},
    {"x1^2+x2+x3-20", "x1-x2^2-5", "x1+x2+x3-13"},
    {"5*x1^2-x2^2", "x2-0.25*(sin(x1)+cos(x2))", ""},
    {"15*x1+x2^2+4*x3-13", "x1^2+10*x2-x3-11", "x2^3-25*x3+22"},
    {"10*x1-2*x2^2-2*x3-5", "8*x2^2+4*x3^2-9", "8*x2*x3+4"},
    {"2*x1-3*x2-x3-4", "2*x1+x2-x3+4", "x1^2+x2^2+x3^2-4"},
};

// The joining literals differ: only the first has a blank before "=".
constexpr std::string_view kFirstJoin = " Eq_1 =";
constexpr std::string_view kSecondJoin = " ;Eq_2=";
constexpr std::string_view kThirdJoin = " ;Eq_3=";

std::vector<std::string_view> SplitKeepingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

}  // namespace

std::vector<std::string_view> ExampleEquations(int n) {
  assert(n >= 1 && n <= kExampleCount);
  const ExampleSystem& e = kExamples[n - 1];
  std::vector<std::string_view> eqs{e.eq1, e.eq2};
  if (!e.eq3.empty()) eqs.push_back(e.eq3);
  return eqs;
}

std::string ExampleEntryText(int n) {
  const auto eqs = ExampleEquations(n);
  std::string text;
  text += kFirstJoin;
  text += eqs[0];
  text += kSecondJoin;
  text += eqs[1];
  if (eqs.size() > 2) {
    text += kThirdJoin;
    text += eqs[2];
  }
  return text;
}

std::vector<std::string> ExampleEntries() {
  std::vector<std::string> entries;
  for (int n = 1; n <= kExampleCount; ++n) entries.push_back(ExampleEntryText(n));
  return entries;
}

std::optional<LoadedExample> ParseExampleEntry(std::string_view entryText) {
  if (entryText.empty()) return std::nullopt;
  LoadedExample loaded;
  const auto pieces = SplitKeepingEmpty(entryText, ';');
  for (std::string_view piece : pieces) {
    // The text after the first "=", up to a second one if there is one. A
    // piece without "=" has no equation text.
    const auto parts = SplitKeepingEmpty(piece, '=');
    loaded.eqTexts.emplace_back(parts.size() > 1 ? parts[1] : std::string_view());
  }
  loaded.nEq = static_cast<std::int16_t>(loaded.eqTexts.size());
  loaded.namesText = "x1";
  loaded.valuesText = "0";
  for (int i = 2; i <= loaded.nEq; ++i) {
    loaded.namesText += ",x" + std::to_string(i);
    loaded.valuesText += ",0";
  }
  return loaded;
}

int LoadExampleEntry(std::string_view entryText, ProblemState& state, InputFields& fields) {
  auto loaded = ParseExampleEntry(entryText);
  if (!loaded) return 0;
  // The window has six equation rows; a longer entry cannot be shown (none of
  // the list's entries is).
  if (loaded->nEq > kMaxEquations) return 0;
  state.nEq = loaded->nEq;
  state.eqTexts = loaded->eqTexts;
  for (int i = 0; i < loaded->nEq; ++i) fields.txtEqs[i] = loaded->eqTexts[i];
  fields.txtVars = loaded->namesText;
  fields.txtVarsI = loaded->valuesText;
  return loaded->nEq;
}

}  // namespace app
