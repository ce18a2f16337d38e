// nlsolve batch: each line's result is the object of solve --json with its
// id, bad lines become error objects and the batch goes on, and the order and
// the results do not depend on the number of worker threads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "problem/SystemFile.h"

namespace {

using clitest::Lines;
using clitest::RunInProcess;
using clitest::TextFile;
using nlohmann::json;

constexpr std::string_view kExample1 = R"("eq": ["x1^2 - 2*x2 - 2", "x1 - x2^3 - 1"])";

struct BadLineRow {
  std::string line;
  json id;
  std::string error;  // after "line 7: "
};

TEST(BatchLines, BadLinesBecomeErrorObjects) {
  const std::string eq(kExample1);
  const std::vector<BadLineRow> rows{
      {"not json", nullptr, "not JSON: "},
      {"{\"eq\": [\"x1\", \"\xFF\"]}", nullptr, "not JSON: "},  // not UTF-8
      {"[1, 2]", nullptr, "a line must be a JSON object"},
      {R"({"id": 5, "eq": ["x1"]})", 5,
       R"(solve takes 2 to 6 equations; the system has 1; "method": "hybrid", "lm" or "auto" takes 1 equation or more)"},
      {R"({"id": "a", "eq": "x1"})", "a", "\"eq\" must be an array of equation texts"},
      {R"({"eq": [1, "x2"]})", nullptr, "\"eq[0]\" must be a text"},
      {R"({"id": 1})", 1, "a line needs \"eq\" (the equations) or \"file\" (a system file)"},
      {"{" + eq + R"(, "file": "s.txt"})", nullptr, "a line needs \"eq\" (the equations) or \"file\" (a system file)"},
      {"{" + eq + R"(, "strat": "1,1"})", nullptr,
       "unknown field \"strat\"; a batch line knows eq, file, names, start, method, definitions, bounds, certify, id"},
      {"{" + eq + R"(, "bounds": "0:1"})", nullptr,
       "\"bounds\" needs a \"method\" beyond newton (sparse, auto, hybrid or lm): the Go command takes no bounds"},
      {"{" + eq + R"(, "method": "Newton", "id": [2]})", json::array({2}),
       "unknown method \"Newton\"; the methods are newton, hybrid, lm, auto, sparse"},
      {R"({"eq": [], "method": "lm"})", nullptr, "--eq must be given at least once with --method lm (given 0)"},
      {"{" + eq + R"(, "method": 3})", nullptr, "\"method\" must be a text"},
      {"{" + eq + R"(, "start": {"x1": 1}})", nullptr, "\"start\" must be a text or an array"},
      {"{" + eq + R"(, "start": [1, true]})", nullptr, "\"start\"[1] must be a number or a text"},
      {"{" + eq + R"(, "names": ["x1,x2", "x3"]})", nullptr, "\"names\"[0] holds a comma"},
      {"{" + eq + R"(, "names": [1, 2]})", nullptr, "\"names\"[0] must be a text"},
      {R"({"file": "/nonexistent/s.txt"})", nullptr, "/nonexistent/s.txt: cannot open: No such file or directory"},
  };
  for (const BadLineRow& row : rows) {
    SCOPED_TRACE(row.line);
    const cli::BatchLineResult result = cli::RunBatchLine(row.line, 7);
    EXPECT_FALSE(result.converged);
    const json doc = json::parse(result.json);
    EXPECT_EQ(doc.size(), 3u);  // error, id, jsonVersion
    EXPECT_EQ(doc["id"], row.id);
    const std::string expected = "line 7: " + row.error;
    EXPECT_EQ(doc["error"].get<std::string>().substr(0, expected.size()), expected);
  }
}

// The batch object is solve --json's object for the same input, plus the id.
TEST(BatchLines, SameObjectAsSolveJson) {
  const TextFile file("names: u, v\nstart: 3, 3\nu^2 - 4\nv - (1 +\n");
  struct Row {
    std::string line;
    std::vector<std::string> solveArgs;
  };
  const std::vector<Row> rows{
      {"{" + std::string(kExample1) + R"(, "start": "1,1", "id": {"k": 1}})",
       {"--eq", "x1^2 - 2*x2 - 2", "--eq", "x1 - x2^3 - 1", "--x0", "1,1"}},
      {"{" + std::string(kExample1) + R"(, "names": ["x1", "x2"], "start": [0.5, 1E-3], "id": 2})",
       {"--eq", "x1^2 - 2*x2 - 2", "--eq", "x1 - x2^3 - 1", "--vars", "x1,x2", "--x0", "0.5,0.001"}},
      {R"({"eq": ["x1^2 + 1", "x2^2 + 1"], "start": "0.5,0.3", "id": 3})",
       {"--eq", "x1^2 + 1", "--eq", "x2^2 + 1", "--x0", "0.5,0.3"}},
      {R"({"file": ")" + file.Path() + R"(", "start": "-1,1", "id": 4})", {file.Path(), "--x0=-1,1"}},
      {"{" + std::string(kExample1) + R"(, "start": "1,1", "method": "newton", "id": 5})",
       {"--eq", "x1^2 - 2*x2 - 2", "--eq", "x1 - x2^3 - 1", "--x0", "1,1", "--method", "newton"}},
      {"{" + std::string(kExample1) + R"(, "start": "1,1", "method": "lm", "id": 6})",
       {"--eq", "x1^2 - 2*x2 - 2", "--eq", "x1 - x2^3 - 1", "--x0", "1,1", "--method", "lm"}},
      {R"({"file": ")" + file.Path() + R"(", "method": "auto", "id": 7})", {file.Path(), "--method", "auto"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<std::string> args{"solve", "--json"};
    args.insert(args.end(), row.solveArgs.begin(), row.solveArgs.end());
    const clitest::CliRun solve = RunInProcess(args);
    json expected = json::parse(solve.out);

    const cli::BatchLineResult result = cli::RunBatchLine(row.line, 1);
    json doc = json::parse(result.json);
    expected["id"] = json::parse(row.line)["id"];
    // A robust run's time is its own.
    expected.erase("seconds");
    doc.erase("seconds");
    EXPECT_EQ(doc, expected);
    EXPECT_EQ(result.converged, solve.status == cli::kExitSuccess);
  }
}

std::string Nested(int depth, std::string_view inner) {
  return std::string(static_cast<std::size_t>(depth), '[') + std::string(inner) +
         std::string(static_cast<std::size_t>(depth), ']');
}

// The id is the line's own text of its value: nothing is rounded, re-escaped
// or reordered; only blanks outside strings go.
TEST(BatchLines, IdsComeBackAsWritten) {
  const std::string eq(kExample1);
  struct Row {
    std::string line;
    std::string idText;
  };
  const std::vector<Row> rows{
      {"{" + eq + R"(, "id": 123456789012345678901234567890})", "123456789012345678901234567890"},  // beyond 64 bits
      {"{" + eq + R"(, "id": 1})", "1"},
      {"{" + eq + R"(, "id": 1.50E+3})", "1.50E+3"},
      // Escapes kept as written (plain literals: a raw one would turn \u0041 into A).
      {"{" + eq + ", \"id\": \"\\u0041 b\\\"]\"}", "\"\\u0041 b\\\"]\""},
      {"{" + eq + R"(, "id" :  [1, "a b" , {"k" : 2}] })", R"([1,"a b",{"k":2}])"},
      {"{" + eq + ", \"\\u0069d\": 7}", "7"},  // the key spelled with an escape
      {R"({"id": 1, "eq": ["x1"], "id": "last"})", R"("last")"},  // a repeated key: the last counts
      {R"({"eq": ["x1"], "id": )" + Nested(99, "") + "}", Nested(99, "")},
      {R"({"id":false,"eq":1})", "false"},
      {"\xEF\xBB\xBF {\"id\": 5, \"eq\": 1}", "5"},  // after a byte order mark
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const cli::BatchLineResult result = cli::RunBatchLine(row.line, 1);
    const std::string member = "\"id\":" + row.idText;
    EXPECT_TRUE(result.json.find(member + ",") != std::string::npos ||
                result.json.find(member + "}") != std::string::npos)
        << result.json;
    EXPECT_TRUE(json::accept(result.json));
  }
}

// Json failures in our words, and nesting refused before anything is parsed
// (50000 levels used to overflow a worker's stack while the id was copied).
TEST(BatchLines, JsonFailuresInOurWords) {
  const std::string eq(kExample1);
  const std::vector<BadLineRow> rows{
      {"{" + eq + R"(, "start": [1e999, 1], "id": 1})", nullptr, "a number is out of range: 1e999"},
      {R"({"id": -2E+400})", nullptr, "a number is out of range: -2E+400"},
      {R"({"id": 1,})", nullptr, "not JSON: byte 10: syntax error while parsing object key"},
      {R"({"id": )" + Nested(100, "") + "}", nullptr, "arrays and objects nest deeper than 100 levels"},
      {R"({"id": )" + Nested(50000, "") + "}", nullptr, "arrays and objects nest deeper than 100 levels"},
      {R"({"id": 1, "eq": ")" + std::string(200, '[') + R"(", "x": )" + Nested(50, "") + "}", 1,
       "unknown field \"x\""},  // brackets inside strings do not count
  };
  for (const BadLineRow& row : rows) {
    SCOPED_TRACE(row.line.substr(0, 80));
    const cli::BatchLineResult result = cli::RunBatchLine(row.line, 3);
    const json doc = json::parse(result.json);
    EXPECT_EQ(doc["id"], row.id);
    const std::string expected = "line 3: " + row.error;
    EXPECT_EQ(doc["error"].get<std::string>().substr(0, expected.size()), expected);
    EXPECT_EQ(result.json.find("json.exception"), std::string::npos);
  }
}

// A "file" that is not a regular file would swallow the batch (standard
// input) or block it for ever (a FIFO without a writer): refused per line.
TEST(BatchLines, FileFieldsNameRegularFiles) {
  const std::string fifo = "/tmp/nlsolve_batch_fifo_" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<BadLineRow> rows{
      {R"({"file": "/dev/stdin", "id": 1})", 1, "/dev/stdin: not a regular file; \"file\" must name one"},
      {R"({"file": ")" + fifo + R"(", "id": 2})", 2, fifo + ": not a regular file; \"file\" must name one"},
      {R"({"file": "/", "id": 3})", 3, "/: not a regular file; \"file\" must name one"},
      {R"({"file": "-", "id": 4})", 4,
       "\"file\": \"-\" would be standard input, which holds the batch; name a regular file"},
  };
  for (const BadLineRow& row : rows) {
    SCOPED_TRACE(row.line);
    const json doc = json::parse(cli::RunBatchLine(row.line, 1).json);
    EXPECT_EQ(doc["id"], row.id);
    EXPECT_EQ(doc["error"], "line 1: " + row.error);
  }
  unlink(fifo.c_str());
}

// A mix of good, failing and bad lines, with blank lines between.
std::string MixedBatch(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const std::string id = std::to_string(i);
    switch (i % 4) {
      case 0:
        text += "{" + std::string(kExample1) + R"(, "start": [)" + std::to_string(i % 7) + ", 1], \"id\": " + id + "}\n";
        break;
      case 1:
        text += R"({"eq": ["x1^2 + 1", "x2 - 1"], "id": )" + id + "}\n\n";
        break;
      case 2:
        text += R"({"eq": ["x1 - 1", "x2 - (1 +"], "id": )" + id + "}\r\n";
        break;
      default:
        text += R"({"id": )" + id + ", \"eq\": 1}\n   \n";
    }
  }
  return text;
}

TEST(BatchCommand, ResultsInInputOrderWhateverTheJobs) {
  constexpr int kLines = 60;
  const TextFile file(MixedBatch(kLines));
  const clitest::CliRun one = RunInProcess({"batch", file.Path(), "--jobs", "1"});
  EXPECT_EQ(one.status, cli::kExitFailure);
  EXPECT_EQ(one.err, "");
  const std::vector<std::string> lines = Lines(one.out);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLines));
  for (int i = 0; i < kLines; ++i) {
    SCOPED_TRACE(i);
    const json doc = json::parse(lines[static_cast<std::size_t>(i)]);
    EXPECT_EQ(doc["id"], i);
    EXPECT_EQ(doc.contains("converged"), i % 4 != 3);
  }
  for (const std::string jobs : {"2", "7"}) {
    SCOPED_TRACE(jobs);
    const clitest::CliRun many = RunInProcess({"batch", file.Path(), "--jobs", jobs});
    EXPECT_EQ(many.status, cli::kExitFailure);
    EXPECT_EQ(many.out, one.out);
  }
}

TEST(BatchCommand, ExitStatusAndInputs) {
  const std::string good = "{" + std::string(kExample1) + R"(, "start": "1,1", "id": 1})";
  const TextFile allGood(good + "\n" + good);  // no line end after the last line
  const clitest::CliRun run = RunInProcess({"batch", allGood.Path()});
  EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
  EXPECT_EQ(Lines(run.out).size(), 2u);

  const TextFile empty("");
  EXPECT_EQ(RunInProcess({"batch", empty.Path()}).out, "");

  // Standard input, with FILE left out and as "-"; no progress line off a terminal.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"batch"}, {"batch", "-", "--jobs", "2"}}) {
    const clitest::CliRun piped = clitest::RunProcessWithInput(args, good + "\nnot json\n");
    EXPECT_EQ(piped.status, cli::kExitFailure);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(Lines(piped.out).size(), 2u);
  }

  const clitest::CliRun missing = RunInProcess({"batch", "/nonexistent/b.jsonl"});
  EXPECT_EQ(missing.status, cli::kExitFailure);
  EXPECT_EQ(missing.err, "nlsolve batch: /nonexistent/b.jsonl: cannot open: No such file or directory\n");
  EXPECT_EQ(RunInProcess({"batch", "/"}).err, "nlsolve batch: /: cannot read: Is a directory\n");
  EXPECT_EQ(RunInProcess({"batch", "--jobs", "0"}).status, cli::kExitUsage);
}

TEST(BatchCommand, ALineBeyondTheLimitIsSkippedNotHeld) {
  const std::string good = "{" + std::string(kExample1) + R"(, "start": "1,1"})";
  const TextFile file(good + "\n" + std::string(cli::kMaxSystemFileBytes + 1, 'x') + "\n" + good + "\n");
  const clitest::CliRun run = RunInProcess({"batch", file.Path(), "--jobs", "2"});
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(json::parse(lines[1])["error"], "line 2: longer than the limit of a system file");
  EXPECT_TRUE(json::parse(lines[2])["converged"].get<bool>());
}

}  // namespace
