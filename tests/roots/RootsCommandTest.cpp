// nlsolve roots through the command line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/Cli.h"
#include "cli/RootsCommand.h"

namespace cli {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Roots(std::vector<std::string> args) {
  args.insert(args.begin(), "roots");
  std::ostringstream out, err;
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(RootsCommand, JsonHasExactlyTheDocumentedKeys) {
  const Outcome run = Roots({"--eq", "x1^2-1", "--eq", "x2^2-1", "--box", "-3:3", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json document = nlohmann::json::parse(run.out);
  std::vector<std::string> keys;
  for (const auto& item : document.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"box", "evaluations", "jsonVersion", "names", "outsideBox", "roots",
                                            "seconds", "start", "startsTried", "unseenEstimate", "warnings"}));
  ASSERT_EQ(document["roots"].size(), 4u);
  keys.clear();
  for (const auto& item : document["roots"][0].items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"conditionEstimate", "maxAbsResidual", "residualBounds", "rootTest",
                                            "starts", "worstRatio", "x"}));
  EXPECT_EQ(document["roots"][0]["x"], (nlohmann::json{-1.0, -1.0}));
  EXPECT_EQ(document["roots"][3]["x"], (nlohmann::json{1.0, 1.0}));
  // The sentence goes to stderr, so stdout stays one document; no progress line off a terminal.
  EXPECT_EQ(run.err,
            "found 4 roots in the box with 128 starts (each within its rounding bound at the equations' scale); no "
            "unseen root is likely\n");
}

TEST(RootsCommand, PlainOutputOneLinePerRootThenTheSentence) {
  const Outcome run = Roots({"--eq", "x^2-4", "--vars", "x", "--starts", "8", "--box", "0:5"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.substr(0, 4), "x=2 ");
  EXPECT_NE(run.out.find("\noutside the box: x=-2 "), std::string::npos);
  EXPECT_NE(run.out.find("\nfound 1 root in the box with 8 starts (each within its rounding bound at the equations' "
                         "scale); "),
            std::string::npos);
  EXPECT_NE(run.out.find("; 1 root outside the box listed apart\n"),
            std::string::npos);
}

TEST(RootsCommand, NoRootIsAFailureNotAClaim) {
  const Outcome run = Roots({"--eq", "x1^2+x2^2+1", "--eq", "x1-x2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "found no root in the box with 64 starts; no start reached an isolated root, so roots not found cannot "
            "be estimated\n");
}

TEST(RootsCommand, StartsWhereTheEquationsFailAreCountedAndSkipped) {
  const Outcome run = Roots({"--eq", "log(x)-1", "--vars", "x", "--box", "-5:5", "--starts", "20"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("x=2.71828182845905 ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("; the equations cannot be evaluated at 10 of the 20 starts\n"), std::string::npos) << run.out;
}

TEST(RootsCommand, WrongInputIsNamed) {
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* message;
  } rows[] = {
      {{}, 2, "--eq must be given 1 to 100 times (given 0)"},
      {{"--eq", "x^2-1", "--vars", "x,y"}, 2, "--vars: needs 1 name, one per equation (given 2)"},
      {{"--eq", "x1", "--eq", "x2", "--x0", "1"}, 2, "--x0: needs 2 values, one per unknown (given 1)"},
      {{"--eq", "x1", "--x0", "1e999"}, 2, "--x0: '1e999' is beyond the largest number"},
      {{"--eq", "x1", "--eq", "x2", "--box", "0:1,0:1,0:1"}, 2,
       "--box: needs one LOW:HIGH for every unknown or one per unknown (2), got 3"},
      {{"--eq", "x1", "--box", "2:1"}, 2, "--box: expected LOW below HIGH, got '2:1'"},
      {{"--eq", "x1", "--box", "a:1"}, 2, "--box: 'a' is not a number"},
      {{"--eq", "x1", "--box", "-1"}, 2, "--box: expected LOW:HIGH, got '-1'"},
      {{"--eq", "x1", "--eq", "x2*("}, 1, "nlsolve roots: --eq (column 5): Eq_2: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    const Outcome run = Roots(row.args);
    EXPECT_EQ(run.status, row.status);
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST(RootsCommand, BoxOneIntervalForAllOrOnePerUnknown) {
  std::string problem;
  using Box = std::vector<std::pair<double, double>>;
  EXPECT_EQ(ParseBox("-2:3", 3, problem), (Box{{-2, 3}, {-2, 3}, {-2, 3}}));
  EXPECT_EQ(ParseBox(" -1.5 : 2 ,+0:1E3", 2, problem), (Box{{-1.5, 2}, {0, 1000}}));
  EXPECT_FALSE(ParseBox("1:2,", 2, problem));
  EXPECT_FALSE(ParseBox("", 1, problem));
}

}  // namespace
}  // namespace cli
