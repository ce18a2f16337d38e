// Compiled code kept per exact text, so that the evaluator's repeated
// definitions of one function and its repeated call are compiled once.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "Ast.h"
#include "EngineState.h"

namespace eval {

class CodeCache {
 public:
  using Parse = std::shared_ptr<Program> (*)(std::string_view);
  explicit CodeCache(Parse parse) : parse_(parse) {}

  // The compiled code of `text`, parsed now or earlier. The reference stays
  // good until the next call. A compile error throws and keeps nothing.
  // Texts of any length are kept, up to a budget of nodes in all, so a long
  // equation is parsed once, not at every evaluation.
  const std::shared_ptr<const Program>& Compile(std::string_view text) {
    if (last_ != nullptr && IsLastText(text)) return last_->second;
    return CompileAnew(text);
  }

 private:
  using Programs = TextMap<std::shared_ptr<const Program>>;

  bool IsLastText(std::string_view text) const {
    const std::string& lastText = last_->first;
    // An empty view may have no data at all, which memcmp must not see.
    return text.size() == lastText.size() &&
           (text.empty() || std::memcmp(text.data(), lastText.data(), text.size()) == 0);
  }
  const std::shared_ptr<const Program>& CompileAnew(std::string_view text);

  Parse parse_;
  Programs programs_;
  std::size_t cachedNodes_ = 0;  // of the programs in programs_
  // The last text's entry is checked first: the evaluator adds the same
  // function text and evaluates the same call over and over, and a compare is
  // cheaper than hashing the text.
  const Programs::value_type* last_ = nullptr;
};

}  // namespace eval
