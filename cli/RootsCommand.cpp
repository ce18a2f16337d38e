#include "RootsCommand.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <stop_token>
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
#include "robust/CompiledResiduals.h"
#include "RobustSolve.h"
#include "StreamUi.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"
#include "robust/Completeness.h"
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


nlohmann::json JsonNumber(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

// Undecided parts printed at most, smallest first; the rest are counted.
constexpr std::size_t kListedUndecided = 20;

nlohmann::json NumbersJson(std::span<const double> values) {
  nlohmann::json list = nlohmann::json::array();
  for (double value : values) list.push_back(JsonNumber(value));
  return list;
}

// proofs: empty without --certify, else one per root.
nlohmann::json RootsJson(const std::vector<robust::FoundRoot>& roots,
                         const std::vector<std::vector<DefinitionValue>>& definitions,
                         const std::vector<RootProof>& proofs) {
  nlohmann::json list = nlohmann::json::array();
  for (std::size_t k = 0; k < roots.size(); ++k) {
    const robust::FoundRoot& root = roots[k];
    const robust::RootCheck& check = root.rootCheck;
    nlohmann::json entry = {{"x", root.x},
                            {"maxAbsResidual", JsonNumber(root.maxAbsResidual)},
                            {"starts", root.starts},
                            {"conditionEstimate", JsonNumber(root.condition)},
                            {"rootTest", check.residualBounds.empty()
                                             ? nlohmann::json(nullptr)
                                             : nlohmann::json(check.test == robust::RootTest::Scaled ? "scaled"
                                                                                                   : "absolute")},
                            {"residualBounds", NumbersJson(check.residualBounds)},
                            {"worstRatio", JsonNumber(check.worstRatio)}};
    if (root.onSet) entry["notIsolated"] = true;
    if (!definitions[k].empty()) entry["definitions"] = DefinitionsJson(definitions[k]);
    if (k < proofs.size()) {
      const RootProof& proof = proofs[k];
      entry["certified"] = proof.certified;
      if (proof.certified) entry["enclosure"] = BoxJson(proof.enclosure);
      if (!proof.certification.empty()) entry["certification"] = proof.certification;
      if (proof.certified && proof.where == robust::InBox::OnEdge) entry["onEdge"] = true;
      entry["foundBy"] = proof.foundByProof ? "proof" : "search";
    }
    list.push_back(std::move(entry));
  }
  return list;
}

}  // namespace

nlohmann::json RootsCommandJson(const RootsCommandReport& report) {
  const robust::RootsReport& search = report.search;
  nlohmann::json document = JsonDocument();
  static const std::vector<RootProof> kNoProofs;
  if (report.proof) {
    // The roots the proof found follow the search's.
    std::vector<robust::FoundRoot> roots = search.roots;
    roots.insert(roots.end(), report.proof->found.begin(), report.proof->found.end());
    std::vector<std::vector<DefinitionValue>> definitions = report.rootDefinitions;
    definitions.insert(definitions.end(), report.foundDefinitions.begin(), report.foundDefinitions.end());
    std::vector<RootProof> proofs = report.proof->roots;
    proofs.insert(proofs.end(), report.proof->foundProofs.begin(), report.proof->foundProofs.end());
    document["roots"] = RootsJson(roots, definitions, proofs);
    document["outsideBox"] = RootsJson(search.outsideBox, report.outsideDefinitions, report.proof->outside);
    document["complete"] = report.proof->report.complete;
    nlohmann::json undecided = nlohmann::json::array();
    for (const std::vector<robust::Bounds>& part : report.proof->report.undecided) undecided.push_back(BoxJson(part));
    document["undecided"] = std::move(undecided);
  } else {
    document["roots"] = RootsJson(search.roots, report.rootDefinitions, kNoProofs);
    document["outsideBox"] = RootsJson(search.outsideBox, report.outsideDefinitions, kNoProofs);
  }
  const robust::UnseenEstimate& unseen = search.unseenEstimate;
  document["unseenEstimate"] = {{"roots", unseen.roots},
                                {"newRootProbability", unseen.newRootProbability},
                                {"singletons", unseen.singletons},
                                {"doubletons", unseen.doubletons},
                                {"startsAtRoots", unseen.startsAtRoots}};
  document["names"] = report.names;
  document["start"] = report.start ? nlohmann::json(*report.start) : nlohmann::json(nullptr);
  nlohmann::json box = nlohmann::json::array();
  for (const auto& [low, high] : search.box) box.push_back({low, high});
  document["box"] = std::move(box);
  document["warnings"] = WarningsJson(report.warnings);
  document["startsTried"] = search.startsDone;
  document["evaluations"] = search.evaluations;
  document["seconds"] = search.seconds;
  if (report.interrupted) document["interrupted"] = true;
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

namespace {

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
  line += "  max|F|=" + robust::ShortNumber(root.maxAbsResidual) + "  starts=" + std::to_string(root.starts) +
          "  condition=" + robust::ShortNumber(root.condition);
  if (root.onSet) line += " (not isolated)";
  else if (root.nearSingular) line += " (near-singular)";
  return line;
}

// "  certified (width 2.2E-16)" or "  not certified: REASON", after a root's line.
std::string ProofText(const RootProof& proof) {
  if (!proof.certified) return "  not certified: " + proof.certification;
  std::string text = "  certified (width " + robust::ShortNumber(BoxWidth(proof.enclosure)) + ")";
  if (proof.where == robust::InBox::OnEdge) text += ", on the box's edge: whether it lies in the box is not proved";
  if (!proof.certification.empty()) text += ", " + proof.certification;
  return text;
}

// What the proof says of one of its roots.
RootProof ProofOf(const robust::ProvedRoot& proved, const robust::ProveReport& report,
                  const eval::CompiledSystem& system, bool nearSingular) {
  RootProof proof;
  proof.foundByProof = proved.searchIndex < 0;
  proof.certified = proved.certificate.outcome == robust::CertifyOutcome::Certified;
  if (!proof.certified) {
    proof.certification = CertificationReason(proved.certificate, system, nearSingular);
    return proof;
  }
  proof.enclosure = proved.certificate.enclosure;
  proof.where = proved.where;
  if (proved.sameAs >= 0 && static_cast<std::size_t>(proved.sameAs) < report.roots.size())
    proof.certification = "the same root as the one listed at " +
                          Point(report.roots[static_cast<std::size_t>(proved.sameAs)].point);
  return proof;
}

// The line that says whether the list is complete.
std::string CompletenessLine(const robust::ProveReport& report, bool uncertifiedInside,
                             const eval::CompiledSystem& system) {
  if (report.complete) {
    const int k = report.certifiedInside;
    const std::string these = uncertifiedInside ? " certified" : "";
    if (k == 0) return "complete: there is no root in the box (proved)";
    if (k == 1) return "complete: this" + these + " root is the only root in the box (proved)";
    return "complete: these " + std::to_string(k) + these + " roots are all the roots in the box (proved)";
  }
  std::vector<std::string> reasons;
  const std::size_t m = report.undecided.size();
  if (m > 0) reasons.push_back(std::to_string(m) + (m == 1 ? " box remains undecided" : " boxes remain undecided"));
  for (const robust::ProvedRoot& root : report.roots) {
    if (root.certificate.outcome == robust::CertifyOutcome::Certified && root.sameAs < 0 &&
        root.where == robust::InBox::OnEdge) {
      reasons.push_back("a root lies on the box's edge, and whether it is in the box is not proved");
      break;
    }
  }
  switch (report.stop) {
    case robust::ProveStop::Finished:
      break;
    case robust::ProveStop::TimeLimit:
      reasons.push_back("the time budget ran out");
      break;
    case robust::ProveStop::BoxLimit:
      reasons.push_back("the proof took up as many parts of the box as it may");
      break;
    case robust::ProveStop::Interrupted:
      reasons.push_back("the proof was interrupted");
      break;
    case robust::ProveStop::UndecidedLimit:
      reasons.push_back("too many parts stayed undecided (a curve of roots, or a function without an enclosure rule)");
      break;
    case robust::ProveStop::NotSquare:
      reasons.push_back("a proof needs as many equations as unknowns");
      break;
    case robust::ProveStop::BadBox:
      reasons.push_back("the box is not finite");
      break;
  }
  if (report.equation >= 0) {
    robust::Certificate stopped;
    stopped.outcome = robust::CertifyOutcome::NotCertifiable;
    stopped.equation = report.equation;
    stopped.what = report.what;
    reasons.push_back(CertificationReason(stopped, system));
  }
  std::string line = "not proved complete";
  for (std::size_t k = 0; k < reasons.size(); ++k) line += (k ? "; " : ": ") + reasons[k];
  return line;
}

// Runs the proof over the search's box with the search's roots, within
// `seconds`; `stop` stops it.
robust::ProveReport ProveList(eval::CompiledSystem& system, const robust::RootsReport& search, double seconds,
                              const std::atomic<int>* stop) {
  std::vector<robust::Bounds> box;
  for (const auto& [low, high] : search.box) box.push_back({low, high});
  std::vector<std::vector<double>> points;
  for (const auto* list : {&search.roots, &search.outsideBox})
    for (const robust::FoundRoot& root : *list) points.push_back(root.x);
  robust::ProveOptions options;
  options.maxSeconds = std::max(0.0, seconds);
  options.stop = stop;  // ends the proof at its next part
  return robust::ProveRoots(system, box, points, options);
}

// A root the proof found: checked by a fresh evaluation as the search checks
// its own, reached by no start.
robust::FoundRoot ProvedFoundRoot(std::vector<double> x, robust::Residuals& residuals,
                                  const robust::RootsReport& search, const robust::RootsOptions& options) {
  const int n = residuals.Count();
  const auto N = static_cast<std::size_t>(n);
  robust::FoundRoot root;
  std::vector<double> f(N), jacobian(N * N), bounds(N);
  const robust::EvaluationStatus status = residuals.EvaluateWithBounds(x, f, jacobian, bounds);
  if (status.Ok()) {
    root.maxAbsResidual = robust::detail::MaxAbs(f);
    root.rootCheck = robust::detail::JudgeRoot(f, jacobian, bounds, x, options.ftol);
    std::vector<double> typical;
    for (const auto& [low, high] : search.box) typical.push_back(std::min(1.0, 0.5 * (high - low)));
    root.condition = robust::detail::ConditionAt(jacobian, n, x, typical);
    root.nearSingular = !(root.condition < options.nearSingularCondition);
    root.rank = n;
  } else {
    root.maxAbsResidual = std::numeric_limits<double>::infinity();
    root.condition = std::numeric_limits<double>::infinity();
  }
  root.x = std::move(x);
  return root;
}

}  // namespace

namespace {

// The search's box under bounds: each finite bound is the box's side; an
// open side keeps the box's own (the given one, or the default around the
// start) where it lies within the bound, else reaches as far beyond the
// finite side as the box is wide.
std::vector<std::pair<double, double>> BoxWithinBounds(const robust::RootsOptions& search,
                                                       std::span<const problem::Range> bounds) {
  const problem::Defaults defaults;
  std::vector<std::pair<double, double>> box;
  for (std::size_t j = 0; j < bounds.size(); ++j) {
    std::pair<double, double> side{defaults.boxLow, defaults.boxHigh};
    if (j < search.box.size()) {
      side = search.box[j];
    } else if (j < search.start.size()) {
      const double reach = std::max(10.0, std::abs(search.start[j]));
      side = {search.start[j] - reach, search.start[j] + reach};
    }
    const double width = side.second - side.first;
    const problem::Range& bound = bounds[j];
    double low = std::isfinite(bound.low) ? bound.low : side.first;
    double high = std::isfinite(bound.high) ? bound.high : side.second;
    if (!std::isfinite(bound.high) && !(high > low)) high = low + width;
    if (!std::isfinite(bound.low) && !(low < high)) low = high - width;
    box.emplace_back(low, high);
  }
  return box;
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

robust::RootsOptions RootsSearchOptions(const problem::Problem& given, const RootsRequest& request) {
  robust::RootsOptions search;
  if (given.start.origin.kind != problem::OriginKind::Default) search.start = given.start.value;
  for (const problem::Range& range : given.box.value) search.box.emplace_back(range.low, range.high);
  if (!given.bounds.value.empty()) search.box = BoxWithinBounds(search, given.bounds.value);
  if (request.starts) search.starts = *request.starts;
  // The problem's defaults are the library's; only what was given is set.
  const problem::MethodOptions& givenOptions = given.options;
  if (givenOptions.seed.origin.kind != problem::OriginKind::Default) search.seed = givenOptions.seed.value;
  if (givenOptions.budget.origin.kind != problem::OriginKind::Default) search.maxSeconds = givenOptions.budget.value;
  if (givenOptions.ftol.origin.kind != problem::OriginKind::Default) search.ftol = givenOptions.ftol.value;
  // --certify: the search takes at most half the budget, the proof what is left.
  if (request.certify) search.maxSeconds /= 2;
  return search;
}

RootsCommandReport FindProblemRoots(CompiledProblem& compiled, const problem::Problem& given,
                                    const robust::RootsOptions& options, const RootsRequest& request) {
  robust::RootsOptions search = options;
  const double budget = request.certify ? 2 * search.maxSeconds : search.maxSeconds;
  robust::CompiledResiduals residuals(compiled.System());
  search.progress = request.progress;
  // Without a stop flag of the caller's, Ctrl-C or SIGTERM ends the search
  // with the roots found so far.
  const std::atomic<int>* stop = request.stop;
  if (stop == nullptr) {
    CatchInterrupts();
    stop = &InterruptFlag();
  }
  search.stop = stop;
  RootsCommandReport report;
  report.search = robust::FindRoots(search, residuals);
  // Beyond the bounds a point is no answer at all, not a root outside the box.
  if (!given.bounds.value.empty())
    std::erase_if(report.search.outsideBox, [&](const robust::FoundRoot& root) {
      for (std::size_t j = 0; j < root.x.size(); ++j)
        if (!(root.x[j] >= given.bounds.value[j].low && root.x[j] <= given.bounds.value[j].high)) return true;
      return false;
    });
  report.names = given.names.value;
  if (given.start.origin.kind != problem::OriginKind::Default) report.start = given.start.value;
  report.warnings = given.warnings;
  report.rankTolerance = search.rankTolerance;
  // With --certify the proof, not the starts' estimate, says what may be missing.
  report.summary = robust::RootsSummary(report.search, search.maxSeconds, !request.certify);
  for (const robust::FoundRoot& root : report.search.roots) report.rootDefinitions.push_back(compiled.DefinitionValues(root.x));
  for (const robust::FoundRoot& root : report.search.outsideBox)
    report.outsideDefinitions.push_back(compiled.DefinitionValues(root.x));
  if (request.certify) {
    if (request.proving) request.proving();
    BoxProof proof;
    proof.report = ProveList(compiled.System(), report.search, budget - report.search.seconds, stop);
    const std::size_t inBox = report.search.roots.size();
    const std::size_t searched = inBox + report.search.outsideBox.size();
    bool uncertifiedInside = false;
    for (const robust::ProvedRoot& proved : proof.report.roots) {
      const bool searchedRoot = proved.searchIndex >= 0 && static_cast<std::size_t>(proved.searchIndex) < searched;
      const auto s = static_cast<std::size_t>(std::max(proved.searchIndex, 0));
      const robust::FoundRoot* found = !searchedRoot ? nullptr
                                       : s < inBox   ? &report.search.roots[s]
                                                     : &report.search.outsideBox[s - inBox];
      RootProof root = ProofOf(proved, proof.report, compiled.System(), found && found->nearSingular);
      if (searchedRoot) {
        if (s < inBox) {
          uncertifiedInside = uncertifiedInside || !root.certified;
          proof.roots.push_back(std::move(root));
        } else {
          proof.outside.push_back(std::move(root));
        }
      } else if (proved.searchIndex < 0 && proved.sameAs < 0 && root.certified &&
                 proved.where != robust::InBox::Outside) {
        proof.found.push_back(ProvedFoundRoot(proved.point, residuals, report.search, search));
        proof.foundProofs.push_back(std::move(root));
      }
    }
    // ProveRoots keeps every search point, in order.
    proof.roots.resize(inBox);
    proof.outside.resize(report.search.outsideBox.size());
    for (const robust::FoundRoot& root : proof.found) report.foundDefinitions.push_back(compiled.DefinitionValues(root.x));
    proof.line = CompletenessLine(proof.report, uncertifiedInside, compiled.System());
    report.interrupted = proof.report.stop == robust::ProveStop::Interrupted;
    report.proof = std::move(proof);
  }
  report.interrupted = report.interrupted || report.search.interrupted;
  if (report.interrupted && request.stop == nullptr)
    report.interruptSignal = InterruptSignal() != 0 ? InterruptSignal() : SIGINT;
  return report;
}

void PrintRootsText(const RootsCommandReport& report, std::ostream& out) {
  const robust::RootsReport& search = report.search;
  std::size_t listed = 0;
  for (const auto* list : {&search.roots, &search.outsideBox})
    for (const robust::FoundRoot& root : *list) listed += root.onSet ? 1 : 0;
  if (search.notIsolated) out << NotIsolatedLine(*search.notIsolated, report.rankTolerance, report.names, listed) << '\n';
  // Each root's line (with what the proof says of it), then a line per definition at it.
  auto print = [&](const robust::FoundRoot& root, const std::vector<DefinitionValue>& definitions,
                   std::string_view lead, const RootProof* proof) {
    out << lead << RootLine(root, report.names) << (proof ? ProofText(*proof) : std::string()) << '\n';
    for (const DefinitionValue& value : definitions) {
      out << "  " << value.name << " = "
          << (value.value ? FullPrecisionText(*value.value) : std::string("undefined")) << '\n';
    }
  };
  const BoxProof* proof = report.proof ? &*report.proof : nullptr;
  for (std::size_t k = 0; k < search.roots.size(); ++k)
    print(search.roots[k], report.rootDefinitions[k], "", proof ? &proof->roots[k] : nullptr);
  if (proof) {
    for (std::size_t k = 0; k < proof->found.size(); ++k)
      print(proof->found[k], report.foundDefinitions[k], "found by the proof: ", &proof->foundProofs[k]);
  }
  for (std::size_t k = 0; k < search.outsideBox.size(); ++k)
    print(search.outsideBox[k], report.outsideDefinitions[k], "outside the box: ", proof ? &proof->outside[k] : nullptr);
  out << report.summary << '\n';
  if (proof) {
    out << proof->line << '\n';
    const std::vector<std::vector<robust::Bounds>>& undecided = proof->report.undecided;
    for (std::size_t k = 0; k < undecided.size() && k < kListedUndecided; ++k)
      out << "  undecided: " << BoxText(undecided[k]) << '\n';
    if (undecided.size() > kListedUndecided) out << "  ... and " << undecided.size() - kListedUndecided << " more\n";
  }
  if (report.interrupted && report.interruptSignal == 0)
    out << "The " << (search.interrupted ? "search" : "proof")
        << " was cancelled; the roots listed are those found so far.\n";
  else if (report.interrupted)
    out << "The " << (search.interrupted ? "search" : "proof") << " was interrupted by "
        << SignalName(report.interruptSignal) << "; the roots listed are those found so far.\n";
}

namespace {

struct RootsCliOptions {
  // --eq, --def, --vars, --x0, --box, --seed, --budget, --ftol as typed.
  problem::CommandLineInput input = [] {
    problem::CommandLineInput full;
    full.road = problem::Road::Full;
    return full;
  }();
  std::optional<std::string> file;  // a system file instead of the equations
  std::optional<int> starts;
  bool json = false;
  bool certify = false;
  bool quiet = false;
};

std::string UsageText() {
  return "Usage: nlsolve roots ((--eq EXPR)... | FILE) [--vars TEXT] [--x0 TEXT]\n"
         "                     [--box LO:HI[,LO:HI]...] [--starts N] [--seed S]\n"
         "                     [--bounds LO:HI[,LO:HI]...] [--budget SECONDS] [--ftol T]\n"
         "                     [--def NAME=EXPR]... [--certify] [--quiet] [--json]\n";
}

std::string HelpText() {
  const robust::RootsOptions defaults;
  const problem::Defaults problemDefaults;
  return "  nlsolve roots ((--eq EXPR)... | FILE) [--vars TEXT] [--def NAME=EXPR]... [--x0 TEXT]\n"
         "                [--box LO:HI[,LO:HI]...] [--starts N] [--seed S]\n"
         "                [--budget SECONDS] [--ftol T] [--certify] [--json]\n"
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
         "      box: lines. The sentence says which test verified the roots and\n"
         "      estimates the roots not found from how many starts reached each one\n"
         "      (--json: rootTest, residualBounds, worstRatio per root; unseenEstimate).\n"
         "      --certify then proves the list with interval arithmetic: each root is\n"
         "      certified to be the only one in a small box (or why not), the box is\n"
         "      split until every part holds no root or one certified root, roots the\n"
         "      search missed are added (\"found by the proof\"), and one line says\n"
         "      \"complete: these k roots are all the roots in the box (proved)\" or\n"
         "      \"not proved complete: m boxes remain undecided\", listing the smallest\n"
         "      " + std::to_string(kListedUndecided) +
         ". With --certify the search takes at most half of --budget and\n"
         "      the proof the rest. --json adds complete, undecided and, per root,\n"
         "      certified, enclosure, certification and foundBy. --bounds LO:HI (or a\n"
         "      bounds: line; inf or -inf for an open side) are the box where finite; an\n"
         "      open side keeps the box's own, and no point beyond a bound is listed.\n"
         "      The search's progress shows on a terminal's stderr; --quiet hides it.\n";
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
        ->check(PositiveNumber());
    command.add_option("--seed", input.seed, "Seed of the starts (" + DefaultText(static_cast<double>(defaults.seed)) + ")")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber);
    command.add_option("--budget", input.budget, "Time budget in seconds (" + DefaultText(defaults.maxSeconds) + ")")
        ->type_name("SECONDS")
        ->check(PositiveNumber());
    command.add_option("--ftol", input.ftol, "Root when every |F| is at most T (default: a test at the equations' own scale)")
        ->type_name("T")
        ->check(PositiveNumber());
    command.add_option("--bounds", input.bounds, "LO:HI the unknowns stay within; the search's box (inf, -inf open)")
        ->type_name("LO:HI[,LO:HI]...");
    command.add_flag("--quiet", options_.quiet, "No progress on a terminal");
    command.add_flag("--json", options_.json, "Print one JSON object instead");
    command.add_flag("--certify", options_.certify,
                     "Prove each root and whether the list is complete (shares --budget with the search)");
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

  RootsRequest request;
  request.starts = options.starts;
  request.certify = options.certify;
  const robust::RootsOptions search = RootsSearchOptions(given, request);
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

  const bool progress = !options.quiet && &err == &std::cerr && isatty(STDERR_FILENO) == 1;
  if (progress) {
    // At most ten lines a second; the terminal is slower than the search.
    request.progress = [&err, last = std::chrono::steady_clock::time_point()](const robust::RootsProgress& p) mutable {
      const auto now = std::chrono::steady_clock::now();
      if (now - last < std::chrono::milliseconds(100)) return;
      last = now;
      err << "\rroots: " << p.startsDone << " of " << p.startsPlanned << " starts, " << p.roots
          << (p.roots == 1 ? " root" : " roots") << " so far" << std::flush;
    };
    request.proving = [&err] { err << "\r\033[K\rroots: proving the list complete" << std::flush; };
  }
  const RootsCommandReport report = FindProblemRoots(*compile.compiled, given, search, request);
  if (progress) err << "\r\033[K" << std::flush;

  if (options.json) {
    out << JsonText(RootsCommandJson(report)) << '\n';
    // The sentences go to stderr, so stdout stays one document.
    err << report.summary << '\n';
    if (report.proof) err << report.proof->line << '\n';
  } else {
    PrintRootsText(report, out);
  }
  if (report.interrupted) return InterruptedExitStatus(report.interruptSignal);
  const bool rootInBox = !report.search.roots.empty() || (report.proof && !report.proof->found.empty());
  return rootInBox ? kExitSuccess : kExitFailure;
}

}  // namespace

std::unique_ptr<Command> MakeRootsCommand() { return std::make_unique<RootsCommand>(); }

}  // namespace cli
