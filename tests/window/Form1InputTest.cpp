// What the user types, pastes and presses reaches the Go command whole, and
// the answer field shows its lines plainly. Each case was found by driving
// the window from outside.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "WindowTestSupport.h"
#include "app/Form1.h"
#include "eval/SolverUi.h"

namespace {

class Form1Input : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.show();
    windowtest::DoubleClickRow(form_, 0);  // two equations
  }

  // How many Go commands have run: each prints Newton's header once.
  int GoRuns() const {
    const QStringList log = form_.PicPrint()->Lines();
    return static_cast<int>(std::count(log.begin(), log.end(), QStringLiteral("NEWTON METHOD FOR NONLINEAR SYSTEMS")));
  }

  eval::RecordingUi recorder_;
  app::Form1 form_{&recorder_};
};

TEST_F(Form1Input, KeysOnTheFocusedGoButtonRunTheCommand) {
  struct Row {
    const char* what;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  };
  const Row rows[] = {
      {"Space", Qt::Key_Space, Qt::NoModifier},
      {"Return", Qt::Key_Return, Qt::NoModifier},
      {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    form_.setWindowTitle(QStringLiteral("Form1"));
    const int before = GoRuns();
    form_.CmdExecute()->setFocus();
    QTest::keyClick(form_.CmdExecute(), row.key, row.modifiers);
    EXPECT_EQ(GoRuns(), before + 1);
    EXPECT_TRUE(form_.windowTitle().startsWith(QStringLiteral("Fxyz1= ")));
  }
  // Return in a text field runs nothing.
  const int before = GoRuns();
  QTest::keyClick(form_.TxtVars(), Qt::Key_Return);
  EXPECT_EQ(GoRuns(), before);
}

TEST_F(Form1Input, ALongPasteIsKeptWholeAndSolved) {
  // Beyond the 32,767 characters a line field once kept: the last two
  // characters change the root from 1 to 2.
  constexpr int kLength = 200000;
  const QString equation = QStringLiteral("x1-1") + QString(kLength - 6, QLatin1Char(' ')) + QStringLiteral("-1");
  ASSERT_EQ(equation.size(), kLength);
  QApplication::clipboard()->setText(equation);
  QLineEdit* field = form_.TxtEqs(0);
  field->setFocus();
  field->selectAll();
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(field->text(), equation);

  form_.TxtEqs(1)->setText(QStringLiteral("x2-3"));
  form_.TxtVarsI()->setText(QStringLiteral("0,0"));
  windowtest::ClickGo(form_);
  EXPECT_EQ(form_.TxtAns()->toPlainText().toStdString(), "x1= 2\nx2= 3\n");
}

TEST_F(Form1Input, AnswerScrollBarOnlyWhenTheLinesDoNotFit) {
  struct Row {
    const char* what;
    QString text;
    bool scrollBar;
  };
  const Row rows[] = {
      {"three answer lines", QStringLiteral("x1= 0.499999532523686\nx2= 0.0031990664455381\nx3= -0.523518862940355\n"), false},
      {"the opening text", QStringLiteral("Text1"), false},
      {"six answer lines", QStringLiteral("x1= 1\nx2= 2\nx3= 3\nx4= 4\nx5= 5\nx6= 6\n"), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    form_.TxtAns()->setPlainText(row.text);
    QApplication::processEvents();
    EXPECT_EQ(form_.TxtAns()->verticalScrollBar()->isVisible(), row.scrollBar);
  }
}

TEST_F(Form1Input, LibraryMessagesOfTheSecondGoReachTheUser) {
  // The library once kept the first command's interface, dead by the second.
  windowtest::ClickGo(form_);
  recorder_.messages.clear();
  form_.TxtEqs(1)->setText(QStringLiteral("x1-x2^3-1+0*Gcd(0, 5)"));
  windowtest::ClickGo(form_);
  ASSERT_FALSE(recorder_.messages.empty());
  for (const std::string& message : recorder_.messages) EXPECT_EQ(message, "Err input data");
}

}  // namespace
