#include "CodeCache.h"

#include "Parser.h"

namespace eval {
namespace {

// The whole cache is dropped when it fills: texts that vary with every call
// cannot grow it without bound. The node budget holds the largest text the
// parser takes, so the equations of a system whose trees fit it together stay
// parsed while each is evaluated in turn; the trees kept, the one being parsed
// and the function last defined from an evicted tree take at most three times
// kMaxTreeNodes nodes.
constexpr std::size_t kMaxCachedPrograms = 256;
constexpr std::size_t kMaxCachedNodes = kMaxTreeNodes;

}  // namespace

const std::shared_ptr<const Program>& CodeCache::CompileAnew(std::string_view text) {
  if (auto it = programs_.find(text); it != programs_.end()) {
    last_ = &*it;
    return it->second;
  }
  std::shared_ptr<const Program> program = parse_(text);
  if (programs_.size() >= kMaxCachedPrograms || cachedNodes_ + program->nodeCount > kMaxCachedNodes) {
    last_ = nullptr;
    programs_.clear();
    cachedNodes_ = 0;
  }
  cachedNodes_ += program->nodeCount;
  auto [it, inserted] = programs_.emplace(std::string(text), std::move(program));
  last_ = &*it;
  return it->second;
}

}  // namespace eval
