#include "Problem.h"

#include <algorithm>
#include <array>

namespace problem {
namespace {

// In the order of Method.
constexpr std::array<MethodInfo, 4> kMethods{{
    {Method::Newton, "newton", "the Go command: steepest descent for 3 equations, then Newton's method"},
    {Method::Hybrid, "hybrid", "Powell's dogleg trust region with exact derivatives"},
    {Method::Lm, "lm", "Levenberg-Marquardt with exact derivatives"},
    {Method::Auto, "auto", "hybrid, then lm, then both from perturbed starts"},
}};

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

int CharacterCount(std::string_view text) {
  int count = 0;
  for (const char c : text) count += IsContinuationByte(c) ? 0 : 1;
  return count;
}

}  // namespace

std::span<const MethodInfo> Methods() { return kMethods; }

std::optional<Method> MethodNamed(std::string_view name) {
  for (const MethodInfo& info : kMethods) {
    if (info.name == name) return info.method;
  }
  return std::nullopt;
}

std::string_view NameOf(Method method) { return kMethods[static_cast<std::size_t>(method)].name; }

std::string MethodNames() {
  std::string names;
  for (const MethodInfo& info : kMethods) names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}

PlacedText::PlacedText(std::string text, int line, int column) {
  runs_.push_back(Run{0, line, column});
  text_ = std::move(text);
}

Place PlacedText::PlaceOf(std::size_t offset) const {
  if (runs_.empty()) return {};
  offset = std::min(offset, text_.size());
  auto run = std::upper_bound(runs_.begin(), runs_.end(), offset,
                              [](std::size_t value, const Run& r) { return value < r.offset; });
  --run;
  if (run->column == 0) return Place{run->line, 0};
  const std::string_view before = std::string_view(text_).substr(run->offset, offset - run->offset);
  return Place{run->line, run->column + CharacterCount(before)};
}

PlacedText PlacedText::Slice(std::size_t begin, std::size_t end) const {
  PlacedText slice;
  end = std::min(end, text_.size());
  begin = std::min(begin, end);
  if (runs_.empty()) return slice;
  // Each run that overlaps [begin, end), cut to it.
  auto run = std::upper_bound(runs_.begin(), runs_.end(), begin,
                              [](std::size_t value, const Run& r) { return value < r.offset; });
  --run;
  std::size_t from = begin;
  do {
    const std::size_t runEnd = run + 1 == runs_.end() ? text_.size() : (run + 1)->offset;
    const std::size_t to = std::min(runEnd, end);
    const Place place = PlaceOf(from);
    // An offset that the next run starts belongs to it, as in PlaceOf.
    slice.Append(std::string_view(text_).substr(from, to - from), place.line, run->column == 0 ? 0 : place.column);
    from = to;
    ++run;
  } while (from < end && run != runs_.end());
  return slice;
}

void PlacedText::Append(std::string_view text, int line, int column) {
  runs_.push_back(Run{text_.size(), line, column});
  text_ += text;
}

std::string Format(const Warning& warning) { return Format(warning.detail); }

void WarningList::Add(Warning warning) {
  if (kept.size() < kMaxWarnings) {
    kept.push_back(std::move(warning));
  } else {
    ++leftOut;
  }
}

void WarningList::Add(const WarningList& more) {
  for (const Warning& warning : more.kept) Add(warning);
  leftOut += more.leftOut;
}

}  // namespace problem
