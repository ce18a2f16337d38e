// nlsolve's command table: one entry per command, each defined in a file of
// its own with its options structure, its checks, its help and its run.
// Cli.cpp walks the table to add the commands, to pick the usage shown with
// an error and to put the help together; it knows no command by name.
//
//   class ExamplesCommand : public Command { ... };   // ExamplesCommand.cpp
//   std::unique_ptr<Command> MakeExamplesCommand() { return std::make_unique<ExamplesCommand>(); }
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Validator;
}

namespace cli {

class Command {
 public:
  virtual ~Command() = default;
  virtual std::string_view Name() const = 0;
  // One line for CLI11's list of commands.
  virtual std::string_view Summary() const = 0;
  // "Usage: nlsolve NAME ...\n": shown with a wrong command line.
  virtual std::string Usage() const = 0;
  // The command's section of `nlsolve --help`, defaults printed from the
  // options structures that hold them; ends with a line end.
  virtual std::string Help() const = 0;
  // Adds the options to `command`, bound to this object's options structure,
  // which therefore lives as long as the object.
  virtual void AddOptions(CLI::App& command) = 0;
  // After a parse that chose this command: its checks and its run. Returns
  // the exit status; reports failures on err rather than throwing.
  virtual int Run(std::ostream& out, std::ostream& err) = 0;
};

using CommandTable = std::vector<std::unique_ptr<Command>>;

// An option's check: a finite number above 0 ("--budget: must be a number
// above 0, got 0").
const CLI::Validator& PositiveNumber();

// Every command, in the order help lists them.
CommandTable MakeCommands();

std::unique_ptr<Command> MakeEvalCommand();
std::unique_ptr<Command> MakeJacobianCommand();
std::unique_ptr<Command> MakeSolveCommand();
std::unique_ptr<Command> MakeRootsCommand();
std::unique_ptr<Command> MakePlotCommand();
std::unique_ptr<Command> MakeBatchCommand();
std::unique_ptr<Command> MakeExamplesCommand();

}  // namespace cli
