// nlsolve: the command-line front end over the Go command and the evaluator.
#include <unistd.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/StreamUi.h"

int main(int argc, char** argv) {
  // A reader that goes away (`nlsolve batch | head -1`) shows as a failed
  // write, which ends the command quietly with status 1, rather than as a
  // signal that kills the process in the middle of a line.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    // Standard output in whole lines, each write checked; RunCli reports a
    // failure (a full disk, /dev/full) and turns the status into 1.
    cli::FileDescriptorOutput output(STDOUT_FILENO);
    std::ostream out(&output);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return cli::RunCli(args, out, std::cerr);
  } catch (const std::exception& error) {
    // RunCli reports its own failures; this is what is left (out of memory
    // while copying the arguments).
    std::cerr << "nlsolve: " << error.what() << '\n';
  } catch (...) {
    std::cerr << "nlsolve: unexpected failure\n";
  }
  return cli::kExitFailure;
}
