#include "Cli.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <iostream>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "Batch.h"
#include "Commands.h"
#include "PlotCommand.h"
#include "ProblemInput.h"
#include "FileCommands.h"
#include "Interrupt.h"
#include "RobustSolve.h"
#include "RootsCommand.h"
#include "StreamUi.h"
#include "app/Examples.h"
#include "eval/ScriptError.h"
#include "packaging/Version.h"

namespace cli {
namespace {

constexpr const char* kProgramName = "nlsolve";
constexpr const char* kDescription =
    "Solves systems of nonlinear equations written as VBScript expressions, and\n"
    "evaluates single expressions with the same engine and function library.";

constexpr std::string_view kEvalUsage =
    "Usage: nlsolve eval [--grad [--json]] [--var NAME=VALUE]... (--file F | [--] EXPR)\n";
constexpr std::string_view kJacobianUsage =
    "Usage: nlsolve jacobian ((--eq EXPR)... --at TEXT | FILE [--at TEXT])\n"
    "                        [--vars TEXT] [--def NAME=EXPR]... [--json]\n";
constexpr std::string_view kSolveUsage =
    "Usage: nlsolve solve (--example N | --eq EXPR --eq EXPR [--eq EXPR]... | FILE) [--vars TEXT] "
    "[--x0 TEXT] [--log] [--json]\n";
constexpr std::string_view kExamplesUsage = "Usage: nlsolve examples\n";
constexpr std::string_view kBatchUsage = "Usage: nlsolve batch [FILE|-] [--jobs N]\n";
constexpr std::string_view kHelpHint = "Run 'nlsolve --help' for the commands and their options.\n";

constexpr const char* kCommandsFooter =
    "Commands:\n"
    "  nlsolve eval [--grad [--json]] [--var NAME=VALUE]... (--file F | [--] EXPR)\n"
    "      Evaluates EXPR in a fresh script engine carrying the function library,\n"
    "      after assigning each NAME its VALUE (read as a leading number), and\n"
    "      prints the result. A failed evaluation prints the engine's description\n"
    "      on stderr and exits with 1. Put -- before an EXPR that begins with '-'.\n"
    "      --grad evaluates at the exact values instead and prints d/dNAME = ...\n"
    "      per --var in order (exact derivatives, or central differences where the\n"
    "      expression uses what they do not cover); --json prints one object\n"
    "      (value, gradient, derivatives).\n"
    "      --file F reads the expression from F (- for standard input), a\n"
    "      system file with one expression; its names: and start: lines assign\n"
    "      the unknowns before the --var assignments.\n"
    "  nlsolve jacobian (--eq EXPR)... [--vars TEXT] [--def NAME=EXPR]... --at TEXT [--json]\n"
    "      Prints F1 = ... per equation and dFi/dNAME = ... per entry of the\n"
    "      Jacobian at the point --at (comma-separated numbers, one per unknown of\n"
    "      --vars, default x1,x2,... one per equation), then how the derivatives\n"
    "      were obtained, then NAME = value per definition. --json prints one\n"
    "      object (names, at, F, J, derivatives, definitions, warnings).\n"
    "  nlsolve jacobian FILE [--vars TEXT] [--at TEXT] [--json]\n"
    "      The same for a system file (- for standard input): its equations, its\n"
    "      names: line unless --vars, and its start: line as the point unless --at.\n"
    "  nlsolve solve (--example N | --eq EXPR --eq EXPR [--eq EXPR]... | FILE)\n"
    "                [--vars TEXT] [--x0 TEXT] [--log] [--json]\n"
    "      Runs the Go command on example N (1-9, see 'nlsolve examples') or on\n"
    "      2 to 6 equations. --vars and --x0 are the comma-separated texts of the\n"
    "      unknowns' names and initial values (default x1,x2,... and 0,0,...).\n"
    "      Prints the answer lines (x1= ...), then the equation values at the\n"
    "      answer (Fxyz1= ...); --log prints the solvers' iteration log first.\n"
    "      Each message goes to stderr as one line. --json prints one JSON object\n"
    "      instead (log, messages, beeps, answer, title, x, residuals, converged,\n"
    "      error). FILE is a system file (- for standard input): one equation\n"
    "      per line, '#' comments, names: and start: lines, ' _' continuing a\n"
    "      line; --vars and --x0 override its names: and start: lines.\n"
    "  nlsolve batch [FILE|-] [--jobs N]\n"
    "      Reads JSON Lines (standard input without FILE or with -), one run\n"
    "      per line: {\"eq\": [EXPR, ...], \"names\": TEXT, \"start\": TEXT,\n"
    "      \"method\": M, \"definitions\": [\"NAME = EXPR\", ...], \"id\": ...} (M as\n"
    "      solve --method; definitions need one beyond newton), or {\"file\": PATH, ...}\n"
    "      for a system file. Writes one JSON object per line in input order:\n"
    "      the object of solve --json with the line's id, or {\"id\": ...,\n"
    "      \"error\": ...} for a line that cannot run. --jobs runs N lines at\n"
    "      once (default: one per core). Exit status 0 only when every run\n"
    "      converged. Each result is written whole as soon as it and the lines\n"
    "      before it are done; SIGINT or SIGTERM finishes the lines running,\n"
    "      writes them and exits with 130 or 143.\n"
    "  nlsolve examples\n"
    "      Lists the example systems, numbered, as the example list shows them.\n"
    "\n"
    "Exit status: 0 success (evaluated, or the system converged); 1 failure (an\n"
    "evaluation failed, the iteration limit was reached, the run was abandoned,\n"
    "the output could not be written);\n"
    "2 wrong usage.";

// The parsed command line, filled by CLI11.
struct Parsed {
  EvalOptions evalOptions;
  bool grad = false;
  bool json = false;
  JacobianOptions jacobianOptions;
  std::string jacobianNames;
  SolveOptions solveOptions;
  RobustCliOptions robustOptions;
  RootsCliOptions rootsOptions;
  PlotCliOptions plotOptions;
  std::string namesText;
  std::string valuesText;
  std::string evalFile;
  std::string systemFile;
};

// An --var must name something: "NAME=VALUE" with a non-empty NAME.
std::string CheckAssignment(const std::string& text) {
  return ParseAssignment(text) ? std::string() : "expected NAME=VALUE, got \"" + text + "\"";
}

// CLI11 reads "--name=" as "--name" alone and then takes the next argument
// as the value ("--x0= --json" swallowed --json). For an option that takes a
// value the empty text after "=" is the value, as with --name "", so such an
// argument is handed over as the two. After "--" nothing is an option.
std::vector<std::string> WithEmptyValues(std::span<const std::string> args,
                                         std::initializer_list<const CLI::App*> commands) {
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
  if (args.empty()) {
    err << kEvalUsage << kJacobianUsage << kSolveUsage << kBatchUsage << kExamplesUsage << kHelpHint;
    return kExitUsage;
  }

  Parsed parsed;
  CLI::App app{kDescription, kProgramName};
  // At most one command; a missing one is reported below, after CLI11 has
  // had the chance to name an unknown argument, which says more.
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", std::string(kProgramName) + " " + packaging::kVersion,
                       "Print the program's name and version and exit");

  CLI::App* evalCommand = app.add_subcommand("eval", "Evaluate one expression and print its value");
  evalCommand->add_option("--var", parsed.evalOptions.assignments, "Assign VALUE to NAME first (repeatable)")
      ->type_name("NAME=VALUE")
      ->allow_extra_args(false)
      ->check(CLI::Validator(CheckAssignment, ""));
  CLI::Option* exprOption = evalCommand->add_option("EXPR", parsed.evalOptions.expression, "The expression");
  CLI::Option* evalFileOption =
      evalCommand->add_option("--file", parsed.evalFile, "Read the expression from F (- for standard input)")
          ->type_name("F")
          ->excludes(exprOption);
  CLI::Option* gradFlag =
      evalCommand->add_flag("--grad", parsed.grad, "Full precision, with d/dNAME per --var");
  evalCommand->add_flag("--json", parsed.json, "With --grad: print one JSON object")->needs(gradFlag);

  CLI::App* jacobianCommand = app.add_subcommand("jacobian", "Print F and its Jacobian at a point");
  CLI::Option* jacobianEq =
      jacobianCommand->add_option("--eq", parsed.jacobianOptions.equations, "One equation (repeatable, in order)")
          ->type_name("EXPR")
          ->allow_extra_args(false);
  CLI::Option* jacobianVars =
      jacobianCommand->add_option("--vars", parsed.jacobianNames, "The unknowns' names, comma-separated")
          ->type_name("TEXT");
  CLI::Option* jacobianAt =
      jacobianCommand->add_option("--at", parsed.jacobianOptions.atText, "The point, comma-separated")
          ->type_name("TEXT");
  jacobianCommand->add_option("--def", parsed.jacobianOptions.definitions, "Define NAME as EXPR (repeatable)")
      ->type_name("NAME=EXPR")
      ->allow_extra_args(false);
  std::string jacobianFile;
  CLI::Option* jacobianFileOption =
      jacobianCommand->add_option("FILE", jacobianFile, "A system file (- for standard input)");
  jacobianCommand->add_flag("--json", parsed.jacobianOptions.json, "Print one JSON object");

  CLI::App* solveCommand = app.add_subcommand("solve", "Solve a system of equations (the Go command)");
  CLI::Option* exampleOption =
      solveCommand
          ->add_option("--example", parsed.solveOptions.example, "Load example N as a double-click does")
          ->type_name("N")
          ->check(CLI::Range(1, app::kExampleCount));
  CLI::Option* eqOption =
      solveCommand->add_option("--eq", parsed.solveOptions.equations, "One equation (2 to 6 times, in order)")
          ->type_name("EXPR")
          ->allow_extra_args(false);
  exampleOption->excludes(eqOption);
  CLI::Option* varsOption =
      solveCommand->add_option("--vars", parsed.namesText, "The unknowns' names, comma-separated")
          ->type_name("TEXT");
  CLI::Option* x0Option =
      solveCommand->add_option("--x0", parsed.valuesText, "The initial values, comma-separated")
          ->type_name("TEXT");
  CLI::Option* fileOption =
      solveCommand->add_option("FILE", parsed.systemFile, "A system file (- for standard input)")
          ->excludes(exampleOption)
          ->excludes(eqOption);
  solveCommand->add_option("--def", parsed.solveOptions.definitions,
                           "Define NAME as EXPR (repeatable; needs --method hybrid, lm or auto)")
      ->type_name("NAME=EXPR")
      ->allow_extra_args(false);
  solveCommand->add_flag("--log", parsed.solveOptions.log, "Print the solvers' iteration log first");
  solveCommand->add_flag("--json", parsed.solveOptions.json, "Print one JSON object instead");
  AddRobustOptions(*solveCommand, parsed.robustOptions);

  CLI::App* batchCommand = app.add_subcommand("batch", "Solve one system per JSON line");
  BatchOptions batchOptions;
  batchCommand->add_option("FILE", batchOptions.path, "JSON Lines input (- or nothing: standard input)");
  batchCommand->add_option("--jobs", batchOptions.jobs, "Runs at once (default: the number of cores)")
      ->type_name("N")
      ->check(CLI::Range(1, kMaxJobs));

  CLI::App* examplesCommand = app.add_subcommand("examples", "List the example systems");
  CLI::App* rootsCommand = AddRootsCommand(app, parsed.rootsOptions);
  CLI::App* plotCommand = AddPlotCommand(app, parsed.plotOptions);
  // Set after the commands are added, which would otherwise inherit it.
  app.footer(std::string(kCommandsFooter) + "\n\n" + kRobustSolveHelp + "\nRoot search:\n" + kRootsHelp +
             "\n\nPictures:\n" + kPlotHelp);

  const std::vector<std::string> spelledOut =
      WithEmptyValues(args, {evalCommand, jacobianCommand, solveCommand, batchCommand, examplesCommand,
                             rootsCommand, plotCommand});
  std::vector<const char*> argv;
  argv.push_back(kProgramName);
  for (const std::string& arg : spelledOut) argv.push_back(arg.c_str());

  auto usageOf = [&]() -> std::string_view {
    if (evalCommand->parsed()) return kEvalUsage;
    if (jacobianCommand->parsed()) return kJacobianUsage;
    if (solveCommand->parsed()) return kSolveUsage;
    if (examplesCommand->parsed()) return kExamplesUsage;
    if (rootsCommand->parsed()) return kRootsUsage;
    if (plotCommand->parsed()) return kPlotUsage;
    if (batchCommand->parsed()) return kBatchUsage;
    return kHelpHint;
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
    err << kProgramName << ": " << error.what() << '\n' << usageOf();
    return kExitUsage;
  }

  if (evalCommand->parsed()) {
    if (evalFileOption->count() > 0)
      return RunEvalFile(parsed.evalFile, parsed.evalOptions, parsed.grad, parsed.json, out, err);
    if (exprOption->count() == 0) {
      err << kProgramName << ": EXPR or --file F is required\n" << kEvalUsage;
      return kExitUsage;
    }
    if (parsed.grad) {
      return RunEvalGrad(GradOptions{parsed.evalOptions.assignments, parsed.evalOptions.expression, parsed.json},
                         out, err);
    }
    return RunEval(parsed.evalOptions, out, err);
  }
  if (jacobianCommand->parsed()) {
    if (jacobianVars->count() > 0) parsed.jacobianOptions.namesText = parsed.jacobianNames;
    const bool atGiven = jacobianAt->count() > 0;
    if (jacobianFileOption->count() > 0) {
      if (jacobianEq->count() > 0) {
        err << kProgramName << ": --eq and FILE do not mix: with FILE the equations come from the file\n"
            << kJacobianUsage;
        return kExitUsage;
      }
      return RunJacobianFile(jacobianFile, parsed.jacobianOptions,
                             atGiven ? std::optional(parsed.jacobianOptions.atText) : std::nullopt, out, err);
    }
    for (const auto& [given, name] : {std::pair{jacobianEq->count() > 0, "--eq"}, std::pair{atGiven, "--at"}}) {
      if (!given) {
        err << kProgramName << ": " << name << " is required\n" << kJacobianUsage;
        return kExitUsage;
      }
    }
    return RunJacobian(parsed.jacobianOptions, out, err);
  }
  if (examplesCommand->parsed()) return RunExamples(out);
  if (rootsCommand->parsed()) return RunRoots(parsed.rootsOptions, out, err);
  if (plotCommand->parsed()) return RunPlot(parsed.plotOptions, out, err);
  if (batchCommand->parsed()) {
    // Only the program's own terminal gets the progress line.
    batchOptions.progress = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
    // In the program itself, SIGINT and SIGTERM let the batch finish the
    // lines it is running (a test calling in keeps its own handling).
    if (&err == &std::cerr) CatchInterrupts();
    return RunBatch(batchOptions, out, err);
  }
  if (solveCommand->parsed()) {
    if (varsOption->count() > 0) parsed.solveOptions.namesText = parsed.namesText;
    if (x0Option->count() > 0) parsed.solveOptions.valuesText = parsed.valuesText;
    if (fileOption->count() > 0)
      return RunSolveFile(parsed.systemFile, parsed.solveOptions, parsed.robustOptions, out, err);
    if (WantsRobustSolve(parsed.robustOptions)) {
      if (auto problem = RobustSolveProblem(parsed.solveOptions, parsed.robustOptions)) {
        err << kProgramName << ": " << *problem << '\n' << kSolveUsage << kRobustSolveUsage;
        return kExitUsage;
      }
      return RunRobustSolve(parsed.solveOptions, parsed.robustOptions, out, err);
    }
    if (!parsed.solveOptions.definitions.empty()) {
      err << kProgramName << ": --def needs --method hybrid, lm or auto: the Go command takes the equations as typed\n"
          << kSolveUsage;
      return kExitUsage;
    }
    if (auto problem = SolveOptionsProblem(parsed.solveOptions)) {
      err << kProgramName << ": " << *problem << '\n' << kSolveUsage;
      return kExitUsage;
    }
    if (parsed.solveOptions.example == 0) {
      problem::CommandLineInput given;
      given.equations = parsed.solveOptions.equations;
      given.names = parsed.solveOptions.namesText;
      given.start = parsed.solveOptions.valuesText;
      PrintWarnings(GoRoadWarnings(given, std::nullopt, {}), err);
    }
    return RunSolve(parsed.solveOptions, out, err);
  }
  err << kProgramName << ": a command is required\n" << kHelpHint;
  return kExitUsage;
}

}  // namespace

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
