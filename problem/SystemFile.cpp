#include "SystemFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "app/ProblemState.h"
#include "eval/Evaluate.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"

namespace cli {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLanguage = "VBScript";

constexpr std::string_view kNamesKey = "names";
constexpr std::string_view kStartKey = "start";
constexpr std::string_view kBoxKey = "box";
constexpr std::string_view kBoundsKey = "bounds";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The length of the UTF-8 sequence starting at text[i], or 0 when it is not
// one: no overlong forms, no surrogates, nothing beyond U+10FFFF.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (!IsContinuationByte(byte(i + k))) return 0;
  }
  return length;
}

// "a.txt:3:7: " or, without a column, "a.txt:3: ".
std::string Where(std::string_view fileName, int line, int column) {
  std::string where(fileName);
  where += ':' + std::to_string(line);
  if (column > 0) where += ':' + std::to_string(column);
  return where + ": ";
}

// The physical lines of a text, one at a time.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  // The next line without its line end; nullopt after the last.
  std::optional<std::string_view> Next() {
    if (pos_ >= text_.size()) return std::nullopt;
    const std::size_t end = std::min(text_.find_first_of("\r\n", pos_), text_.size());
    const std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n' && (pos_ == end || text_[end] == '\r')) ++pos_;
    ++number_;
    return line;
  }
  int Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int number_ = 0;
};

// A line that ends with " _" (blanks may follow) goes on in the next line;
// the text before the "_" is kept, its blank included.
std::optional<std::string_view> ContinuedPart(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && IsBlank(line[end - 1])) --end;
  if (end == 0 || line[end - 1] != '_') return std::nullopt;
  if (end >= 2 && !IsBlank(line[end - 2])) return std::nullopt;
  return line.substr(0, end - 1);
}

bool IsCommentOrBlank(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos || line[first] == '#';
}

// A number of a box range: the whole text, blanks around it allowed.
std::optional<double> BoxNumber(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t last = text.find_last_not_of(" \t");
  text = text.substr(first, last - first + 1);
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

class Parser {
 public:
  Parser(std::string_view fileName, std::string_view text) : lines_(text) {
    system_.fileName = fileName;
  }

  SystemFileRead Run() {
    while (auto line = lines_.Next()) {
      if (IsCommentOrBlank(*line)) continue;
      auto logical = JoinContinued(*line);
      if (!logical) return Fail();
      if (!Take(std::move(*logical))) return Fail();
    }
    if (system_.equations.empty()) {
      error_ = system_.fileName + ": no equation in the file";
      return Fail();
    }
    // One range per unknown: the names' count where the file names them (a
    // definition line is no unknown), else one per equation line.
    const std::size_t ranges = system_.box.size();
    const std::size_t names =
        system_.names ? static_cast<std::size_t>(std::count(system_.names->Text().begin(), system_.names->Text().end(), ',')) + 1
                      : 0;
    const std::size_t unknowns = system_.names ? names : system_.equations.size();
    if (ranges > 1 && ranges != unknowns) {
      error_ = Where(system_.fileName, system_.boxLine, 0) + "box: " + std::to_string(ranges) + " ranges for " +
               std::to_string(unknowns) + (system_.names ? " names" : " equations") +
               "; give one range for every unknown or one per unknown";
      return Fail();
    }
    return SystemFileRead{std::move(system_), {}};
  }

 private:
  SystemFileRead Fail() { return SystemFileRead{std::nullopt, std::move(error_)}; }

  std::optional<SourceText> JoinContinued(std::string_view line) {
    SourceText joined;
    while (true) {
      const auto continued = ContinuedPart(line);
      joined.Append(continued ? *continued : line, lines_.Number(), 1);
      if (!continued) return joined;
      const int continuedLine = lines_.Number();
      const auto next = lines_.Next();
      if (!next) {
        error_ = Where(system_.fileName, continuedLine, 0) + "the line ends with \" _\" but no line follows";
        return std::nullopt;
      }
      line = *next;
    }
  }

  // One logical line: a keyed line or an equation.
  bool Take(SourceText line) {
    const std::string& text = line.Text();
    const std::size_t first = text.find_first_not_of(" \t");
    std::size_t keyEnd = first;
    while (keyEnd < text.size() && IsLetter(text[keyEnd])) ++keyEnd;
    if (keyEnd == first || keyEnd >= text.size() || text[keyEnd] != ':') {
      system_.equations.push_back(std::move(line));
      return true;
    }
    const std::string key = Lower(std::string_view(text).substr(first, keyEnd - first));
    std::size_t valueStart = keyEnd + 1;
    while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
    SourceText value = line.From(valueStart);
    if (key == kNamesKey) {
      // A file's names are identifiers: "x1,  x2 " names x1 and x2, where the
      // names field would keep the blanks as typed.
      SourceText names = value.TrimmedAtCommas();
      return NoNameTwice(names) && TakeField(system_.names, std::move(names), kNamesKey, line.Line());
    }
    if (key == kStartKey) return TakeField(system_.start, std::move(value), kStartKey, line.Line());
    if (key == kBoxKey) return TakeBox(value, line.Line());
    // Read as numbers by the problem's reader, which allows inf and -inf.
    if (key == kBoundsKey) return TakeField(system_.bounds, std::move(value), kBoundsKey, line.Line());
    const SourceText::Place place = line.PlaceOf(first);
    error_ = Where(system_.fileName, place.line, place.column) + "unknown line \"" +
             std::string(text.substr(first, keyEnd + 1 - first)) +
             "\"; a system file knows names:, start:, box: and bounds:";
    return false;
  }

  bool TakeField(std::optional<SourceText>& field, SourceText value, std::string_view key, int lineNumber) {
    if (field) {
      error_ = Where(system_.fileName, lineNumber, 0) + "a second " + std::string(key) +
               ": line; the first is line " + std::to_string(field->Line());
      return false;
    }
    field = std::move(value);
    return true;
  }

  // Names differ in more than letter case, as the script's names do; empty
  // pieces are left to the run, which refuses them. The message names the
  // first repeat in the file; sorting keeps a long line's cost at n log n.
  bool NoNameTwice(const SourceText& names) {
    const std::string folded = Lower(names.Text());
    const std::string_view text = folded;
    std::vector<std::pair<std::string_view, std::size_t>> sorted;  // name, offset
    for (std::size_t start = 0; start <= text.size();) {
      const std::size_t comma = std::min(text.find(',', start), text.size());
      if (comma > start) sorted.emplace_back(text.substr(start, comma - start), start);
      start = comma + 1;
    }
    std::sort(sorted.begin(), sorted.end());
    std::optional<std::pair<std::size_t, std::size_t>> repeat;  // offset, the first one's offset
    for (std::size_t i = 1; i < sorted.size(); ++i) {
      if (sorted[i].first != sorted[i - 1].first || (i >= 2 && sorted[i - 2].first == sorted[i].first)) continue;
      if (!repeat || sorted[i].second < repeat->first) repeat = std::pair{sorted[i].second, sorted[i - 1].second};
    }
    if (!repeat) return true;
    const SourceText::Place place = names.PlaceOf(repeat->first);
    const SourceText::Place firstPlace = names.PlaceOf(repeat->second);
    const std::size_t length = std::min(names.Text().find(',', repeat->first), names.Text().size()) - repeat->first;
    error_ = Where(system_.fileName, place.line, place.column) + "names: \"" +
             names.Text().substr(repeat->first, length) + "\" is named twice; the first is at " +
             std::to_string(firstPlace.line) + ':' + std::to_string(firstPlace.column);
    return false;
  }

  bool TakeBox(const SourceText& value, int lineNumber) {
    if (system_.boxLine != 0) {
      error_ = Where(system_.fileName, lineNumber, 0) + "a second box: line; the first is line " +
               std::to_string(system_.boxLine);
      return false;
    }
    system_.boxLine = lineNumber;
    std::size_t offset = 0;
    for (const std::string& piece : app::SplitAtCommas(value.Text())) {
      const std::size_t colon = piece.find(':');
      const auto low = colon == std::string::npos ? std::nullopt : BoxNumber(piece.substr(0, colon));
      const auto high = colon == std::string::npos ? std::nullopt : BoxNumber(piece.substr(colon + 1));
      if (!low || !high || !(*low < *high)) {
        const SourceText::Place place = value.PlaceOf(offset);
        error_ = Where(system_.fileName, place.line, place.column) +
                 "box: expected LOW:HIGH with LOW below HIGH, got \"" + piece + "\"";
        return false;
      }
      system_.box.push_back(BoxRange{*low, *high});
      offset += piece.size() + 1;
    }
    if (system_.box.empty()) {
      error_ = Where(system_.fileName, lineNumber, 0) + "box: expected LOW:HIGH, got nothing";
      return false;
    }
    return true;
  }

  LineReader lines_;
  SystemFile system_;
  std::string error_;
};

// Adds `code` to a fresh engine without the library: only compile errors and
// what the code's own statements raise can come out.
std::optional<eval::ScriptError> AddCodeFailure(const std::string& code) {
  try {
    eval::ScriptEngine engine;
    engine.SetLanguage(kLanguage);
    engine.AddCode(code);
    return std::nullopt;
  } catch (const eval::ScriptError& error) {
    return error;
  }
}

// The offset in a text that sits `position` bytes into code that holds the
// text after `head` bytes; npos when the engine named no position.
std::size_t OffsetInText(const eval::ScriptError& error, std::size_t head, std::size_t textSize) {
  if (error.Position() == eval::ScriptError::kNoPosition) return std::string::npos;
  if (error.Position() < head) return 0;
  return std::min(error.Position() - head, textSize);
}

// The place of byte `at(piece)` of piece `piece` of a field split at commas;
// nullopt when the field has no such piece.
template <typename At>
std::optional<SourceText::Place> PiecePlace(const SourceText& field, std::size_t piece, At at) {
  const std::vector<std::string> pieces = app::SplitAtCommas(field.Text());
  if (piece >= pieces.size()) return std::nullopt;
  std::size_t offset = 0;
  for (std::size_t p = 0; p < piece; ++p) offset += pieces[p].size() + 1;
  return field.PlaceOf(offset + std::min(at(pieces[piece]), pieces[piece].size()));
}

std::optional<SourceText::Place> RunErrorPlace(const SystemFile& system, const RunFields& fields,
                                               const app::GoFailure& failure) {
  using Kind = app::GoFailure::Kind;
  const bool names = fields.namesFromFile && system.names;
  const bool start = fields.startFromFile && system.start;
  switch (failure.kind) {
    case Kind::Equation: {
      if (failure.equation >= system.equations.size()) return std::nullopt;
      const SourceText& equation = system.equations[failure.equation];
      if (failure.offset == app::GoFailure::kNoOffset) return SourceText::Place{equation.Line(), 0};
      return equation.PlaceOf(std::min(failure.offset, equation.Text().size()));
    }
    case Kind::NameCount:
      if (names) return SourceText::Place{system.names->Line(), 0};
      return std::nullopt;
    case Kind::ValueCount:
      if (start) return SourceText::Place{system.start->Line(), 0};
      return std::nullopt;
    case Kind::Name:
      if (!names) return std::nullopt;
      // The names line holds each name as the field does, so the engine's
      // offset in the name is one in the piece.
      return PiecePlace(*system.names, failure.piece, [&](const std::string&) {
        return failure.offset == app::GoFailure::kNoOffset ? 0 : failure.offset;
      });
    case Kind::Value:
      if (!start) return std::nullopt;
      // The value's text starts after the blanks the piece may begin with.
      return PiecePlace(*system.start, failure.piece, [](const std::string& piece) {
        return std::min(piece.find_first_not_of(" \t\n"), piece.size());
      });
    case Kind::NoSystem:
    case Kind::LeftNumberRange:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> SystemFile::EquationTexts() const {
  std::vector<std::string> texts;
  texts.reserve(equations.size());
  for (const SourceText& equation : equations) texts.push_back(equation.Text());
  return texts;
}

std::string SystemFile::Where(SourceText::Place place) const {
  return cli::Where(fileName, place.line, place.column);
}

std::string TooLargeMessage(std::string_view fileName) {
  return std::string(fileName) + ": larger than " + std::to_string(kMaxSystemFileBytes >> 20) +
         " MiB, the limit for a system file";
}

std::optional<std::string> TextProblem(std::string_view fileName, std::string_view text) {
  if (text.size() > kMaxSystemFileBytes) return TooLargeMessage(fileName);
  int line = 1;
  int column = 1;
  const std::size_t start = text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
  for (std::size_t i = start; i < text.size();) {
    const char c = text[i];
    if (c == '\0') {
      return Where(fileName, line, column) + "a NUL byte; a system file is UTF-8 text";
    }
    if (c == '\n' || c == '\r') {
      ++line;
      column = 1;
      i += c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
      continue;
    }
    const std::size_t length = SequenceLength(text, i);
    if (length == 0) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      const auto byte = static_cast<unsigned char>(c);
      return Where(fileName, line, column) + "not UTF-8 (byte 0x" + kHex[byte >> 4] + kHex[byte & 15] +
             "); a system file is UTF-8 text";
    }
    i += length;
    ++column;
  }
  return std::nullopt;
}

SystemFileRead ParseSystemFile(std::string_view fileName, std::string_view text) {
  if (auto problem = TextProblem(fileName, text)) return SystemFileRead{std::nullopt, std::move(*problem)};
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  return Parser(fileName, text).Run();
}

std::optional<CompileFailure> CompileFailureOf(std::string_view expression) {
  // Compiled as the evaluator wraps it, so the same text fails the same way.
  const auto error = AddCodeFailure(eval::FunctionDefinition(expression));
  if (!error) return std::nullopt;
  return CompileFailure{error->Description(),
                        OffsetInText(*error, eval::FunctionBodyOffset(), expression.size())};
}

std::string LocateRunError(const SystemFile& system, const RunFields& fields, const app::GoFailure& failure,
                           std::string_view message) {
  const std::optional<SourceText::Place> place = RunErrorPlace(system, fields, failure);
  return place ? system.Where(*place) + std::string(message) : std::string(message);
}

}  // namespace cli
