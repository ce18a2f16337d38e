#include "FileCommands.h"

#include <cmath>
#include <utility>

#include "InputText.h"
#include "ProblemInput.h"
#include "StreamUi.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/ScriptError.h"
#include "eval/NumberText.h"
#include "eval/compiled/CompiledSystem.h"

namespace cli {
namespace {

// Passes everything on, each message one event late: a refused run's last
// message is its error, which is shown with its place in the file instead.
class LocatingUi : public eval::SolverUi {
 public:
  explicit LocatingUi(eval::SolverUi& inner) : inner_(inner) {}
  void PrintLine(std::string_view line) override {
    Flush();
    inner_.PrintLine(line);
  }
  void ShowMessage(std::string_view text) override {
    Flush();
    pending_ = std::string(text);
  }
  void Beep() override {
    Flush();
    inner_.Beep();
  }
  // Shows the held message, as `located` when it is the run's `error`.
  void Finish(const std::optional<std::string>& error, const std::string& located) {
    if (pending_ && error && *pending_ == *error) pending_ = located;
    Flush();
  }

 private:
  void Flush() {
    if (!pending_) return;
    const std::string text = std::move(*pending_);
    pending_.reset();
    inner_.ShowMessage(text);
  }

  eval::SolverUi& inner_;
  std::optional<std::string> pending_;
};

}  // namespace

std::optional<std::string> EquationCountProblem(std::size_t count, std::string_view otherMethods) {
  if (count >= static_cast<std::size_t>(kMinEquations) && count <= static_cast<std::size_t>(app::kMaxEquations))
    return std::nullopt;
  return "solve takes " + std::to_string(kMinEquations) + " to " + std::to_string(app::kMaxEquations) +
         " equations; the system has " + std::to_string(count) + std::string(otherMethods);
}

SolveOptions SystemSolveOptions(const SystemFile& system, const SolveOptions& overrides, RunFields& fields) {
  SolveOptions options = overrides;
  options.example = 0;
  options.equations = system.EquationTexts();
  fields.namesFromFile = !overrides.namesText && system.names;
  fields.startFromFile = !overrides.valuesText && system.start;
  if (fields.namesFromFile) options.namesText = system.names->Text();
  if (fields.startFromFile) options.valuesText = system.start->Text();
  return options;
}

app::GoResult SolveSystem(const SystemFile& system, const RunFields& fields, const SolveOptions& options,
                          eval::SolverUi& ui) {
  LocatingUi locating(ui);
  app::GoResult result = SolveOnce(options, locating);
  const std::string located = result.error ? LocateRunError(system, fields, *result.error) : std::string();
  locating.Finish(result.error, located);
  if (result.error) result.error = located;
  return result;
}

namespace {

int Fail(std::ostream& err, std::string_view message) {
  err << "nlsolve: " << OneLine(message) << '\n';
  return kExitFailure;
}

}  // namespace

std::optional<SystemFile> LoadCommandFile(const std::string& path, std::optional<std::string>& namesText,
                                          std::optional<std::string>& valuesText, RunFields& fields,
                                          std::ostream& err, std::string* text) {
  InputRead input = ReadInputText(path);
  if (!input.text) {
    Fail(err, input.error);
    return std::nullopt;
  }
  SystemFileRead read = ParseSystemFile(InputName(path), *input.text);
  if (text) *text = std::move(*input.text);
  if (!read.system) {
    Fail(err, read.error);
    return std::nullopt;
  }
  const SystemFile& system = *read.system;
  fields.namesFromFile = !namesText && system.names;
  fields.startFromFile = !valuesText && system.start;
  if (fields.namesFromFile) namesText = system.names->Text();
  if (fields.startFromFile) valuesText = system.start->Text();
  return std::move(read.system);
}

std::string RefusedEquation(const std::vector<std::string>& texts, const std::vector<std::string>& names) {
  eval::SilentUi ui;
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, ui);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    try {
      eval::CompiledEquation equation(texts[i], names, library);
    } catch (const eval::ScriptError& error) {
      return "Eq_" + std::to_string(i + 1) + ": " + OneLine(error.Description());
    }
  }
  return {};
}

}  // namespace cli
