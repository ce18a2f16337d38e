// What every command makes of the problem typed: warnings, names given
// twice, definitions and natural equations, answers under the user's names,
// strict numbers beyond the Go command, and the Go command left as it was.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/PlotCommand.h"
#include "cli/ProblemInput.h"

namespace {

using clitest::RunInProcess;
using clitest::TextFile;

const std::string kWarnZ = "nlsolve: warning: --eq (column 7): Eq_1: uses z, which is not an unknown: it counts as 0\n";

struct Row {
  std::vector<std::string> args;
  int status;
  std::string err;  // in stderr
  std::string out;  // in stdout
};

void Check(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    std::string joined;
    for (const std::string& arg : row.args) joined += arg + ' ';
    SCOPED_TRACE(joined);
    const clitest::CliRun run = RunInProcess(row.args);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    EXPECT_NE(run.out.find(row.out), std::string::npos) << run.out;
  }
}

TEST(CliChecks, WarningsOnStandardErrorForEveryCommand) {
  const std::vector<std::string> xz = {"--eq", "x^2 + z^2 - 4", "--eq", "x - y", "--vars", "x,y"};
  auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), xz.begin(), xz.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  Check({
      {with({"solve"}, {"--x0", "1,2", "--method", "auto"}), 0, kWarnZ, "x= 2\ny= 2\nRoot found"},
      {with({"roots"}, {"--box", "0:5"}), 0, kWarnZ, "x=2 y=2"},
      {with({"jacobian"}, {"--at", "1,2"}), 0, kWarnZ, "dF1/dx = 2"},
      {{"roots", "--eq", "x1 - 1", "--eq", "x1 + 1", "--box", "-2:2"}, 1,
       "nlsolve: warning: x2 is an unknown that no equation uses", ""},
      {{"jacobian", "--eq", "x1 - 1", "--eq", "x1 < x2", "--at", "0,0"}, 0, "Eq_2: is a comparison", ""},
      {{"eval", "--grad", "--var", "x=1", "x^2 + z"}, 0, "nlsolve: warning: EXPR (column 7): Eq_1: uses z", "1\n"},
      // The Go command: the warning, and the run as before.
      {with({"solve"}, {"--x0", "1,2"}), 0, kWarnZ, "x1= 2"},
      {{"solve", "--eq", "x1 = 1", "--eq", "x2 - 1"}, 1, "Eq_1: is a comparison", ""},
  });
}

TEST(CliChecks, WarningsInJson) {
  const std::vector<std::vector<std::string>> commands = {
      {"solve", "--method", "hybrid", "--x0", "1,2"}, {"roots", "--box", "0:5"}, {"jacobian", "--at", "1,2"}};
  for (std::vector<std::string> args : commands) {
    SCOPED_TRACE(args[0]);
    args.insert(args.end(), {"--eq", "x^2 + z^2 - 4", "--eq", "x - y", "--vars", "x,y", "--json"});
    const clitest::CliRun run = RunInProcess(args);
    const nlohmann::json document = nlohmann::json::parse(run.out);
    ASSERT_EQ(document["warnings"].size(), 1u) << run.out;
    const nlohmann::json& warning = document["warnings"][0];
    EXPECT_EQ(warning["code"], "unknownName");
    EXPECT_EQ(warning["place"]["source"], "--eq");
    EXPECT_EQ(warning["place"]["column"], 7);
    EXPECT_NE(warning["message"].get<std::string>().find("uses z"), std::string::npos);
    EXPECT_EQ(document["names"], (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
  }
}

TEST(CliChecks, BatchLinesCarryTheirWarnings) {
  const nlohmann::json go = nlohmann::json::parse(
      cli::RunBatchLine(R"({"eq": ["x^2 + z^2 - 4", "x - y"], "names": "x,y", "start": "1,2"})", 1).json);
  ASSERT_EQ(go["warnings"].size(), 1u) << go;
  EXPECT_EQ(go["warnings"][0]["code"], "unknownName");
  EXPECT_EQ(go["warnings"][0]["message"], "batch line 1: Eq_1: uses z, which is not an unknown: it counts as 0");
  // A clean line on the Go road keeps the keys it had.
  const nlohmann::json clean =
      nlohmann::json::parse(cli::RunBatchLine(R"({"eq": ["x1^2 - 2", "x1 - x2"], "start": "1,1"})", 1).json);
  EXPECT_FALSE(clean.contains("warnings")) << clean;
  const nlohmann::json robust = nlohmann::json::parse(cli::RunBatchLine(
      R"({"eq": ["x^2 + z^2 - 4", "x - y"], "names": "x,y", "start": "1,2", "method": "lm"})", 1).json);
  EXPECT_EQ(robust["warnings"].size(), 1u) << robust;
  EXPECT_EQ(robust["names"], (std::vector<std::string>{"x", "y"}));
}

// The Go command's output and status are those of its run without the
// checks; the warnings only come before its messages.
TEST(CliChecks, GoCommandUnchangedByteForByte) {
  struct GoRow {
    std::vector<std::string> equations;
    std::optional<std::string> names;
    std::optional<std::string> start;
    std::string warnings;
    bool json;
  };
  const std::vector<GoRow> rows = {
      {{"x1^2 - 2", "x1 - x2"}, std::nullopt, "1,1", "", false},
      {{"x1^2 - 2", "x1 - x2"}, std::nullopt, "1,1", "", true},
      {{"x^2 + z^2 - 4", "x - y"}, "x,y", "1,2", kWarnZ, false},
      {{"x^2 + z^2 - 4", "x - y"}, "x,y", "1,2", kWarnZ, true},
      {{"a = 1", "b - 2"}, "a,b", "3x,1", "nlsolve: warning: --eq (column 1): Eq_1: is a comparison", false},
      // A names field the Go command refuses: its message alone.
      {{"x - 1", "y - 2"}, "x", "1,2", "", false},
  };
  for (const GoRow& row : rows) {
    SCOPED_TRACE(row.equations[0]);
    std::vector<std::string> args{"solve"};
    cli::SolveOptions options;
    options.equations = row.equations;
    options.namesText = row.names;
    options.valuesText = row.start;
    options.json = row.json;
    for (const std::string& equation : row.equations) args.insert(args.end(), {"--eq", equation});
    if (row.names) args.insert(args.end(), {"--vars", *row.names});
    if (row.start) args.insert(args.end(), {"--x0", *row.start});
    if (row.json) args.push_back("--json");
    const clitest::CliRun run = RunInProcess(args);
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::RunSolve(options, out, err);
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.out, out.str());
    ASSERT_TRUE(clitest::StartsWith(run.err, row.warnings)) << run.err;
    EXPECT_TRUE(run.err.ends_with(err.str())) << run.err;
    if (row.warnings.empty()) {
      EXPECT_EQ(run.err, err.str());
    }
  }
}

TEST(CliChecks, NamesGivenTwiceAreRefusedBeyondTheGoCommand) {
  const std::vector<std::string> eqs = {"--eq", "x^2 - 4", "--eq", "x - y", "--vars", "x,X"};
  auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), eqs.begin(), eqs.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::string twice = "--vars: 'X' is named twice";
  Check({
      {with({"solve"}, {"--method", "lm"}), 1, twice, ""},
      {with({"roots"}, {}), 2, twice, ""},
      {with({"jacobian"}, {"--at", "1,2"}), 2, twice, ""},
      {with({"plot"}, {"--method", "hybrid", "-o", "never.png"}), 2, twice, ""},
  });
  const cli::BatchLineResult batch =
      cli::RunBatchLine(R"({"eq": ["x^2 - 4", "x - y"], "names": "x,X", "method": "auto"})", 3);
  EXPECT_EQ(nlohmann::json::parse(batch.json)["error"], "line 3: names: 'X' is named twice");
  // The Go command: a warning, then its own run.
  const clitest::CliRun go = RunInProcess(with({"solve"}, {}));
  EXPECT_NE(go.err.find("nlsolve: warning: --vars: 'X' is named twice"), std::string::npos) << go.err;
}

// r2 is defined, 4 = r2 and x = y are equations LEFT - (RIGHT).
constexpr std::string_view kDefined = "names: x, y\nstart: 1, 1.5\nr2 = x^2 + y^2\n4 = r2\nx = y\n";

TEST(CliDefinitions, InFilesAndOnTheCommandLineWithTheirValues) {
  const TextFile file{std::string(kDefined)};
  Check({
      {{"solve", file.Path(), "--method", "hybrid"}, 0, "",
       "x= 1.41421356237309\ny= 1.41421356237309\nr2 = 3.99999999999999"},
      {{"solve", file.Path(), "--method", "hybrid", "--def", "k = 2*r2"}, 0, "", "\nk = 7.9999999999999"},
      {{"jacobian", file.Path()}, 0, "", "F1 = 0.75\nF2 = -0.5\n"},
      {{"jacobian", file.Path()}, 0, "", "derivatives = exact\nr2 = 3.25\n"},
      {{"jacobian", "--eq", "s - 2", "--eq", "x - y", "--vars", "x,y", "--def", "s = x + y", "--at", "1,2"}, 0, "",
       "F1 = 1\n"},
      {{"roots", file.Path(), "--box", "0:2"}, 0, "", "\n  r2 = 3.99999999999999"},
      // An error in a definition is said at its line and column.
      {{"solve", file.Path(), "--method", "hybrid", "--def", "k = (r2"}, 1, "--def (column 8): the definition of k: Expected ')'", ""},
      {{"roots", "--eq", "x1", "--def", "x1 = 2"}, 2, "--def (column 1): x1 is an unknown", ""},
      {{"solve", file.Path(), "--def", "k = 1"}, 2, "--def needs --method", ""},
  });
  const TextFile broken{"names: x, y\nr2 = x^2 + (y\n4 = r2\nx = y\n"};
  Check({{{"solve", broken.Path(), "--method", "hybrid"}, 1, broken.Path() + ":2:14: the definition of r2: Expected ')'", ""}});

  const clitest::CliRun json = RunInProcess({"solve", file.Path(), "--method", "hybrid", "--json"});
  const nlohmann::json document = nlohmann::json::parse(json.out);
  EXPECT_NEAR(document["definitions"]["r2"].get<double>(), 4, 1e-12);
  EXPECT_EQ(document["names"], (std::vector<std::string>{"x", "y"}));

  const cli::BatchLineResult batch = cli::RunBatchLine(
      R"({"eq": ["x^2 + y^2 = r2", "x = y"], "names": "x,y", "start": [1, 1.5], "method": "hybrid", "definitions": {"r2": "4"}})",
      1);
  EXPECT_TRUE(batch.converged) << batch.json;
  EXPECT_NEAR(nlohmann::json::parse(batch.json)["x"][0].get<double>(), 1.4142135623730951, 1e-12);
}

// One compile per command: the first definition or equation refused (the
// definitions first) is named at its place; a compiled problem gives its
// definitions' values at a point, undefined where they are.
TEST(CliCompile, NamesTheFirstRefusedTextOrGivesTheDefinitionsValues) {
  struct CompileRow {
    std::vector<std::string> equations;
    std::vector<std::string> definitions;
    std::string refusal;  // empty: it compiles
  };
  const std::vector<CompileRow> rows = {
      {{"x - k", "y + 1"}, {"k = 2*"}, "--def (column 7): the definition of k: Syntax error"},
      {{"x - (1", "y +* 1"}, {}, "--eq (column 7): Eq_1: Expected ')'"},
      {{"x - 1", "y +* 1"}, {}, "--eq (column 4): Eq_2: Syntax error"},
      {{"x - k)", "y"}, {"k = (1"}, "--def (column 7): the definition of k: Expected ')'"},
      {{"x^2 - k", "y - j"}, {"k = 4", "j = k*x", "s = Sqr(x)"}, ""},
  };
  for (const CompileRow& row : rows) {
    SCOPED_TRACE(row.equations[0]);
    problem::CommandLineInput input;
    input.road = problem::Road::Full;
    input.equations = row.equations;
    input.definitions = row.definitions;
    input.names = "x,y";
    const cli::ProblemRead read = cli::ReadCommandProblem(input, std::nullopt);
    ASSERT_TRUE(read.read) << read.refusal.message;
    const cli::ProblemCompile compile = cli::CompileProblem(*read.read);
    EXPECT_EQ(compile.refusal, row.refusal);
    ASSERT_EQ(compile.compiled == nullptr, !row.refusal.empty());
    if (!compile.compiled) continue;
    cli::CompiledProblem& compiled = *compile.compiled;
    const std::vector<double> at{-3, 2};
    std::vector<double> f(2);
    ASSERT_TRUE(compiled.System().Evaluate(at, f).ok);
    EXPECT_EQ(f, (std::vector<double>{5, 14}));
    const std::vector<cli::DefinitionValue> values = compiled.DefinitionValues(at);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].name, "k");
    EXPECT_EQ(values[0].value, 4.0);
    EXPECT_EQ(values[1].value, -12.0);
    EXPECT_EQ(values[2].name, "s");
    EXPECT_FALSE(values[2].value.has_value());
  }
}

// A picture names the equations as typed: LEFT = RIGHT as it stands.
TEST(CliDefinitions, PicturesNameTheEquationsAsTyped) {
  cli::PlotCliOptions options;
  options.input.equations = {"x^2 + y^2 = r2", "x - y"};
  options.input.definitions = {"r2 = 4"};
  options.input.names = "x,y";
  options.input.start = "1,1.5";
  options.input.method = "hybrid";
  options.output = "never.png";
  options.input.budget = "5";
  plot::Scene scene;
  cli::PlotReport outcome;
  std::ostringstream err;
  ASSERT_FALSE(cli::BuildPlotScene(options, scene, outcome, err)) << err.str();
  EXPECT_EQ(scene.title, "x^2 + y^2 = r2;   x - y = 0");
  EXPECT_EQ(scene.curveLabels, (std::vector<std::string>{"F1: x^2 + y^2 = r2", "F2: x - y = 0"}));
  EXPECT_EQ(scene.roots.size(), 2u);
}

// The Go command takes `a = b` as the language's comparison, as before.
TEST(CliDefinitions, GoCommandKeepsComparisons) {
  const TextFile file{"names: x, y\nstart: 1, 1.5\nx^2 + y^2 - 4\nx = y\n"};
  const clitest::CliRun run = RunInProcess({"solve", file.Path()});
  EXPECT_NE(run.err.find("nlsolve: warning: " + file.Path() + ":4:1: Eq_2: is a comparison"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("definition"), std::string::npos);
  EXPECT_NE(run.out.find("x1= "), std::string::npos) << run.out;
}

TEST(CliNumbers, StrictBeyondTheGoCommand) {
  Check({
      {{"roots", "--eq", "x1", "--x0", "3x"}, 2, "nlsolve roots: --x0: '3x' is not a number", ""},
      {{"roots", "--eq", "x1", "--box", "0:1x"}, 2, "--box:", ""},
      {{"plot", "--eq", "x1", "--eq", "x2", "--x0", "3x,1", "--method", "lm", "-o", "never.png"}, 2,
       "--x0: '3x' is not a number", ""},
      {{"jacobian", "--eq", "x1", "--at", "&H10"}, 2, "nlsolve jacobian: --at: '&H10' is not a number", ""},
      {{"solve", "--eq", "x1", "--x0", "3x", "--method", "lm"}, 1, "--x0: '3x' is not a number", ""},
      // The Go command keeps the window's leading numbers: 3x is 3.
      {{"solve", "--eq", "x1 - 3", "--eq", "x2 - 1", "--x0", "3x,1"}, 0, "", "x1= 3\n"},
  });
  const cli::BatchLineResult refused =
      cli::RunBatchLine(R"({"eq": ["x - 1"], "names": "x", "start": "3x", "method": "lm"})", 2);
  EXPECT_EQ(nlohmann::json::parse(refused.json)["error"], "line 2: start: '3x' is not a number");
  // The start reaches the method whole: 1/(x - s) cannot be evaluated at s itself.
  const std::string exact =
      R"({"eq": ["1/(x - 0.12345678901234567) - 1"], "names": "x", "start": [0.12345678901234567], "method": "hybrid"})";
  EXPECT_EQ(nlohmann::json::parse(cli::RunBatchLine(exact, 1).json)["verdict"], "evaluation failure");
}

}  // namespace
