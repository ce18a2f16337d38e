#include "ProblemInput.h"

#include <cmath>
#include <memory>

#include "Commands.h"
#include "InputText.h"
#include "StreamUi.h"
#include "eval/ClsMath.h"
#include "eval/Lexer.h"
#include "eval/ScriptError.h"
#include "eval/compiled/CompiledSystem.h"
#include "problem/SystemFile.h"

namespace cli {
namespace {

constexpr std::string_view kWarningPrefix = "nlsolve: warning: ";

std::string PlaceText(const problem::ProblemError& error) {
  problem::ProblemError place = error;
  place.equation = 0;
  place.field.clear();
  place.message.clear();
  std::string text = problem::Format(place);
  if (text.size() >= 2 && text.ends_with(": ")) text.resize(text.size() - 2);
  return text;
}

// Where the byte at `offset` of an expanded text stands in the text typed:
// only a text that expansion left as it was (blanks around it aside) maps
// byte for byte.
problem::Place PlaceIn(const problem::PlacedText& typed, const std::string& expanded, std::size_t offset) {
  const std::size_t at = expanded.empty() ? std::string::npos : typed.Text().find(expanded);
  if (at != std::string::npos && offset != std::string::npos && offset <= expanded.size())
    return typed.PlaceOf(at + offset);
  const problem::Place start = typed.PlaceOf(0);
  return problem::Place{start.line, start.line > 0 ? 0 : start.column};
}

// True when `text`, blanks around it aside, is one name the language takes.
bool IsOneName(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
  try {
    eval::Lexer lexer(text);
    const eval::Token token = lexer.Next();
    return token.kind == eval::TokenKind::Identifier && token.keyword == eval::Keyword::None && token.position == 0 &&
           token.text.size() == text.size();
  } catch (const eval::ScriptError&) {
    return false;
  }
}

}  // namespace

ProblemRead Expanded(problem::ReadResult result) {
  ProblemRead read;
  if (!result.problem) {
    const problem::ProblemError& error = *result.error;
    read.refusal = {problem::Format(error), error.place.line > 0 || error.source == problem::kStandardInputName};
    return read;
  }
  problem::ExpandResult expanded = problem::Expand(*result.problem);
  if (!expanded.expansion) {
    read.refusal = {problem::Format(*expanded.error), expanded.error->place.line > 0};
    return read;
  }
  read.read = ReadProblem{std::move(*result.problem), std::move(*expanded.expansion)};
  return read;
}

ProblemRead ReadCommandProblem(const problem::CommandLineInput& input, const std::optional<std::string>& file) {
  if (!file) return Expanded(problem::ReadCommandLine(input));
  InputRead text = ReadInputText(*file);
  if (!text.text) return ProblemRead{std::nullopt, {text.error, true}};
  ProblemRead read = Expanded(problem::ReadSystemFile(InputName(*file), *text.text, input));
  // A file's problem is the file's, wherever in it.
  if (!read.read && read.refusal.message.starts_with(InputName(*file) + ":")) read.refusal.inFile = true;
  return read;
}

void PrintWarnings(const problem::WarningList& warnings, std::ostream& err) {
  for (const problem::Warning& warning : warnings.kept) err << kWarningPrefix << OneLine(problem::Format(warning)) << '\n';
  if (warnings.leftOut > 0) err << kWarningPrefix << warnings.leftOut << " more warnings not shown\n";
}

nlohmann::json WarningsJson(const problem::WarningList& warnings) {
  nlohmann::json list = nlohmann::json::array();
  for (const problem::Warning& warning : warnings.kept) {
    const problem::ProblemError& detail = warning.detail;
    nlohmann::json place = {{"source", detail.source}, {"text", PlaceText(detail)}};
    if (detail.place.line > 0) place["line"] = detail.place.line;
    if (detail.place.column > 0) place["column"] = detail.place.column;
    list.push_back({{"code", std::string(problem::CodeName(warning.code))},
                    {"message", problem::Format(warning)},
                    {"place", std::move(place)}});
  }
  if (warnings.leftOut > 0) {
    list.push_back({{"code", "moreWarnings"},
                    {"message", std::to_string(warnings.leftOut) + " more warnings not shown"},
                    {"place", nullptr}});
  }
  return list;
}

problem::WarningList GoRoadWarnings(const problem::CommandLineInput& input, const std::optional<std::string>& fileText,
                                    const std::string& fileName) {
  problem::CommandLineInput goRoad = input;
  goRoad.road = problem::Road::Go;
  const problem::ReadResult result =
      fileText ? problem::ReadSystemFile(fileName, *fileText, goRoad) : problem::ReadCommandLine(goRoad);
  if (!result.problem) return {};
  return GoRoadWarnings(*result.problem);
}

problem::WarningList GoRoadWarnings(const problem::Problem& typed) {
  // Names the Go command will refuse (not one per equation, or not names at
  // all) refuse the run: warnings about them would only hide its message.
  bool namesRefused = typed.names.value.size() != typed.equations.size();
  for (const std::string& name : typed.names.value) namesRefused = namesRefused || !IsOneName(name);
  return namesRefused ? problem::WarningList{} : typed.warnings;
}

CompiledProblem::CompiledProblem()
    : library_(std::make_shared<eval::ClsMath>()), libraryMessages_(*library_, ui_) {}

ProblemCompile CompileProblem(const ReadProblem& read) {
  std::unique_ptr<CompiledProblem> compiled(new CompiledProblem());
  const std::vector<std::string>& names = read.problem.names.value;
  // The text compiled, or the engine's description of why not.
  std::optional<std::string> refused;
  // The unknowns are read once for every definition and equation; a fault
  // in a name is the first text's, as with each text compiled on its own.
  std::shared_ptr<eval::CompiledNames> unknowns;
  auto compile = [&](const std::string& text) -> std::optional<eval::CompiledEquation> {
    try {
      if (!unknowns) unknowns = std::make_shared<eval::CompiledNames>(names, compiled->library_);
      return eval::CompiledEquation(text, unknowns);
    } catch (const eval::ScriptError& error) {
      refused = OneLine(error.Description());
      return std::nullopt;
    }
  };
  // The place of a refusal: in the text as typed when that fails the same
  // way (a definition's name in it is only a name), else in the expanded
  // text where that is the text typed. Only a refusal compiles again.
  auto placeOf = [](const problem::PlacedText& typed, const std::string& expanded, const std::string& description) {
    if (const auto failure = CompileFailureOf(typed.Text());
        failure && failure->description == description && failure->offset != std::string::npos)
      return typed.PlaceOf(failure->offset);
    const auto failure = CompileFailureOf(expanded);
    return PlaceIn(typed, expanded,
                   failure && failure->description == description ? failure->offset : std::string::npos);
  };
  for (std::size_t k = 0; k < read.expansion.definitions.size(); ++k) {
    const problem::ExpandedDefinition& expanded = read.expansion.definitions[k];
    auto definition = compile(expanded.expression);
    if (!definition) {
      const problem::Definition& typed = read.problem.definitions[k];
      problem::ProblemError error{typed.source, placeOf(typed.expression, expanded.expression, *refused), 0, {},
                                  "the definition of " + typed.name + ": " + *refused};
      return ProblemCompile{nullptr, problem::Format(error), std::move(error)};
    }
    compiled->definitionNames_.push_back(expanded.name);
    compiled->definitions_.push_back(std::move(*definition));
  }
  std::vector<eval::CompiledEquation> equations;
  equations.reserve(read.expansion.equations.size());
  for (std::size_t i = 0; i < read.expansion.equations.size(); ++i) {
    const std::string& text = read.expansion.equations[i];
    auto equation = compile(text);
    if (!equation) {
      const problem::Equation& typed = read.problem.equations[i];
      problem::ProblemError error{typed.source, placeOf(typed.text, text, *refused), static_cast<int>(i) + 1, {},
                                  *refused};
      return ProblemCompile{nullptr, problem::Format(error), std::move(error)};
    }
    equations.push_back(std::move(*equation));
  }
  compiled->system_.emplace(std::move(equations), names);
  return ProblemCompile{std::move(compiled), {}, std::nullopt};
}

std::vector<DefinitionValue> CompiledProblem::DefinitionValues(std::span<const double> x) {
  std::vector<DefinitionValue> values;
  values.reserve(definitions_.size());
  for (std::size_t k = 0; k < definitions_.size(); ++k) {
    DefinitionValue value{definitionNames_[k], std::nullopt};
    const eval::EquationResult result = definitions_[k].Evaluate(x);
    if (result.fault == eval::EquationFault::None && std::isfinite(result.value)) value.value = result.value;
    values.push_back(std::move(value));
  }
  return values;
}

void PrintDefinitions(const std::vector<DefinitionValue>& values, std::ostream& out) {
  for (const DefinitionValue& value : values)
    out << value.name << " = " << (value.value ? FullPrecisionText(*value.value) : std::string("undefined")) << '\n';
}

nlohmann::json DefinitionsJson(const std::vector<DefinitionValue>& values) {
  nlohmann::json object = nlohmann::json::object();
  for (const DefinitionValue& value : values)
    object[value.name] = value.value ? FullPrecisionJson(*value.value) : nlohmann::json(nullptr);
  return object;
}

int Refuse(const ProblemRefusal& refusal, std::ostream& err, const std::function<int(const std::string&)>& usage) {
  if (!refusal.inFile) return usage(refusal.message);
  err << "nlsolve: " << OneLine(refusal.message) << '\n';
  return kExitFailure;
}

}  // namespace cli
