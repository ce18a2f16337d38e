// nlsolve examples: the example systems, numbered, as the window's list shows them.
#include <memory>

#include <CLI/CLI.hpp>

#include "Command.h"
#include "Commands.h"
#include "app/Examples.h"

namespace cli {
namespace {

class ExamplesCommand : public Command {
 public:
  std::string_view Name() const override { return "examples"; }
  std::string_view Summary() const override { return "List the example systems"; }
  std::string Usage() const override { return "Usage: nlsolve examples\n"; }
  std::string Help() const override {
    return "  nlsolve examples\n"
           "      Lists the example systems, numbered, as the example list shows them.\n";
  }
  void AddOptions(CLI::App&) override {}
  int Run(std::ostream& out, std::ostream&) override {
    const std::vector<std::string> entries = app::ExampleEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) out << i + 1 << '\t' << entries[i] << '\n';
    return kExitSuccess;
  }
};

}  // namespace

std::unique_ptr<Command> MakeExamplesCommand() { return std::make_unique<ExamplesCommand>(); }

}  // namespace cli
