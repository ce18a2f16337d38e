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
  const std::shared_ptr<const Program>& Compile(std::string_view text) {
    if (lastProgram_ && IsLastText(text)) return lastProgram_;
    return CompileAnew(text);
  }

 private:
  bool IsLastText(std::string_view text) const {
    // An empty view may have no data at all, which memcmp must not see.
    return text.size() == lastText_.size() &&
           (text.empty() || std::memcmp(text.data(), lastText_.data(), text.size()) == 0);
  }
  const std::shared_ptr<const Program>& CompileAnew(std::string_view text);

  Parse parse_;
  TextMap<std::shared_ptr<const Program>> programs_;
  // The last text is checked first: the evaluator adds the same function
  // text and evaluates the same call over and over, and a compare is cheaper
  // than hashing the text.
  std::string lastText_;
  std::shared_ptr<const Program> lastProgram_;
  std::shared_ptr<const Program> uncached_;  // the last text too long to keep
};

}  // namespace eval
