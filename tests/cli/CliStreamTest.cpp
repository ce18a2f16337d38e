// The stream view of a run and the JSON text.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/StreamUi.h"

namespace {

TEST(CliStreamUi, MessagesOneLineEachLogOnlyWhenAsked) {
  std::ostringstream log;
  std::ostringstream messages;
  cli::StreamUi ui(&log, messages);
  ui.PrintLine("IterNo=1Error=0.5");
  ui.Beep();
  ui.ShowMessage("Division by zero");
  ui.ShowMessage("NTry Must be positive integer ");  // the trailing blank is kept
  EXPECT_EQ(log.str(), "IterNo=1Error=0.5\n");
  EXPECT_EQ(messages.str(), "Division by zero\nNTry Must be positive integer \n");
  EXPECT_EQ(ui.Beeps(), 1);
  EXPECT_EQ(ui.Messages(), 2);

  std::ostringstream quietMessages;
  cli::StreamUi quiet(nullptr, quietMessages);
  quiet.PrintLine("dropped");
  EXPECT_EQ(quietMessages.str(), "");
}

TEST(CliStreamUi, LineBreaksInAMessageBecomeBlanks) {
  const std::vector<std::pair<std::string, std::string>> rows{
      {"a\r\nb", "a b"}, {"a\nb", "a b"}, {"a\rb", "a b"}, {"a\r\n\r\nb", "a  b"}, {"plain", "plain"}, {"", ""},
  };
  for (const auto& [text, line] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(cli::OneLine(text), line);
  }
}

TEST(CliJson, TextThatIsNotUtf8IsReplacedNotFatal) {
  nlohmann::json document;
  document["error"] = std::string("Type mismatch: 'x\xff'");
  std::string text;
  ASSERT_NO_THROW(text = cli::JsonText(document));
  const nlohmann::json back = nlohmann::json::parse(text);
  EXPECT_EQ(back["error"].get<std::string>(), "Type mismatch: 'x\xEF\xBF\xBD'");
}

TEST(CliJson, NumbersKeepFullPrecision) {
  app::GoResult result;
  result.ran = true;
  result.x = {1.0 / 3.0, -0.1};
  result.residuals = {1e-17, 0.0};
  eval::RecordingUi ui;
  const nlohmann::json back = nlohmann::json::parse(cli::JsonText(cli::SolveJson(result, ui)));
  EXPECT_EQ(back["x"][0].get<double>(), 1.0 / 3.0);
  EXPECT_EQ(back["x"][1].get<double>(), -0.1);
  EXPECT_EQ(back["residuals"][0].get<double>(), 1e-17);
  EXPECT_TRUE(back["error"].is_null());
}

}  // namespace
