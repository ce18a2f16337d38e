// nlsolve roots: every root the search can reach in a box (robust/Roots.h),
// over the equations compiled at full precision with exact Jacobians.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace cli {

inline constexpr int kMaxRootsEquations = 100;

inline constexpr std::string_view kRootsUsage =
    "Usage: nlsolve roots ((--eq EXPR)... | FILE) [--vars TEXT] [--x0 TEXT]\n"
    "                     [--box LO:HI[,LO:HI]...] [--starts N] [--seed S]\n"
    "                     [--budget SECONDS] [--ftol T] [--def NAME=EXPR]... [--json]\n";

inline constexpr const char* kRootsHelp =
    "  nlsolve roots ((--eq EXPR)... | FILE) [--vars TEXT] [--def NAME=EXPR]... [--x0 TEXT]\n"
    "                [--box LO:HI[,LO:HI]...] [--starts N] [--seed S]\n"
    "                [--budget SECONDS] [--ftol T] [--json]\n"
    "      Searches a box for every root of 1 to 100 equations in as many\n"
    "      unknowns: starts spread over the box (--starts N, or rounds of 32 per\n"
    "      unknown while a round finds a new root), each solved by\n"
    "      the hybrid and Levenberg-Marquardt methods, with the roots already\n"
    "      found deflated away. The box is one LO:HI for every unknown or one per\n"
    "      unknown (default -10:10, or around --x0, which is then the first start).\n"
    "      Each root is verified (every |F| at most --ftol, 1E-10) and printed on\n"
    "      one line with the starts that reached it and the Jacobian's condition;\n"
    "      roots outside the box are listed apart. --seed (1) fixes the starts,\n"
    "      --budget (30) the seconds. --json prints roots, outside_box, starts,\n"
    "      evaluations and seconds. Exit status 0 when a root is in the box.\n"
    "      Each definition's value follows its root. --json adds names and warnings.\n"
    "      FILE is a system file (- for standard input) giving the equations;\n"
    "      --vars, --x0 and --box override its names:, start: and box: lines.";

struct RootsCliOptions {
  std::vector<std::string> equations;
  std::optional<std::string> file;  // a system file instead of the equations
  std::vector<std::string> definitions;  // --def NAME=EXPR, in order
  std::optional<std::string> namesText;
  std::optional<std::string> valuesText;
  std::optional<std::string> boxText;
  std::optional<int> starts;
  std::optional<std::uint64_t> seed;
  std::optional<double> budget;
  std::optional<double> ftol;
  bool json = false;
};

// Adds the roots command and its options to app.
CLI::App* AddRootsCommand(CLI::App& app, RootsCliOptions& options);

// "LO:HI" for every unknown or "LO:HI,LO:HI,..." one per unknown; nullopt
// with the problem in `problem`.
std::optional<std::vector<std::pair<double, double>>> ParseBox(std::string_view text, int n,
                                                               std::string& problem);

// While it works, a line of progress goes to err when err is the standard
// error stream and that is a terminal.
int RunRoots(const RootsCliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace cli
