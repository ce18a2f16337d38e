#include "RootsCommand.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <span>
#include <iostream>
#include <memory>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Command.h"
#include "InputText.h"
#include "Interrupt.h"
#include "ProblemInput.h"
#include "CompiledResiduals.h"
#include "StreamUi.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"
#include "robust/Roots.h"
#include "robust/Verdict.h"

namespace cli {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::optional<double> Number(std::string_view text) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::string Short(double value) {
  if (std::isinf(value)) return "infinite";
  char text[32];
  std::snprintf(text, sizeof text, "%.3G", value);
  return text;
}

nlohmann::json JsonNumber(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

// What the search found, with the problem it searched as read.
struct RootsCommandReport {
  std::vector<std::string> names;
  std::optional<std::vector<double>> start;  // the start given, if any
  problem::WarningList warnings;
  robust::RootsReport search;
  double rankTolerance = 0.0;
  std::string summary;
  // Each definition's values at each root, in the order of search.roots and search.outsideBox.
  std::vector<std::vector<DefinitionValue>> rootDefinitions;
  std::vector<std::vector<DefinitionValue>> outsideDefinitions;
  int interruptSignal = 0;  // SIGINT or SIGTERM when the search was interrupted
};

nlohmann::json RootsJson(const std::vector<robust::FoundRoot>& roots,
                         const std::vector<std::vector<DefinitionValue>>& definitions) {
  nlohmann::json list = nlohmann::json::array();
  for (std::size_t k = 0; k < roots.size(); ++k) {
    const robust::FoundRoot& root = roots[k];
    nlohmann::json entry = {{"x", root.x},
                            {"maxAbsResidual", JsonNumber(root.maxAbsResidual)},
                            {"starts", root.starts},
                            {"conditionEstimate", JsonNumber(root.condition)}};
    if (root.onSet) entry["notIsolated"] = true;
    if (!definitions[k].empty()) entry["definitions"] = DefinitionsJson(definitions[k]);
    list.push_back(std::move(entry));
  }
  return list;
}

nlohmann::json Json(const RootsCommandReport& report) {
  const robust::RootsReport& search = report.search;
  nlohmann::json document = JsonDocument();
  document["roots"] = RootsJson(search.roots, report.rootDefinitions);
  document["outsideBox"] = RootsJson(search.outsideBox, report.outsideDefinitions);
  document["names"] = report.names;
  document["start"] = report.start ? nlohmann::json(*report.start) : nlohmann::json(nullptr);
  nlohmann::json box = nlohmann::json::array();
  for (const auto& [low, high] : search.box) box.push_back({low, high});
  document["box"] = std::move(box);
  document["warnings"] = WarningsJson(report.warnings);
  document["startsTried"] = search.startsDone;
  document["evaluations"] = search.evaluations;
  document["seconds"] = search.seconds;
  if (search.interrupted) document["interrupted"] = true;
  if (search.notIsolated) {
    nlohmann::json samples = nlohmann::json::array();
    for (const std::vector<double>& x : search.notIsolated->samples) samples.push_back(x);
    document["notIsolated"] = {{"rank", search.notIsolated->rank},
                               {"rankTolerance", report.rankTolerance},
                               {"points", search.notIsolated->points},
                               {"samples", std::move(samples)}};
  }
  return document;
}

std::string Point(const std::vector<double>& x) {
  std::string text = "(";
  for (std::size_t j = 0; j < x.size(); ++j) text += (j ? ", " : "") + eval::NumberText(x[j]);
  return text + ")";
}

// One line: the roots are not isolated, with the rank, its tolerance and samples.
std::string NotIsolatedLine(const robust::NotIsolatedRoots& set, double rankTolerance,
                            const std::vector<std::string>& names, std::size_t listed) {
  char tolerance[32];
  std::snprintf(tolerance, sizeof tolerance, "%G", rankTolerance);
  std::string line = "The roots are not isolated: " + std::to_string(set.points) +
                     (set.points == 1 ? " root found lies" : " roots found lie") +
                     " on a curve or surface of roots, where the Jacobian has rank " + std::to_string(set.rank) +
                     " of " + std::to_string(names.size()) + " (singular values at most " + tolerance +
                     " times the largest count as zero); samples ";
  std::string variables;
  for (std::size_t j = 0; j < names.size(); ++j) variables += (j ? ", " : "") + names[j];
  line += "(" + variables + ") =";
  for (std::size_t k = 0; k < set.samples.size(); ++k) line += (k ? ", " : " ") + Point(set.samples[k]);
  line += "; " + std::to_string(listed) + " of them listed.";
  return line;
}

std::string SignalName(int signal) { return signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : "a signal"; }

// "x1=1 x2=-1  max|F|=0  starts=12  condition=1"
std::string RootLine(const robust::FoundRoot& root, const std::vector<std::string>& names) {
  std::string line;
  for (std::size_t j = 0; j < root.x.size(); ++j)
    line += (j ? " " : "") + names[j] + "=" + eval::NumberText(root.x[j]);
  line += "  max|F|=" + Short(root.maxAbsResidual) + "  starts=" + std::to_string(root.starts) +
          "  condition=" + Short(root.condition);
  if (root.onSet) line += " (not isolated)";
  else if (root.nearSingular) line += " (near-singular)";
  return line;
}

}  // namespace

std::optional<std::vector<std::pair<double, double>>> ParseBox(std::string_view text, int n,
                                                               std::string& problem) {
  std::vector<std::pair<double, double>> box;
  for (const std::string& piece : app::SplitAtCommas(std::string(text))) {
    const std::size_t colon = piece.find(':');
    const std::optional<double> lower =
        colon == std::string::npos ? std::nullopt : Number(std::string_view(piece).substr(0, colon));
    const std::optional<double> upper =
        colon == std::string::npos ? std::nullopt : Number(std::string_view(piece).substr(colon + 1));
    if (!lower || !upper) {
      problem = "--box needs LO:HI intervals of finite numbers, got \"" + piece + "\"";
      return std::nullopt;
    }
    if (!(*lower < *upper)) {
      problem = "--box needs LO below HI, got \"" + piece + "\"";
      return std::nullopt;
    }
    box.emplace_back(*lower, *upper);
  }
  if (box.size() == 1) box.resize(static_cast<std::size_t>(n), box.front());
  if (box.size() != static_cast<std::size_t>(n)) {
    problem = "--box needs one interval, or one per unknown (" + std::to_string(n) + "), got " +
              std::to_string(box.size());
    return std::nullopt;
  }
  return box;
}

namespace {

void PrintText(const RootsCommandReport& report, std::ostream& out) {
  const robust::RootsReport& search = report.search;
  std::size_t listed = 0;
  for (const auto* list : {&search.roots, &search.outsideBox})
    for (const robust::FoundRoot& root : *list) listed += root.onSet ? 1 : 0;
  if (search.notIsolated) out << NotIsolatedLine(*search.notIsolated, report.rankTolerance, report.names, listed) << '\n';
  // Each root's line, then a line per definition at it.
  auto print = [&](const robust::FoundRoot& root, const std::vector<DefinitionValue>& definitions,
                   std::string_view lead) {
    out << lead << RootLine(root, report.names) << '\n';
    for (const DefinitionValue& value : definitions) {
      out << "  " << value.name << " = "
          << (value.value ? FullPrecisionText(*value.value) : std::string("undefined")) << '\n';
    }
  };
  for (std::size_t k = 0; k < search.roots.size(); ++k) print(search.roots[k], report.rootDefinitions[k], "");
  for (std::size_t k = 0; k < search.outsideBox.size(); ++k)
    print(search.outsideBox[k], report.outsideDefinitions[k], "outside the box: ");
  out << report.summary << '\n';
  if (search.interrupted)
    out << "The search was interrupted by " << SignalName(report.interruptSignal)
        << "; the roots listed are those found so far.\n";
}

struct RootsCliOptions {
  // --eq, --def, --vars, --x0, --box, --seed, --budget, --ftol as typed.
  problem::CommandLineInput input{.road = problem::Road::Full};
  std::optional<std::string> file;  // a system file instead of the equations
  std::optional<int> starts;
  bool json = false;
};

std::string UsageText() {
  return "Usage: nlsolve roots ((--eq EXPR)... | FILE) [--vars TEXT] [--x0 TEXT]\n"
         "                     [--box LO:HI[,LO:HI]...] [--starts N] [--seed S]\n"
         "                     [--budget SECONDS] [--ftol T] [--def NAME=EXPR]... [--json]\n";
}

std::string HelpText() {
  const robust::RootsOptions defaults;
  const problem::Defaults problemDefaults;
  return "  nlsolve roots ((--eq EXPR)... | FILE) [--vars TEXT] [--def NAME=EXPR]... [--x0 TEXT]\n"
         "                [--box LO:HI[,LO:HI]...] [--starts N] [--seed S]\n"
         "                [--budget SECONDS] [--ftol T] [--json]\n"
         "      Searches a box for every root of 1 to " +
         std::to_string(kMaxRootsEquations) +
         " equations in as many\n"
         "      unknowns: starts spread over the box (--starts N, or rounds of " +
         std::to_string(robust::DefaultStarts(1)) +
         " per\n"
         "      unknown while a round finds a new root), each solved by\n"
         "      the hybrid and Levenberg-Marquardt methods, with the roots already\n"
         "      found deflated away. The box is one LO:HI for every unknown or one per\n"
         "      unknown (default " +
         DefaultText(problemDefaults.boxLow) + ":" + DefaultText(problemDefaults.boxHigh) +
         ", or around --x0, which is then the first start).\n"
         "      Each root is verified (every |F| within " + DefaultText(robust::detail::kRootErrorMultiple) +
         " times what rounding\n"
         "      makes of an exact zero there, or at most --ftol T when given) and printed on\n"
         "      one line with the starts that reached it and the Jacobian's condition;\n"
         "      roots outside the box are listed apart. --seed (" +
         DefaultText(static_cast<double>(defaults.seed)) +
         ") fixes the starts,\n"
         "      --budget (" +
         DefaultText(defaults.maxSeconds) +
         ") the seconds. --json prints roots, outsideBox, startsTried,\n"
         "      evaluations, seconds, names, start, box and warnings (docs/json.md).\n"
         "      Exit status 0 when a root is in the box. Each definition's value\n"
         "      follows its root. FILE is a system file (- for standard input) giving\n"
         "      the equations; --vars, --x0 and --box override its names:, start: and\n"
         "      box: lines.\n";
}

class RootsCommand : public Command {
 public:
  std::string_view Name() const override { return "roots"; }
  std::string_view Summary() const override { return "Search a box for every root of a system"; }
  std::string Usage() const override { return UsageText(); }
  std::string Help() const override { return HelpText(); }

  void AddOptions(CLI::App& command) override {
    problem::CommandLineInput& input = options_.input;
    const robust::RootsOptions defaults;
    const problem::Defaults problemDefaults;
    command.add_option("--eq", input.equations, "One equation (1 to " + std::to_string(kMaxRootsEquations) +
                                                     " times, in order)")
        ->type_name("EXPR")
        ->allow_extra_args(false);
    // Not excluded from --eq here: Run says why the two do not mix.
    command.add_option("FILE", options_.file, "A system file (- for standard input)");
    command.add_option("--def", input.definitions, "Define NAME as EXPR (repeatable)")
        ->type_name("NAME=EXPR")
        ->allow_extra_args(false);
    command.add_option("--vars", input.names, "The unknowns' names, comma-separated")->type_name("TEXT");
    command.add_option("--x0", input.start, "A start, comma-separated; the box centres on it")->type_name("TEXT");
    command
        .add_option("--box", input.box,
                    "LO:HI for every unknown, or one per unknown (" + DefaultText(problemDefaults.boxLow) + ":" +
                        DefaultText(problemDefaults.boxHigh) + ")")
        ->type_name("LO:HI[,LO:HI]...");
    command
        .add_option("--starts", options_.starts,
                    "Starts over the box (" + std::to_string(robust::DefaultStarts(1)) + " per unknown)")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    command.add_option("--seed", input.seed, "Seed of the starts (" + DefaultText(static_cast<double>(defaults.seed)) + ")")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber);
    command.add_option("--budget", input.budget, "Time budget in seconds (" + DefaultText(defaults.maxSeconds) + ")")
        ->type_name("SECONDS")
        ->check(CLI::PositiveNumber);
    command.add_option("--ftol", input.ftol, "Root when every |F| is at most T (default: a test at the equations' own scale)")
        ->type_name("T")
        ->check(CLI::PositiveNumber);
    command.add_flag("--json", options_.json, "Print one JSON object instead");
  }

  int Run(std::ostream& out, std::ostream& err) override;

 private:
  RootsCliOptions options_;
};

int RootsCommand::Run(std::ostream& out, std::ostream& err) {
  const RootsCliOptions& options = options_;
  auto usage = [&](const std::string& problem) {
    err << "nlsolve roots: " << problem << '\n' << UsageText();
    return kExitUsage;
  };
  if (options.file && !options.input.equations.empty())
    return usage("--eq and FILE do not mix: with FILE the equations come from the file");
  if (!options.file && options.input.equations.empty())
    return usage("--eq must be given 1 to " + std::to_string(kMaxRootsEquations) + " times (given 0)");
  const ProblemRead read = ReadCommandProblem(options.input, options.file);
  if (!read.read) return Refuse(read.refusal, err, usage);
  const problem::Problem& given = read.read->problem;
  const std::vector<std::string>& equations = read.read->expansion.equations;
  const std::vector<std::string>& names = given.names.value;
  const bool fromFile = options.file.has_value();
  const std::size_t count = equations.size();
  if (count < 1 || count > static_cast<std::size_t>(kMaxRootsEquations)) {
    if (fromFile) {
      err << "nlsolve: " << InputName(*options.file) << ": roots takes 1 to " << kMaxRootsEquations
          << " equations; the file has " << count << '\n';
      return kExitFailure;
    }
    return usage("--eq must be given 1 to " + std::to_string(kMaxRootsEquations) + " times (given " +
                 std::to_string(count) + ")");
  }
  const int n = static_cast<int>(count);
  if (!options.json) PrintWarnings(given.warnings, err);

  robust::RootsOptions search;
  if (given.start.origin.kind != problem::OriginKind::Default) search.start = given.start.value;
  for (const problem::Range& range : given.box.value) search.box.emplace_back(range.low, range.high);
  if (options.starts) search.starts = *options.starts;
  // The problem's defaults are the library's; only what was given is set.
  const problem::MethodOptions& givenOptions = given.options;
  if (givenOptions.seed.origin.kind != problem::OriginKind::Default) search.seed = givenOptions.seed.value;
  if (givenOptions.budget.origin.kind != problem::OriginKind::Default) search.maxSeconds = givenOptions.budget.value;
  if (givenOptions.ftol.origin.kind != problem::OriginKind::Default) search.ftol = givenOptions.ftol.value;
  if (std::string problem = robust::RootsOptionsProblem(search, n); !problem.empty()) {
    const bool fileFields = given.start.origin.kind == problem::OriginKind::File ||
                            given.box.origin.kind == problem::OriginKind::File;
    if (!fileFields) return usage(problem);
    err << "nlsolve: " << InputName(*options.file) << ": " << problem << '\n';
    return kExitFailure;
  }

  // Failures during the search are rejected points, not messages: the
  // compiled problem's library is silent.
  ProblemCompile compile = CompileProblem(*read.read);
  if (!compile.compiled) {
    err << (fromFile ? "" : "nlsolve roots: ") << compile.refusal << '\n';
    return kExitFailure;
  }
  CompiledProblem& compiled = *compile.compiled;
  CompiledResiduals residuals(compiled.System());

  const bool progress = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
  if (progress) {
    // At most ten lines a second; the terminal is slower than the search.
    search.progress = [&err, last = std::chrono::steady_clock::time_point()](const robust::RootsProgress& p) mutable {
      const auto now = std::chrono::steady_clock::now();
      if (now - last < std::chrono::milliseconds(100)) return;
      last = now;
      err << "\rroots: " << p.startsDone << " of " << p.startsPlanned << " starts, " << p.roots
          << (p.roots == 1 ? " root" : " roots") << " so far" << std::flush;
    };
  }
  // Ctrl-C or SIGTERM ends the search with the roots found so far.
  CatchInterrupts();
  search.stop = &InterruptFlag();
  RootsCommandReport report;
  report.search = robust::FindRoots(search, residuals);
  if (progress) err << "\r\033[K" << std::flush;
  report.names = names;
  if (given.start.origin.kind != problem::OriginKind::Default) report.start = given.start.value;
  report.warnings = given.warnings;
  report.rankTolerance = search.rankTolerance;
  report.summary = robust::RootsSummary(report.search, search.maxSeconds);
  for (const robust::FoundRoot& root : report.search.roots) report.rootDefinitions.push_back(compiled.DefinitionValues(root.x));
  for (const robust::FoundRoot& root : report.search.outsideBox)
    report.outsideDefinitions.push_back(compiled.DefinitionValues(root.x));
  if (report.search.interrupted) report.interruptSignal = InterruptSignal() != 0 ? InterruptSignal() : SIGINT;

  if (options.json) {
    out << JsonText(Json(report)) << '\n';
    // The sentence goes to stderr, so stdout stays one document.
    err << report.summary << '\n';
  } else {
    PrintText(report, out);
  }
  if (report.search.interrupted) return InterruptedExitStatus(report.interruptSignal);
  return report.search.roots.empty() ? kExitFailure : kExitSuccess;
}

}  // namespace

std::unique_ptr<Command> MakeRootsCommand() { return std::make_unique<RootsCommand>(); }

}  // namespace cli
