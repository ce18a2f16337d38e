// --certify through the command line, on systems whose roots are known
// exactly: a certified enclosure must hold the true root, a list called
// complete must hold every root in the box, and what cannot be proved says why.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "cli/Batch.h"
#include "cli/Commands.h"

namespace {

using clitest::RunInProcess;
using nlohmann::json;
using Point = std::vector<double>;

const double kSqrt2 = std::sqrt(2.0);

// A true root given as a double (sqrt(2) rounded) may lie this many of its
// own units in the last place outside an enclosure of the exact root.
constexpr double kRootUlps = 4;

bool Holds(const json& box, const Point& p, double ulps) {
  for (std::size_t j = 0; j < p.size(); ++j) {
    const double slack = ulps * std::fabs(p[j]) * 0x1p-52;
    if (p[j] < box[j][0].get<double>() - slack || p[j] > box[j][1].get<double>() + slack) return false;
  }
  return true;
}

struct RootsRow {
  std::string name;
  std::vector<std::string> args;  // after "roots"
  bool complete;
  std::vector<Point> roots;  // every real root in the box, each to be certified
  Point undecidedAt;         // incomplete: a point some undecided box holds
  std::string certification;  // incomplete: part of the first root's reason, or of the line
};

TEST(CliRootsCertify, ClaimsHoldOnKnownRoots) {
  const std::vector<RootsRow> rows = {
      {"x^2-2, y-1 scaled by 1E-12", {"--eq", "1E-12*(x^2-2)", "--eq", "1E-12*(y-1)"}, true,
       {{-kSqrt2, 1}, {kSqrt2, 1}}, {}, ""},
      {"x^2-2, y-1 scaled by 1E8", {"--eq", "1E8*(x^2-2)", "--eq", "1E8*(y-1)"}, true, {{-kSqrt2, 1}, {kSqrt2, 1}},
       {}, ""},
      {"a double root", {"--eq", "(x-1)^2", "--eq", "y-1", "--budget", "2"}, false, {}, {1, 1},
       "singular or nearly singular root"},
  };
  for (const RootsRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = {"roots", "--vars", "x,y", "--certify", "--json"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const clitest::CliRun run = RunInProcess(args);
    const json document = json::parse(run.out);
    EXPECT_EQ(document["complete"], row.complete);
    const json& roots = document["roots"];
    for (const json& root : roots) EXPECT_EQ(root["foundBy"], "search");
    if (row.complete) {
      EXPECT_EQ(run.status, cli::kExitSuccess);
      EXPECT_TRUE(document["undecided"].empty());
      ASSERT_EQ(roots.size(), row.roots.size());
      for (std::size_t k = 0; k < roots.size(); ++k) {
        ASSERT_TRUE(roots[k]["certified"].get<bool>());
        EXPECT_TRUE(Holds(roots[k]["enclosure"], row.roots[k], kRootUlps)) << roots[k]["enclosure"];
      }
      EXPECT_NE(run.err.find("complete: these 2 roots are all the roots in the box (proved)\n"), std::string::npos)
          << run.err;
    } else {
      ASSERT_FALSE(roots.empty());
      EXPECT_FALSE(roots[0]["certified"].get<bool>());
      EXPECT_NE(roots[0]["certification"].get<std::string>().find(row.certification), std::string::npos)
          << roots[0]["certification"];
      bool held = false;
      for (const json& box : document["undecided"]) held = held || Holds(box, row.undecidedAt, 0);
      EXPECT_TRUE(held) << document["undecided"];
      EXPECT_NE(run.err.find("not proved complete: "), std::string::npos) << run.err;
    }
  }
}

// The search from one start may reach one root; the proof adds the other
// and says so, and the list is still complete.
TEST(CliRootsCertify, RootsTheSearchMissedAreAddedAsFoundByTheProof) {
  const clitest::CliRun run = RunInProcess({"roots", "--eq", "x^2-2", "--eq", "y-1", "--vars", "x,y", "--starts", "1",
                                            "--x0", "1,1", "--certify"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  const std::vector<std::string> lines = clitest::Lines(run.out);
  ASSERT_GE(lines.size(), 4u) << run.out;
  EXPECT_TRUE(clitest::StartsWith(lines[0], "x=1.414213562373")) << lines[0];
  EXPECT_NE(lines[0].find("  certified (width "), std::string::npos) << lines[0];
  EXPECT_TRUE(clitest::StartsWith(lines[1], "found by the proof: x=-1.41421356237309 y=1 ")) << lines[1];
  EXPECT_EQ(lines[3], "complete: these 2 roots are all the roots in the box (proved)");
}

// A function without an enclosure rule is named with its equation, in the
// root's reason and in the line that says the list is not complete.
TEST(CliRootsCertify, AFunctionWithoutAnEnclosureRuleIsNamed) {
  const clitest::CliRun run = RunInProcess({"roots", "--eq", "y-1", "--eq", "Modxy(x,3)+x-1.5", "--vars", "x,y",
                                            "--box", "0:2", "--x0", "0.75,1", "--budget", "2", "--certify"});
  EXPECT_NE(run.out.find("not certified: Eq_2 uses Modxy, a function without an enclosure rule"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\nnot proved complete: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Eq_2 uses Modxy, a function without an enclosure rule\n  undecided: ["), std::string::npos)
      << run.out;
}

// Hundreds of roots: the budget stops the proof, which then claims nothing.
TEST(CliRootsCertify, TheBudgetStopsTheProofWithoutAClaim) {
  const clitest::CliRun run = RunInProcess({"roots", "--eq", "Sin(40*x)*Cos(37*y)-0.1", "--eq",
                                            "Cos(33*x)+Sin(41*y)-0.2", "--vars", "x,y", "--certify", "--budget", "1",
                                            "--json"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  const json document = json::parse(run.out);
  EXPECT_FALSE(document["complete"].get<bool>());
  EXPECT_FALSE(document["undecided"].empty());
  EXPECT_NE(run.err.find("\nnot proved complete: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the time budget ran out\n"), std::string::npos) << run.err;
}

TEST(CliSolveCertify, TheAnswerIsProvedOrWhyNotIsSaid) {
  struct Row {
    std::string name;
    std::vector<std::string> args;
    int status;
    bool certified;
    Point root;          // certified: the exact root the enclosure must hold
    std::string reason;  // not certified: part of the reason, or of the usage message
  } rows[] = {
      {"a simple root", {"--eq", "x^2-2", "--eq", "y-1", "--x0", "1,1", "--method", "hybrid"}, 0, true, {kSqrt2, 1},
       ""},
      {"a double root", {"--eq", "(x-1)^2", "--eq", "y-1", "--x0", "0,0", "--method", "hybrid"}, 0, false, {},
       "singular or nearly singular root"},
      {"a function without a rule", {"--eq", "Modxy(x,7)+x-3.5", "--eq", "y-1", "--x0", "1,1", "--method", "hybrid"}, 0,
       false, {}, "Eq_1 uses Modxy, a function without an enclosure rule"},
      {"no root", {"--eq", "x^2+1", "--eq", "y", "--x0", "1,1", "--method", "hybrid", "--max-evaluations", "200"}, 1,
       false, {}, "the answer is not a root"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = {"solve", "--vars", "x,y", "--certify"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const clitest::CliRun text = RunInProcess(args);
    EXPECT_EQ(text.status, row.status) << text.err;
    args.push_back("--json");
    const clitest::CliRun run = RunInProcess(args);
    const json document = json::parse(run.out);
    EXPECT_EQ(document["certified"], row.certified);
    if (row.certified) {
      EXPECT_TRUE(Holds(document["enclosure"], row.root, kRootUlps)) << document["enclosure"];
      EXPECT_FALSE(document.contains("certification"));
      EXPECT_NE(text.out.find("\ncertified: exactly one root in ["), std::string::npos) << text.out;
      EXPECT_EQ(document["rootTest"], "scaled");
    } else {
      EXPECT_FALSE(document.contains("enclosure"));
      EXPECT_NE(document["certification"].get<std::string>().find(row.reason), std::string::npos)
          << document["certification"];
      EXPECT_NE(text.out.find("\nnot certified: " + document["certification"].get<std::string>() + "\n"),
                std::string::npos)
          << text.out;
    }
  }
}

// The Go road has no proof to give: --certify (or "certify": true) without
// a method beyond newton is refused, and a batch line with one is certified.
TEST(CliSolveCertify, TheGoRoadRefusesItAndBatchLinesTakeIt) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"solve", "--example", "1", "--certify"},
        std::vector<std::string>{"solve", "--eq", "x1-1", "--eq", "x2-1", "--method", "newton", "--certify"}}) {
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitUsage);
    EXPECT_TRUE(clitest::StartsWith(run.err, "nlsolve: --certify needs --method hybrid, lm or auto")) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const json refused = json::parse(cli::RunBatchLine(R"({"eq": ["x1-1", "x2-1"], "certify": true, "id": 1})", 1).json);
  EXPECT_NE(refused["error"].get<std::string>().find("needs a \"method\""), std::string::npos) << refused;
  const json notBool = json::parse(cli::RunBatchLine(R"({"eq": ["x1-1"], "method": "lm", "certify": 1})", 2).json);
  EXPECT_EQ(notBool["error"], "line 2: \"certify\" must be true or false");
  const json certified =
      json::parse(cli::RunBatchLine(R"({"eq": ["x1^2-2", "x2-1"], "start": [1, 1], "method": "auto", "certify": true})", 3)
                      .json);
  EXPECT_EQ(certified["certified"], true);
  EXPECT_TRUE(Holds(certified["enclosure"], {kSqrt2, 1}, kRootUlps)) << certified;
}

}  // namespace
