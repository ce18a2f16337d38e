#include "CodeCache.h"

namespace eval {
namespace {

// Long texts are not kept and the whole cache is dropped when it fills: texts
// that vary with every call cannot grow it without bound.
constexpr std::size_t kMaxCachedPrograms = 256;
constexpr std::size_t kMaxCachedTextBytes = 4096;

}  // namespace

const std::shared_ptr<const Program>& CodeCache::CompileAnew(std::string_view text) {
  std::shared_ptr<const Program> program;
  if (auto it = programs_.find(text); it != programs_.end()) {
    program = it->second;
  } else {
    program = parse_(text);
    if (text.size() > kMaxCachedTextBytes) {
      uncached_ = std::move(program);
      return uncached_;
    }
    if (programs_.size() >= kMaxCachedPrograms) programs_.clear();
    programs_.emplace(std::string(text), program);
  }
  lastText_.assign(text);
  lastProgram_ = std::move(program);
  return lastProgram_;
}

}  // namespace eval
