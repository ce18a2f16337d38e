// Double-clicks on the example list, through the list's own mouse events.
#include <QApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "app/Form1.h"
#include "eval/SolverUi.h"

namespace {

std::vector<bool> FirstRowsShown(int shown) {
  std::vector<bool> rows(app::kMaxEquations, false);
  for (int k = 0; k < shown; ++k) rows[k] = true;
  return rows;
}

std::vector<std::string> EquationFieldTexts(const app::Form1& form) {
  std::vector<std::string> texts;
  for (int k = 0; k < app::kMaxEquations; ++k) texts.push_back(form.TxtEqs(k)->text().toStdString());
  return texts;
}

class Form1ExampleList : public ::testing::Test {
 protected:
  void SetUp() override { form_.show(); }

  // Everything a double-click may not touch.
  void ExpectAnswerLogAndTitleUntouched() {
    EXPECT_EQ(form_.TxtAns()->toPlainText(), "Text1");
    EXPECT_EQ(form_.windowTitle(), "Form1");
    EXPECT_TRUE(form_.PicPrint()->Lines().isEmpty());
    EXPECT_TRUE(recorder_.events.empty());
    EXPECT_TRUE(form_.State().varNames.empty());
    EXPECT_TRUE(form_.State().x.empty());
    EXPECT_TRUE(form_.State().scriptEngines.empty());
  }

  eval::RecordingUi recorder_;
  app::Form1 form_{&recorder_};
};

// Each entry as a double-click loads it on a freshly opened window. The
// equations keep the blank that precedes the next joining text.
struct LoadRow {
  int row;
  std::vector<std::string> equations;
  const char* names;
  const char* values;
};

const LoadRow kLoads[] = {
    {0, {"x1^2-2*x2-2 ", "x1-x2^3-1"}, "x1,x2", "0,0"},
    {2,
     {"sin(4*pi*x1*x2)-2*x2-x1 ", "((4*pi-1)/4/pi)*(exp(2*x1)-exp(1))+4*exp(1)*x2^2-2*exp(1)*x1"},
     "x1,x2",
     "0,0"},
    {3,
     {"3*x1-cos(x2*x3)-0.5 ", "4*x1^2-625*x2^2+2*x2-1 ", "exp(-x1*x2)+20*x3+(10*pi-3)/3"},
     "x1,x2,x3",
     "0,0,0"},
    {8, {"2*x1-3*x2-x3-4 ", "2*x1+x2-x3+4 ", "x1^2+x2^2+x3^2-4"}, "x1,x2,x3", "0,0,0"},
};

TEST(Form1ExampleLoad, DoubleClickLoadsTheEntry) {
  for (const LoadRow& load : kLoads) {
    SCOPED_TRACE(load.row + 1);
    eval::RecordingUi recorder;
    app::Form1 form(&recorder);
    form.show();
    windowtest::DoubleClickRow(form, load.row);

    const int n = static_cast<int>(load.equations.size());
    EXPECT_EQ(form.State().nEq, n);
    EXPECT_EQ(form.State().eqTexts, load.equations);
    EXPECT_EQ(windowtest::VisibleLabels(form), FirstRowsShown(n));
    EXPECT_EQ(windowtest::VisibleFields(form), FirstRowsShown(n));
    std::vector<std::string> fields = load.equations;
    fields.resize(app::kMaxEquations, "Text2");  // rows beyond the system keep their text
    EXPECT_EQ(EquationFieldTexts(form), fields);
    EXPECT_EQ(form.TxtVars()->text().toStdString(), load.names);
    EXPECT_EQ(form.TxtVarsI()->text().toStdString(), load.values);
  }
}

TEST_F(Form1ExampleList, FirstEntryTouchesNothingElse) {
  windowtest::DoubleClickRow(form_, 0);
  EXPECT_EQ(form_.State().nEq, 2);
  ExpectAnswerLogAndTitleUntouched();
}

TEST_F(Form1ExampleList, ThreeEquationsAfterTwo) {
  windowtest::DoubleClickRow(form_, 0);
  windowtest::DoubleClickRow(form_, 3);
  EXPECT_EQ(form_.State().nEq, 3);
  EXPECT_EQ(windowtest::VisibleLabels(form_), FirstRowsShown(3));
  EXPECT_EQ(windowtest::VisibleFields(form_), FirstRowsShown(3));
  EXPECT_EQ(form_.TxtVars()->text(), "x1,x2,x3");
  EXPECT_EQ(form_.TxtVarsI()->text(), "0,0,0");
  EXPECT_EQ(form_.TxtEqs(2)->text(), "exp(-x1*x2)+20*x3+(10*pi-3)/3");
}

TEST_F(Form1ExampleList, TwoEquationsAfterThreeHideTheThirdRowButKeepItsText) {
  windowtest::DoubleClickRow(form_, 8);
  windowtest::DoubleClickRow(form_, 5);
  EXPECT_EQ(form_.State().nEq, 2);
  EXPECT_EQ(windowtest::VisibleLabels(form_), FirstRowsShown(2));
  EXPECT_EQ(windowtest::VisibleFields(form_), FirstRowsShown(2));
  EXPECT_EQ(form_.TxtEqs(0)->text(), "5*x1^2-x2^2 ");
  EXPECT_EQ(form_.TxtEqs(1)->text(), "x2-0.25*(sin(x1)+cos(x2))");
  EXPECT_EQ(form_.TxtEqs(2)->text(), "x1^2+x2^2+x3^2-4");
  EXPECT_EQ(form_.TxtVars()->text(), "x1,x2");
  EXPECT_EQ(form_.TxtVarsI()->text(), "0,0");
  ExpectAnswerLogAndTitleUntouched();
}

TEST_F(Form1ExampleList, DoubleClickWithNothingSelectedOnlyHidesTheRows) {
  windowtest::DoubleClickRow(form_, 0);
  form_.TxtVars()->setText("a,b");
  form_.ListA()->clearSelection();
  windowtest::DoubleClickWithoutSelecting(form_);
  const std::vector<bool> none(app::kMaxEquations, false);
  EXPECT_EQ(windowtest::VisibleLabels(form_), none);
  EXPECT_EQ(windowtest::VisibleFields(form_), none);
  EXPECT_EQ(form_.State().nEq, 2);
  EXPECT_EQ(form_.TxtVars()->text(), "a,b");
  EXPECT_EQ(form_.TxtVarsI()->text(), "0,0");
  EXPECT_EQ(form_.TxtEqs(0)->text(), "x1^2-2*x2-2 ");
  ExpectAnswerLogAndTitleUntouched();
}

TEST_F(Form1ExampleList, DoubleClickOnAFreshWindowWithNothingSelected) {
  windowtest::DoubleClickWithoutSelecting(form_);
  EXPECT_EQ(form_.State().nEq, 0);
  EXPECT_EQ(form_.TxtVars()->text(), "Text1");
  EXPECT_EQ(windowtest::VisibleFields(form_), std::vector<bool>(app::kMaxEquations, false));
  ExpectAnswerLogAndTitleUntouched();
}

TEST_F(Form1ExampleList, ReloadingOverwritesEditedFields) {
  windowtest::DoubleClickRow(form_, 4);
  form_.TxtEqs(1)->setText("x1-x2^2-6");
  form_.TxtVarsI()->setText("1,2,3");
  windowtest::DoubleClickRow(form_, 4);
  EXPECT_EQ(form_.TxtEqs(1)->text(), "x1-x2^2-5 ");
  EXPECT_EQ(form_.TxtVarsI()->text(), "0,0,0");
}

TEST_F(Form1ExampleList, ASingleClickLoadsNothing) {
  QListWidget* list = form_.ListA();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(1)).center());
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(form_.State().nEq, 0);
  EXPECT_EQ(windowtest::VisibleFields(form_), std::vector<bool>(app::kMaxEquations, false));
}

}  // namespace
