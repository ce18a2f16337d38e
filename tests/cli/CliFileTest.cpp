// nlsolve solve FILE and eval --file: the file's texts reach the Go command
// as the fields would hold them, the command line overrides them, and every
// refusal names its place in the file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Commands.h"

namespace {

using clitest::RunInProcess;
using clitest::TextFile;

// Two roots u = 2 and u = -2; the start picks one.
constexpr std::string_view kTwoRoots = "# u^2 = 4, v = 1\nnames: u, v\nstart: -1, -1\nu^2 - 4\nv - _\n  1\n";
// Newton stops once its correction is below 1E-5; it converges quadratically
// at these simple roots, so the last iterate is far closer.
constexpr double kRootTolerance = 1e-9;

void ExpectAnswer(const clitest::CliRun& run, const std::vector<double>& root) {
  EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
  const std::vector<double> x = nlohmann::json::parse(run.out)["x"].get<std::vector<double>>();
  ASSERT_EQ(x.size(), root.size());
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(x[i], root[i], kRootTolerance);
}

struct SolveRow {
  std::string note;
  std::vector<std::string> options;  // after the file
  std::vector<double> root;
};

TEST(CliSolveFile, FileFieldsAndCommandLineOverrides) {
  const TextFile file{std::string(kTwoRoots)};
  const std::vector<SolveRow> rows{
      {"the file's start", {}, {-2, 1}},
      {"--x0 wins", {"--x0", "3,0"}, {2, 1}},
      {"--vars wins: unknown 1 is v", {"--vars", "v,u"}, {1, -2}},
  };
  for (const SolveRow& row : rows) {
    SCOPED_TRACE(row.note);
    std::vector<std::string> args{"solve", file.Path(), "--json"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    ExpectAnswer(RunInProcess(args), row.root);
  }
}

TEST(CliSolveFile, StandardInput) {
  ExpectAnswer(clitest::RunProcessWithInput({"solve", "-", "--json"}, std::string(kTwoRoots)), {-2, 1});

  const clitest::CliRun bad = clitest::RunProcessWithInput({"solve", "-"}, "x1\n(x2\n");
  EXPECT_EQ(bad.status, cli::kExitFailure);
  EXPECT_EQ(bad.err, "<stdin>:2:4: Eq_2: Expected ')'\n");
}

struct PlaceRow {
  std::string text;
  std::vector<std::string> options;
  std::string where;  // after the path
};

TEST(CliSolveFile, RefusalsNameTheirPlace) {
  const std::vector<PlaceRow> rows{
      {"x1^2 - 2*x2 - 2\nx1 - (x2^3 +\n", {}, ":2:13: Eq_2: Syntax error"},
      {"# continued\nx1 + _\n  x2 +* 1\nx2\n", {}, ":3:7: Eq_1: Syntax error"},
      {"x1\nx2\nx1 + x2 + x3)\n", {}, ":3:13: Eq_3: Expected end of statement"},
      {"names: x1, 2x\nx1\nx2\n", {},
       ":1:12: The name '2x' in Varaiabls is not a valid variable name (Expected statement)"},
      {"start: 1, 1E400\nx1\nx2\n", {},
       ":1:11: The initial value ' 1E400' in Initial Values is beyond the number range (Overflow)"},
      {"names: x1\nx1\nx2\n", {},
       ":1: The system has 2 equations, so it needs 2 unknowns' names (Varaiabls); 1 was given."},
      {"start: 1\nx1\nx2\n", {}, ":1: The system has 2 equations, so it needs 2 initial values; 1 was given."},
      {std::string(100'000, '(') + "x1" + std::string(100'000, ')') + "\nx2\n", {}, ":1:401: Eq_1: Out of stack space"},
  };
  for (const PlaceRow& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 40));
    const TextFile file(row.text);
    std::vector<std::string> args{"solve", file.Path()};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitFailure);
    EXPECT_EQ(run.err, file.Path() + row.where + "\n");

    args.push_back("--json");
    const nlohmann::json doc = nlohmann::json::parse(RunInProcess(args).out);
    EXPECT_EQ(doc["error"], file.Path() + row.where);
    EXPECT_EQ(doc["messages"].back(), file.Path() + row.where);
  }
}

// A file's names are identifiers: the blanks around them are dropped for every
// command (they once stayed in the names: "dF1/d  v"), a name given twice is
// refused, and the names field's own text (--vars) keeps the blanks as typed.
TEST(CliFileNames, TrimmedForEveryCommand) {
  const TextFile file("names:  u ,  v \nstart: -1, -1\nu^2 - 4\nv - 1\n");
  const TextFile twice("names: u, U\nstart: -1, -1\nu^2 - 4\nv - 1\n");
  const std::string twiceWhere = twice.Path() + ":1:11: names: \"U\" is named twice; the first is at 1:8";

  ExpectAnswer(RunInProcess({"solve", file.Path(), "--json"}), {-2, 1});

  const clitest::CliRun jacobian = RunInProcess({"jacobian", file.Path(), "--json"});
  EXPECT_EQ(jacobian.status, cli::kExitSuccess) << jacobian.err;
  EXPECT_EQ(nlohmann::json::parse(jacobian.out)["names"], (std::vector<std::string>{"u", "v"}));

  const TextFile expression("names:  a ,  b \nstart: 3, 4\na*b\n");
  EXPECT_EQ(RunInProcess({"eval", "--file", expression.Path()}).out, "12\n");

  // Beyond the Go command --vars is trimmed too.
  const clitest::CliRun typed = RunInProcess({"jacobian", file.Path(), "--vars", "u, v", "--json"});
  EXPECT_EQ(typed.status, cli::kExitSuccess) << typed.err;
  EXPECT_EQ(nlohmann::json::parse(typed.out)["names"], (std::vector<std::string>{"u", "v"}));

  for (const std::string command : {"solve", "jacobian", "roots"}) {
    SCOPED_TRACE(command);
    const clitest::CliRun run = RunInProcess({command, twice.Path()});
    EXPECT_EQ(run.status, cli::kExitFailure);
    EXPECT_EQ(run.err, "nlsolve: " + twiceWhere + "\n");
  }
  const TextFile batch("{\"file\": \"" + twice.Path() + "\"}\n");
  const clitest::CliRun batchRun = RunInProcess({"batch", batch.Path()});
  EXPECT_EQ(nlohmann::json::parse(batchRun.out)["error"], "line 1: " + twiceWhere);
}

// Beyond the window's six equations with a robust method; its refusals placed too.
TEST(CliSolveFile, RobustMethods) {
  std::string twenty = "# x_i = i\n";
  for (int i = 1; i <= 20; ++i) twenty += "x" + std::to_string(i) + " - " + std::to_string(i) + " _\n  + 0\n";
  const TextFile file(twenty);
  const clitest::CliRun run = RunInProcess({"solve", file.Path(), "--method", "hybrid", "--json"});
  std::vector<double> root;
  for (int i = 1; i <= 20; ++i) root.push_back(i);
  ExpectAnswer(run, root);
  EXPECT_EQ(RunInProcess({"solve", file.Path()}).status, cli::kExitFailure);  // the Go command takes 6

  const TextFile bad("x1\nx2 +\n");
  for (const std::string json : {"", "--json"}) {
    std::vector<std::string> args{"solve", bad.Path(), "--method", "lm"};
    if (!json.empty()) args.push_back(json);
    const clitest::CliRun refused = RunInProcess(args);
    EXPECT_EQ(refused.status, cli::kExitFailure);
    const std::string message = bad.Path() + ":2:5: Eq_2: Syntax error";
    if (json.empty()) {
      EXPECT_EQ(refused.err, message + "\n");
    } else {
      EXPECT_EQ(nlohmann::json::parse(refused.out)["error"], message);
    }
  }
}

TEST(CliSolveFile, ABadNameFromTheCommandLineIsNotTheFilesFault) {
  const TextFile file("x1\nx2\n");
  const clitest::CliRun run = RunInProcess({"solve", file.Path(), "--vars", "x1,2x"});
  EXPECT_EQ(run.status, cli::kExitFailure);
  EXPECT_EQ(run.err, "The name '2x' in Varaiabls is not a valid variable name (Expected statement)\n");
}

// A count the command line gave is its own fault, even when the file's other
// line does not fit either (a --vars count was once placed at the start: line).
TEST(CliSolveFile, ACountFromTheCommandLineIsNotTheFilesFault) {
  struct Row {
    std::string text;
    std::vector<std::string> options;
    std::string err;
  };
  const std::vector<Row> rows{
      {"start: 1, 2, 3\nx1\nx2\n", {"--vars", "a"},
       "The system has 2 equations, so it needs 2 unknowns' names (Varaiabls); 1 was given.\n"},
      {"names: a, b, c\nx1\nx2\n", {"--x0", "1"},
       "The system has 2 equations, so it needs 2 unknowns' names (Varaiabls); 3 were given.\n"},
      {"names: x1, x2\nx1\nx2\n", {"--x0", "1"},
       "The system has 2 equations, so it needs 2 initial values; 1 was given.\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const TextFile file(row.text);
    std::vector<std::string> args{"solve", file.Path()};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitFailure);
    const bool filesFault = row.text.starts_with("names: a, b, c");
    EXPECT_EQ(run.err, (filesFault ? file.Path() + ":1: " : std::string()) + row.err);
  }
}

TEST(CliSolveFile, FilesRefusedBeforeAnythingRuns) {
  const TextFile tooMany("x1\nx2\nx3\nx4\nx5\nx6\nx7\n");
  const TextFile one("x1 - 1\n");
  const std::vector<std::pair<std::string, std::string>> rows{
      {"/nonexistent/s.txt", "nlsolve: /nonexistent/s.txt: cannot open: No such file or directory\n"},
      {"/", "nlsolve: /: is a directory\n"},
      {tooMany.Path(), "nlsolve: " + tooMany.Path() + ": solve takes 2 to 6 equations; the system has 7; --method hybrid, lm or auto takes 1 equation or more\n"},
      {one.Path(), "nlsolve: " + one.Path() + ": solve takes 2 to 6 equations; the system has 1; --method hybrid, lm or auto takes 1 equation or more\n"},
  };
  for (const auto& [path, err] : rows) {
    SCOPED_TRACE(path);
    const clitest::CliRun run = RunInProcess({"solve", path, "--log"});
    EXPECT_EQ(run.status, cli::kExitFailure);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, err);
  }
  EXPECT_EQ(RunInProcess({"solve", one.Path(), "--example", "1"}).status, cli::kExitUsage);
  EXPECT_EQ(RunInProcess({"solve", one.Path(), "--eq", "x1"}).status, cli::kExitUsage);
}

// Hostile files end in a clear message or a result; the process never dies.
TEST(CliSolveFile, HostileFilesInTheBuiltProgram) {
  std::string many;
  while (many.size() < 10'000'000) many += "x1 + 2*x2 - 3\n";
  const std::vector<std::pair<std::string, std::string>> rows{
      {"x1 - 1 + 0*Len(\"" + std::string(1'000'000, 'a') + "\")\nx2 - 2\n", ""},  // 1 MB, solved
      {"x1 - 1" + std::string(1'000'000 / 8, '+') + "\nx2\n", "Eq_1: "},
      {many, "solve takes 2 to 6 equations"},
      {std::string(100'000, '(') + "x1" + std::string(100'000, ')') + "\nx2\n", "Eq_1: Out of stack space"},
      {std::string("x1\0\nx2\n", 7), "a NUL byte"},
      {"x1\nx2\xFE\n", "not UTF-8"},
  };
  for (const auto& [text, message] : rows) {
    SCOPED_TRACE(message);
    const TextFile file(text);
    const clitest::CliRun run = clitest::RunProcess({"solve", file.Path()});
    EXPECT_EQ(run.status, message.empty() ? cli::kExitSuccess : cli::kExitFailure);
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
}

struct EvalRow {
  std::string text;
  std::vector<std::string> options;
  int status;
  std::string out;
  std::string err;  // after the path, when not empty
};

TEST(CliEvalFile, OneExpressionWithItsNamesAndStart) {
  const std::vector<EvalRow> rows{
      {"# long\n2 * _\n  21\n", {}, cli::kExitSuccess, "42\n", ""},
      {"names: a\nstart: 3\na*2 + 1\n", {}, cli::kExitSuccess, "7\n", ""},
      {"names: a\nstart: 3\na*2 + 1\n", {"--var", "a=10"}, cli::kExitSuccess, "21\n", ""},
      {"start: 2, 0.5\nx1^3 + x2\n", {}, cli::kExitSuccess, "8.5\n", ""},
      {"names: a, b\na + b\n", {}, cli::kExitSuccess, "0\n", ""},
      {"x1\nx2\n", {}, cli::kExitFailure, "", ": eval --file takes one expression; the file holds 2"},
      {"names: a, b\nstart: 1\na\n", {}, cli::kExitFailure, "", ":2: 2 names but 1 initial values"},
      {"names: a,,b\nstart: 1,2,3\na\n", {}, cli::kExitFailure, "", ":1:10: names: \"\" is not a name"},
      {"\n1 +* 2\n", {}, cli::kExitFailure, "", ":2:4: Syntax error"},
  };
  for (const EvalRow& row : rows) {
    SCOPED_TRACE(row.text);
    const TextFile file(row.text);
    std::vector<std::string> args{"eval", "--file", file.Path()};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, row.status);
    EXPECT_EQ(run.out, row.out);
    if (!row.err.empty()) {
      EXPECT_NE(run.err.find(file.Path() + row.err + "\n"), std::string::npos) << run.err;
    }
  }
  EXPECT_EQ(RunInProcess({"eval", "--file", "x", "1+1"}).status, cli::kExitUsage);
  EXPECT_EQ(RunInProcess({"eval"}).status, cli::kExitUsage);
}

}  // namespace
