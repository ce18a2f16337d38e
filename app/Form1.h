// The main window: the example list, the names and initial-values fields, six
// equation rows, the Go button, the answer field and the hidden log surface.
// It only wires its three events (load, double-click on the list, Go) to the
// Qt-free core in app/ and shows what the core tells the user.
#pragma once

#include <array>
#include <string_view>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include "app/GoCommand.h"
#include "app/ProblemState.h"
#include "eval/SolverUi.h"

namespace app {

// The picture box the solvers print on. It keeps every printed line in order
// and, were it ever shown, would draw them from the top one below the other
// without scrolling. The window never shows it.
class PictureLog : public QWidget {
  Q_OBJECT

 public:
  explicit PictureLog(QWidget* parent = nullptr);

  void Print(const QString& line);
  const QStringList& Lines() const { return lines_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QStringList lines_;
};

// The answer field. It shows a vertical scroll bar only when its text does
// not fit; the empty line that the last line break opens holds nothing to
// see and alone calls for none.
class AnswerBox : public QPlainTextEdit {
 public:
  explicit AnswerBox(const QString& text, QWidget* parent = nullptr);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FitScrollBar();
};

class Form1 : public QWidget, public eval::SolverUi {
  Q_OBJECT

 public:
  // With `messageSink`, message boxes and beeps go there instead of to the
  // screen and the speaker (tests and the demo hook record them); printed
  // lines always land on PicPrint. The sink must outlive the window.
  explicit Form1(eval::SolverUi* messageSink = nullptr, QWidget* parent = nullptr);
  ~Form1() override;

  // eval::SolverUi
  void PrintLine(std::string_view line) override;
  void ShowMessage(std::string_view text) override;  // modal, OK only, no icon
  void Beep() override;

  // The controls, for the demo hook and tests.
  QLabel* Label16() const { return label16_; }
  QListWidget* ListA() const { return listA_; }
  QLabel* Label1() const { return label1_; }
  QLineEdit* TxtVars() const { return txtVars_; }
  QLabel* LblVarsI() const { return lblVarsI_; }
  QLineEdit* TxtVarsI() const { return txtVarsI_; }
  QPushButton* CmdExecute() const { return cmdExecute_; }
  QLabel* Lbleqs(int k) const { return lbleqs_.at(k); }
  QLineEdit* TxtEqs(int k) const { return txtEqs_.at(k); }
  PictureLog* PicPrint() const { return picPrint_; }
  QLabel* Label2() const { return label2_; }
  QPlainTextEdit* TxtAns() const { return txtAns_; }

  const ProblemState& State() const { return state_; }

 public slots:
  // The three event handlers. The load handler runs once from the
  // constructor; the other two are connected to the list's double-click and
  // the button's click.
  void Form_Load();
  void ListA_DblClick();
  void CmdExecute_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void HideEquationRows();
  InputFields ReadFields() const;

  eval::SolverUi* messageSink_;
  ProblemState state_;

  QLabel* label16_ = nullptr;
  QListWidget* listA_ = nullptr;
  QLabel* label1_ = nullptr;
  QLineEdit* txtVars_ = nullptr;
  QLabel* lblVarsI_ = nullptr;
  QLineEdit* txtVarsI_ = nullptr;
  QPushButton* cmdExecute_ = nullptr;
  std::array<QLabel*, kMaxEquations> lbleqs_{};
  std::array<QLineEdit*, kMaxEquations> txtEqs_{};
  PictureLog* picPrint_ = nullptr;
  QLabel* label2_ = nullptr;
  QPlainTextEdit* txtAns_ = nullptr;
};

}  // namespace app
