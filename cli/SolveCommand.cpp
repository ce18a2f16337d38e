// nlsolve solve: the Go command on an example, typed equations or a system
// file; with --method beyond newton (or the robust methods' options) the
// robust road (RobustSolve.h).
#include <memory>

#include <CLI/CLI.hpp>

#include "Command.h"
#include "Commands.h"
#include "FileCommands.h"
#include "InputText.h"
#include "ProblemInput.h"
#include "Progress.h"
#include "RobustSolve.h"
#include "StreamUi.h"
#include "app/Examples.h"
#include "robust/Verdict.h"

namespace cli {
namespace {

constexpr std::string_view kErrorPrefix = "nlsolve: ";
constexpr std::string_view kDefNeedsMethod =
    "--def needs --method hybrid, lm or auto: the Go command takes the equations as typed";

std::string UsageText() {
  return "Usage: nlsolve solve (--example N | --eq EXPR --eq EXPR [--eq EXPR]... | FILE) [--vars TEXT] "
         "[--x0 TEXT] [--log] [--json]\n"
         "       nlsolve solve (--example N | --eq EXPR...) [--vars TEXT] [--x0 TEXT] [--json]\n"
         "             --method " +
         MethodAlternatives() +
         " [--ftol T] [--max-evaluations N] [--max-seconds S]\n"
         "             [--max-starts N] [--seed N] [--def NAME=EXPR]... [--bounds LO:HI[,LO:HI]...]\n"
         "             [--certify] [--quiet]\n";
}

std::string HelpText() {
  const robust::Options defaults;
  return "  nlsolve solve (--example N | --eq EXPR --eq EXPR [--eq EXPR]... | FILE)\n"
         "                [--vars TEXT] [--x0 TEXT] [--log] [--json]\n"
         "      Runs the Go command on example N (1-" +
         std::to_string(app::kExampleCount) +
         ", see 'nlsolve examples') or on\n"
         "      2 to 6 equations. --vars and --x0 are the comma-separated texts of the\n"
         "      unknowns' names and initial values (default x1,x2,... and 0,0,...).\n"
         "      Prints the answer lines (x1= ...), then the equation values at the\n"
         "      answer (Fxyz1= ...); --log prints the solvers' iteration log first.\n"
         "      Each message goes to stderr as one line. --json prints one JSON object\n"
         "      instead (log, messages, beeps, answer, title, x, residuals, converged,\n"
         "      error; see docs/json.md). FILE is a system file (- for standard input):\n"
         "      one equation per line, '#' comments, names: and start: lines, ' _'\n"
         "      continuing a line; --vars and --x0 override its names: and start: lines.\n"
         "  nlsolve solve ... --method " +
         MethodAlternatives() +
         " [--def NAME=EXPR]... [--ftol T]\n"
         "                [--max-evaluations N] [--max-seconds S] [--max-starts N] [--seed N]\n"
         "                [--certify]\n"
         "      newton (the default) is the Go command above. hybrid (Powell's dogleg\n"
         "      trust region), lm (Levenberg-Marquardt) and auto (hybrid, then lm, then\n"
         "      both from perturbed starts) take 1 to " +
         std::to_string(MaxDenseEquations()) +
         " equations (their Jacobian, kept dense,\n"
         "      within " + std::string(kDenseJacobianBudgetText) +
         ") at full precision with exact derivatives. A root is a point\n"
         "      where every |F| is within\n"
         "      " + DefaultText(robust::detail::kRootErrorMultiple) +
         " times what rounding makes of an exact zero there (the equations'\n"
         "      own scale), or at most T with --ftol T. Budgets: --max-evaluations (" + DefaultText(defaults.maxEvaluations) +
         "), --max-seconds (" + DefaultText(defaults.maxSeconds) + ");\n      auto: --max-starts (" +
         DefaultText(defaults.maxStarts) + "), --seed (" + DefaultText(static_cast<double>(defaults.seed)) +
         "). Prints NAME= value per unknown\n"
         "      (the names of --vars), NAME = value per definition, then one\n"
         "      sentence; --json adds method, verdict, evaluations, maxAbsResidual,\n"
         "      conditionEstimate, names, start, definitions, warnings and more to the\n"
         "      keys above. Exit status 0 only for a root. Beyond newton names are\n"
         "      given once, numbers are decimal numbers, a line NAME = EXPR (or --def\n"
         "      NAME=EXPR) defines a quantity and LEFT = RIGHT is the equation\n"
         "      LEFT - (RIGHT). Every command warns on stderr (\"nlsolve: warning: ...\")\n"
         "      about a name nothing defines, an unknown no equation uses, a comparison\n"
         "      as an equation and values not separated by commas. The sentence says\n"
         "      which test decided (the rounding bound, with the worst ratio of |F| to\n"
         "      it and its equation, or --ftol); --json: rootTest, residualBounds,\n"
         "      worstRatio. --certify then proves, with interval arithmetic (Krawczyk's\n"
         "      operator), that a small box around a root holds exactly one root, and\n"
         "      prints \"certified: exactly one root in [lo, hi] x ... (width W)\" or\n"
         "      \"not certified: REASON\" (a singular root, a function without an\n"
         "      enclosure rule, ...); --json: certified, enclosure or certification.\n"
         "  nlsolve solve ... --method sparse|auto [--bounds LO:HI[,LO:HI]...] [--quiet]\n"
         "      sparse runs Ceres Solver's trust region (Levenberg-Marquardt) over the\n"
         "      Jacobian's nonzeros with a sparse Cholesky factorization (conjugate\n"
         "      gradients when the factor would exceed 1 GiB): memory and time grow with\n"
         "      the nonzeros, so it takes systems of 10^5 equations and more. auto runs\n"
         "      it for bounds, more than " + std::to_string(defaults.sparseFromUnknowns) +
         " unknowns, or from " + std::to_string(defaults.sparseWhenSparseFrom) +
         " unknowns on when at most a\n"
         "      quarter of J can be nonzero; hybrid and lm hand a bounded system to it.\n"
         "      --bounds (or a bounds: line, or a batch line's \"bounds\") keeps each\n"
         "      unknown in LO:HI, one range for all or one per unknown, inf or -inf for\n"
         "      an open side; a start outside is moved just inside. The sentence says when the\n"
         "      answer lies on a bound (--json: bounds, onBound, startMovedInside); a\n"
         "      least-squares minimum on a bound is never a root. A run longer than half a\n"
         "      second shows its progress on stderr when stderr is a terminal (iteration,\n"
         "      max|F|, step, seconds); --quiet turns that off. --certify takes at most\n"
         "      " + std::to_string(kMaxCertifyUnknowns) + " unknowns.\n";
}

struct SolveCliOptions {
  int example = 0;  // 1..kExampleCount, or 0 when equations or a file are given
  // --eq, --vars, --x0, --def, --method and its options as typed.
  problem::CommandLineInput input;
  std::optional<std::string> file;  // a system file instead of the equations
  bool log = false;
  bool json = false;
  bool certify = false;
  bool quiet = false;
};

int Fail(std::ostream& err, std::string_view message) {
  err << kErrorPrefix << OneLine(message) << '\n';
  return kExitFailure;
}

class SolveCommand : public Command {
 public:
  std::string_view Name() const override { return "solve"; }
  std::string_view Summary() const override { return "Solve a system of equations (the Go command)"; }
  std::string Usage() const override { return UsageText(); }
  std::string Help() const override { return HelpText(); }

  void AddOptions(CLI::App& command) override {
    problem::CommandLineInput& input = options_.input;
    const robust::Options defaults;
    CLI::Option* example = command.add_option("--example", options_.example, "Load example N as a double-click does")
                               ->type_name("N")
                               ->check(CLI::Range(1, app::kExampleCount));
    CLI::Option* eq = command.add_option("--eq", input.equations, "One equation (2 to 6 times, in order)")
                          ->type_name("EXPR")
                          ->allow_extra_args(false);
    example->excludes(eq);
    command.add_option("--vars", input.names, "The unknowns' names, comma-separated")->type_name("TEXT");
    command.add_option("--x0", input.start, "The initial values, comma-separated")->type_name("TEXT");
    command.add_option("FILE", options_.file, "A system file (- for standard input)")->excludes(example)->excludes(eq);
    command.add_option("--def", input.definitions, "Define NAME as EXPR (repeatable; needs --method hybrid, lm or auto)")
        ->type_name("NAME=EXPR")
        ->allow_extra_args(false);
    command.add_flag("--log", options_.log, "Print the solvers' iteration log first");
    command.add_flag("--json", options_.json, "Print one JSON object instead");
    command.add_option("--bounds", input.bounds, "LO:HI for every unknown, or one per unknown (inf, -inf open)")
        ->type_name("LO:HI[,LO:HI]");
    command.add_flag("--quiet", options_.quiet, "No progress on a terminal");
    command.add_option("--method", input.method, "newton (the Go command, default), hybrid, lm, auto or sparse")
        ->type_name("METHOD")
        ->check(CLI::IsMember(MethodChoices()));
    command.add_option("--ftol", input.ftol, "Root when every |F| is at most T (default: a test at the equations' own scale)")
        ->type_name("T")
        ->check(PositiveNumber());
    command
        .add_option("--max-evaluations", input.maxEvaluations,
                    "Evaluation budget (" + DefaultText(defaults.maxEvaluations) + ")")
        ->type_name("N")
        ->check(PositiveNumber());
    command
        .add_option("--max-seconds", input.maxSeconds, "Time budget in seconds (" + DefaultText(defaults.maxSeconds) + ")")
        ->type_name("S")
        ->check(PositiveNumber());
    command
        .add_option("--max-starts", input.maxStarts, "auto: starts tried at most (" + DefaultText(defaults.maxStarts) + ")")
        ->type_name("N")
        ->check(PositiveNumber());
    command
        .add_option("--seed", input.seed,
                    "auto: seed of the perturbed starts (" + DefaultText(static_cast<double>(defaults.seed)) + ")")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    command.add_flag("--certify", options_.certify,
                     "Prove the root found is the only one in a small box (needs --method hybrid, lm or auto)");
  }

  int Run(std::ostream& out, std::ostream& err) override {
    // The Go road's output stays as it is: it has no proof to give.
    if (options_.certify && problem::RoadOf(options_.input) == problem::Road::Go)
      return Usage(err, "--certify " + std::string(kCertifyNeedsMethod));
    if (options_.file) return RunFile(out, err);
    if (WantsRobustSolve(options_.input)) return RunRobust(out, err);
    return RunGo(out, err);
  }

 private:
  bool ShowProgress() const { return !options_.quiet && StandardErrorIsTerminal(); }

  int Usage(std::ostream& err, const std::string& problem) const {
    err << kErrorPrefix << problem << '\n' << UsageText();
    return kExitUsage;
  }

  int RunGo(std::ostream& out, std::ostream& err) const {
    if (!options_.input.definitions.empty()) return Usage(err, std::string(kDefNeedsMethod));
    SolveOptions solve = GoSolveOptions(options_.example, options_.input);
    solve.log = options_.log;
    solve.json = options_.json;
    if (auto problem = SolveOptionsProblem(solve)) return Usage(err, *problem);
    if (options_.example == 0) PrintWarnings(GoRoadWarnings(options_.input, std::nullopt, {}), err);
    return RunSolve(solve, out, err);
  }

  int RunRobust(std::ostream& out, std::ostream& err) const {
    problem::CommandLineInput input = options_.input;
    if (options_.example != 0) {
      input.equations.clear();
      for (std::string_view text : app::ExampleEquations(options_.example)) input.equations.emplace_back(text);
    }
    if (auto problem = RobustSolveProblem(input, input.equations.size(), options_.log)) return Usage(err, *problem);
    return PrintRobustRun(ReadCommandProblem(input, std::nullopt), input.method.value_or(""), options_.json, out, err,
                          options_.certify, ShowProgress());
  }

  int RunFile(std::ostream& out, std::ostream& err) const {
    const std::string& path = *options_.file;
    // Read once: standard input cannot be read again.
    const InputRead input = ReadInputText(path);
    if (!input.text) return Fail(err, input.error);
    const std::string fileName = InputName(path);
    const SystemFileRead read = ParseSystemFile(fileName, *input.text);
    if (!read.system) return Fail(err, read.error);
    const SystemFile& system = *read.system;

    if (WantsRobustSolve(options_.input)) {
      const ProblemRead problem = Expanded(problem::ReadSystemFile(fileName, *input.text, options_.input));
      const std::size_t count = problem.read ? problem.read->expansion.equations.size() : system.equations.size();
      problem::CommandLineInput checked = options_.input;
      if (problem.read && !problem.read->problem.bounds.value.empty()) checked.bounds = "";
      if (auto refusal = RobustSolveProblem(checked, count, options_.log)) {
        err << kErrorPrefix << *refusal << '\n';
        return kExitUsage;
      }
      return PrintRobustRun(problem, options_.input.method.value_or(""), options_.json, out, err, options_.certify,
                            ShowProgress());
    }

    if (!options_.input.definitions.empty()) {
      err << kErrorPrefix << kDefNeedsMethod << '\n';
      return kExitUsage;
    }
    SolveOptions overrides = GoSolveOptions(0, options_.input);
    overrides.log = options_.log;
    overrides.json = options_.json;
    RunFields fields;
    const SolveOptions run = SystemSolveOptions(system, overrides, fields);
    PrintWarnings(GoRoadWarnings(options_.input, input.text, fileName), err);
    if (system.bounds)
      err << kErrorPrefix << "warning: " << fileName << ':' << system.bounds->Line()
          << ": the Go command takes no bounds; --method sparse or auto keeps the unknowns within them\n";
    if (auto problem = EquationCountProblem(system.equations.size()))
      return Fail(err, system.fileName + ": " + *problem);
    return RunSolve(run, out, err, [&](const SolveOptions& o, eval::SolverUi& ui) {
      return SolveSystem(system, fields, o, ui);
    });
  }

  SolveCliOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeSolveCommand() { return std::make_unique<SolveCommand>(); }

}  // namespace cli
