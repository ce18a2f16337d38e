// nlsolve roots (RootsCommand.cpp, in the command table of Command.h): every
// root the search can reach in a box (robust/Roots.h), over the equations
// compiled at full precision with exact Jacobians.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ProblemInput.h"
#include "problem/Problem.h"
#include "robust/Completeness.h"
#include "robust/Roots.h"

namespace cli {

inline constexpr int kMaxRootsEquations = 100;

// "LO:HI" for every unknown or "LO:HI,LO:HI,..." one per unknown; nullopt
// with the problem in `problem`.
std::optional<std::vector<std::pair<double, double>>> ParseBox(std::string_view text, int n,
                                                               std::string& problem);

// A run of the search beside the command line's own options (the window's
// roots command runs the same search).
struct RootsRequest {
  std::optional<int> starts;  // --starts; the library's rounds without it
  bool certify = false;       // --certify: the search takes half the budget, the proof the rest
  // Stops the search and the proof when it points at a non-zero value;
  // nullptr: Ctrl-C and SIGTERM do (their handlers are installed). The
  // atomic must outlive the run.
  const std::atomic<int>* stop = nullptr;
  std::function<void(const robust::RootsProgress&)> progress;  // after each start; may be empty
  std::function<void()> proving;  // when the proof begins; may be empty
};

// What --certify proved of one listed root.
struct RootProof {
  bool certified = false;
  std::vector<robust::Bounds> enclosure;  // certified only
  robust::InBox where = robust::InBox::Inside;
  // Why it is not certified, in words; for a certified root, empty or what
  // else is known (certified to be the same root as another listed one).
  std::string certification;
  bool foundByProof = false;
};

// What --certify proved of the box.
struct BoxProof {
  // Per root, in the order of search.roots, then search.outsideBox.
  std::vector<RootProof> roots;
  std::vector<RootProof> outside;
  // Roots in the box the search did not reach, with what the proof says.
  std::vector<robust::FoundRoot> found;
  std::vector<RootProof> foundProofs;
  robust::ProveReport report;
  std::string line;  // "complete: ..." or "not proved complete: ..."
};

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
  std::vector<std::vector<DefinitionValue>> foundDefinitions;  // of proof->found
  // SIGINT or SIGTERM when a signal interrupted the search or the proof; 0
  // when the caller's own stop flag did (RootsRequest::stop).
  int interruptSignal = 0;
  bool interrupted = false;
  std::optional<BoxProof> proof;  // --certify
};


// The search's options for a read problem: its start, box (within its
// bounds), seed, budget and root test as given, the library's defaults for
// the rest. RootsOptionsProblem says what is wrong with them.
robust::RootsOptions RootsSearchOptions(const problem::Problem& given, const RootsRequest& request);

// The search (and with request.certify the proof) over the compiled
// problem, `search` from RootsSearchOptions; the report holds the problem's
// names, start and warnings.
RootsCommandReport FindProblemRoots(CompiledProblem& compiled, const problem::Problem& given,
                                    const robust::RootsOptions& search, const RootsRequest& request);

// The text `nlsolve roots` prints: a line per root, the summary, the proof's lines.
void PrintRootsText(const RootsCommandReport& report, std::ostream& out);
// The document of `nlsolve roots --json` (docs/json.md).
nlohmann::json RootsCommandJson(const RootsCommandReport& report);

}  // namespace cli
