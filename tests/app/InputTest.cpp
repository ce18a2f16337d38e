#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Examples.h"
#include "app/ProblemState.h"
#include "eval/SolverUi.h"

namespace {

using app::InputFields;
using app::ProblemState;

struct SplitRow {
  const char* text;
  std::vector<std::string> pieces;
};

TEST(InputSplit, CommasAlwaysSeparate) {
  const SplitRow rows[] = {
      {"", {}},
      {"x1", {"x1"}},
      {"x1, x2", {"x1", " x2"}},
      {"1.5,,-2", {"1.5", "", "-2"}},
      {"1,2,", {"1", "2", ""}},
      {",", {"", ""}},
      {"1,5", {"1", "5"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(app::SplitAtCommas(row.text), row.pieces);
  }
}

InputFields Fields(std::string vars, std::string values) {
  InputFields f;
  f.txtEqs = {"e1", "e2", "e3", "e4", "e5", "e6"};
  f.txtVars = std::move(vars);
  f.txtVarsI = std::move(values);
  return f;
}

TEST(ReadProblemInput, FieldsTakenExactlyAsTyped) {
  ProblemState state;
  state.nEq = 2;
  app::ReadProblemInput(Fields("x1, x2", "1.5,,-2"), state);
  EXPECT_EQ(state.eqTexts, (std::vector<std::string>{"e1", "e2"}));  // e3 not read
  EXPECT_EQ(state.varNames, (std::vector<std::string>{"x1", " x2"}));
  EXPECT_EQ(state.x, (std::vector<double>{1.5, 0, -2}));
  EXPECT_EQ(state.scriptEngines.size(), 2u);
}

TEST(ReadProblemInput, InitialValuesByLeadingNumber) {
  ProblemState state;
  state.nEq = 2;
  app::ReadProblemInput(Fields("a", "2.5E1,3x,abc,&H10,- 3,1,2,"), state);
  EXPECT_EQ(state.x, (std::vector<double>{25, 3, 0, 16, -3, 1, 2, 0}));
}

TEST(ReadProblemInput, EmptyFieldsKeepThePreviousNamesAndPoint) {
  ProblemState state;
  state.nEq = 2;
  app::ReadProblemInput(Fields("", ""), state);
  EXPECT_TRUE(state.varNames.empty());  // first command: nothing to keep
  state.varNames = {"p", "q"};
  state.x = {4, 5};
  app::ReadProblemInput(Fields("", ""), state);
  EXPECT_EQ(state.varNames, (std::vector<std::string>{"p", "q"}));
  EXPECT_EQ(state.x, (std::vector<double>{4, 5}));
}

TEST(ReadProblemInput, FreshEnginesEveryTimeSharingOneLibrary) {
  ProblemState state;
  state.nEq = 3;
  app::ReadProblemInput(Fields("x1,x2,x3", "0,0,0"), state);
  ASSERT_EQ(state.scriptEngines.size(), 3u);
  const eval::ScriptEngine* first = state.scriptEngines[0].get();
  const auto library = state.mathLib;
  ASSERT_TRUE(library);
  state.scriptEngines[0]->AddCode("leftover = 5");

  state.nEq = 2;
  app::ReadProblemInput(Fields("x1,x2", "0,0"), state);
  ASSERT_EQ(state.scriptEngines.size(), 2u);
  EXPECT_EQ(state.mathLib, library);
  // Nothing an earlier command left in an engine survives.
  EXPECT_TRUE(state.scriptEngines[0]->Eval("leftover").IsEmpty());
  (void)first;
  // Every engine carries the library by bare name.
  for (const auto& engine : state.scriptEngines) {
    EXPECT_EQ(engine->Eval("pi").AsDouble(), eval::ClsMath::PI());
  }
}

TEST(ExampleList, EntriesAreComposedWithTheirJoiningTexts) {
  const auto entries = app::ExampleEntries();
  ASSERT_EQ(entries.size(), 9u);
  EXPECT_EQ(entries[0], " Eq_1 =x1^2-2*x2-2 ;Eq_2=x1-x2^3-1");
  EXPECT_EQ(entries[3],
            " Eq_1 =3*x1-cos(x2*x3)-0.5 ;Eq_2=4*x1^2-625*x2^2+2*x2-1 ;Eq_3="
            "exp(-x1*x2)+20*x3+(10*pi-3)/3");
  EXPECT_EQ(entries[8], " Eq_1 =2*x1-3*x2-x3-4 ;Eq_2=2*x1+x2-x3+4 ;Eq_3=x1^2+x2^2+x3^2-4");
}

TEST(ExampleList, DoubleClickLoadsTheSystem) {
  ProblemState state;
  InputFields fields;
  fields.txtEqs.fill("Text2");
  EXPECT_EQ(app::LoadExampleEntry(app::ExampleEntryText(1), state, fields), 2);
  EXPECT_EQ(state.nEq, 2);
  // Every equation but the last keeps the blank of the next joining text.
  EXPECT_EQ(fields.txtEqs[0], "x1^2-2*x2-2 ");
  EXPECT_EQ(fields.txtEqs[1], "x1-x2^3-1");
  EXPECT_EQ(fields.txtVars, "x1,x2");
  EXPECT_EQ(fields.txtVarsI, "0,0");
  EXPECT_EQ(state.eqTexts, (std::vector<std::string>{"x1^2-2*x2-2 ", "x1-x2^3-1"}));

  EXPECT_EQ(app::LoadExampleEntry(app::ExampleEntryText(4), state, fields), 3);
  EXPECT_EQ(state.nEq, 3);
  EXPECT_EQ(fields.txtVars, "x1,x2,x3");
  EXPECT_EQ(fields.txtVarsI, "0,0,0");

  app::LoadExampleEntry(app::ExampleEntryText(9), state, fields);
  app::LoadExampleEntry(app::ExampleEntryText(6), state, fields);
  EXPECT_EQ(state.nEq, 2);
  EXPECT_EQ(fields.txtEqs[2], "x1^2+x2^2+x3^2-4");  // hidden row keeps its text

  app::LoadExampleEntry(app::ExampleEntryText(3), state, fields);
  EXPECT_EQ(fields.txtEqs[1], "((4*pi-1)/4/pi)*(exp(2*x1)-exp(1))+4*exp(1)*x2^2-2*exp(1)*x1");
}

TEST(ExampleList, NoSelectionChangesNothing) {
  ProblemState state;
  state.nEq = 3;
  InputFields fields = Fields("a,b", "1,2");
  EXPECT_EQ(app::LoadExampleEntry("", state, fields), 0);
  EXPECT_EQ(state.nEq, 3);
  EXPECT_EQ(fields.txtVars, "a,b");
  EXPECT_EQ(fields.txtEqs[0], "e1");
}

TEST(ExampleList, EntryTextWithAnExtraEqualsSignStopsThere) {
  auto loaded = app::ParseExampleEntry(" Eq_1 =a=b ;Eq_2=c");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->eqTexts, (std::vector<std::string>{"a", "c"}));
  loaded = app::ParseExampleEntry("no equals;x=1");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->eqTexts, (std::vector<std::string>{"", "1"}));
}

}  // namespace
