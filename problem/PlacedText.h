// A text and the place each of its bytes came from: a continued file line
// joins several lines into one text, a field's pieces keep their columns.
// Places are 1-based; a column of 0 means the source has no columns (a batch
// field).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace problem {

struct Place {
  int line = 0;    // 1-based; 0 for a source without lines (an option, a batch field)
  int column = 0;  // 1-based, in characters; 0 when unknown
  bool operator==(const Place&) const = default;
};

// Characters (UTF-8 sequences) in a valid UTF-8 text.
int CharacterCount(std::string_view text);

class PlacedText {
 public:
  using Place = problem::Place;

  PlacedText() = default;
  // `text` as one run starting at line:column.
  PlacedText(std::string text, int line, int column);

  const std::string& Text() const { return text_; }
  // The line the text starts on, 0 for an empty text without a place.
  int Line() const { return runs_.empty() ? 0 : runs_.front().line; }
  // Where the byte at `offset` stands; an offset at or beyond the end gives
  // the place just after the last character. Columns count characters.
  Place PlaceOf(std::size_t offset) const;
  // The bytes [begin, end) with their places.
  PlacedText Slice(std::size_t begin, std::size_t end) const;
  // The text from byte `offset` on, with its places.
  PlacedText From(std::size_t offset) const { return Slice(offset, text_.size()); }
  // Appends `text`, which starts at line:column.
  void Append(std::string_view text, int line, int column);
  // The text with the blanks around each comma-separated piece dropped, every
  // byte kept at its place; an empty result keeps the place of the start.
  // One pass over the text.
  PlacedText TrimmedAtCommas() const;

 private:
  struct Run {
    std::size_t offset;  // in text_
    int line;
    int column;
  };
  std::string text_;
  std::vector<Run> runs_;
};

}  // namespace problem
