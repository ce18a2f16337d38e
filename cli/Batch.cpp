#include "Batch.h"

#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "FileCommands.h"
#include "InputText.h"
#include "RobustSolve.h"
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
constexpr std::string_view kKnownKeys = "eq, file, names, start, method, id";
// The methods of `solve --method`, in the order its help lists them; newton
// is the Go command, the others the robust road (RobustSolve.cpp).
constexpr std::string_view kMethods[] = {"newton", "hybrid", "lm", "auto"};

// Why a line cannot be run; becomes its error object.
struct LineError {
  std::string message;
};

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

// The line's method as `solve --method` takes it; newton when there is none.
RobustCliOptions MethodOf(const json& line) {
  RobustCliOptions robust;
  const auto it = line.find(kMethodKey);
  if (it == line.end()) return robust;
  robust.method = TextOf(*it, kMethodKey);
  for (const std::string_view method : kMethods) {
    if (robust.method == method) return robust;
  }
  std::string known;
  for (const std::string_view method : kMethods) known += (known.empty() ? "" : ", ") + std::string(method);
  throw LineError{"unknown method \"" + robust.method + "\"; the methods are " + known};
}

// A robust run, refused as a bad line where the command line would be refused.
json RobustDocument(const SolveOptions& options, const RobustCliOptions& robust) {
  if (auto problem = RobustSolveProblem(options, robust)) throw LineError{*problem};
  return RunRobustJson(options, robust).document;
}

json RunLine(const json& line) {
  if (!line.is_object()) throw LineError{"a line must be a JSON object"};
  for (const auto& [key, value] : line.items()) {
    if (key != kEqKey && key != kFileKey && key != kNamesKey && key != kStartKey && key != kMethodKey &&
        key != kIdKey) {
      throw LineError{"unknown field \"" + key + "\"; a batch line knows " + std::string(kKnownKeys)};
    }
  }
  const bool hasEq = line.contains(kEqKey);
  const bool hasFile = line.contains(kFileKey);
  if (hasEq == hasFile) throw LineError{"a line needs \"eq\" (the equations) or \"file\" (a system file)"};
  const RobustCliOptions robust = MethodOf(line);
  const bool robustRoad = WantsRobustSolve(robust);

  SolveOptions overrides;
  overrides.json = true;
  if (const auto it = line.find(kNamesKey); it != line.end()) overrides.namesText = FieldText(*it, kNamesKey, false);
  if (const auto it = line.find(kStartKey); it != line.end()) overrides.valuesText = FieldText(*it, kStartKey, true);

  // Declared before the run: the run's library reports to it.
  eval::RecordingUi recorder;
  if (hasEq) {
    const json& eq = line[kEqKey];
    if (!eq.is_array()) throw LineError{"\"eq\" must be an array of equation texts"};
    for (std::size_t i = 0; i < eq.size(); ++i) overrides.equations.push_back(TextOf(eq[i], "eq[" + std::to_string(i) + "]"));
    if (robustRoad) return RobustDocument(overrides, robust);
    if (auto problem = EquationCountProblem(overrides.equations.size())) throw LineError{*problem};
    return SolveJson(SolveOnce(overrides, recorder), recorder);
  }
  const SystemFileRead read = LoadSystemFile(TextOf(line[kFileKey], kFileKey));
  if (!read.system) throw LineError{read.error};
  RunFields fields;
  const SolveOptions options = SystemSolveOptions(*read.system, overrides, fields);
  if (robustRoad) {
    json document = RobustDocument(options, robust);
    LocateDocumentError(*read.system, fields, document);
    return document;
  }
  if (auto problem = EquationCountProblem(read.system->equations.size()))
    throw LineError{read.system->fileName + ": " + *problem};
  const app::GoResult result = SolveSystem(*read.system, fields, options, recorder);
  return SolveJson(result, recorder);
}

// The JSON parser's message without its "[json.exception...] " tag.
std::string ParseErrorText(const json::exception& error) {
  std::string_view text = error.what();
  if (const std::size_t tag = text.find("] "); !text.empty() && text.front() == '[' && tag != std::string_view::npos)
    text.remove_prefix(tag + 2);
  return std::string(text);
}

}  // namespace

BatchLineResult RunBatchLine(std::string_view line, std::size_t lineNumber) {
  json id = nullptr;
  std::string message;
  try {
    const json input = json::parse(line);
    if (input.is_object() && input.contains(kIdKey)) id = input[kIdKey];
    json result = RunLine(input);
    const bool converged = result["converged"].get<bool>();
    result[kIdKey] = std::move(id);
    return BatchLineResult{LineText(result), converged};
  } catch (const LineError& error) {
    message = error.message;
  } catch (const json::parse_error& error) {
    message = "not JSON: " + ParseErrorText(error);
  } catch (const std::exception& error) {
    message = error.what();
  }
  return BatchLineError(lineNumber, id, message);
}

BatchLineResult BatchLineError(std::size_t lineNumber, const json& id, std::string_view message) {
  try {
    json result;
    result[kIdKey] = id;
    result[kErrorKey] = "line " + std::to_string(lineNumber) + ": " + std::string(message);
    return BatchLineResult{LineText(result), false};
  } catch (const std::exception&) {
    return BatchLineResult{R"({"error":"out of memory","id":null})", false};
  }
}

}  // namespace cli
