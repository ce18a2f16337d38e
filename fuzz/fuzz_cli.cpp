// Arbitrary bytes as nlsolve's arguments, one per line: the command line
// either runs or says what is wrong, and never crashes. Commands whose cost
// is a budget in seconds (roots, plot, batch, solve --method) are parsed with
// --help added, which stops them before they run; paths are kept inside the
// scratch directory scripts/fuzz.sh runs the target in, whose standard input
// is empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"

namespace {

constexpr std::size_t kMostArguments = 64;

bool LeavesTheDirectory(const std::string& arg) {
  return arg.starts_with('/') || arg.find("..") != std::string::npos || arg.find("=/") != std::string::npos;
}

bool RunsOnABudget(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "roots" || arg == "plot" || arg == "batch" || arg.starts_with("--method")) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty() && args.size() < kMostArguments) {
    const std::size_t end = rest.find('\n');
    args.emplace_back(rest.substr(0, end));
    if (LeavesTheDirectory(args.back())) return 0;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  if (RunsOnABudget(args)) args.emplace_back("--help");
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCli(args, out, err);
  // 0 success, 1 failure or no root, 2 wrong usage; nothing else.
  if (status < 0 || status > 2) std::abort();
  // Every refusal says something.
  if (status == 2 && err.str().empty()) std::abort();
  return 0;
}
