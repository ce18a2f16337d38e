#include "PlacedText.h"

#include <algorithm>

namespace problem {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

int CharacterCount(std::string_view text) {
  int count = 0;
  for (const char c : text) count += IsContinuationByte(c) ? 0 : 1;
  return count;
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

PlacedText PlacedText::TrimmedAtCommas() const {
  PlacedText trimmed;
  if (runs_.empty()) return trimmed;
  const std::string_view text = text_;
  // A cursor that only moves forwards, so the places cost one pass in all.
  std::size_t piece = 0;
  std::size_t cursor = 0;
  int column = runs_.front().column;
  const auto pieceEnd = [&](std::size_t i) { return i + 1 < runs_.size() ? runs_[i + 1].offset : text.size(); };
  const auto moveTo = [&](std::size_t offset) {
    // An offset that the next piece starts belongs to it, as in PlaceOf.
    while (piece + 1 < runs_.size() && runs_[piece + 1].offset <= offset) {
      ++piece;
      cursor = runs_[piece].offset;
      column = runs_[piece].column;
    }
    column += CharacterCount(text.substr(cursor, offset - cursor));
    cursor = offset;
  };
  const auto copy = [&](std::size_t from, std::size_t to) {
    while (from < to) {
      moveTo(from);
      const std::size_t stop = std::min(to, pieceEnd(piece));
      trimmed.Append(text.substr(from, stop - from), runs_[piece].line, column);
      from = stop;
    }
  };
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    std::size_t begin = start;
    std::size_t end = comma;
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    copy(begin, end);
    if (comma == text.size()) break;
    copy(comma, comma + 1);
    start = comma + 1;
  }
  if (trimmed.runs_.empty()) trimmed.Append({}, runs_.front().line, runs_.front().column);
  return trimmed;
}

}  // namespace problem
