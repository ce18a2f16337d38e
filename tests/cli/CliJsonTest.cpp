// Every command's JSON: one key style (camelCase), the version on every
// document; and help printing the defaults of the options structures.
#include <gtest/gtest.h>

#include "robust/Verdict.h"

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/Batch.h"
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "eval/NumberText.h"
#include "robust/Robust.h"
#include "robust/Roots.h"

namespace {

// Lower-case first letter, then letters and digits only.
bool IsCamelCase(const std::string& key) {
  if (key.empty() || !std::islower(static_cast<unsigned char>(key.front()))) return false;
  for (char c : key)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

// Keys of our own naming, below `value`; objects keyed by the user's names
// (a gradient, definitions) are skipped.
void CheckKeys(const nlohmann::json& value, const std::string& path) {
  if (value.is_array()) {
    for (const auto& item : value) CheckKeys(item, path + "[]");
  } else if (value.is_object()) {
    for (const auto& [key, item] : value.items()) {
      EXPECT_TRUE(IsCamelCase(key)) << path << "." << key;
      if (key != "gradient" && key != "definitions") CheckKeys(item, path + "." + key);
    }
  }
}

struct JsonRow {
  std::string name;
  std::vector<std::string> args;
};

TEST(CliJson, EveryDocumentIsCamelCaseAndVersioned) {
  const std::vector<JsonRow> rows{
      {"solve, the Go command", {"solve", "--example", "1", "--x0", "1,1", "--json"}},
      {"solve --method", {"solve", "--eq", "x1^2-2", "--eq", "x2-r", "--def", "r=1", "--method", "hybrid", "--json"}},
      {"solve --method refused", {"solve", "--eq", "x1^2-(", "--method", "lm", "--json"}},
      {"roots", {"roots", "--eq", "x^2-1", "--vars", "x", "--def", "d=2*x", "--starts", "8", "--json"}},
      {"jacobian", {"jacobian", "--eq", "x1*x2", "--eq", "1/x2", "--at", "2,0", "--json"}},
      {"eval --grad", {"eval", "--grad", "--json", "--var", "x=2", "x^2+y"}},
  };
  for (const JsonRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::ostringstream out, err;
    cli::RunCli(row.args, out, err);
    const nlohmann::json document = nlohmann::json::parse(out.str());
    EXPECT_EQ(document.value(std::string(cli::kJsonVersionKey), 0), cli::kJsonVersion) << out.str();
    CheckKeys(document, "");
  }
  for (const std::string line : {R"({"eq": ["x1-1", "x2-2"], "id": 1})",
                                 R"({"eq": ["x1-1"], "method": "auto", "id": 2})", R"({"eq": 3, "id": 3})"}) {
    SCOPED_TRACE(line);
    const nlohmann::json document = nlohmann::json::parse(cli::RunBatchLine(line, 1).json);
    EXPECT_EQ(document.value(std::string(cli::kJsonVersionKey), 0), cli::kJsonVersion);
    CheckKeys(document, "");
  }
}

TEST(CliHelp, ShowsTheDefaultsOfTheOptionsStructures) {
  std::ostringstream out, err;
  ASSERT_EQ(cli::RunCli(std::vector<std::string>{"--help"}, out, err), cli::kExitSuccess);
  const std::string help = out.str();
  const robust::Options solve;
  const robust::RootsOptions roots;
  for (const std::string& expected :
       {"--max-evaluations (" + eval::NumberText(static_cast<double>(solve.maxEvaluations)) + ")",
        "--max-seconds (" + eval::NumberText(solve.maxSeconds) + ")",
        "--max-starts (" + eval::NumberText(solve.maxStarts) + ")",
        "within " + eval::NumberText(robust::detail::kRootErrorMultiple) + " times what rounding",
        "--budget (" + eval::NumberText(roots.maxSeconds) + ")",
        "--seed (" + eval::NumberText(static_cast<double>(roots.seed)) + ")",
        "at most " + std::to_string(cli::kMaxJobs)}) {
    SCOPED_TRACE(expected);
    EXPECT_NE(help.find(expected), std::string::npos);
  }
}

}  // namespace
