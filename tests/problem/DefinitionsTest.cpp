#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "problem/Checks.h"
#include "problem/Definitions.h"
#include "problem/Readers.h"

namespace problem {
namespace {

ReadResult FullFile(const std::string& text) {
  CommandLineInput options;
  options.road = Road::Full;
  return ReadSystemFile("system.txt", text, options);
}

struct ExpandRow {
  const char* what;
  const char* file;
  std::vector<std::string> equations;  // expanded; empty when the file is refused
  const char* error;
};

const ExpandRow kExpandRows[] = {
    {"natural equation", "names: x, y\nx^2 = 2\ny = x\n", {"x^2 - (2)", "y - (x)"}, nullptr},
    {"loose left side", "names: x, y\nx & \"\" = 2\ny\n", {"(x & \"\") - (2)", "y"}, nullptr},
    {"comment dropped from the right side", "names: x, y\nx = 2 ' two\ny\n", {"x - (2)", "y"}, nullptr},
    {"'=' inside parentheses and literals", "names: x, y\nf(x = 1) + Len(\"a=b\")\nx <= y\n",
     {"f(x = 1) + Len(\"a=b\")", "x <= y"}, nullptr},
    {"definitions in order, any letter case", "names: T\nR = 8.314\nRT = r*t\nrt - 1\n", {"((8.314)*t) - 1"},
     nullptr},
    {"names in literals, longer names and members untouched",
     "names: x\nk = 2\nx - k + Len(\"k\") + kk + k2 + math.k\n", {"x - (2) + Len(\"k\") + kk + k2 + math.k"}, nullptr},
    {"xK without names is an unknown", "x1 = 3\nc = 2\nx2 - c\n", {"x1 - (3)", "x2 - (2)"}, nullptr},
    {"use before definition", "names: x\na = b\nb = 2\nx - a\n", {},
     "system.txt:2:5: the definition of a uses b, which is defined after it (at system.txt:3); a definition uses "
     "only unknowns and earlier definitions"},
    {"a cycle", "names: x\na = 2*B\nb = a\nx - a\n", {},
     "system.txt:2:7: the definition of a uses B, which is defined after it (at system.txt:3); a definition uses "
     "only unknowns and earlier definitions"},
    {"uses itself", "names: x\na = a + 1\nx - a\n", {}, "system.txt:2:5: the definition of a uses itself"},
    {"defined twice", "names: x\na = 1\nA = 2\nx - a\n", {},
     "system.txt:3:1: A is defined twice; the first definition is at system.txt:2"},
    {"two '=' at the top level", "names: x\nx = 1 = 2\n", {},
     "system.txt:2:7: Eq_1: a second '=' at the top level; an equation is LEFT = RIGHT (put a comparison in "
     "parentheses)"},
};

TEST(ProblemDefinitions, ExpansionAndOrder) {
  for (const ExpandRow& row : kExpandRows) {
    SCOPED_TRACE(row.what);
    const ReadResult read = FullFile(row.file);
    if (row.error) {
      ASSERT_TRUE(read.error);
      EXPECT_EQ(Format(*read.error), row.error);
      continue;
    }
    ASSERT_TRUE(read.problem) << Format(*read.error);
    const ExpandResult expanded = Expand(*read.problem);
    ASSERT_TRUE(expanded.expansion);
    EXPECT_EQ(expanded.expansion->equations, row.equations);
  }
}

TEST(ProblemDefinitions, ReportListsEachDefinitionExpanded) {
  const ReadResult read = FullFile("names: T\nR = 8.314\nRT = R*T\nRT - 1\n");
  ASSERT_TRUE(read.problem);
  const Expansion expansion = *Expand(*read.problem).expansion;
  ASSERT_EQ(expansion.definitions.size(), 2u);
  EXPECT_EQ(expansion.definitions[1].name, "RT");
  EXPECT_EQ(expansion.definitions[1].expression, "(8.314)*T");
}

// Each definition used twice by the next doubles the text: refused, not built.
TEST(ProblemDefinitions, ExpansionBudget) {
  std::string file = "names: x\nd0 = x\n";
  for (int k = 1; k <= 30; ++k) file += "d" + std::to_string(k) + " = d" + std::to_string(k - 1) + "*d" + std::to_string(k - 1) + "\n";
  file += "d30 - 1\n";
  const ReadResult read = FullFile(file);
  ASSERT_TRUE(read.problem);
  const ExpandResult expanded = Expand(*read.problem);
  ASSERT_FALSE(expanded.expansion);
  // Named at the first definition that does not fit: d23, on line 25.
  EXPECT_EQ(Format(*expanded.error),
            "system.txt:25:1: expanding the definitions takes more than 64 MiB; use fewer nested definitions");
}

struct WarningRow {
  const char* what;
  ReadResult read;
  std::vector<std::string> warnings;  // Format of each
  std::vector<WarningCode> codes;
};

CommandLineInput Go(std::vector<std::string> equations, const char* names) {
  CommandLineInput input;
  input.equations = std::move(equations);
  if (names) input.names = names;
  return input;
}

// The outermost operation, as the parser would build the tree.
TEST(ProblemChecks, TopLevelComparison) {
  const struct {
    const char* text;
    bool comparison;
  } cases[] = {
      {"x^2+y^2-4 = 0", true}, {"x < 1", true},        {"(x >= y)", true},       {"((x <> 2))", true},
      {"x - 1", false},        {"(x = 1) + 2", false}, {"f(x = 1)", false},      {"Not x = 1", false},
      {"x = 1 And y = 2", false}, {"(x) = (y)", true}, {"x = \"a = b\"", true}, {"x = (", false},
      {"", false},             {"x = 1 'y < 2", true}, {"Abs(x - 1) * (y = 2)", false},
  };
  for (const auto& c : cases) EXPECT_EQ(TopLevelComparison(c.text), c.comparison) << c.text;
}

TEST(ProblemChecks, WarningsWithPlaces) {
  CommandLineInput full = Go({"x^2 + y^2 = 4", "x < y"}, "x,y");
  full.method = "lm";
  const WarningRow rows[] = {
      {"unassigned name", ReadCommandLine(Go({"x^2 + z^2 - 4", "x - y"}, "x,y")),
       {"--eq (column 7): Eq_1: uses z, which is not an unknown: it counts as 0"},
       {WarningCode::UnknownName}},
      {"comparison on the Go road", ReadCommandLine(Go({"x^2+y^2-4 = 0", "x - y"}, "x,y")),
       {"--eq (column 1): Eq_1: is a comparison, whose value is True (-1) or False (0), not an equation; write it as "
        "LEFT - (RIGHT)"},
       {WarningCode::Comparison}},
      {"natural equation and a comparison on the Full road", ReadCommandLine(full),
       {"--eq (column 1): Eq_2: is a comparison, whose value is True (-1) or False (0), not an equation"},
       {WarningCode::Comparison}},
      {"duplicate on the Go road", ReadCommandLine(Go({"x - 1", "x - 2"}, "x,x")),
       {"--vars: 'x' is named twice"},
       {WarningCode::DuplicateName}},
      {"unused unknown in a file, unknown function",
       ReadSystemFile("s.txt", "names: a, b\nfoo(a) - 1\nSinD(a) + pi + vbTrue + Math.e - 1\n", {}),
       {"s.txt:2:1: Eq_1: calls foo, which is no function of the language or the library",
        "s.txt:1:11: names: b is an unknown that no equation uses"},
       {WarningCode::UnknownName, WarningCode::UnusedUnknown}},
      {"unknown reached through a definition counts as used; a definition's own unknown name",
       FullFile("names: a, b\nk = b * q\na - k\na + 1\n"),
       {"system.txt:2:9: definition of k: uses q, which is not an unknown: it counts as 0"},
       {WarningCode::UnknownName}},
      {"continued line: the place on the line it continues to",
       ReadSystemFile("c.txt", "names: a\na - _\n   1 + zz\n", {}),
       {"c.txt:3:8: Eq_1: uses zz, which is not an unknown: it counts as 0"},
       {WarningCode::UnknownName}},
      {"batch line without columns", ReadBatchLine(R"({"eq": ["x1 - w", "x2"]})", 9, {}),
       {"batch line 9: Eq_1: uses w, which is not an unknown: it counts as 0"},
       {WarningCode::UnknownName}},
  };
  for (const WarningRow& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(row.read.problem) << Format(*row.read.error);
    std::vector<std::string> texts;
    std::vector<WarningCode> codes;
    for (const Warning& warning : row.read.problem->warnings.kept) {
      texts.push_back(Format(warning));
      codes.push_back(warning.code);
    }
    EXPECT_EQ(texts, row.warnings);
    EXPECT_EQ(codes, row.codes);
  }
}

// A name is warned about once per equation; past kMaxWarnings they are counted.
TEST(ProblemChecks, WarningsAreBounded) {
  std::string many = "x1";
  for (int k = 0; k < 150; ++k) many += " + a" + std::to_string(k) + " + a" + std::to_string(k);
  const ReadResult read = ReadCommandLine(Go({many, "x2"}, nullptr));
  ASSERT_TRUE(read.problem);
  EXPECT_EQ(read.problem->warnings.kept.size(), kMaxWarnings);
  EXPECT_EQ(read.problem->warnings.leftOut, 150 - kMaxWarnings);
  EXPECT_EQ(Format(read.problem->warnings.kept[1]), "--eq (column 16): Eq_1: uses a1, which is not an unknown: it counts as 0");
}

TEST(ProblemChecks, EngineNames) {
  for (const char* known : {"sqr", "abs", "pi", "e", "sind", "dmsfromrad", "vbtrue", "vbcrlf", "math"}) {
    SCOPED_TRACE(known);
    EXPECT_TRUE(IsEngineName(known));
  }
  for (const char* unknown : {"z", "x1", "sinx", "mathe"}) {
    SCOPED_TRACE(unknown);
    EXPECT_FALSE(IsEngineName(unknown));
  }
}

TEST(ProblemChecks, CodeNamesAreStable) {
  EXPECT_EQ(CodeName(WarningCode::UnknownName), "unknownName");
  EXPECT_EQ(CodeName(WarningCode::UnusedUnknown), "unusedUnknown");
  EXPECT_EQ(CodeName(WarningCode::Comparison), "comparison");
  EXPECT_EQ(CodeName(WarningCode::DuplicateName), "duplicateName");
  EXPECT_EQ(CodeName(WarningCode::Separator), "separator");
}

}  // namespace
}  // namespace problem
