#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Examples.h"
#include "app/GoCommand.h"
#include "app/ProblemState.h"
#include "eval/NumberText.h"
#include "eval/SolverUi.h"

namespace {

using app::GoResult;
using app::InputFields;
using app::ProblemState;

// Newton's tolerance on the correction leaves residuals of this order at most.
constexpr double kSolvedResidual = 1E-6;

struct Session {
  ProblemState state;
  InputFields fields;
  eval::RecordingUi ui;

  void LoadExample(int n) { app::LoadExampleEntry(app::ExampleEntryText(n), state, fields); }
  void Type(std::vector<std::string> eqs, std::string vars, std::string values) {
    state.nEq = static_cast<std::int16_t>(eqs.size());
    for (std::size_t i = 0; i < eqs.size(); ++i) fields.txtEqs[i] = eqs[i];
    fields.txtVars = std::move(vars);
    fields.txtVarsI = std::move(values);
  }
  GoResult Go() { return app::CmdExecute_Click(fields, state, ui); }
};

std::vector<std::string> Lines(const std::string& answer) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < answer.size()) {
    const std::size_t end = answer.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(answer.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(answer.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TEST(GoCommandTwoEquations, NewtonOnlyFromTheTypedPoint) {
  Session s;
  s.LoadExample(1);
  s.fields.txtVarsI = "1,1";
  const GoResult r = s.Go();
  ASSERT_TRUE(r.ran);
  ASSERT_GE(s.ui.log.size(), 3u);
  EXPECT_EQ(s.ui.log[0], "i=1x(1)=1");
  EXPECT_EQ(s.ui.log[1], "i=2x(2)=1");
  EXPECT_EQ(s.ui.log[2], "NEWTON METHOD FOR NONLINEAR SYSTEMS");
  for (const auto& line : s.ui.log) EXPECT_EQ(line.find("STEEPEST"), std::string::npos);

  const auto lines = Lines(r.answerText);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "x1= " + eval::NumberText(r.x[0]));
  EXPECT_EQ(lines[1], "x2= " + eval::NumberText(r.x[1]));
  EXPECT_EQ(r.title.rfind("Fxyz1= ", 0), 0u);
  EXPECT_NE(r.title.find(";Fxyz2= "), std::string::npos);
  EXPECT_EQ(r.title.find("Fxyz3"), std::string::npos);
  EXPECT_TRUE(r.converged);
  for (double f : r.residuals) EXPECT_LT(std::fabs(f), kSolvedResidual);
  // The answer stays in X for the next command.
  EXPECT_EQ(s.state.x, r.x);
}

TEST(GoCommandThreeEquations, SteepestDescentFirstThenNewtonFromItsPoint) {
  Session s;
  s.LoadExample(5);
  const GoResult r = s.Go();
  ASSERT_TRUE(r.ran);
  ASSERT_GE(s.ui.log.size(), 7u);
  EXPECT_EQ(s.ui.log[0], "STEEPEST DESCENT METHOD FOR NONLINEAR SYSTEMS");
  EXPECT_EQ(s.ui.log[1], "Iter. No.   Vector    G(vector)");
  const std::string& finish = s.ui.log[2];
  ASSERT_EQ(finish.rfind("sta 400 K= ", 0), 0u);
  // Newton starts where steepest descent stopped.
  const std::string x1 = finish.substr(finish.find(";X(1)= ") + 7,
                                       finish.find(";X(2)= ") - finish.find(";X(1)= ") - 7);
  EXPECT_EQ(s.ui.log[3], "i=1x(1)=" + x1);
  EXPECT_EQ(s.ui.log[6], "NEWTON METHOD FOR NONLINEAR SYSTEMS");
  EXPECT_EQ(Lines(r.answerText).size(), 3u);
  EXPECT_NE(r.title.find(";Fxyz3= "), std::string::npos);
}

TEST(GoCommandAnswer, UnknownsAreLabelledByPosition) {
  Session s;
  s.Type({"a^2-4", "b-1"}, "a,b", "1,0");
  const GoResult r = s.Go();
  ASSERT_TRUE(r.ran);
  const auto lines = Lines(r.answerText);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("x1= ", 0), 0u);
  EXPECT_EQ(lines[1], "x2= 1");
  EXPECT_NEAR(r.x[0], 2, 1E-9);
}

TEST(GoCommandTitle, RoundedToSevenDecimals) {
  struct Row {
    std::vector<double> residuals;
    const char* title;
  };
  const Row rows[] = {
      {{0.25, -2, 1E-9}, "Fxyz1= 0.25;Fxyz2= -2;Fxyz3= 0"},
      {{4.9E-8, -4.9E-8}, "Fxyz1= 0;Fxyz2= 0"},
      {{0.12345675000001, 0.12345674999}, "Fxyz1= 0.1234568;Fxyz2= 0.1234567"},
      {{1, 2, 3, 4}, "Fxyz1= 1;Fxyz2= 2"},
      // The double itself is rounded, not a scaled copy: the doubles nearest
      // these ties lie on one side of them (found from outside).
      {{-1.5E-7, 123456789.123456789}, "Fxyz1= -1E-07;Fxyz2= 123456789.123457"},
      {{1.5E-7, 0.99999995, -0.12345665}, "Fxyz1= 1E-07;Fxyz2= 0.9999999;Fxyz3= -0.1234567"},
      {{944904025037.9044, -944904025037.9044}, "Fxyz1= 944904025037.904;Fxyz2= -944904025037.904"},
      // Exact binary ties (k / 256) go to the even neighbour.
      {{0.00390625, 0.01171875, -0.00390625},
       "Fxyz1= 0.0039062;Fxyz2= 0.0117188;Fxyz3= -0.0039062"},
      {{1E300, -4.9999999E-8}, "Fxyz1= 1E+300;Fxyz2= 0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.title);
    EXPECT_EQ(app::TitleText(row.residuals), row.title);
  }
  EXPECT_EQ(app::AnswerText(std::vector<double>{1, -0.5, 2}), "x1= 1\r\nx2= -0.5\r\nx3= 2\r\n");
}

TEST(GoCommandDivergence, StillFillsAnswerAndTitle) {
  Session s;
  s.Type({"x1*x1+1", "x2*x2+1"}, "x1,x2", "1,1");
  const GoResult r = s.Go();
  ASSERT_TRUE(r.ran);
  EXPECT_FALSE(r.converged);
  ASSERT_FALSE(s.ui.messages.empty());
  EXPECT_EQ(s.ui.messages.back(), "DIVERGENCE - STOPPED AFTER ITERNN30");
  EXPECT_EQ(Lines(r.answerText).size(), 2u);
  EXPECT_FALSE(r.title.empty());
}

TEST(GoCommandRepeat, SameInputSameAnswer) {
  Session s;
  s.LoadExample(4);
  const GoResult first = s.Go();
  const GoResult second = s.Go();
  ASSERT_TRUE(first.ran);
  EXPECT_EQ(first.answerText, second.answerText);
  EXPECT_EQ(first.title, second.title);
}

TEST(GoCommandRefusal, NothingLoaded) {
  Session s;
  const GoResult r = s.Go();
  EXPECT_FALSE(r.ran);
  ASSERT_EQ(s.ui.messages.size(), 1u);
  EXPECT_EQ(r.error, s.ui.messages[0]);
  EXPECT_NE(s.ui.messages[0].find("double-click"), std::string::npos);
  EXPECT_TRUE(s.ui.log.empty());
}

TEST(GoCommandRefusal, NameAndValueCountsMustMatchTheEquations) {
  struct Row {
    const char* vars;
    const char* values;
    const char* message;
  };
  const Row rows[] = {
      {"x1", "0,0",
       "The system has 2 equations, so it needs 2 unknowns' names (Varaiabls); 1 was given."},
      {"x1,x2,x3", "0,0",
       "The system has 2 equations, so it needs 2 unknowns' names (Varaiabls); 3 were given."},
      {"x1,x2", "0", "The system has 2 equations, so it needs 2 initial values; 1 was given."},
      {"x1,x2", "0,0,0",
       "The system has 2 equations, so it needs 2 initial values; 3 were given."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    Session s;
    s.LoadExample(1);
    s.state.x = {7, 8};
    s.fields.txtVars = row.vars;
    s.fields.txtVarsI = row.values;
    const GoResult r = s.Go();
    EXPECT_FALSE(r.ran);
    ASSERT_EQ(s.ui.messages.size(), 1u);
    EXPECT_EQ(s.ui.messages[0], row.message);
    EXPECT_TRUE(s.ui.log.empty());
    EXPECT_EQ(s.state.x, (std::vector<double>{7, 8}));  // nothing lost
    EXPECT_EQ(s.fields.txtVars, row.vars);
  }
}

TEST(GoCommandAbandon, AnEquationTheEngineCannotTakeIsNamed) {
  Session s;
  s.Type({"x1-1", "(x2+1"}, "x1,x2", "0,0");
  const GoResult r = s.Go();
  EXPECT_FALSE(r.ran);
  ASSERT_FALSE(s.ui.messages.empty());
  EXPECT_EQ(s.ui.messages.back(), "Eq_2: Expected ')'");
  EXPECT_EQ(r.error, "Eq_2: Expected ')'");
  EXPECT_EQ(s.fields.txtEqs[1], "(x2+1");

}

TEST(GoCommandAbandon, TheFieldAtFaultIsNamed) {
  // Once all blamed on Eq_1 (found from outside).
  struct Row {
    const char* vars;
    const char* values;
    std::vector<std::string> eqs;
    const char* message;
  };
  const std::vector<std::string> plain = {"x1-1", "x2-1"};
  const Row rows[] = {
      {"1a,x2", "0,0", plain, "The name '1a' in Varaiabls is not a valid variable name (Expected statement)"},
      {"x1,2x", "0,0", plain, "The name '2x' in Varaiabls is not a valid variable name (Expected statement)"},
      {"x1,", "0,0", plain, "The name '' in Varaiabls is not a valid variable name (Expected statement)"},
      {"x1,x2", "1E400,0", plain,
       "The initial value '1E400' in Initial Values is beyond the number range (Overflow)"},
      // Finite, but its 15-digit text is not.
      {"x1,x2", "0,-1.7976931348623157E308", plain,
       "The initial value '-1.7976931348623157E308' in Initial Values is beyond the number range "
       "(Overflow)"},
      // A tiny accepted pivot under a huge neighbour sends x1 to infinity.
      {"x1,x2", "0,0", {"1E294*x2+1E-19*x1", "1E10*(x2-1)"},
       "The Newton iteration left the number range in iteration 1 (x(1) is infinite)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    Session s;
    s.Type(row.eqs, row.vars, row.values);
    const GoResult r = s.Go();
    EXPECT_FALSE(r.ran);
    ASSERT_FALSE(s.ui.messages.empty());
    EXPECT_EQ(s.ui.messages.back(), row.message);
    EXPECT_EQ(r.error, row.message);
    EXPECT_EQ(s.ui.beeps, 0);
  }
}

// One Go command with a user interface that lives only while that command
// runs, as the window's and the command line's do.
std::vector<std::string> GoMessages(ProblemState& state, const InputFields& fields) {
  eval::RecordingUi ui;
  app::CmdExecute_Click(fields, state, ui);
  return ui.messages;
}

TEST(GoCommandLibraryMessages, ReachTheCommandThatRuns) {
  // The library outlives every command; it once kept the first command's
  // interface and told a dead object (found from outside).
  Session s;
  s.Type({"x1-1", "x2-2"}, "x1,x2", "0,0");
  EXPECT_TRUE(GoMessages(s.state, s.fields).empty());
  const auto library = s.state.mathLib;

  s.fields.txtEqs[1] = "x2-2+0*Gcd(0, 5)";
  const std::vector<std::string> second = GoMessages(s.state, s.fields);
  EXPECT_EQ(s.state.mathLib, library);
  ASSERT_FALSE(second.empty());
  for (const std::string& message : second) EXPECT_EQ(message, "Err input data");
  EXPECT_EQ(s.ui.messages.size(), 0u);  // the session's own recorder heard nothing
}

TEST(GoCommandConvergence, FailuresAreNeverReportedAsSuccess) {
  // A zero Jacobian row: Newton returns at once as if converged.
  Session singular;
  singular.Type({"x1*x1-4", "x1-x1+1"}, "x1,x2", "1,1");
  GoResult r = singular.Go();
  ASSERT_TRUE(r.ran);
  EXPECT_FALSE(r.converged);
  EXPECT_NE(std::find(singular.ui.messages.begin(), singular.ui.messages.end(),
                      "LINEAR SYSTEM HAS NO SOLUTION"),
            singular.ui.messages.end());

  // A failing evaluation counts as 0 and the run goes on.
  Session failing;
  failing.Type({"x1-1+1/(x2-x2)", "x2-2"}, "x1,x2", "0,0");
  r = failing.Go();
  ASSERT_TRUE(r.ran);
  EXPECT_FALSE(r.converged);
  EXPECT_GT(failing.ui.beeps, 0);
}

}  // namespace

// What failed travels beside the message, so a caller can place it without
// reading the text; `locate` decides what is shown and kept.
TEST(GoCommandFailure, SaysWhatFailedAndWhere) {
  using Kind = app::GoFailure::Kind;
  constexpr std::size_t kNone = app::GoFailure::kNoOffset;
  struct Row {
    std::vector<std::string> eqs;
    const char* vars;
    const char* values;
    Kind kind;
    std::size_t equation, piece, offset;
  };
  const std::vector<std::string> plain = {"x1-1", "x2-1"};
  const Row rows[] = {
      {plain, "x1", "0,0", Kind::NameCount, 0, 0, kNone},
      {plain, "x1,x2", "0,0,0", Kind::ValueCount, 0, 0, kNone},
      {plain, "x1,2x", "0,0", Kind::Name, 0, 1, 0},
      {plain, "x1,a(", "0,0", Kind::Name, 0, 1, 2},
      {plain, "x1,x 2", "0,0", Kind::Name, 0, 1, kNone},  // a runtime fault has no place
      {plain, "x1,x2", "0, 1E400", Kind::Value, 0, 1, kNone},
      {{"x1-1", "(x2+1"}, "x1,x2", "0,0", Kind::Equation, 1, 0, 5},
      {{"x1 +* 2", "x2"}, "x1,x2", "0,0", Kind::Equation, 0, 0, 4},
      {{"1E294*x2+1E-19*x1", "1E10*(x2-1)"}, "x1,x2", "0,0", Kind::LeftNumberRange, 0, 0, kNone},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.vars) + " / " + row.values + " / " + row.eqs[0]);
    Session s;
    s.Type(row.eqs, row.vars, row.values);
    std::vector<std::string> seen;
    app::GoOptions options;
    options.locate = [&](const app::GoFailure& failure, const std::string& message) {
      seen.push_back(message);
      return "here " + std::to_string(static_cast<int>(failure.kind)) + ": " + message;
    };
    const GoResult r = app::CmdExecute_Click(s.fields, s.state, s.ui, options);
    ASSERT_TRUE(r.failure.has_value());
    EXPECT_EQ(r.failure->kind, row.kind);
    EXPECT_EQ(r.failure->equation, row.equation);
    EXPECT_EQ(r.failure->piece, row.piece);
    EXPECT_EQ(r.failure->offset, row.offset);
    // The message is the one the window shows; the located text replaces it.
    ASSERT_EQ(seen.size(), 1u);
    Session window;
    window.Type(row.eqs, row.vars, row.values);
    EXPECT_EQ(window.Go().error, seen.front());
    const std::string located = "here " + std::to_string(static_cast<int>(row.kind)) + ": " + seen.front();
    EXPECT_EQ(r.error, located);
    EXPECT_EQ(s.ui.messages, std::vector<std::string>{located});
  }
  Session ok;
  ok.LoadExample(1);
  const GoResult r = ok.Go();
  EXPECT_FALSE(r.error.has_value());
  EXPECT_FALSE(r.failure.has_value());
}

TEST(GoCommandAnswer, LinesAreTheTextsLinesWithoutLineEnds) {
  const std::vector<double> x = {1.5, -2, 1E-20};
  const std::vector<std::string> lines = app::AnswerLines(x);
  EXPECT_EQ(lines, (std::vector<std::string>{"x1= 1.5", "x2= -2", "x3= 1E-20"}));
  EXPECT_EQ(Lines(app::AnswerText(x)), lines);
}
