#include "Batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "FileCommands.h"
#include "InputText.h"
#include "ProblemInput.h"
#include "RobustSolve.h"
#include "problem/SystemFile.h"
#include "eval/NumberText.h"
#include "eval/SolverUi.h"

namespace cli {
namespace {

using nlohmann::json;

constexpr std::string_view kEqKey = "eq";
constexpr std::string_view kFileKey = "file";
constexpr std::string_view kNamesKey = "names";
constexpr std::string_view kStartKey = "start";
constexpr std::string_view kMethodKey = "method";
constexpr std::string_view kIdKey = "id";
constexpr std::string_view kErrorKey = "error";
constexpr std::string_view kDefinitionsKey = "definitions";
constexpr std::string_view kWarningsKey = "warnings";
constexpr std::string_view kCertifyKey = "certify";
constexpr std::string_view kBoundsKey = "bounds";
constexpr std::string_view kKnownKeys = "eq, file, names, start, method, definitions, bounds, certify, id";

constexpr std::string_view kNullId = "null";
constexpr std::size_t kReadChunkBytes = std::size_t{1} << 16;

// Why a line cannot be run; becomes its error object.
struct LineError {
  std::string message;
};

bool IsJsonBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The position after the string that starts at `pos` (an opening quote);
// the text's end when it is not closed.
std::size_t StringEnd(std::string_view text, std::size_t pos) {
  for (++pos; pos < text.size(); ++pos) {
    if (text[pos] == '\\') {
      ++pos;
    } else if (text[pos] == '"') {
      return pos + 1;
    }
  }
  return text.size();
}

// Whether arrays and objects nest deeper than `limit` anywhere in the text,
// strings skipped. Any text will do; it need not be JSON.
bool NestsDeeperThan(std::string_view text, int limit) {
  int depth = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const char c = text[pos];
    if (c == '"') {
      pos = StringEnd(text, pos);
      continue;
    }
    if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
    ++pos;
  }
  return false;
}

// The position after the JSON value that starts at `pos`, in text already
// known to be JSON.
std::size_t ValueEnd(std::string_view text, std::size_t pos) {
  if (text[pos] == '"') return StringEnd(text, pos);
  if (text[pos] == '[' || text[pos] == '{') {
    int depth = 0;
    while (pos < text.size()) {
      const char c = text[pos];
      if (c == '"') {
        pos = StringEnd(text, pos);
        continue;
      }
      ++pos;
      if (c == '[' || c == '{') ++depth;
      if ((c == ']' || c == '}') && --depth == 0) break;
    }
    return pos;
  }
  while (pos < text.size() && !IsJsonBlank(text[pos]) && text[pos] != ',' && text[pos] != '}' && text[pos] != ']')
    ++pos;
  return pos;
}

std::size_t SkipBlanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsJsonBlank(text[pos])) ++pos;
  return pos;
}

// A JSON text with the blanks outside its strings dropped.
std::string WithoutBlanks(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    if (text[pos] == '"') {
      const std::size_t end = StringEnd(text, pos);
      compact.append(text.substr(pos, end - pos));
      pos = end;
    } else {
      if (!IsJsonBlank(text[pos])) compact += text[pos];
      ++pos;
    }
  }
  return compact;
}

// The text of the "id" member's value in a line that parsed as a JSON object,
// blanks outside its strings dropped; null without one. When a key repeats,
// the last one counts, as it does for the parsed object.
std::string IdText(std::string_view line) {
  std::string id(kNullId);
  // The parser skips a byte order mark at the start; so does this.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  std::size_t pos = line.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  pos = SkipBlanks(line, pos) + 1;  // after '{'
  while (true) {
    pos = SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '"') break;  // '}': the object ends
    const std::size_t keyEnd = StringEnd(line, pos);
    const std::string_view keyText = line.substr(pos, keyEnd - pos);
    // A key may spell letters as escapes ("\u0069d"); only then is it decoded.
    const bool isId = keyText.find('\\') == std::string_view::npos
                          ? keyText == "\"id\""
                          : json::parse(keyText).get<std::string>() == kIdKey;
    pos = SkipBlanks(line, keyEnd) + 1;  // after ':'
    pos = SkipBlanks(line, pos);
    const std::size_t valueEnd = ValueEnd(line, pos);
    if (isId) id = WithoutBlanks(line.substr(pos, valueEnd - pos));
    pos = SkipBlanks(line, valueEnd);
    if (pos >= line.size() || line[pos] != ',') break;
    ++pos;
  }
  return id;
}

// The system file a line's "file" names. It must be a regular file: standard
// input holds the batch itself and a FIFO may never end, so either would
// stall every line after this one. Opened without waiting for a FIFO's
// writer, checked, then read from the same descriptor.
std::string LoadRegularText(const std::string& path) {
  if (path == kStandardInputPath)
    throw LineError{"\"file\": \"-\" would be standard input, which holds the batch; name a regular file"};
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw LineError{path + ": cannot open: " + std::generic_category().message(errno)};
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat info {};
  if (fstat(fd, &info) != 0) throw LineError{path + ": cannot read: " + std::generic_category().message(errno)};
  if (!S_ISREG(info.st_mode)) throw LineError{path + ": not a regular file; \"file\" must name one"};
  if (static_cast<std::size_t>(info.st_size) > kMaxSystemFileBytes) throw LineError{TooLargeMessage(path)};
  std::string text;
  while (true) {
    const std::size_t used = text.size();
    text.resize(used + kReadChunkBytes);
    const ssize_t got = read(fd, text.data() + used, kReadChunkBytes);
    if (got < 0 && errno == EINTR) {
      text.resize(used);
      continue;
    }
    if (got < 0) throw LineError{path + ": cannot read: " + std::generic_category().message(errno)};
    text.resize(used + static_cast<std::size_t>(got));
    // The file grew after fstat.
    if (text.size() > kMaxSystemFileBytes) throw LineError{TooLargeMessage(path)};
    if (got == 0) break;
  }
  return text;
}

// One line of output: compact, bytes that are not UTF-8 replaced.
std::string LineText(const json& document) {
  return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A field's text from a JSON text, or from an array joined with commas: of
// names, or of numbers written as number text (strings taken as they are).
std::string FieldText(const json& value, std::string_view key, bool numbers) {
  if (value.is_string()) return value.get<std::string>();
  if (!value.is_array()) {
    throw LineError{"\"" + std::string(key) + "\" must be a text or an array"};
  }
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const json& piece = value[i];
    std::string pieceText;
    if (piece.is_string()) {
      pieceText = piece.get<std::string>();
    } else if (numbers && piece.is_number()) {
      const double number = piece.get<double>();
      pieceText = eval::NumberText(number);
    } else {
      throw LineError{"\"" + std::string(key) + "\"[" + std::to_string(i) + "] must be a " +
                      (numbers ? "number or a text" : "text")};
    }
    if (pieceText.find(',') != std::string::npos) {
      throw LineError{"\"" + std::string(key) + "\"[" + std::to_string(i) + "] holds a comma"};
    }
    if (i > 0) text += ',';
    text += pieceText;
  }
  return text;
}

std::string TextOf(const json& value, std::string_view key) {
  if (!value.is_string()) throw LineError{"\"" + std::string(key) + "\" must be a text"};
  return value.get<std::string>();
}

// The line's method as `solve --method` takes it; nullopt (newton) when there is none.
std::optional<std::string> MethodOf(const json& line) {
  const auto it = line.find(kMethodKey);
  if (it == line.end()) return std::nullopt;
  std::string method = TextOf(*it, kMethodKey);
  if (!problem::MethodNamed(method))
    throw LineError{"unknown method \"" + method + "\"; the methods are " + problem::MethodNames()};
  return method;
}

// The reader's refusal of a line without its source, which the line's
// result names already ("line 4: start: '3x' is not a number").
std::string WithoutSource(const std::string& message, std::size_t lineNumber) {
  const std::string source = "batch line " + std::to_string(lineNumber);
  if (message.starts_with(source + ": ")) return message.substr(source.size() + 2);
  if (message.starts_with(source + " ")) return message.substr(source.size() + 1);
  return message;
}

json RunLine(const json& line, std::string_view text, std::size_t lineNumber) {
  if (!line.is_object()) throw LineError{"a line must be a JSON object"};
  for (const auto& [key, value] : line.items()) {
    if (key != kEqKey && key != kFileKey && key != kNamesKey && key != kStartKey && key != kMethodKey &&
        key != kDefinitionsKey && key != kBoundsKey && key != kCertifyKey && key != kIdKey) {
      throw LineError{"unknown field \"" + key + "\"; a batch line knows " + std::string(kKnownKeys)};
    }
  }
  const bool hasEq = line.contains(kEqKey);
  const bool hasFile = line.contains(kFileKey);
  if (hasEq == hasFile) throw LineError{"a line needs \"eq\" (the equations) or \"file\" (a system file)"};
  problem::CommandLineInput method;
  method.method = MethodOf(line);
  const bool robustRoad = problem::RoadOf(method) == problem::Road::Full;
  bool certify = false;
  if (const auto it = line.find(kCertifyKey); it != line.end()) {
    if (!it->is_boolean()) throw LineError{"\"certify\" must be true or false"};
    certify = it->get<bool>();
  }
  // The Go road's results stay as they are: it has no proof to give.
  if (certify && !robustRoad)
    throw LineError{"\"certify\": true needs a \"method\" of hybrid, lm or auto: the Go command does not certify its answer"};
  if (line.contains(kBoundsKey)) {
    if (!robustRoad)
      throw LineError{"\"bounds\" needs a \"method\" beyond newton (sparse, auto, hybrid or lm): the Go command takes no bounds"};
    method.bounds = "";  // given: the dense methods hand the line to the sparse one
  }

  // The file's text, read once, for the problem's reader and the Go command alike.
  std::optional<std::string> fileText;
  std::string filePath;
  if (hasFile) {
    filePath = TextOf(line[kFileKey], kFileKey);
    fileText = LoadRegularText(filePath);
  }
  const problem::TextLoader load = [&](const std::string&, std::string&) { return fileText; };
  const problem::ReadResult given = problem::ReadBatchLine(text, lineNumber, load);

  if (robustRoad) {
    if (hasEq && line[kEqKey].is_array() && line[kEqKey].empty()) {
      if (auto problem = RobustSolveProblem(method, 0, false)) throw LineError{*problem};
    }
    const ProblemRead read = Expanded(given);
    if (!read.read) throw LineError{WithoutSource(read.refusal.message, lineNumber)};
    if (auto problem = RobustSolveProblem(method, read.read->expansion.equations.size(), false))
      throw LineError{*problem};
    return RobustSolveJson(RunRobustProblem(read, *method.method, certify));
  }
  // The Go road takes no definitions; its reader says so.
  if (line.contains(kDefinitionsKey) && given.error) throw LineError{WithoutSource(problem::Format(*given.error), lineNumber)};

  SolveOptions overrides;
  overrides.json = true;
  if (const auto it = line.find(kNamesKey); it != line.end()) overrides.namesText = FieldText(*it, kNamesKey, false);
  if (const auto it = line.find(kStartKey); it != line.end()) overrides.valuesText = FieldText(*it, kStartKey, true);

  // Present only with a warning, so a clean line's result keeps its bytes.
  auto withWarnings = [&](json document) {
    if (given.problem && !given.problem->warnings.kept.empty())
      document[kWarningsKey] = WarningsJson(given.problem->warnings);
    return document;
  };
  // Declared before the run: the run's library reports to it.
  eval::RecordingUi recorder;
  if (hasEq) {
    const json& eq = line[kEqKey];
    if (!eq.is_array()) throw LineError{"\"eq\" must be an array of equation texts"};
    for (std::size_t i = 0; i < eq.size(); ++i) overrides.equations.push_back(TextOf(eq[i], "eq[" + std::to_string(i) + "]"));
    if (auto problem = EquationCountProblem(overrides.equations.size(), kOtherMethodsField)) throw LineError{*problem};
    return withWarnings(SolveJson(SolveOnce(overrides, recorder), recorder));
  }
  const SystemFileRead read = ParseSystemFile(filePath, *fileText);
  if (!read.system) throw LineError{read.error};
  RunFields fields;
  const SolveOptions options = SystemSolveOptions(*read.system, overrides, fields);
  if (auto problem = EquationCountProblem(read.system->equations.size(), kOtherMethodsField))
    throw LineError{read.system->fileName + ": " + *problem};
  const app::GoResult result = SolveSystem(*read.system, fields, options, recorder);
  return withWarnings(SolveJson(result, recorder));
}

// A message of the JSON library in our words: its "[json.exception...] "
// tag and its "line 1" (a batch line is one line) left out.
std::string JsonErrorText(const json::exception& error) {
  std::string_view text = error.what();
  if (const std::size_t tag = text.find("] "); !text.empty() && text.front() == '[' && tag != std::string_view::npos)
    text.remove_prefix(tag + 2);
  if (dynamic_cast<const json::out_of_range*>(&error) != nullptr) {
    // "number overflow parsing '1e999'"
    const std::size_t open = text.find('\'');
    const std::size_t close = text.rfind('\'');
    if (text.starts_with("number overflow") && open != std::string_view::npos && close > open)
      return "a number is out of range: " + std::string(text.substr(open + 1, close - open - 1));
  }
  if (const auto* parse = dynamic_cast<const json::parse_error*>(&error)) {
    // "parse error at line 1, column 9: syntax error while parsing value - ..."
    if (const std::size_t colon = text.find(": "); text.starts_with("parse error") && colon != std::string_view::npos)
      text.remove_prefix(colon + 2);
    return "not JSON: byte " + std::to_string(parse->byte) + ": " + std::string(text);
  }
  return std::string(text);
}

// The result line: the members of `result` in its order (by key), with "id"
// among them as the line's own text.
std::string ResultText(const json& result, std::string_view idText) {
  std::string text = "{";
  bool idWritten = false;
  auto member = [&](std::string_view keyText, std::string_view valueText) {
    if (text.size() > 1) text += ',';
    text += keyText;
    text += ':';
    text += valueText;
  };
  const std::string idKey = LineText(json(kIdKey));
  for (const auto& [key, value] : result.items()) {
    if (!idWritten && key > kIdKey) {
      member(idKey, idText);
      idWritten = true;
    }
    member(LineText(json(key)), LineText(value));
  }
  if (!idWritten) member(idKey, idText);
  text += '}';
  return text;
}

}  // namespace

BatchLineResult RunBatchLine(std::string_view line, std::size_t lineNumber) {
  std::string idText(kNullId);
  std::string message;
  try {
    // Before parsing: copying, comparing or writing a parsed value recurses
    // once per level, which a line nested thousands deep turns into a crash.
    if (NestsDeeperThan(line, kMaxBatchLineNesting))
      throw LineError{"arrays and objects nest deeper than " + std::to_string(kMaxBatchLineNesting) + " levels"};
    const json input = json::parse(line);
    if (input.is_object()) idText = IdText(line);
    json result = RunLine(input, line, lineNumber);
    const bool converged = result["converged"].get<bool>();
    return BatchLineResult{ResultText(result, idText), converged};
  } catch (const LineError& error) {
    message = error.message;
  } catch (const json::exception& error) {
    message = JsonErrorText(error);
  } catch (const std::exception& error) {
    message = error.what();
  }
  return BatchLineError(lineNumber, idText, message);
}

BatchLineResult BatchLineError(std::size_t lineNumber, std::string_view idText, std::string_view message) {
  try {
    json result = JsonDocument();
    result[kErrorKey] = "line " + std::to_string(lineNumber) + ": " + std::string(message);
    return BatchLineResult{ResultText(result, idText), false};
  } catch (const std::exception&) {
    static_assert(kJsonVersion == 2, "the line below spells the version");
    return BatchLineResult{R"({"error":"out of memory","id":null,"jsonVersion":2})", false};
  }
}

}  // namespace cli
