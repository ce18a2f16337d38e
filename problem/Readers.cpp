#include "Readers.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <nlohmann/json.hpp>

#include "Checks.h"
#include "Definitions.h"
#include "NumberReader.h"
#include "problem/SystemFile.h"
#include "eval/Ascii.h"
#include "eval/Lexer.h"
#include "eval/ScriptError.h"

namespace problem {
namespace {

// A field's text and where it came from, before it is read.
struct RawField {
  FieldText text;
  Origin origin;
};

// A line that is an equation or a definition (a file's line, an --eq, a
// batch "eq" entry), or a definition that must be one (--def, a batch line's
// "definitions").
struct RawLine {
  PlacedText text;
  std::string source;
};

// What a door found, before any of it is read: the one input of Build.
struct Raw {
  Road road = Road::Go;
  bool square = true;  // Full road: one name per equation
  std::vector<RawLine> lines;
  // Where the equations come from, for the message when there is none: the
  // option, the batch line's field or the file.
  std::string equationsSource = "--eq";
  std::string equationsField;
  std::vector<RawLine> definitions;
  std::optional<RawField> names;
  std::optional<RawField> start;
  std::optional<RawField> box;
  std::optional<Given<std::vector<Range>>> boxRead;  // a file's box, read by the file's parser
  std::optional<RawField> bounds;
  std::optional<RawField> method;
  std::optional<RawField> ftol;
  std::optional<RawField> maxEvaluations;
  std::optional<RawField> maxSeconds;
  std::optional<RawField> maxStarts;
  std::optional<RawField> seed;
  std::optional<RawField> budget;
};

constexpr std::string_view kEqKey = "eq";
constexpr std::string_view kFileKey = "file";
constexpr std::string_view kNamesKey = "names";
constexpr std::string_view kStartKey = "start";
constexpr std::string_view kMethodKey = "method";
constexpr std::string_view kDefinitionsKey = "definitions";
constexpr std::string_view kBoundsKey = "bounds";
constexpr std::string_view kIdKey = "id";
constexpr std::string_view kCertifyKey = "certify";  // read by the batch command, not here
constexpr std::string_view kKnownKeys = "eq, file, names, start, method, definitions, bounds, certify, id";
constexpr std::string_view kBoxKey = "box";

[[noreturn]] void Fail(std::string source, Place place, int equation, std::string field, std::string message) {
  throw ProblemFailure{ProblemError{std::move(source), place, equation, std::move(field), std::move(message)}};
}

[[noreturn]] void FailAt(const RawField& raw, Place place, std::string message) {
  Fail(raw.text.source, place, 0, raw.text.field, std::move(message));
}

// The place of a whole field: its line, no column.
Place FieldPlace(const RawField& raw) { return Place{raw.text.text.PlaceOf(0).line, 0}; }

std::pair<std::size_t, std::size_t> Trim(std::string_view text, std::size_t begin, std::size_t end) {
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return {begin, end};
}

// The byte ranges of the comma-separated pieces of a text; none for an empty text.
std::vector<std::pair<std::size_t, std::size_t>> Pieces(std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  if (text.empty()) return pieces;
  for (std::size_t start = 0;;) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    pieces.emplace_back(start, comma);
    if (comma == text.size()) break;
    start = comma + 1;
  }
  return pieces;
}

// True when `text` is one name the language accepts for a variable.
bool IsPlainName(std::string_view text) {
  if (text.empty()) return false;
  try {
    eval::Lexer lexer(text);
    const eval::Token token = lexer.Next();
    return token.kind == eval::TokenKind::Identifier && token.keyword == eval::Keyword::None &&
           token.position == 0 && token.text.size() == text.size();
  } catch (const eval::ScriptError&) {
    return false;
  }
}

// x1, x2, ...: the names of unknowns nobody named.
bool IsDefaultName(std::string_view folded) {
  if (folded.size() < 2 || folded.substr(0, kDefaultNamePrefix.size()) != kDefaultNamePrefix) return false;
  return std::all_of(folded.begin() + static_cast<std::ptrdiff_t>(kDefaultNamePrefix.size()), folded.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::string Plural(std::size_t count, std::string_view word) {
  return std::to_string(count) + ' ' + std::string(word) + (count == 1 ? "" : "s");
}

// "system.txt:7" or "--def": where a definition stands, inside a message.
std::string WhereText(const std::string& source, Place place) {
  return place.line > 0 ? source + ":" + std::to_string(place.line) : source;
}

// ---- the one builder ----

class Builder {
 public:
  explicit Builder(const Raw& raw) : raw_(raw) { problem_.road = raw.road; }

  Problem Build() {
    ReadNames();
    SortLines();
    if (problem_.equations.empty()) {
      if (raw_.lines.empty()) Fail(raw_.equationsSource, {}, 0, raw_.equationsField, "no equation given");
      Fail(raw_.lines.front().source, {}, 0, {}, "no equation given");
    }
    DefaultNames();
    CheckNames();
    CheckDefinitions();
    ReadStart();
    ReadBoxAndBounds();
    ReadOptions();
    problem_.warnings.Add(CheckProblem(problem_));
    return std::move(problem_);
  }

 private:
  bool Full() const { return raw_.road == Road::Full; }

  void ReadNames() {
    if (!raw_.names) return;
    const RawField& field = *raw_.names;
    const std::string& text = field.text.text.Text();
    problem_.namesText = text;
    problem_.names.origin = field.origin;
    for (const auto& [begin, end] : Pieces(text)) {
      const auto [first, last] = Full() ? Trim(text, begin, end) : std::pair{begin, end};
      const std::string name = text.substr(first, last - first);
      if (Full() && !IsPlainName(name)) {
        FailAt(field, field.text.text.PlaceOf(first),
               name.empty() ? "a name is missing (two commas in a row, or one at an end)"
                            : "'" + name + "' is not a name (a letter, then letters, digits and _)");
      }
      const auto [nameFirst, nameLast] = Trim(name, 0, name.size());
      unknowns_.insert(eval::FoldName(std::string_view(name).substr(nameFirst, nameLast - nameFirst)));
      problem_.names.value.push_back(name);
      problem_.namePlaces.push_back(field.text.text.PlaceOf(first));
    }
  }

  bool IsUnknown(const std::string& folded) const {
    return raw_.names ? unknowns_.count(folded) > 0 : IsDefaultName(folded);
  }

  // NAME = EXPR split at its top-level '=', or nullopt when it is no such text.
  struct Split {
    std::string name;
    std::size_t nameAt;
    std::size_t equalsAt;
  };
  static std::optional<Split> DefinitionForm(std::string_view text, const std::vector<std::size_t>& equals) {
    if (equals.size() != 1) return std::nullopt;
    const auto [first, last] = Trim(text, 0, equals.front());
    const std::string_view name = text.substr(first, last - first);
    if (!IsPlainName(name)) return std::nullopt;
    return Split{std::string(name), first, equals.front()};
  }

  void AddDefinition(const RawLine& line, const Split& split) {
    Definition definition;
    definition.name = split.name;
    definition.expression = line.text.Slice(split.equalsAt + 1, line.text.Text().size());
    definition.source = line.source;
    definition.place = line.text.PlaceOf(split.nameAt);
    problem_.definitions.push_back(std::move(definition));
  }

  void SortLines() {
    for (const RawLine& line : raw_.lines) {
      Equation equation{line.text, line.source, std::nullopt};
      if (Full()) {
        const std::string& text = line.text.Text();
        const std::vector<std::size_t> equals = TopLevelEquals(text);
        if (equals.size() > 1) {
          Fail(line.source, line.text.PlaceOf(equals[1]), static_cast<int>(problem_.equations.size() + 1), {},
               "a second '=' at the top level; an equation is LEFT = RIGHT (put a comparison in parentheses)");
        }
        if (const auto split = DefinitionForm(text, equals); split && !IsUnknown(eval::FoldName(split->name))) {
          AddDefinition(line, *split);
          continue;
        }
        if (!equals.empty()) equation.equalsAt = equals.front();
      }
      problem_.equations.push_back(std::move(equation));
    }
    for (const RawLine& line : raw_.definitions) {
      if (!Full()) {
        Fail(line.source, line.text.PlaceOf(0), 0, {},
             "definitions need a method beyond newton (hybrid, lm or auto): the Go command takes the "
             "equations as typed");
      }
      const auto split = DefinitionForm(line.text.Text(), TopLevelEquals(line.text.Text()));
      if (!split) Fail(line.source, line.text.PlaceOf(0), 0, {}, "expected NAME = EXPRESSION, got '" + line.text.Text() + "'");
      if (IsUnknown(eval::FoldName(split->name))) {
        Fail(line.source, line.text.PlaceOf(split->nameAt), 0, {},
             split->name + " is an unknown; a definition names a quantity of its own");
      }
      AddDefinition(line, *split);
    }
  }

  void DefaultNames() {
    if (raw_.names) return;
    for (std::size_t k = 1; k <= problem_.equations.size(); ++k)
      problem_.names.value.push_back(std::string(kDefaultNamePrefix) + std::to_string(k));
  }

  // Names differ in more than letter case, as the language's names do.
  void CheckNames() {
    const std::size_t n = problem_.equations.size();
    if (Full() && raw_.square && raw_.names && problem_.names.value.size() != n) {
      FailAt(*raw_.names, FieldPlace(*raw_.names),
             "needs " + Plural(n, "name") + ", one per equation (given " +
                 std::to_string(problem_.names.value.size()) + ")");
    }
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t k = 0; k < problem_.names.value.size(); ++k) {
      const std::string& name = problem_.names.value[k];
      const auto [first, last] = Trim(name, 0, name.size());
      if (first == last) continue;
      const auto [it, fresh] = seen.emplace(eval::FoldName(std::string_view(name).substr(first, last - first)), k);
      if (fresh) continue;
      const Place firstPlace = problem_.namePlaces[it->second];
      std::string message = "'" + name.substr(first, last - first) + "' is named twice";
      if (firstPlace.line > 0) {
        message += "; the first is at " + std::to_string(firstPlace.line) + ':' + std::to_string(firstPlace.column);
      }
      if (Full()) FailAt(*raw_.names, problem_.namePlaces[k], std::move(message));
      problem_.warnings.Add(Warning{WarningCode::DuplicateName,
                                          ProblemError{raw_.names->text.source, problem_.namePlaces[k], 0,
                                                       raw_.names->text.field, std::move(message)}});
    }
  }

  // Each definition uses only unknowns and earlier definitions; names are
  // defined once.
  void CheckDefinitions() {
    std::unordered_map<std::string, std::size_t> index;  // folded name -> definition
    for (std::size_t k = 0; k < problem_.definitions.size(); ++k) {
      const Definition& definition = problem_.definitions[k];
      const auto [it, fresh] = index.emplace(eval::FoldName(definition.name), k);
      if (!fresh) {
        const Definition& first = problem_.definitions[it->second];
        Fail(definition.source, definition.place, 0, {},
             definition.name + " is defined twice; the first definition is at " +
                 WhereText(first.source, first.place));
      }
    }
    for (std::size_t k = 0; k < problem_.definitions.size(); ++k) {
      const Definition& definition = problem_.definitions[k];
      ForEachNameUse(definition.expression.Text(), [&](const NameUse& use) {
        const auto it = index.find(use.folded);
        if (it == index.end() || use.call || it->second < k) return;
        const Definition& later = problem_.definitions[it->second];
        std::string message = it->second == k
                                  ? "the definition of " + definition.name + " uses itself"
                                  : "the definition of " + definition.name + " uses " + use.written +
                                        ", which is defined after it (at " + WhereText(later.source, later.place) +
                                        "); a definition uses only unknowns and earlier definitions";
        Fail(definition.source, definition.expression.PlaceOf(use.offset), 0, {}, std::move(message));
      });
    }
  }

  void ReadStart() {
    const std::size_t n = problem_.names.value.size();
    problem_.startRule = Full() ? NumberRule::Strict : NumberRule::Leading;
    if (!raw_.start) {
      problem_.start.value.assign(n, Defaults{}.start);
      return;
    }
    const RawField& field = *raw_.start;
    problem_.startText = field.text.text.Text();
    problem_.start.origin = field.origin;
    problem_.start.value = ReadNumbers(field.text, problem_.startRule, problem_.warnings);
    if (Full() && problem_.start.value.size() != n) {
      FailAt(field, FieldPlace(field),
             "needs " + Plural(n, "value") + ", one per unknown (given " +
                 std::to_string(problem_.start.value.size()) + ")");
    }
  }

  // One range for every unknown, or one per unknown.
  std::vector<Range> PerUnknown(std::vector<Range> ranges, const RawField* field, const Origin& origin) {
    const std::size_t n = problem_.names.value.size();
    if (ranges.size() == 1) ranges.assign(n, ranges.front());
    if (ranges.size() != n) {
      const std::string message = "needs one LOW:HIGH for every unknown or one per unknown (" + std::to_string(n) +
                                  "), got " + std::to_string(ranges.size());
      if (field) FailAt(*field, FieldPlace(*field), message);
      Fail(origin.source, Place{origin.line, 0}, 0, origin.field, message);
    }
    return ranges;
  }

  void ReadBoxAndBounds() {
    if (raw_.box) {
      problem_.box.origin = raw_.box->origin;
      problem_.box.value = PerUnknown(ReadRanges(raw_.box->text, NumberRule::Strict), &*raw_.box, raw_.box->origin);
    } else if (raw_.boxRead) {
      problem_.box.origin = raw_.boxRead->origin;
      problem_.box.value = PerUnknown(raw_.boxRead->value, nullptr, raw_.boxRead->origin);
    }
    if (raw_.bounds) {
      problem_.bounds.origin = raw_.bounds->origin;
      problem_.bounds.value =
          PerUnknown(ReadRanges(raw_.bounds->text, NumberRule::Bounds), &*raw_.bounds, raw_.bounds->origin);
    }
  }

  void ReadOptions() {
    MethodOptions& options = problem_.options;
    if (raw_.method) {
      const std::string& name = raw_.method->text.text.Text();
      const auto method = MethodNamed(name);
      if (!method) FailAt(*raw_.method, {}, "unknown method \"" + name + "\"; the methods are " + MethodNames());
      options.method = {*method, raw_.method->origin};
    }
    if (raw_.ftol) options.ftol = {ReadPositiveNumber(raw_.ftol->text), raw_.ftol->origin};
    if (raw_.maxSeconds) options.maxSeconds = {ReadPositiveNumber(raw_.maxSeconds->text), raw_.maxSeconds->origin};
    if (raw_.budget) options.budget = {ReadPositiveNumber(raw_.budget->text), raw_.budget->origin};
    if (raw_.maxEvaluations) {
      options.maxEvaluations = {
          static_cast<long>(ReadWholeNumber(raw_.maxEvaluations->text, std::numeric_limits<long>::max(), false)),
          raw_.maxEvaluations->origin};
    }
    if (raw_.maxStarts) {
      options.maxStarts = {
          static_cast<int>(ReadWholeNumber(raw_.maxStarts->text, std::numeric_limits<int>::max(), false)),
          raw_.maxStarts->origin};
    }
    if (raw_.seed) {
      options.seed = {ReadWholeNumber(raw_.seed->text, std::numeric_limits<std::uint64_t>::max(), true),
                      raw_.seed->origin};
    }
  }

  const Raw& raw_;
  Problem problem_;
  std::unordered_set<std::string> unknowns_;  // the given names, folded and trimmed
};

ReadResult Run(const auto& read) {
  try {
    Raw raw = read();
    return ReadResult{Builder(raw).Build(), std::nullopt};
  } catch (const ProblemFailure& failure) {
    return ReadResult{std::nullopt, failure.error};
  }
}

// ---- the command line ----

std::optional<RawField> OptionField(const std::optional<std::string>& text, std::string_view option) {
  if (!text) return std::nullopt;
  const std::string source(option);
  // An option's value is short: messages name the option, not a column.
  return RawField{FieldText{source, {}, PlacedText(*text, 0, 0)}, Origin{OriginKind::CommandLine, source, 0, {}}};
}

void AddCommandLine(Raw& raw, const CommandLineInput& input) {
  raw.road = RoadOf(input);
  raw.square = input.square;
  for (const std::string& definition : input.definitions)
    raw.definitions.push_back(RawLine{PlacedText(definition, 0, 1), "--def"});
  if (input.names) raw.names = OptionField(input.names, "--vars");
  if (input.start) raw.start = OptionField(input.start, input.startOption);
  if (input.box) raw.box = OptionField(input.box, "--box");
  if (input.bounds) raw.bounds = OptionField(input.bounds, "--bounds");
  raw.method = OptionField(input.method, "--method");
  raw.ftol = OptionField(input.ftol, "--ftol");
  raw.maxEvaluations = OptionField(input.maxEvaluations, "--max-evaluations");
  raw.maxSeconds = OptionField(input.maxSeconds, "--max-seconds");
  raw.maxStarts = OptionField(input.maxStarts, "--max-starts");
  raw.seed = OptionField(input.seed, "--seed");
  raw.budget = OptionField(input.budget, "--budget");
}

// ---- system files ----

// The places of a file's text: one run per physical line it spans (a
// continued line starts the next run at column 1). Lines only grow with the
// offset, so each run's end is found by bisection.
PlacedText Placed(const cli::SourceText& source) {
  const std::string& text = source.Text();
  const cli::SourceText::Place first = source.PlaceOf(0);
  if (text.empty() || source.PlaceOf(text.size()).line == first.line) return PlacedText(text, first.line, first.column);
  PlacedText placed;
  for (std::size_t begin = 0; begin < text.size();) {
    const cli::SourceText::Place place = source.PlaceOf(begin);
    std::size_t low = begin + 1;
    std::size_t high = text.size();  // the run ends at the first offset on a later line
    while (low < high) {
      const std::size_t mid = low + (high - low) / 2;
      if (source.PlaceOf(mid).line > place.line) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    placed.Append(std::string_view(text).substr(begin, low - begin), place.line, place.column);
    begin = low;
  }
  return placed;
}

// A names: line: trimmed pieces, each at its own place.
PlacedText PlacedPieces(const cli::SourceText& source) {
  const std::string& text = source.Text();
  PlacedText placed;
  for (const auto& [begin, end] : Pieces(text)) {
    if (begin > 0) {
      const cli::SourceText::Place comma = source.PlaceOf(begin - 1);
      placed.Append(",", comma.line, comma.column);
    }
    const cli::SourceText::Place place = source.PlaceOf(begin);
    placed.Append(std::string_view(text).substr(begin, end - begin), place.line, place.column);
  }
  if (text.empty()) {
    const cli::SourceText::Place place = source.PlaceOf(0);
    placed.Append({}, place.line, place.column);
  }
  return placed;
}

// The file reader's refusal, "system.txt:3:7: message", as an error with its
// place. The reader gives its refusals as text only; until it gives them as
// data, this is the one place that takes such a text apart.
ProblemError FileError(std::string_view fileName, const std::string& text) {
  ProblemError error{std::string(fileName), {}, 0, {}, text};
  std::string_view rest = text;
  if (rest.substr(0, fileName.size()) != fileName) return ProblemError{{}, {}, 0, {}, text};
  rest.remove_prefix(fileName.size());
  int numbers[2] = {0, 0};
  for (int& number : numbers) {
    if (rest.empty() || rest.front() != ':') break;
    const auto [end, ec] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), number);
    if (ec != std::errc()) {
      number = 0;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
  }
  if (rest.substr(0, 2) != ": ") return ProblemError{{}, {}, 0, {}, text};
  error.place = Place{numbers[0], numbers[1]};
  error.message = std::string(rest.substr(2));
  return error;
}

void AddSystemFile(Raw& raw, std::string_view fileName, std::string_view text) {
  const cli::SystemFileRead read = cli::ParseSystemFile(fileName, text);
  if (!read.system) throw ProblemFailure{FileError(fileName, read.error)};
  const cli::SystemFile& file = *read.system;
  const std::string source(fileName);
  raw.equationsSource = source;
  for (const cli::SourceText& equation : file.equations) raw.lines.push_back(RawLine{Placed(equation), source});
  const auto field = [&](const cli::SourceText& value, PlacedText placed, std::string_view key) {
    return RawField{FieldText{source, std::string(key), std::move(placed)},
                    Origin{OriginKind::File, source, value.Line(), std::string(key)}};
  };
  if (file.names) raw.names = field(*file.names, PlacedPieces(*file.names), kNamesKey);
  if (file.start) raw.start = field(*file.start, Placed(*file.start), kStartKey);
  if (file.bounds) raw.bounds = field(*file.bounds, Placed(*file.bounds), kBoundsKey);
  if (!file.box.empty()) {
    Given<std::vector<Range>> box{{}, Origin{OriginKind::File, source, file.boxLine, std::string(kBoxKey)}};
    for (const cli::BoxRange& range : file.box) box.value.push_back(Range{range.low, range.high});
    raw.boxRead = std::move(box);
  }
}

Raw FileWithOptions(std::string_view fileName, std::string_view text, const CommandLineInput& options) {
  if (!options.equations.empty()) {
    Fail("--eq", {}, 0, {}, "--eq and a system file do not mix: with a file the equations come from the file");
  }
  Raw raw;
  AddSystemFile(raw, fileName, text);
  std::vector<RawLine> lines = std::exchange(raw.lines, {});
  auto box = std::exchange(raw.boxRead, std::nullopt);
  auto names = std::exchange(raw.names, std::nullopt);
  auto start = std::exchange(raw.start, std::nullopt);
  auto bounds = std::exchange(raw.bounds, std::nullopt);
  AddCommandLine(raw, options);  // the command line's fields win
  raw.lines = std::move(lines);
  if (!raw.names) raw.names = std::move(names);
  if (!raw.start) raw.start = std::move(start);
  if (!raw.box) raw.boxRead = std::move(box);
  if (!raw.bounds) raw.bounds = std::move(bounds);
  return raw;
}

// ---- batch lines ----

using Json = nlohmann::ordered_json;

// A number of a batch line as text that reads back as exactly the same double.
std::string ExactText(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

class BatchReader {
 public:
  BatchReader(std::size_t lineNumber, const TextLoader& load)
      : source_("batch line " + std::to_string(lineNumber)), load_(load) {}

  Raw Read(std::string_view text) {
    Json line;
    try {
      line = Json::parse(text);
    } catch (const Json::exception& error) {
      Refuse({}, "not JSON: " + ParseErrorText(error));
    }
    if (!line.is_object()) Refuse({}, "a line must be a JSON object");
    for (const auto& [key, value] : line.items()) {
      if (key != kEqKey && key != kFileKey && key != kNamesKey && key != kStartKey && key != kMethodKey &&
          key != kDefinitionsKey && key != kBoundsKey && key != kCertifyKey && key != kIdKey)
        Refuse({}, "unknown field \"" + key + "\"; a batch line knows " + std::string(kKnownKeys));
    }
    const bool hasEq = line.contains(kEqKey);
    if (hasEq == line.contains(kFileKey)) Refuse({}, "a line needs \"eq\" (the equations) or \"file\" (a system file)");

    Raw raw;
    CommandLineInput method;
    if (const auto it = line.find(kMethodKey); it != line.end()) method.method = Text(*it, kMethodKey);
    if (hasEq) {
      const Json& eq = line[std::string(kEqKey)];
      if (!eq.is_array()) Refuse(kEqKey, "must be an array of equation texts");
      for (std::size_t i = 0; i < eq.size(); ++i)
        raw.lines.push_back(RawLine{PlacedText(Text(eq[i], "eq[" + std::to_string(i) + "]"), 0, 0), source_});
    } else {
      const std::string path = Text(line[std::string(kFileKey)], kFileKey);
      std::string error;
      const std::optional<std::string> fileText = load_(path, error);
      if (!fileText) Refuse(kFileKey, error);
      AddSystemFile(raw, path == "-" ? kStandardInputName : path, *fileText);
    }
    raw.road = RoadOfMethod(method.method);
    if (hasEq) {
      raw.equationsSource = source_;
      raw.equationsField = kEqKey;
    }
    if (method.method) raw.method = Field(*method.method, kMethodKey);
    if (const auto it = line.find(kNamesKey); it != line.end()) raw.names = Field(Joined(*it, kNamesKey, false), kNamesKey);
    if (const auto it = line.find(kStartKey); it != line.end()) raw.start = Field(Joined(*it, kStartKey, true), kStartKey);
    if (const auto it = line.find(kBoundsKey); it != line.end()) raw.bounds = Field(BoundsText(*it), kBoundsKey);
    if (const auto it = line.find(kDefinitionsKey); it != line.end()) AddDefinitions(raw, *it);
    return raw;
  }

 private:
  [[noreturn]] void Refuse(std::string_view field, std::string message) const {
    Fail(source_, {}, 0, std::string(field), std::move(message));
  }

  static std::string ParseErrorText(const Json::exception& error) {
    std::string_view text = error.what();
    if (const std::size_t tag = text.find("] "); !text.empty() && text.front() == '[' && tag != std::string_view::npos)
      text.remove_prefix(tag + 2);
    return std::string(text);
  }

  RawField Field(std::string text, std::string_view key) const {
    return RawField{FieldText{source_, std::string(key), PlacedText(std::move(text), 0, 0)},
                    Origin{OriginKind::BatchField, source_, 0, std::string(key)}};
  }

  std::string Text(const Json& value, std::string_view key) const {
    if (!value.is_string()) Refuse(key, "must be a text");
    return value.get<std::string>();
  }

  // A text, or the pieces of an array (texts; with numbers, numbers too)
  // joined with commas.
  std::string Joined(const Json& value, std::string_view key, bool numbers) const {
    if (value.is_string()) return value.get<std::string>();
    if (!value.is_array()) Refuse(key, "must be a text or an array");
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
      const Json& piece = value[i];
      const std::string name = std::string(key) + "[" + std::to_string(i) + "]";
      std::string pieceText;
      if (piece.is_string()) {
        pieceText = piece.get<std::string>();
      } else if (numbers && piece.is_number()) {
        pieceText = ExactText(piece.get<double>());
      } else {
        Refuse(name, numbers ? "must be a number or a text" : "must be a text");
      }
      if (pieceText.find(',') != std::string::npos) Refuse(name, "holds a comma");
      if (i > 0) text += ',';
      text += pieceText;
    }
    return text;
  }

  // A text as --bounds, or [[LOW, HIGH], ...] of numbers and texts.
  std::string BoundsText(const Json& value) const {
    if (value.is_string()) return value.get<std::string>();
    if (!value.is_array()) Refuse(kBoundsKey, "must be a text or an array of [LOW, HIGH] pairs");
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
      const std::string name = std::string(kBoundsKey) + "[" + std::to_string(i) + "]";
      const Json& pair = value[i];
      if (!pair.is_array() || pair.size() != 2) Refuse(name, "must be a [LOW, HIGH] pair");
      if (i > 0) text += ',';
      for (std::size_t side = 0; side < 2; ++side) {
        const Json& bound = pair[side];
        if (bound.is_number()) {
          text += ExactText(bound.get<double>());
        } else if (bound.is_string() && bound.get<std::string>().find_first_of(",:") == std::string::npos) {
          text += bound.get<std::string>();
        } else {
          Refuse(name, "each side must be a number or a text such as \"inf\"");
        }
        if (side == 0) text += ':';
      }
    }
    return text;
  }

  void AddDefinitions(Raw& raw, const Json& value) const {
    if (value.is_array()) {
      for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string text = Text(value[i], std::string(kDefinitionsKey) + "[" + std::to_string(i) + "]");
        raw.definitions.push_back(RawLine{PlacedText(text, 0, 0), source_});
      }
    } else if (value.is_object()) {
      for (const auto& [name, expression] : value.items())
        raw.definitions.push_back(
            RawLine{PlacedText(name + " = " + Text(expression, std::string(kDefinitionsKey) + "." + name), 0, 0), source_});
    } else {
      Refuse(kDefinitionsKey, "must be an array of \"NAME = EXPRESSION\" texts or an object");
    }
  }

  std::string source_;
  const TextLoader& load_;
};

}  // namespace

Road RoadOf(const CommandLineInput& input) { return input.road ? *input.road : RoadOfMethod(input.method); }

ReadResult ReadCommandLine(const CommandLineInput& input) {
  return Run([&] {
    Raw raw;
    AddCommandLine(raw, input);
    for (const std::string& equation : input.equations) raw.lines.push_back(RawLine{PlacedText(equation, 0, 1), "--eq"});
    return raw;
  });
}

ReadResult ReadSystemFile(std::string_view fileName, std::string_view text, const CommandLineInput& options) {
  return Run([&] { return FileWithOptions(fileName, text, options); });
}

ReadResult ReadStandardInput(std::string_view text, const CommandLineInput& options) {
  return ReadSystemFile(kStandardInputName, text, options);
}

ReadResult ReadBatchLine(std::string_view line, std::size_t lineNumber, const TextLoader& load) {
  return Run([&] { return BatchReader(lineNumber, load).Read(line); });
}

}  // namespace problem
