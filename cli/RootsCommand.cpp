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
#include "FileCommands.h"
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

using DefinitionsAt = std::function<std::vector<DefinitionValue>(std::span<const double>)>;

nlohmann::json RootsJson(const std::vector<robust::FoundRoot>& roots, const DefinitionsAt& definitionsAt) {
  nlohmann::json list = nlohmann::json::array();
  for (const robust::FoundRoot& root : roots) {
    const std::vector<DefinitionValue> values = definitionsAt(root.x);
    nlohmann::json entry = {{"x", root.x},
                            {"max_abs_f", root.maxAbsResidual},
                            {"starts", root.starts},
                            {"condition", JsonNumber(root.condition)}};
    if (root.onSet) entry["notIsolated"] = true;
    if (!values.empty()) entry["definitions"] = DefinitionsJson(values);
    list.push_back(std::move(entry));
  }
  return list;
}

std::string Point(const std::vector<double>& x) {
  std::string text = "(";
  for (std::size_t j = 0; j < x.size(); ++j) text += (j ? ", " : "") + eval::NumberText(x[j]);
  return text + ")";
}

// One line: the roots are not isolated, with the rank, its tolerance and samples.
std::string NotIsolatedLine(const robust::NotIsolatedRoots& set, const robust::RootsOptions& search,
                            const std::vector<std::string>& names, std::size_t listed) {
  char tolerance[32];
  std::snprintf(tolerance, sizeof tolerance, "%G", search.rankTolerance);
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

CLI::App* AddRootsCommand(CLI::App& app, RootsCliOptions& options) {
  CLI::App* command = app.add_subcommand("roots", "Search a box for every root of a system");
  command->add_option("--eq", options.equations, "One equation (1 to 100 times, in order)")
      ->type_name("EXPR")
      ->allow_extra_args(false);
  // Not excluded from --eq here: RunRoots says why the two do not mix.
  command->add_option("FILE", options.file, "A system file (- for standard input)");
  command->add_option("--def", options.definitions, "Define NAME as EXPR (repeatable)")
      ->type_name("NAME=EXPR")
      ->allow_extra_args(false);
  command->add_option("--vars", options.namesText, "The unknowns' names, comma-separated")->type_name("TEXT");
  command->add_option("--x0", options.valuesText, "A start, comma-separated; the box centres on it")
      ->type_name("TEXT");
  command->add_option("--box", options.boxText, "LO:HI for every unknown, or one per unknown (-10:10)")
      ->type_name("LO:HI[,LO:HI]...");
  command->add_option("--starts", options.starts, "Starts over the box (32 per unknown)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  command->add_option("--seed", options.seed, "Seed of the starts (1)")->type_name("S");
  command->add_option("--budget", options.budget, "Time budget in seconds (30)")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);
  command->add_option("--ftol", options.ftol, "Root when every |F| is at most T (1E-10)")
      ->type_name("T")
      ->check(CLI::PositiveNumber);
  command->add_flag("--json", options.json, "Print one JSON object instead");
  return command;
}

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

int RunRoots(const RootsCliOptions& options, std::ostream& out, std::ostream& err) {
  auto usage = [&](const std::string& problem) {
    err << "nlsolve roots: " << problem << '\n' << kRootsUsage;
    return kExitUsage;
  };
  if (options.file && !options.equations.empty())
    return usage("--eq and FILE do not mix: with FILE the equations come from the file");
  if (!options.file && options.equations.empty())
    return usage("--eq must be given 1 to " + std::to_string(kMaxRootsEquations) + " times (given 0)");
  problem::CommandLineInput input;
  input.road = problem::Road::Full;
  input.equations = options.equations;
  input.definitions = options.definitions;
  input.names = options.namesText;
  input.start = options.valuesText;
  input.box = options.boxText;
  const ProblemRead read = ReadCommandProblem(input, options.file);
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
  if (options.seed) search.seed = *options.seed;
  if (options.budget) search.maxSeconds = *options.budget;
  if (options.ftol) search.ftol = *options.ftol;
  if (std::string problem = robust::RootsOptionsProblem(search, n); !problem.empty()) {
    const bool fileFields = given.start.origin.kind == problem::OriginKind::File ||
                            given.box.origin.kind == problem::OriginKind::File;
    if (!fileFields) return usage(problem);
    err << "nlsolve: " << InputName(*options.file) << ": " << problem << '\n';
    return kExitFailure;
  }

  // Failures during the search are rejected points, not messages.
  eval::SilentUi ui;
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding libraryMessages(*library, ui);
  std::optional<eval::CompiledSystem> system;
  if (const auto refused = RefusedText(*read.read)) {
    err << (fromFile ? "" : "nlsolve roots: ") << *refused << '\n';
    return kExitFailure;
  }
  system.emplace(equations, names, library);
  CompiledResiduals residuals(*system);

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
  const robust::RootsReport report = robust::FindRoots(search, residuals);
  if (progress) err << "\r\033[K" << std::flush;
  const std::string summary = robust::RootsSummary(report, search.maxSeconds);
  std::size_t listed = 0;
  for (const auto* list : {&report.roots, &report.outsideBox})
    for (const robust::FoundRoot& root : *list) listed += root.onSet ? 1 : 0;

  const DefinitionsAt definitionsAt = [&](std::span<const double> x) { return DefinitionValues(*read.read, x); };
  if (options.json) {
    nlohmann::json document;
    document["roots"] = RootsJson(report.roots, definitionsAt);
    document["outside_box"] = RootsJson(report.outsideBox, definitionsAt);
    document["names"] = names;
    document["warnings"] = WarningsJson(given.warnings);
    document["starts"] = report.startsDone;
    document["evaluations"] = report.evaluations;
    document["seconds"] = report.seconds;
    if (report.interrupted) document["interrupted"] = true;
    if (report.notIsolated) {
      nlohmann::json samples = nlohmann::json::array();
      for (const std::vector<double>& x : report.notIsolated->samples) samples.push_back(x);
      document["notIsolated"] = {{"rank", report.notIsolated->rank},
                                 {"rankTolerance", search.rankTolerance},
                                 {"points", report.notIsolated->points},
                                 {"samples", std::move(samples)}};
    }
    out << JsonText(document) << '\n';
    err << summary << '\n';
  } else {
    if (report.notIsolated) out << NotIsolatedLine(*report.notIsolated, search, names, listed) << '\n';
    // Each root's line, then a line per definition at it.
    auto print = [&](const robust::FoundRoot& root, std::string_view lead) {
      out << lead << RootLine(root, names) << '\n';
      for (const DefinitionValue& value : definitionsAt(root.x)) {
        out << "  " << value.name << " = "
            << (value.value ? FullPrecisionText(*value.value) : std::string("undefined")) << '\n';
      }
    };
    for (const robust::FoundRoot& root : report.roots) print(root, "");
    for (const robust::FoundRoot& root : report.outsideBox) print(root, "outside the box: ");
    out << summary << '\n';
    if (report.interrupted)
      out << "The search was interrupted by " << SignalName(InterruptSignal())
          << "; the roots listed are those found so far.\n";
  }
  if (report.interrupted) return InterruptedExitStatus(InterruptSignal() != 0 ? InterruptSignal() : SIGINT);
  return report.roots.empty() ? kExitFailure : kExitSuccess;
}

}  // namespace cli
