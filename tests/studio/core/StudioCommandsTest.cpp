// The studio's commands against the command line's own output for the same
// file, the places of faults in the editor's text, the lines a click or a
// zoom rewrites, and the report's plain text and Markdown.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/studio/StudioCommands.h"
#include "app/studio/StudioReport.h"
#include "cli/Cli.h"
#include "plot/Frame.h"

namespace {

// A system file on disk for the command line to read; the studio reads the same text.
class SystemFile {
 public:
  explicit SystemFile(const std::string& text) : text_(text) {
    char pattern[] = "/tmp/studio_test_XXXXXX";
    const int fd = mkstemp(pattern);
    close(fd);
    path_ = pattern;
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~SystemFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  std::string path_;
};

// What `nlsolve ARGS` prints, standard error first (as the studio shows it).
std::string CommandLine(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  cli::RunCli(args, out, err);
  return err.str() + out.str();
}

const std::string kCircle =
    "# a circle and a line\nnames: x, y\nstart: 1, 1.5\nr2 = x^2 + y^2\n4 = r2\nx = y\n";

TEST(StudioCommandsMatchTheCommandLine, SolveAndRootsPrintWhatNlsolvePrints) {
  struct Row {
    std::string text;
    problem::Method method;
    bool roots;
    std::vector<std::string> args;  // after the file
  };
  const std::string example1 = studio::ExampleText(1);
  const std::vector<Row> rows = {
      {kCircle, problem::Method::Hybrid, false, {"--method", "hybrid"}},
      {kCircle, problem::Method::Auto, false, {"--method", "auto"}},
      {example1, problem::Method::Newton, false, {}},
      {"names: x, y\nx^2 + zz\ny\n", problem::Method::Lm, false, {"--method", "lm"}},  // a warning first
      {kCircle, problem::Method::Auto, true, {}},
      {"x1^2 - 2*x2 - 2\nx1 - x2^3 - 1 +\n", problem::Method::Auto, false, {"--method", "auto"}},  // refused
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text + (row.roots ? " (roots)" : " (solve)"));
    const SystemFile file(row.text);
    studio::Settings settings;
    settings.method = row.method;
    std::vector<std::string> args{row.roots ? "roots" : "solve", file.Path()};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const studio::Outcome outcome = row.roots ? studio::FindRoots(file.Path(), file.Text(), settings, nullptr, {})
                                              : studio::Solve(file.Path(), file.Text(), settings, nullptr);
    EXPECT_FALSE(outcome.report.printed.empty());
    EXPECT_EQ(outcome.report.printed, CommandLine(args));
  }
}

TEST(StudioCommands, ACancelledSearchSaysSoAndClaimsNoCompleteness) {
  std::atomic<int> stop{1};
  studio::Settings settings;
  settings.certify = true;
  const studio::Outcome outcome =
      studio::FindRoots("many.txt", "box: -1000:1000\nsin(x1)\nsin(x2)\n", settings, &stop, {});
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_NE(outcome.report.printed.find("was cancelled; the roots listed are those found so far"), std::string::npos)
      << outcome.report.printed;
  // Only "not proved complete" may appear, never a claim of completeness.
  const std::string& printed = outcome.report.printed;
  for (std::size_t at = printed.find("complete: "); at != std::string::npos; at = printed.find("complete: ", at + 1))
    EXPECT_TRUE(at >= 11 && printed.compare(at - 11, 11, "not proved ") == 0) << printed;
  EXPECT_EQ(outcome.report.json.value("interrupted", false), true);
}

TEST(StudioCommands, ACancelledSolveSaysSo) {
  std::atomic<int> stop{1};
  studio::Settings settings;
  settings.method = problem::Method::Auto;
  const studio::Outcome outcome = studio::Solve("circle.txt", kCircle, settings, &stop);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_NE(outcome.report.printed.find("The solve was cancelled."), std::string::npos) << outcome.report.printed;
}

TEST(StudioCheck, FaultsAndWarningsStandWhereTheyAre) {
  struct Row {
    std::string text;
    problem::Method method;
    bool error;
    int line;
    int column;
    std::string words;  // part of the message
  };
  const std::vector<Row> rows = {
      {"names: x, y\nx^2 + y\nx - (y\n", problem::Method::Hybrid, true, 3, 7, "Eq_2"},
      {"names: x, y\nx^2 + y\nx - zz\n", problem::Method::Hybrid, false, 3, 5, "uses zz"},
      {"names: x, y\nnames: a, b\nx\ny\n", problem::Method::Auto, true, 2, 0, "names"},
      {"nmes: x, y\nx\ny\n", problem::Method::Auto, true, 1, 0, "nmes"},
      {"x1 - (x2\nx2\n", problem::Method::Newton, true, 1, 9, "Eq_1"},
      {"k = 2\nx1 - k\nx2\n", problem::Method::Auto, false, 0, 0, ""},  // a definition: no fault
      // A box of one range per name beside a definition (once refused as one range per line).
      {"names: x, y\nbox: -1:1, -2:2\nr2 = x^2 + y^2\n4 = r2\nx = y\n", problem::Method::Auto, false, 0, 0, ""},
      {"names: x, y\nbox: 0:1, 0:1, 0:1\nx\ny\n", problem::Method::Auto, true, 2, 0, "3 ranges for 2 names"},
      // On the Go road `a = b` is the language's comparison, said at its line.
      {"x1 = 2\nx2\n", problem::Method::Newton, false, 1, 1, "comparison"},
      {"x1\n", problem::Method::Newton, true, 0, 0, "solve takes 2 to 6 equations"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    studio::Settings settings;
    settings.method = row.method;
    const studio::Check check = studio::CheckText("s.txt", row.text, settings);
    ASSERT_EQ(check.diagnostics.empty(), row.words.empty());
    if (row.words.empty()) {
      EXPECT_TRUE(check.readable);
      continue;
    }
    const studio::Diagnostic& first = check.diagnostics.front();
    EXPECT_EQ(first.error, row.error);
    EXPECT_EQ(check.readable, !row.error);
    EXPECT_EQ(first.place.line, row.line);
    if (row.column > 0) {
      EXPECT_EQ(first.place.column, row.column);
    }
    EXPECT_NE(first.message.find(row.words), std::string::npos) << first.message;
  }
}

// The text with an edit applied, lines joined by "\n".
std::string Applied(const std::string& text, const studio::LineEdit& edit) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<std::string> result(lines.begin(), lines.begin() + (edit.first - 1));
  result.push_back(edit.text);
  result.insert(result.end(), lines.begin() + edit.last, lines.end());
  std::string joined;
  for (const std::string& line : result) joined += line + "\n";
  return joined;
}

TEST(StudioLineEdits, StartAndBoxReplaceTheirLinesOrFollowTheNames) {
  struct Row {
    std::string text;
    bool box;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"names: x, y\nstart: 1, 2\nx\ny\n", false, "names: x, y\nstart: 0.25, -3.5\nx\ny\n"},
      {"# c\nnames: x, y\nx\ny\n", false, "# c\nnames: x, y\nstart: 0.25, -3.5\nx\ny\n"},
      {"x1\nx2\n", false, "start: 0.25, -3.5\nx1\nx2\n"},
      {"start: 1, _\n  2\nx1\nx2\n", false, "start: 0.25, -3.5\nx1\nx2\n"},  // a continued line goes whole
      {"box: -1:1\nx1\nx2\n", true, "box: -2.5:0.5, 1:4\nx1\nx2\n"},
      {"names: a, b\na\nb\n", true, "names: a, b\nbox: -2.5:0.5, 1:4\na\nb\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const double start[2] = {0.25, -3.5};
    const std::optional<studio::LineEdit> edit =
        row.box ? studio::BoxEdit(row.text, plot::Box{-2.5, 0.5, 1, 4}, 0.01) : studio::StartEdit(row.text, start, 0.01);
    ASSERT_TRUE(edit);
    EXPECT_EQ(Applied(row.text, *edit), row.expected);
  }
  EXPECT_FALSE(studio::StartEdit("start: 1\nstart: 2\nx1\n", {}, 0.1)) << "a text the reader refuses has no known lines";
}

TEST(StudioLineEdits, NumbersAreWrittenToTheResolution) {
  struct Row {
    double value;
    double resolution;
    std::string text;
  };
  const std::vector<Row> rows = {{1.23456, 0.01, "1.23"}, {-0.0004, 0.01, "0"},  {120.0, 1, "120"},
                                 {2.5, 0.001, "2.5"},     {-3.14159, 0.0001, "-3.1416"}, {1E20, 0.1, "1E+20"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(studio::RoundedText(row.value, row.resolution), row.text);
  }
}

TEST(StudioPicture, PixelsMapBackToThePlane) {
  plot::Scene scene;
  scene.box = plot::Box{-3, 5, 10, 12};
  const plot::Frame frame = plot::SceneFrame(scene);
  for (const auto& [x, y] : std::vector<std::pair<double, double>>{{-3, 10}, {5, 12}, {0.5, 11.25}}) {
    const studio::PlanePoint point = studio::PlaneAt(scene, frame.PixelX(x), frame.PixelY(y));
    EXPECT_NEAR(point.x, x, 1E-9);
    EXPECT_NEAR(point.y, y, 1E-9);
    EXPECT_TRUE(studio::InsidePlot(scene, frame.PixelX(x), frame.PixelY(y)));
  }
  EXPECT_FALSE(studio::InsidePlot(scene, frame.PixelX(-3) - 5, frame.PixelY(11)));
}

TEST(StudioReportText, TablesAlignAndMarkdownKeepsCellsAndCodeWhole) {
  studio::Report report;
  report.title = "Roots: s.txt";
  report.printed = "a line with ``` inside\n";
  report.tables.push_back(studio::Table{"Roots", {"#", "x\xC3\xA9"}, {{{"1", 1.0}, {"a|b", std::nullopt}}}});
  EXPECT_EQ(studio::PlainText(report), "a line with ``` inside\n\nRoots\n#  x\xC3\xA9\n1  a|b\n");
  const std::string markdown = studio::Markdown(report);
  EXPECT_NE(markdown.find("````text\na line with ``` inside\n````\n"), std::string::npos) << markdown;
  EXPECT_NE(markdown.find("| 1 | a\\|b |"), std::string::npos) << markdown;
}

}  // namespace
