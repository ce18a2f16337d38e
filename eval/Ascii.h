// ASCII letter case: names, keywords, radix prefixes, "True"/"False" texts and
// the text functions all fold the same 26 letters and leave every other byte
// (UTF-8 included) as it is.
#pragma once

#include <string>
#include <string_view>

namespace eval {

constexpr char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-folded copy of a name: the key of every name lookup.
std::string FoldName(std::string_view name);

// The same text with every letter made upper case.
std::string UpperName(std::string_view text);

// `text` equals `folded` (already folded) when both are folded.
constexpr bool EqualsFolded(std::string_view text, std::string_view folded) {
  if (text.size() != folded.size()) return false;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (FoldChar(text[k]) != folded[k]) return false;
  }
  return true;
}

}  // namespace eval
