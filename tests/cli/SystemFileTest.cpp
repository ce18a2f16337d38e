// The system file reader: the format's rules, its messages with their places,
// and texts no editor would write.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "problem/SystemFile.h"

namespace {

constexpr std::string_view kName = "s.txt";

struct RuleRow {
  std::string text;
  std::vector<std::string> equations;
  std::optional<std::string> names;
  std::optional<std::string> start;
  std::size_t boxRanges = 0;
};

TEST(SystemFileRules, LinesFieldsAndContinuations) {
  const std::vector<RuleRow> rows{
      {"x1\nx2\n", {"x1", "x2"}, std::nullopt, std::nullopt, 0},
      {"x1\nx2", {"x1", "x2"}, std::nullopt, std::nullopt, 0},  // no line end after the last line
      {"# a comment\n\n   # indented comment\n\t\nx1\n\nx2\n", {"x1", "x2"}, std::nullopt, std::nullopt, 0},
      {"x1\r\nx2\r\n", {"x1", "x2"}, std::nullopt, std::nullopt, 0},
      {"x1\rx2\r", {"x1", "x2"}, std::nullopt, std::nullopt, 0},
      {"\xEF\xBB\xBFx1\nx2\n", {"x1", "x2"}, std::nullopt, std::nullopt, 0},  // byte order mark
      {"  x1 + 1  \nx2\n", {"  x1 + 1  ", "x2"}, std::nullopt, std::nullopt, 0},  // kept as typed
      {"x1 + _\n  x2\nx3\n", {"x1 +   x2", "x3"}, std::nullopt, std::nullopt, 0},
      {"x1 _  \nx2 _\t\n+ 1\nx3\n", {"x1 x2 + 1", "x3"}, std::nullopt, std::nullopt, 0},  // blanks after the "_"
      {"a _\n# not a comment here\nb\n", {"a # not a comment here", "b"}, std::nullopt, std::nullopt, 0},
      {"x1_\nx2\n", {"x1_", "x2"}, std::nullopt, std::nullopt, 0},  // a name ending in "_", no continuation
      {"# comment _\nx1\nx2\n", {"x1", "x2"}, std::nullopt, std::nullopt, 0},  // a comment is never continued
      {"names: x1, x2\nstart: 1.5,,-2\nx1\nx2\n", {"x1", "x2"}, "x1,x2", "1.5,,-2", 0},
      {"NAMES:\tu,v \nStart:3\nu\nv\n", {"u", "v"}, "u,v", "3", 0},
      {"names:\nstart:\nx1\nx2\n", {"x1", "x2"}, "", "", 0},
      {"names: a, _\n  b\na\nb\n", {"a", "b"}, "a,b", std::nullopt, 0},
      {"names: \tx1 ,  x2 , ,x3\t\nx1\nx2\n", {"x1", "x2"}, "x1,x2,,x3", std::nullopt, 0},  // blanks dropped
      {"box: -5:5\nx1\nx2\n", {"x1", "x2"}, std::nullopt, std::nullopt, 1},
      {"box: -1:1, 0:2.5e1\nx1\nx2\n", {"x1", "x2"}, std::nullopt, std::nullopt, 2},
      {"x1 = 1 : x2\n", {"x1 = 1 : x2"}, std::nullopt, std::nullopt, 0},  // not a key: a name directly before ':' is
  };
  for (const RuleRow& row : rows) {
    SCOPED_TRACE(row.text);
    const cli::SystemFileRead read = cli::ParseSystemFile(kName, row.text);
    ASSERT_TRUE(read.system) << read.error;
    EXPECT_EQ(read.system->EquationTexts(), row.equations);
    EXPECT_EQ(read.system->names ? std::optional(read.system->names->Text()) : std::nullopt, row.names);
    EXPECT_EQ(read.system->start ? std::optional(read.system->start->Text()) : std::nullopt, row.start);
    EXPECT_EQ(read.system->box.size(), row.boxRanges);
  }
}

TEST(SystemFileRules, BoxRanges) {
  const cli::SystemFileRead read = cli::ParseSystemFile(kName, "box: -1:1, +0:2.5e1\nx1\nx2\n");
  ASSERT_TRUE(read.system) << read.error;
  ASSERT_EQ(read.system->box.size(), 2u);
  EXPECT_EQ(read.system->box[0].low, -1);
  EXPECT_EQ(read.system->box[0].high, 1);
  EXPECT_EQ(read.system->box[1].low, 0);
  EXPECT_EQ(read.system->box[1].high, 25);
  EXPECT_EQ(read.system->boxLine, 1);
}

struct ErrorRow {
  std::string text;
  std::string error;
};

TEST(SystemFileMessages, NameTheFileTheLineAndTheColumn) {
  const std::vector<ErrorRow> rows{
      {"", "s.txt: no equation in the file"},
      {"# only a comment\n\n", "s.txt: no equation in the file"},
      {"x1\nx2 _", "s.txt:2: the line ends with \" _\" but no line follows"},
      {"names: a\nx\nnames: b\n", "s.txt:3: a second names: line; the first is line 1"},
      {"start: 1\nstart: 2\nx\n", "s.txt:2: a second start: line; the first is line 1"},
      // A file's names are trimmed; a name given twice is refused where it repeats.
      {"names: x1,  x1 \nx\ny\n", "s.txt:1:13: names: \"x1\" is named twice; the first is at 1:8"},
      {"names: a, b, A, a\nx\ny\nz\nw\n", "s.txt:1:14: names: \"A\" is named twice; the first is at 1:8"},
      {"names: a, _\n  A\nx\ny\n", "s.txt:2:3: names: \"A\" is named twice; the first is at 1:8"},
      {"box: 0:1\nbox: 0:1\nx\n", "s.txt:2: a second box: line; the first is line 1"},
      {"x\n  vars: x1\n", "s.txt:2:3: unknown line \"vars:\"; a system file knows names:, start:, box: and bounds:"},
      {"box: 5:-5\nx\n", "s.txt:1:6: box: expected LOW:HIGH with LOW below HIGH, got \"5:-5\""},
      {"box: 0:1, 3\nx\ny\n", "s.txt:1:10: box: expected LOW:HIGH with LOW below HIGH, got \" 3\""},
      {"box: 0:x\nx\n", "s.txt:1:6: box: expected LOW:HIGH with LOW below HIGH, got \"0:x\""},
      {"box:\nx\n", "s.txt:1: box: expected LOW:HIGH, got nothing"},
      {"box: 0:1, 0:1\nx\ny\nz\n",
       "s.txt:1: box: 2 ranges for 3 equations; give one range for every unknown or one per unknown"},
      {std::string("x1\nx\0 2\n", 7), "s.txt:2:2: a NUL byte; a system file is UTF-8 text"},
      {"ok\n\xC3\x28\n", "s.txt:2:1: not UTF-8 (byte 0xC3); a system file is UTF-8 text"},
      {"\xC3\xA9\xFF\n", "s.txt:1:2: not UTF-8 (byte 0xFF); a system file is UTF-8 text"},  // é is one column
      {"\xC0\xAF\n", "s.txt:1:1: not UTF-8 (byte 0xC0); a system file is UTF-8 text"},      // overlong '/'
      {"\xED\xA0\x80\n", "s.txt:1:1: not UTF-8 (byte 0xED); a system file is UTF-8 text"},  // a surrogate
      {"\xF4\x90\x80\x80\n", "s.txt:1:1: not UTF-8 (byte 0xF4); a system file is UTF-8 text"},
      {"x\r\n\r\nx\xE2\x82", "s.txt:3:2: not UTF-8 (byte 0xE2); a system file is UTF-8 text"},  // cut short
      {"\xEF\xBB\xBFx\xFF", "s.txt:1:2: not UTF-8 (byte 0xFF); a system file is UTF-8 text"},  // after a BOM
  };
  for (const ErrorRow& row : rows) {
    SCOPED_TRACE(row.text);
    const cli::SystemFileRead read = cli::ParseSystemFile(kName, row.text);
    EXPECT_FALSE(read.system);
    EXPECT_EQ(read.error, row.error);
  }
}

TEST(SystemFileMessages, LargerThanTheLimitIsRefused) {
  const std::string text(cli::kMaxSystemFileBytes + 1, 'x');
  const cli::SystemFileRead read = cli::ParseSystemFile(kName, text);
  EXPECT_FALSE(read.system);
  EXPECT_EQ(read.error, "s.txt: larger than 64 MiB, the limit for a system file");
}

TEST(SystemFilePlaces, ContinuedTextsMapBackToTheirLines) {
  const cli::SystemFileRead read = cli::ParseSystemFile(kName, "x1 + _\n  x\xC3\xA9 + _\n\tz\n");
  ASSERT_TRUE(read.system) << read.error;
  const cli::SourceText& equation = read.system->equations.front();
  ASSERT_EQ(equation.Text(), "x1 +   x\xC3\xA9 + \tz");
  struct PlaceRow {
    std::size_t offset;
    int line;
    int column;
  };
  const std::vector<PlaceRow> rows{
      {0, 1, 1}, {3, 1, 4}, {5, 2, 1}, {7, 2, 3}, {10, 2, 5}, {13, 3, 1}, {14, 3, 2}, {99, 3, 3},
  };
  for (const PlaceRow& row : rows) {
    SCOPED_TRACE(row.offset);
    const cli::SourceText::Place place = equation.PlaceOf(row.offset);
    EXPECT_EQ(place.line, row.line);
    EXPECT_EQ(place.column, row.column);
  }
}

// A refused run is placed from what the Go command says failed, never from
// its message, which is kept as it is after the place.
TEST(SystemFilePlaces, RunFailuresPointAtWhatFailed) {
  using Kind = app::GoFailure::Kind;
  constexpr std::size_t kNone = app::GoFailure::kNoOffset;
  const cli::SystemFileRead read =
      cli::ParseSystemFile(kName, "names:  x1 ,  a(\n# note\nstart: 1,   1E400\nx1 + _\n  (x2\nx2\n");
  ASSERT_TRUE(read.system) << read.error;
  struct Row {
    app::GoFailure failure;
    cli::RunFields fields;
    std::string where;  // before the message; empty: not the file's fault
  };
  const cli::RunFields both{true, true};
  const cli::RunFields neither{false, false};
  const std::vector<Row> rows{
      {{.kind = Kind::Equation, .equation = 0, .offset = 7}, neither, "s.txt:5:3: "},
      {{.kind = Kind::Equation, .equation = 1}, neither, "s.txt:6: "},
      {{.kind = Kind::Equation, .equation = 0, .offset = 999}, neither, "s.txt:5:6: "},
      {{.kind = Kind::Equation, .equation = 2, .offset = 0}, both, ""},
      {{.kind = Kind::Name, .piece = 1, .offset = 1}, both, "s.txt:1:16: "},
      {{.kind = Kind::Name, .piece = 1, .offset = kNone}, both, "s.txt:1:15: "},
      {{.kind = Kind::Name, .piece = 2}, both, ""},
      {{.kind = Kind::Name, .piece = 1}, neither, ""},
      {{.kind = Kind::Value, .piece = 1}, both, "s.txt:3:13: "},
      {{.kind = Kind::Value, .piece = 1}, {true, false}, ""},
      {{.kind = Kind::NameCount}, both, "s.txt:1: "},
      {{.kind = Kind::NameCount}, {false, true}, ""},
      {{.kind = Kind::ValueCount}, both, "s.txt:3: "},
      {{.kind = Kind::ValueCount}, {true, false}, ""},
      {{.kind = Kind::LeftNumberRange}, both, ""},
      {{.kind = Kind::NoSystem}, both, ""},
  };
  // Words a message-reading locator would once have taken for a place.
  const std::string message = "Eq_2: The name 'x1' in Varaiabls";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.where + std::to_string(static_cast<int>(row.failure.kind)));
    EXPECT_EQ(cli::LocateRunError(*read.system, row.fields, row.failure, message), row.where + message);
  }
}

TEST(SystemFileHostile, LargeAndDeepTextsAreReadWithoutRecursion) {
  // 10 MB of equations, one line of 100,000 nested parentheses, a 1 MB line.
  std::string many;
  while (many.size() < 10'000'000) many += "x1 + 2*x2 - 3\n";
  const std::string deep = std::string(100'000, '(') + "x1" + std::string(100'000, ')') + "\n";
  const std::string wide = "x1" + std::string(1'000'000, ' ') + "- 1\n";
  for (const std::string* text : {static_cast<const std::string*>(&many), &deep, &wide}) {
    const cli::SystemFileRead read = cli::ParseSystemFile(kName, *text);
    ASSERT_TRUE(read.system) << read.error;
  }
  const auto failure = cli::CompileFailureOf(deep.substr(0, deep.size() - 1));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->description, "Out of stack space");
  EXPECT_LT(failure->offset, deep.size());
}

}  // namespace
