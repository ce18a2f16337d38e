// nlsolve jacobian: F and its Jacobian at one point, in one pass of the
// compiled system; dense, or its nonzeros only (--sparse, --format mm).
#include <cmath>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "Command.h"
#include "Commands.h"
#include "InputText.h"
#include "ProblemInput.h"
#include "RobustSolve.h"
#include "StreamUi.h"
#include "eval/ClsMath.h"
#include "eval/compiled/CompiledSystem.h"

namespace cli {
namespace {

// Matrix Market has no word for a value that does not exist; readers take nan.
constexpr std::string_view kMatrixMarketUndefined = "nan";
constexpr std::string_view kMatrixMarketHeader = "%%MatrixMarket matrix coordinate real general";
constexpr std::string_view kFormatText = "text";
constexpr std::string_view kFormatMatrixMarket = "mm";

constexpr std::string_view kUsage =
    "Usage: nlsolve jacobian ((--eq EXPR)... --at TEXT | FILE [--at TEXT])\n"
    "                        [--vars TEXT] [--def NAME=EXPR]... [--sparse] [--json | --format mm]\n";
constexpr std::string_view kHelp =
    "  nlsolve jacobian (--eq EXPR)... [--vars TEXT] [--def NAME=EXPR]... --at TEXT [--json]\n"
    "      Prints F1 = ... per equation and dFi/dNAME = ... per entry of the\n"
    "      Jacobian at the point --at (comma-separated numbers, one per unknown of\n"
    "      --vars, default x1,x2,... one per equation), then how the derivatives\n"
    "      were obtained, then NAME = value per definition. --json prints one\n"
    "      object (names, at, residuals, jacobian, derivatives, definitions,\n"
    "      warnings; see docs/json.md).\n"
    "  nlsolve jacobian FILE [--vars TEXT] [--at TEXT] [--json]\n"
    "      The same for a system file (- for standard input): its equations, its\n"
    "      names: line unless --vars, and its start: line as the point unless --at.\n"
    "  nlsolve jacobian ... --sparse [--format mm]\n"
    "      Only the entries an equation's unknowns can make nonzero, one line\n"
    "      `row column value` each (1-based), after the F lines; JSON: rows,\n"
    "      columns, values and nonzeros instead of jacobian. Time and memory grow\n"
    "      with the nonzeros; without --sparse the Jacobian (equations x unknowns\n"
    "      doubles) must fit in 1 GiB. --format mm prints the entries alone as a\n"
    "      Matrix Market file (coordinate real general; a value that does not\n"
    "      exist as nan) and implies --sparse; --format text is the default.\n";
static_assert(kDenseJacobianBudgetBytes == std::size_t{1} << 30, "kHelp names the budget: 1 GiB");

struct JacobianOptions {
  // F and J of any number of equations in any number of unknowns, at --at.
  problem::CommandLineInput input = [] {
    problem::CommandLineInput full;
    full.road = problem::Road::Full;
    full.startOption = "--at";
    full.square = false;
    return full;
  }();
  std::optional<std::string> file;  // a system file instead of the equations
  bool json = false;
  bool sparse = false;
  std::string format{kFormatText};
};

// What jacobian found at the point.
struct JacobianReport {
  std::vector<std::string> names;
  std::vector<double> at;
  std::vector<std::optional<double>> residuals;  // nullopt where an equation fails
  std::vector<double> jacobian;                  // row-major, residuals.size() x names.size(); empty when sparse
  bool sparse = false;
  eval::SparseJacobian sparseJacobian;           // when sparse
  std::string_view derivatives;
  struct Failure {
    std::size_t equation;  // 1-based
    std::string description;
  };
  std::vector<Failure> failures;
  std::vector<DefinitionValue> definitions;
  problem::WarningList warnings;
  bool ok = false;
};

void PrintFailures(const JacobianReport& report, std::ostream& err) {
  for (const JacobianReport::Failure& failure : report.failures)
    err << "equation " << failure.equation << ": " << OneLine(failure.description) << '\n';
}

void PrintText(const JacobianReport& report, std::ostream& out, std::ostream& err) {
  const std::size_t n = report.names.size();
  for (std::size_t i = 0; i < report.residuals.size(); ++i) {
    const auto& value = report.residuals[i];
    out << 'F' << i + 1 << " = " << (value ? FullPrecisionText(*value) : std::string(kUndefinedText)) << '\n';
  }
  if (report.sparse) {
    const eval::SparseJacobian& j = report.sparseJacobian;
    for (std::size_t i = 0; i < report.residuals.size(); ++i)
      for (std::size_t e = j.rowStart[i]; e < j.rowStart[i + 1]; ++e)
        out << i + 1 << ' ' << j.columns[e] + 1 << ' ' << FullPrecisionText(j.values[e]) << '\n';
  } else {
    for (std::size_t i = 0; i < report.residuals.size(); ++i)
      for (std::size_t k = 0; k < n; ++k)
        out << "dF" << i + 1 << "/d" << report.names[k] << " = " << FullPrecisionText(report.jacobian[i * n + k])
            << '\n';
  }
  out << "derivatives = " << report.derivatives << '\n';
  PrintDefinitions(report.definitions, out);
  PrintFailures(report, err);
}

// The Jacobian alone, as Matrix Market's coordinate format has it.
void PrintMatrixMarket(const JacobianReport& report, std::ostream& out, std::ostream& err) {
  const eval::SparseJacobian& j = report.sparseJacobian;
  out << kMatrixMarketHeader << '\n'
      << "% derivatives: " << report.derivatives << '\n'
      << j.rowCount << ' ' << j.columnCount << ' ' << j.Nonzeros() << '\n';
  for (std::size_t i = 0; i < static_cast<std::size_t>(j.rowCount); ++i)
    for (std::size_t e = j.rowStart[i]; e < j.rowStart[i + 1]; ++e)
      out << i + 1 << ' ' << j.columns[e] + 1 << ' '
          << (std::isfinite(j.values[e]) ? FullPrecisionText(j.values[e]) : std::string(kMatrixMarketUndefined))
          << '\n';
  PrintFailures(report, err);
}

nlohmann::json Json(const JacobianReport& report) {
  const std::size_t n = report.names.size();
  nlohmann::json document = JsonDocument();
  document["names"] = report.names;
  document["at"] = report.at;
  nlohmann::json values = nlohmann::json::array();
  for (std::size_t i = 0; i < report.residuals.size(); ++i)
    values.push_back(report.residuals[i] ? FullPrecisionJson(*report.residuals[i]) : nlohmann::json(nullptr));
  document["residuals"] = values;
  if (report.sparse) {
    const eval::SparseJacobian& j = report.sparseJacobian;
    nlohmann::json rows = nlohmann::json::array();
    nlohmann::json columns = nlohmann::json::array();
    nlohmann::json entries = nlohmann::json::array();
    for (std::size_t i = 0; i < static_cast<std::size_t>(j.rowCount); ++i) {
      for (std::size_t e = j.rowStart[i]; e < j.rowStart[i + 1]; ++e) {
        rows.push_back(i + 1);
        columns.push_back(j.columns[e] + 1);
        entries.push_back(FullPrecisionJson(j.values[e]));
      }
    }
    document["rows"] = std::move(rows);
    document["columns"] = std::move(columns);
    document["values"] = std::move(entries);
    document["nonzeros"] = j.Nonzeros();
  } else {
    nlohmann::json rows = nlohmann::json::array();
    for (std::size_t i = 0; i < report.residuals.size(); ++i) {
      nlohmann::json row = nlohmann::json::array();
      for (std::size_t k = 0; k < n; ++k) row.push_back(FullPrecisionJson(report.jacobian[i * n + k]));
      rows.push_back(std::move(row));
    }
    document["jacobian"] = std::move(rows);
  }
  document["derivatives"] = std::string(report.derivatives);
  document["definitions"] = DefinitionsJson(report.definitions);
  document["warnings"] = WarningsJson(report.warnings);
  if (!report.failures.empty()) {
    nlohmann::json errors = nlohmann::json::array();
    for (const JacobianReport::Failure& failure : report.failures)
      errors.push_back({{"equation", failure.equation}, {"description", failure.description}});
    document["errors"] = errors;
  }
  return document;
}

class JacobianCommand : public Command {
 public:
  std::string_view Name() const override { return "jacobian"; }
  std::string_view Summary() const override { return "Print F and its Jacobian at a point"; }
  std::string Usage() const override { return std::string(kUsage); }
  std::string Help() const override { return std::string(kHelp); }

  void AddOptions(CLI::App& command) override {
    problem::CommandLineInput& input = options_.input;
    command.add_option("--eq", input.equations, "One equation (repeatable, in order)")
        ->type_name("EXPR")
        ->allow_extra_args(false);
    command.add_option("--vars", input.names, "The unknowns' names, comma-separated")->type_name("TEXT");
    command.add_option("--at", input.start, "The point, comma-separated")->type_name("TEXT");
    command.add_option("--def", input.definitions, "Define NAME as EXPR (repeatable)")
        ->type_name("NAME=EXPR")
        ->allow_extra_args(false);
    command.add_option("FILE", options_.file, "A system file (- for standard input)");
    command.add_flag("--json", options_.json, "Print one JSON object");
    command.add_flag("--sparse", options_.sparse, "Only the nonzeros, as row column value");
    command.add_option("--format", options_.format, "text (default) or mm (Matrix Market, implies --sparse)")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({std::string(kFormatText), std::string(kFormatMatrixMarket)}));
  }

  int Run(std::ostream& out, std::ostream& err) override {
    const problem::CommandLineInput& input = options_.input;
    auto usage = [&](const std::string& problem) {
      err << "nlsolve: " << problem << '\n' << kUsage;
      return kExitUsage;
    };
    if (options_.file && !input.equations.empty())
      return usage("--eq and FILE do not mix: with FILE the equations come from the file");
    if (!options_.file && input.equations.empty()) return usage("--eq is required");
    if (!options_.file && !input.start) return usage("--at is required");
    const bool matrixMarket = options_.format == kFormatMatrixMarket;
    if (matrixMarket && options_.json) return usage("--json and --format mm do not mix: choose one");
    const bool sparse = options_.sparse || matrixMarket;
    const ProblemRead read = ReadCommandProblem(input, options_.file);
    if (!read.read) {
      err << (read.refusal.inFile ? "nlsolve: " : "nlsolve jacobian: ") << OneLine(read.refusal.message) << '\n';
      return read.refusal.inFile ? kExitFailure : kExitUsage;
    }
    const problem::Problem& given = read.read->problem;
    if (given.start.origin.kind == problem::OriginKind::Default) {
      err << "nlsolve jacobian: --at is needed: " << InputName(*options_.file) << " has no start: line\n";
      return kExitUsage;
    }
    if (!options_.json) PrintWarnings(given.warnings, err);
    ProblemCompile compile = CompileProblem(*read.read);
    if (!compile.compiled) {
      err << (options_.file ? "" : "nlsolve jacobian: ") << compile.refusal << '\n';
      return kExitFailure;
    }
    CompiledProblem& compiled = *compile.compiled;

    JacobianReport report;
    report.names = given.names.value;
    report.at = given.start.value;
    report.warnings = given.warnings;
    report.definitions = compiled.DefinitionValues(report.at);
    // The library's messages at the point are shown, as eval shows them.
    StreamUi ui(nullptr, err);
    const eval::ClsMath::UiBinding libraryMessages(compiled.Library(), ui);
    eval::CompiledSystem& system = compiled.System();
    std::vector<double> f(static_cast<std::size_t>(system.Count()));
    eval::EvaluationStatus status;
    report.sparse = sparse;
    if (sparse) {
      report.sparseJacobian = system.Pattern();
      status = system.Evaluate(report.at, f, report.sparseJacobian);
    } else {
      if (!DenseJacobianFits(f.size(), report.names.size())) {
        err << "nlsolve jacobian: the Jacobian of " << f.size() << " equations in " << report.names.size()
            << " unknowns takes more than " << kDenseJacobianBudgetText << " as a dense matrix; --sparse prints its nonzeros\n";
        return kExitFailure;
      }
      report.jacobian.assign(f.size() * report.names.size(), 0.0);
      status = system.Evaluate(report.at, f, report.jacobian);
    }
    const auto results = system.Results();
    for (std::size_t i = 0; i < f.size(); ++i) {
      report.residuals.push_back(results[i].fault != eval::EquationFault::ScriptError ? std::optional(f[i])
                                                                                        : std::nullopt);
      if (results[i].fault != eval::EquationFault::None) report.failures.push_back({i + 1, results[i].description});
    }
    report.derivatives = eval::DerivativesName(status.derivatives);
    report.ok = status.ok;
    if (options_.json) {
      out << JsonText(Json(report)) << '\n';
    } else if (matrixMarket) {
      PrintMatrixMarket(report, out, err);
    } else {
      PrintText(report, out, err);
    }
    return report.ok ? kExitSuccess : kExitFailure;
  }

 private:
  JacobianOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeJacobianCommand() { return std::make_unique<JacobianCommand>(); }

}  // namespace cli
