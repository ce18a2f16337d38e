#include "Cli.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "Command.h"
#include "Commands.h"
#include "StreamUi.h"
#include "eval/ScriptError.h"
#include "packaging/Version.h"

namespace cli {
namespace {

constexpr const char* kProgramName = "nlsolve";
constexpr const char* kDescription =
    "Solves systems of nonlinear equations written as VBScript expressions, and\n"
    "evaluates single expressions with the same engine and function library.";

constexpr std::string_view kHelpHint = "Run 'nlsolve --help' for the commands and their options.\n";
constexpr std::string_view kExitStatusHelp =
    "Exit status: 0 success (evaluated, or the system converged); 1 failure (an\n"
    "evaluation failed, the iteration limit was reached, the run was abandoned,\n"
    "the output could not be written);\n"
    "2 wrong usage.";

// CLI11 reads "--name=" as "--name" alone and then takes the next argument
// as the value ("--x0= --json" swallowed --json). For an option that takes a
// value the empty text after "=" is the value, as with --name "", so such an
// argument is handed over as the two. After "--" nothing is an option.
std::vector<std::string> WithEmptyValues(std::span<const std::string> args,
                                         const std::vector<const CLI::App*>& commands) {
  std::vector<std::string> result;
  bool positional = false;
  for (const std::string& arg : args) {
    const bool emptyValue = !positional && arg.size() > 3 && arg.starts_with("--") &&
                            arg.find('=') == arg.size() - 1;
    const std::string name = emptyValue ? arg.substr(0, arg.size() - 1) : std::string();
    const bool takesValue = emptyValue && std::any_of(commands.begin(), commands.end(), [&](auto* c) {
      const CLI::Option* option = c->get_option_no_throw(name);
      return option != nullptr && option->get_expected_min() > 0;
    });
    if (takesValue) {
      result.push_back(name);
      result.emplace_back();
    } else {
      result.push_back(arg);
    }
    positional = positional || arg == "--";
  }
  return result;
}

int Run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const CommandTable commands = MakeCommands();
  if (args.empty()) {
    for (const auto& command : commands) err << command->Usage();
    err << kHelpHint;
    return kExitUsage;
  }

  CLI::App app{kDescription, kProgramName};
  // At most one command; a missing one is reported below, after CLI11 has
  // had the chance to name an unknown argument, which says more.
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", std::string(kProgramName) + " " + packaging::kVersion,
                       "Print the program's name and version and exit");
  std::vector<const CLI::App*> added;
  std::string footer = "Commands:\n";
  for (const auto& command : commands) {
    CLI::App* sub = app.add_subcommand(std::string(command->Name()), std::string(command->Summary()));
    command->AddOptions(*sub);
    added.push_back(sub);
    footer += command->Help();
  }
  // Set after the commands are added, which would otherwise inherit it.
  app.footer(footer + "\n" + std::string(kExitStatusHelp));

  const std::vector<std::string> spelledOut = WithEmptyValues(args, added);
  std::vector<const char*> argv;
  argv.push_back(kProgramName);
  for (const std::string& arg : spelledOut) argv.push_back(arg.c_str());

  // The command CLI11 took, or nullptr.
  auto chosen = [&]() -> Command* {
    for (std::size_t i = 0; i < commands.size(); ++i)
      if (added[i]->parsed()) return commands[i].get();
    return nullptr;
  };

  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help, out, err);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help, out, err);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version, out, err);
  } catch (const CLI::ParseError& error) {
    const Command* command = chosen();
    err << kProgramName << ": " << error.what() << '\n' << (command ? command->Usage() : std::string(kHelpHint));
    return kExitUsage;
  }
  if (Command* command = chosen()) return command->Run(out, err);
  err << kProgramName << ": a command is required\n" << kHelpHint;
  return kExitUsage;
}

}  // namespace

const CLI::Validator& PositiveNumber() {
  static const CLI::Validator check(
      [](std::string& text) -> std::string {
        double value = 0;
        const char* first = text.data() + (text.starts_with('+') ? 1 : 0);
        const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || !(value > 0))
          return "must be a number above 0, got " + text;
        return std::string();
      },
      "");
  return check;
}

CommandTable MakeCommands() {
  CommandTable table;
  table.push_back(MakeEvalCommand());
  table.push_back(MakeJacobianCommand());
  table.push_back(MakeSolveCommand());
  table.push_back(MakeBatchCommand());
  table.push_back(MakeExamplesCommand());
  table.push_back(MakeRootsCommand());
  table.push_back(MakePlotCommand());
  return table;
}

int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  int status = kExitFailure;
  try {
    status = Run(args, out, err);
  } catch (const eval::ScriptError& error) {
    err << kProgramName << ": " << OneLine(error.Description()) << '\n';
  } catch (const std::exception& error) {
    err << kProgramName << ": " << OneLine(error.what()) << '\n';
  }
  // Every command's output is checked here, once: a result that did not
  // reach its reader is a failure, whatever the command found.
  out.flush();
  if (!out) {
    const std::string failure = OutputFailureText(out);
    if (!failure.empty()) err << kProgramName << ": " << failure << '\n';
    return kExitFailure;
  }
  return status;
}

}  // namespace cli
