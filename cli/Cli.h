// nlsolve's command line: parses the arguments, runs one command and returns
// the exit status. Never throws; a failure is reported on `err`.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace cli {

// `args` are the arguments after the program name.
int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace cli
