// A read problem solved by a robust method (hybrid, lm, auto) over its
// equations compiled at full precision with exact Jacobians: the run builds
// a report, and one printer per format writes it. Shared by `solve
// --method`, `solve FILE --method` and batch lines beyond newton; the Go
// command's road is Commands.h.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "ProblemInput.h"
#include "eval/compiled/CompiledSystem.h"
#include "problem/Readers.h"
#include "robust/Certify.h"
#include "robust/Robust.h"

namespace cli {

// The dense methods (hybrid, lm, auto) and a dense Jacobian printed keep J
// as rows x columns doubles: at most this many bytes, so a large system is
// refused with a message instead of taking the machine (n up to 11585 for a
// square system). The time budget guards the rest.
inline constexpr std::size_t kDenseJacobianBudgetBytes = std::size_t{1} << 30;
inline constexpr std::string_view kDenseJacobianBudgetText = "1 GiB";  // kDenseJacobianBudgetBytes in words
// True when a rows x columns Jacobian of doubles is within the budget.
bool DenseJacobianFits(std::size_t rows, std::size_t columns);
// The most equations of a square system within the budget.
std::size_t MaxDenseEquations();

// True when the robust road runs: the method's road is the Full road
// (problem::RoadOfMethod), or one of the robust options was given (then
// RobustSolveProblem reports the missing --method).
bool WantsRobustSolve(const problem::CommandLineInput& input);

// What is wrong with a robust solve of `count` equations, or nullopt:
// options of the robust methods without one, --log, a count out of range.
std::optional<std::string> RobustSolveProblem(const problem::CommandLineInput& input, std::size_t count, bool log);

// The library's options from a problem's.
robust::Options RobustOptionsOf(const problem::MethodOptions& options);
// The problem's bounds as the library takes them; empty for none.
std::vector<robust::Bounds> BoundsOf(const problem::Problem& problem);

// What one robust run found, or why it could not run.
struct RobustSolveReport {
  std::string requested;               // the method as asked for
  std::optional<std::string> refusal;  // set when nothing ran
  bool problemRead = false;            // names, start and warnings hold the problem as read
  std::vector<std::string> names;
  std::vector<double> start;
  problem::WarningList warnings;
  robust::Report run;                  // valid when !refusal
  std::optional<double> ftol;          // --ftol when given
  std::string failure;   // the engine's description of the failing equation, if any
  std::string sentence;  // robust::Summary with that description
  std::vector<DefinitionValue> definitions;
  std::string_view derivatives;
  int interruptSignal = 0;  // SIGINT or SIGTERM when a signal interrupted the run; 0 for the caller's flag
  int status = 1;           // the exit status
  // --certify: asked for; the certificate when the answer was a root (the
  // proof is tried only there); why it is not certified, in words.
  bool certify = false;
  std::vector<robust::Bounds> bounds;  // the unknowns' bounds; empty for none
  std::optional<robust::Certificate> certificate;
  std::string certification;
};

// What a caller beside the command line gives a run: its own stop flag
// (nullptr: Ctrl-C and SIGTERM stop it; their handlers are installed; a
// flag given must outlive the run, and a run it stopped has
// interruptSignal 0) and its own progress callback (robust::Options::progress).
struct RobustRunHooks {
  const std::atomic<int>* stop = nullptr;
  std::function<void(int iteration, double maxAbsResidual, double stepNorm, double seconds)> progress;
};

// One run of a read problem (or its refusal), with the options the problem
// holds; `requested` names the method for a refusal. With `certify`, a root
// found is then proved to be the only one in a small box (robust::Certify).
// With `progress`, a long run shows its progress there (TerminalProgress).
RobustSolveReport RunRobustProblem(const ProblemRead& read, const std::string& requested, bool certify = false,
                                   std::ostream* progress = nullptr, const RobustRunHooks& hooks = {});

// --certify proves a root with a dense interval Jacobian and a dense
// inverse (n^2 memory, n^3 work): larger systems are not certified, with
// this reason.
inline constexpr std::size_t kMaxCertifyUnknowns = 1000;

// What --certify needs beyond the Go road, for the usage message.
inline constexpr std::string_view kCertifyNeedsMethod =
    "needs --method hybrid, lm or auto: the Go command does not certify its answer";
// The answer was no root, so nothing was certified.
inline constexpr std::string_view kNoRootToCertify = "the answer is not a root, so there is nothing to certify";

// Why a certificate was not given, in words, naming the equation and the
// function where one stopped it (`system` tells a function without an
// enclosure rule from an equation the compiled form does not cover). A box
// that did not contract around a root whose Jacobian the verdict found
// near-singular (`nearSingularRoot`) is said to be such a root.
std::string CertificationReason(const robust::Certificate& certificate, const eval::CompiledSystem& system,
                                bool nearSingularRoot = false);
// "[lo, hi] x [lo, hi]": each end one double outward and then written
// shortest, so the printed interval holds the enclosure it stands for.
std::string BoxText(std::span<const robust::Bounds> box);
// The widest side of a box.
double BoxWidth(std::span<const robust::Bounds> box);
// [[lo, hi], ...], the doubles themselves (a JSON reader gets them back exactly).
nlohmann::json BoxJson(std::span<const robust::Bounds> box);

// The document of `solve --method ... --json` (docs/json.md).
nlohmann::json RobustSolveJson(const RobustSolveReport& report);
// The text: messages on err, then NAME= value per unknown, NAME = value per
// definition and the sentence on out.
void PrintRobustSolveText(const RobustSolveReport& report, std::ostream& out, std::ostream& err);

// The run printed as `solve --method` prints it, the warnings first on err
// in text; returns the exit status.
int PrintRobustRun(const ProblemRead& read, const std::string& requested, bool json, std::ostream& out,
                   std::ostream& err, bool certify = false, bool progress = false);

}  // namespace cli
