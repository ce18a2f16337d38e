// The Go button on loaded examples: answer field, title, log surface and
// messages, checked against the equations computed natively.
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "app/Form1.h"
#include "eval/SolverUi.h"

namespace {

// Newton stops once its correction is below 1E-5; convergence is quadratic
// near a simple root, so the equations at the answer are orders smaller.
constexpr double kResidualTolerance = 1e-6;
// Below this magnitude a value rounds to 0 at seven decimals in the title.
constexpr double kRoundsToZero = 5e-8;
// The answer lines carry 15 significant digits.
constexpr double kAnswerTextPrecision = 1e-12;

using System = std::function<std::vector<double>(const std::vector<double>&)>;

// Example 1 and example 4, written natively.
std::vector<double> Example1(const std::vector<double>& x) {
  return {x[0] * x[0] - 2 * x[1] - 2, x[0] - x[1] * x[1] * x[1] - 1};
}
std::vector<double> Example4(const std::vector<double>& x) {
  const double pi = std::numbers::pi;
  return {3 * x[0] - std::cos(x[1] * x[2]) - 0.5, 4 * x[0] * x[0] - 625 * x[1] * x[1] + 2 * x[1] - 1,
          std::exp(-x[0] * x[1]) + 20 * x[2] + (10 * pi - 3) / 3};
}

// The values of the answer field's lines "x1= v", "x2= v", ... in order; an
// empty result when any line has another form.
std::vector<double> AnswerValues(const QString& answer) {
  static const QRegularExpression line(QStringLiteral("^x(\\d+)= (\\S+)$"));
  std::vector<double> values;
  const QStringList lines = answer.split('\n', Qt::SkipEmptyParts);
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QRegularExpressionMatch match = line.match(lines[i]);
    if (!match.hasMatch() || match.captured(1).toInt() != i + 1) return {};
    bool ok = false;
    values.push_back(match.captured(2).toDouble(&ok));
    if (!ok) return {};
  }
  return values;
}

// The part of a log line after the given prefix.
QString After(const QString& line, const QString& prefix) {
  return line.startsWith(prefix) ? line.mid(prefix.size()) : QStringLiteral("<missing ") + prefix + ">";
}

class Form1Go : public ::testing::Test {
 protected:
  void SetUp() override { form_.show(); }

  // Loads list row `row`, presses Go and checks what every run shows: one
  // answer line per unknown, the equations near zero there, the Newton lines
  // last on the log and a title that reads zero for each equation.
  std::vector<double> LoadAndGo(int row, int nEq, const System& system) {
    windowtest::DoubleClickRow(form_, row);
    windowtest::ClickGo(form_);

    const QString answer = form_.TxtAns()->toPlainText();
    EXPECT_FALSE(answer.contains('\r'));
    EXPECT_TRUE(answer.endsWith('\n')) << "every answer line ends with a line break";
    const std::vector<double> x = AnswerValues(answer);
    EXPECT_EQ(static_cast<int>(x.size()), nEq) << answer.toStdString();
    if (static_cast<int>(x.size()) != nEq) return x;

    const std::vector<double> residuals = system(x);
    QString zeroTitle = QStringLiteral("Fxyz1= 0;Fxyz2= 0");
    if (nEq == 3) zeroTitle += QStringLiteral(";Fxyz3= 0");
    for (int i = 0; i < nEq; ++i) {
      SCOPED_TRACE(i + 1);
      EXPECT_LT(std::abs(residuals[i]), kResidualTolerance);
      EXPECT_LT(std::abs(residuals[i]), kRoundsToZero);
    }
    EXPECT_EQ(form_.windowTitle(), zeroTitle);

    // The last lines on the log are the final iterate, as the answer shows it.
    const QStringList log = form_.PicPrint()->Lines();
    EXPECT_GE(log.size(), 2 * nEq + 2);
    for (int i = 1; i <= nEq && log.size() >= nEq; ++i) {
      const QString printed = After(log[log.size() - nEq + i - 1], QString("x(%1)= ").arg(i));
      EXPECT_NEAR(printed.toDouble(), x[i - 1], kAnswerTextPrecision) << printed.toStdString();
    }
    EXPECT_EQ(form_.State().x.size(), static_cast<std::size_t>(nEq));
    return x;
  }

  eval::RecordingUi recorder_;
  app::Form1 form_{&recorder_};
};

TEST_F(Form1Go, TwoEquationsRunNewtonOnlyFromTheTypedValues) {
  LoadAndGo(0, 2, Example1);
  const QStringList log = form_.PicPrint()->Lines();
  ASSERT_GE(log.size(), 3);
  EXPECT_EQ(log[0], "i=1x(1)=0");
  EXPECT_EQ(log[1], "i=2x(2)=0");
  EXPECT_EQ(log[2], "NEWTON METHOD FOR NONLINEAR SYSTEMS");
  EXPECT_FALSE(log.join('\n').contains("STEEPEST"));
  // Three lines per iteration after the three starting lines.
  EXPECT_EQ(log.size() % 3, 0);
  EXPECT_TRUE(recorder_.messages.empty()) << "Newton says nothing when it converges";
  EXPECT_EQ(recorder_.beeps, 0);
  EXPECT_FALSE(form_.PicPrint()->isVisible());
}

TEST_F(Form1Go, ThreeEquationsRunSteepestDescentFirst) {
  const std::vector<double> x = LoadAndGo(3, 3, Example4);
  ASSERT_EQ(x.size(), 3u);
  const QStringList log = form_.PicPrint()->Lines();
  ASSERT_GE(log.size(), 7);
  EXPECT_EQ(log[0], "STEEPEST DESCENT METHOD FOR NONLINEAR SYSTEMS");
  EXPECT_EQ(log[1], "Iter. No.   Vector    G(vector)");
  // Newton starts where steepest descent stopped, not at the typed zeros.
  QStringList start;
  for (int i = 1; i <= 3; ++i) start << After(log[2 + i], QString("i=%1x(%1)=").arg(i));
  EXPECT_NE(start, (QStringList{"0", "0", "0"}));
  EXPECT_EQ(log[6], "NEWTON METHOD FOR NONLINEAR SYSTEMS");

  ASSERT_EQ(recorder_.messages.size(), 1u) << "steepest descent reports its outcome";
  const std::vector<std::string> outcomes = {
      "PROCEDURE COMPLETED SUCCESSFULLY", "MAXIMUM ITERATIONS EXCEEDED", "ZERO GRADIENT: MAY HAVE MIN",
      "NO LIKELY IMPROVEMENT: MAY HAVE MIN", "NO CHANGE LIKELY: PROBABLY ROUNDING DIFFICULTIES"};
  EXPECT_NE(std::find(outcomes.begin(), outcomes.end(), recorder_.messages[0]), outcomes.end())
      << recorder_.messages[0];

  // Two roots lie close together here, (0.5, 0, -pi/6) and one with x2 near
  // 2/625; the native residuals checked above hold for whichever is found.
  // Both have x1 within a millionth of 0.5.
  constexpr double kFirstCoordinateSpread = 1e-6;
  EXPECT_NEAR(x[0], 0.5, kFirstCoordinateSpread);
}

TEST_F(Form1Go, SecondClickGivesTheSameAnswerAndTheLogGrows) {
  LoadAndGo(0, 2, Example1);
  const QString answer = form_.TxtAns()->toPlainText();
  const QString title = form_.windowTitle();
  const QStringList firstLog = form_.PicPrint()->Lines();

  windowtest::ClickGo(form_);
  EXPECT_EQ(form_.TxtAns()->toPlainText(), answer);
  EXPECT_EQ(form_.windowTitle(), title);
  const QStringList log = form_.PicPrint()->Lines();
  ASSERT_EQ(log.size(), 2 * firstLog.size()) << "nothing clears the log surface";
  EXPECT_EQ(log.mid(firstLog.size()), firstLog);
}

TEST_F(Form1Go, AnswerLinesAreNumberedWhateverTheNames) {
  windowtest::DoubleClickRow(form_, 0);
  form_.TxtVars()->setText("a,b");
  form_.TxtEqs(0)->setText("a^2-2*b-2");
  form_.TxtEqs(1)->setText("a-b^3-1");
  windowtest::ClickGo(form_);
  const std::vector<double> x = AnswerValues(form_.TxtAns()->toPlainText());
  ASSERT_EQ(x.size(), 2u) << form_.TxtAns()->toPlainText().toStdString();
  for (const double r : Example1(x)) EXPECT_LT(std::abs(r), kResidualTolerance);
}

TEST_F(Form1Go, GoBeforeAnyExampleChangesNoField) {
  windowtest::ClickGo(form_);
  EXPECT_EQ(form_.TxtAns()->toPlainText(), "Text1");
  EXPECT_EQ(form_.windowTitle(), "Form1");
  EXPECT_FALSE(recorder_.messages.empty()) << "the user is told why nothing was solved";
  EXPECT_EQ(windowtest::VisibleFields(form_), std::vector<bool>(app::kMaxEquations, false));
}

TEST_F(Form1Go, AFailedRunKeepsThePreviousAnswerAndTitle) {
  LoadAndGo(0, 2, Example1);
  const QString answer = form_.TxtAns()->toPlainText();
  const QString title = form_.windowTitle();
  recorder_.messages.clear();

  form_.TxtEqs(0)->setText("x1^2-2*(x2-2");  // the parenthesis never closes
  windowtest::ClickGo(form_);
  EXPECT_FALSE(recorder_.messages.empty()) << "the engine's description is shown";
  EXPECT_EQ(form_.TxtAns()->toPlainText(), answer);
  EXPECT_EQ(form_.windowTitle(), title);
}

TEST_F(Form1Go, AFailingEvaluationBeepsBeforeItsMessage) {
  windowtest::DoubleClickRow(form_, 0);
  form_.TxtEqs(0)->setText("(x1+1)/0");  // (0/0 would be an overflow, not a division by zero)
  windowtest::ClickGo(form_);
  const auto beep = std::find(recorder_.events.begin(), recorder_.events.end(), "beep");
  ASSERT_NE(beep, recorder_.events.end());
  ASSERT_NE(beep + 1, recorder_.events.end());
  EXPECT_EQ(*(beep + 1), "message:Division by zero");
  EXPECT_FALSE(form_.PicPrint()->isVisible());
}

}  // namespace
