#include <limits>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "problem/Definitions.h"
#include "problem/Readers.h"

namespace problem {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Texts a batch line's "file" can name.
TextLoader Files(std::map<std::string, std::string> files) {
  return [files = std::move(files)](const std::string& path, std::string& error) -> std::optional<std::string> {
    const auto it = files.find(path);
    if (it != files.end()) return it->second;
    error = path + ": cannot open: No such file or directory";
    return std::nullopt;
  };
}

const char* const kSystem =
    "names: x, y\n"
    "start: 0.12345678901234567, 1\n"
    "k = 2\n"
    "x^2 + y^2 = k^2\n"
    "x - y\n";

CommandLineInput BesideFile() {
  CommandLineInput options;
  options.method = "hybrid";
  options.bounds = "0:inf,-inf:inf";
  return options;
}

ReadResult ByCommandLine() {
  CommandLineInput input = BesideFile();
  input.equations = {"x^2 + y^2 = k^2", "x - y"};
  input.definitions = {"k = 2"};
  input.names = "x,y";
  input.start = "0.12345678901234567, 1";
  return ReadCommandLine(input);
}

struct DoorRow {
  const char* door;
  ReadResult (*read)();
};

const DoorRow kDoors[] = {
    {"command line", ByCommandLine},
    {"system file", [] { return ReadSystemFile("system.txt", kSystem, BesideFile()); }},
    {"standard input", [] { return ReadStandardInput(kSystem, BesideFile()); }},
    {"batch eq",
     [] {
       return ReadBatchLine(
           R"({"eq": ["x^2 + y^2 = k^2", "x - y"], "definitions": ["k = 2"], "names": ["x", "y"],
               "start": [0.12345678901234567, 1], "method": "hybrid", "bounds": [[0, "inf"], ["-inf", "inf"]], "id": 7})",
           4, Files({}));
     }},
    {"batch file",
     [] {
       return ReadBatchLine(R"({"file": "system.txt", "method": "hybrid", "bounds": "0:inf,-inf:inf"})", 5,
                            Files({{"system.txt", kSystem}}));
     }},
    {"batch object definitions",
     [] {
       return ReadBatchLine(
           R"({"eq": ["x^2 + y^2 = k^2", "x - y"], "definitions": {"k": "2"}, "names": "x, y",
               "start": "0.12345678901234567, 1", "method": "hybrid", "bounds": "0:inf,-inf:inf"})",
           6, Files({}));
     }},
};

// Every door gives the same problem, number by number.
TEST(ProblemDoors, SameProblemThroughEveryDoor) {
  for (const DoorRow& row : kDoors) {
    SCOPED_TRACE(row.door);
    const ReadResult read = row.read();
    ASSERT_TRUE(read.problem) << Format(*read.error);
    const Problem& p = *read.problem;
    EXPECT_EQ(p.road, Road::Full);
    ASSERT_EQ(p.equations.size(), 2u);
    EXPECT_EQ(p.equations[0].text.Text(), "x^2 + y^2 = k^2");
    EXPECT_EQ(p.equations[1].text.Text(), "x - y");
    ASSERT_EQ(p.definitions.size(), 1u);
    EXPECT_EQ(p.definitions[0].name, "k");
    EXPECT_EQ(p.names.value, (std::vector<std::string>{"x", "y"}));
    ASSERT_EQ(p.start.value.size(), 2u);
    EXPECT_EQ(p.start.value[0], 0.12345678901234567);  // not 0.123456789012346
    EXPECT_EQ(p.start.value[1], 1.0);
    EXPECT_EQ(p.bounds.value, (std::vector<Range>{{0, kInfinity}, {-kInfinity, kInfinity}}));
    EXPECT_EQ(p.options.method.value, Method::Hybrid);
    EXPECT_TRUE(p.warnings.kept.empty()) << Format(p.warnings.kept.front());
    const ExpandResult expanded = Expand(p);
    ASSERT_TRUE(expanded.expansion);
    EXPECT_EQ(expanded.expansion->equations, (std::vector<std::string>{"x^2 + y^2 - ((2)^2)", "x - y"}));
    ASSERT_EQ(expanded.expansion->definitions.size(), 1u);
    EXPECT_EQ(expanded.expansion->definitions[0].expression, "2");
  }
}

struct RefusalRow {
  const char* what;
  ReadResult read;
  const char* message;
};

CommandLineInput Full(std::vector<std::string> equations) {
  CommandLineInput input;
  input.road = Road::Full;
  input.equations = std::move(equations);
  return input;
}

TEST(ProblemDoors, RefusalsNameTheirPlace) {
  CommandLineInput twice = Full({"x - 1", "y - 2"});
  twice.names = "x,X";
  CommandLineInput notName = Full({"x - 1", "y - 2"});
  notName.names = "x, 2y";
  CommandLineInput count = Full({"x - 1", "y - 2"});
  count.start = "1,2,3";
  CommandLineInput at = Full({"x - 1", "y - 2"});
  at.start = "&H10, 1";
  at.startOption = "--at";
  CommandLineInput method = Full({"x - 1"});
  method.method = "newtons";
  CommandLineInput budget = Full({"x - 1"});
  budget.budget = "-1";
  CommandLineInput goDefinition;
  goDefinition.equations = {"x1 - k", "x2"};
  goDefinition.definitions = {"k = 2"};
  CommandLineInput defUnknown = Full({"x - 1"});
  defUnknown.names = "x";
  defUnknown.definitions = {"X = 2"};
  CommandLineInput box = Full({"x - 1", "y - 2"});
  box.box = "0:1,0:1,0:1";
  const RefusalRow rows[] = {
      {"repeated name", ReadCommandLine(twice), "--vars: 'X' is named twice"},
      {"not a name", ReadCommandLine(notName), "--vars: '2y' is not a name (a letter, then letters, digits and _)"},
      {"start count", ReadCommandLine(count), "--x0: needs 2 values, one per unknown (given 3)"},
      {"--at", ReadCommandLine(at), "--at: '&H10' is not a number"},
      {"method", ReadCommandLine(method), "--method: unknown method \"newtons\"; the methods are newton, hybrid, lm, auto, sparse"},
      {"budget", ReadCommandLine(budget), "--budget: '-1' is not a positive number"},
      {"definition on the Go road", ReadCommandLine(goDefinition),
       "--def (column 1): definitions need a method beyond newton (hybrid, lm or auto): the Go command takes the "
       "equations as typed"},
      {"definition of an unknown", ReadCommandLine(defUnknown),
       "--def (column 1): X is an unknown; a definition names a quantity of its own"},
      {"box count", ReadCommandLine(box), "--box: needs one LOW:HIGH for every unknown or one per unknown (2), got 3"},
      {"no equation", ReadCommandLine(Full({})), "--eq: no equation given"},
      // Each door names its own field: a batch line's "eq", a file's definitions only.
      {"no equation in a batch line", ReadBatchLine(R"({"eq": [], "method": "lm"})", 4, Files({})),
       "batch line 4: eq: no equation given"},
      {"only definitions in a file", ReadSystemFile("s.txt", "r = 2\n", Full({})), "s.txt: no equation given"},
      {"file start", ReadSystemFile("s.txt", "start: 1, 3x\nx1-1\nx2-2\n", Full({})),
       "s.txt:1:11: start: '3x' is not a number"},
      {"file names count", ReadSystemFile("s.txt", "x1-1\nnames: a\nx2-2\n", Full({})),
       "s.txt:2: names: needs 2 names, one per equation (given 1)"},
      {"file's own refusal", ReadSystemFile("s.txt", "x1-1\nfoo: 1\n", Full({})),
       "s.txt:2:1: unknown line \"foo:\"; a system file knows names:, start:, box: and bounds:"},
      {"file and --eq", ReadSystemFile("s.txt", "x1-1\n", Full({"x"})),
       "--eq: --eq and a system file do not mix: with a file the equations come from the file"},
      {"not JSON", ReadBatchLine("{", 3, Files({})),
       "batch line 3: not JSON: parse error at line 1, column 2: syntax error while parsing object key - unexpected end of input; expected string "
       "literal"},
      {"unknown field", ReadBatchLine(R"({"eq": ["x"], "x0": 1})", 3, Files({})),
       "batch line 3: unknown field \"x0\"; a batch line knows eq, file, names, start, method, definitions, bounds, "
       "certify, id"},
      {"batch start", ReadBatchLine(R"({"eq": ["x", "y"], "method": "lm", "start": [1, "3x"]})", 3, Files({})),
       "batch line 3: start: '3x' is not a number"},
      {"batch file", ReadBatchLine(R"({"file": "none.txt"})", 3, Files({})),
       "batch line 3: file: none.txt: cannot open: No such file or directory"},
  };
  for (const RefusalRow& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_FALSE(row.read.problem);
    ASSERT_TRUE(row.read.error);
    EXPECT_EQ(Format(*row.read.error), row.message);
  }
}

// The Go road takes the fields as typed, as the window does.
TEST(ProblemDoors, GoRoadKeepsTheWindowsReading) {
  CommandLineInput input;
  input.equations = {"x1^2 - 2", "x2 = 1"};
  input.names = "x1, x2";
  input.start = "3x,&H10";
  const ReadResult read = ReadCommandLine(input);
  ASSERT_TRUE(read.problem) << Format(*read.error);
  const Problem& p = *read.problem;
  EXPECT_EQ(p.road, Road::Go);
  EXPECT_EQ(p.names.value, (std::vector<std::string>{"x1", " x2"}));
  EXPECT_EQ(p.start.value, (std::vector<double>{3, 16}));
  EXPECT_EQ(p.startRule, NumberRule::Leading);
  EXPECT_EQ(p.startText, "3x,&H10");
  EXPECT_FALSE(p.equations[1].equalsAt);
  EXPECT_EQ(Expand(p).expansion->equations, (std::vector<std::string>{"x1^2 - 2", "x2 = 1"}));
}

// Options: each value read once, each default from Defaults.
TEST(ProblemDoors, MethodOptionsAndDefaults) {
  CommandLineInput input = Full({"x - 1"});
  input.names = "x";
  input.method = "auto";
  input.ftol = "1e-12";
  input.maxEvaluations = "500";
  input.maxSeconds = "2.5";
  input.maxStarts = "3";
  input.seed = "0";
  const ReadResult read = ReadCommandLine(input);
  ASSERT_TRUE(read.problem) << Format(*read.error);
  const MethodOptions& o = read.problem->options;
  EXPECT_EQ(o.method.value, Method::Auto);
  EXPECT_EQ(o.ftol.value, 1e-12);
  EXPECT_EQ(o.maxEvaluations.value, 500);
  EXPECT_EQ(o.maxSeconds.value, 2.5);
  EXPECT_EQ(o.maxStarts.value, 3);
  EXPECT_EQ(o.seed.value, 0u);
  EXPECT_EQ(o.seed.origin.source, "--seed");
  EXPECT_EQ(o.budget.value, Defaults{}.budget);
  EXPECT_EQ(o.budget.origin.kind, OriginKind::Default);
  EXPECT_EQ(read.problem->start.value, std::vector<double>{Defaults{}.start});
}

}  // namespace
}  // namespace problem
