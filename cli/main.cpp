// nlsolve: the command-line front end over the Go command and the evaluator.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Commands.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const int status = cli::RunCli(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
  } catch (const std::exception& error) {
    // RunCli reports its own failures; this is what is left (out of memory
    // while copying the arguments, a failing stream).
    std::cerr << "nlsolve: " << error.what() << '\n';
  } catch (...) {
    std::cerr << "nlsolve: unexpected failure\n";
  }
  return cli::kExitFailure;
}
