#include "Form1.h"

#include <exception>
#include <limits>
#include <string>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolTip>

#include "app/Examples.h"

namespace app {
namespace {

// The layout is measured in twips; at 96 dots per inch a pixel is 15 twips.
constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidthTwips = 9765;
constexpr int kClientHeightTwips = 6840;

// Each equation row lies this far below the one before it.
constexpr int kRowPitchTwips = 480;

struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

constexpr TwipsRect kLabel16Rect{480, 120, 1515, 180};
constexpr TwipsRect kListARect{0, 360, 9495, 1230};
constexpr TwipsRect kLabel1Rect{0, 1680, 1155, 180};
constexpr TwipsRect kTxtVarsRect{1200, 1680, 2415, 375};
constexpr TwipsRect kLblVarsIRect{3720, 1680, 915, 180};
constexpr TwipsRect kTxtVarsIRect{4800, 1680, 1815, 375};
constexpr TwipsRect kCmdExecuteRect{6960, 1800, 975, 495};
constexpr TwipsRect kLbleqs0Rect{240, 2160, 420, 180};
constexpr TwipsRect kTxtEqs0Rect{1200, 2160, 5415, 375};
constexpr TwipsRect kPicPrintRect{7560, 2880, 2055, 3255};
constexpr TwipsRect kLabel2Rect{3600, 5040, 525, 180};
constexpr TwipsRect kTxtAnsRect{1200, 5280, 5415, 855};

QRect ToPixels(const TwipsRect& r, int rowOffsetTwips = 0) {
  return QRect(r.left / kTwipsPerPixel, (r.top + rowOffsetTwips) / kTwipsPerPixel,
               r.width / kTwipsPerPixel, r.height / kTwipsPerPixel);
}

const char* const kWindowTitle = "Form1";
const char* const kLabel16Caption = "(1)請雙擊選擇函數:";
const char* const kListATooltip = "雙擊以輸入函數";
const char* const kLabel1Caption = "Varaiabls:(x,y,z)";
const char* const kLblVarsICaption = "Initial Values";
const char* const kLabel2Caption = "Answer";
const char* const kCmdExecuteCaption = "Go";
const char* const kTextBoxInitialText = "Text1";
const char* const kEquationInitialText = "Text2";
const char* const kEquationLabelPrefix = "Eq_";

const QColor kLabel16TextColor(255, 0, 0);
const QColor kLabel2Background(255, 128, 128);

// The classic forms' 8-point sans serif is a bitmap face 10 pixels wide per
// em at 96 dots per inch; Liberation Sans at 8 points (10.67 pixels, hinted
// to 11) is wider and clips "Answer" and the "Eq_1:" captions, at 10 pixels
// every caption fits its label.
constexpr int kWindowFontPixels = 10;
constexpr double kLabel16FontPoints = 9.0;
constexpr double kListAFontPoints = 9.75;
constexpr double kToolTipFontPoints = 9.0;

// The window names exactly one family per face, each from a package the
// Debian package depends on (fonts-arphic-uming, fonts-liberation2; keep them
// in step with CPACK_DEBIAN_PACKAGE_DEPENDS in packaging/CMakeLists.txt). A
// list of families would take whichever one a machine happens to have first
// (Nimbus Sans from fonts-urw-base35 has taller lines, and the answer field
// then scrolls three lines), so the window would look different from machine
// to machine. A family Qt's database holds is taken as named, never replaced
// by a fontconfig substitute. Liberation Sans has the widths of the classic
// forms' sans serif, so the captions fit their labels (DejaVu Sans is wider
// and clips them).
const char* const kMingFamily = "AR PL UMing TW";
const char* const kWindowFamily = "Liberation Sans";

QFont ExactFont(const char* family) {
  QFont font;
  font.setFamilies({QString::fromUtf8(family)});
  return font;
}

// The Ming face, so the Chinese caption and tooltip show as glyphs.
QFont MingFont(double points) {
  QFont font = ExactFont(kMingFamily);
  font.setPointSizeF(points);
  return font;
}

// The window's own sans serif; its captions fit their labels.
QFont WindowFont() {
  QFont font = ExactFont(kWindowFamily);
  font.setPixelSize(kWindowFontPixels);
  return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  // Captions are left aligned and clipped at the label's edges; centred
  // vertically, a line a little taller than its label loses no underscore.
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setGeometry(geometry);
  return label;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, const QRect& geometry) {
  auto* box = new QLineEdit(QString::fromUtf8(kTextBoxInitialText), parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  // A field keeps everything typed or pasted: the default limit cut a paste
  // at 32,767 characters without a word, and Go then solved another system.
  box->setMaxLength(std::numeric_limits<int>::max());
  return box;
}

// Return and the keypad's Enter on a focused command button press it, as
// Space does.
bool IsEnterKey(const QKeyEvent& key) {
  const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
  return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && modifiers == Qt::NoModifier;
}

// The answer text ends its lines with carriage return and line feed; the text
// box wants plain line feeds to show them as lines.
QString DisplayLines(const std::string& text) {
  QString lines = QString::fromStdString(text);
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return lines;
}

}  // namespace

AnswerBox::AnswerBox(const QString& text, QWidget* parent) : QPlainTextEdit(text, parent) {
  connect(this, &QPlainTextEdit::textChanged, this, &AnswerBox::FitScrollBar);
  FitScrollBar();
}

void AnswerBox::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  FitScrollBar();
}

void AnswerBox::FitScrollBar() {
  // The bar's height is the viewport's whatever the policy, so measuring
  // leaves it alone (a policy change resizes the viewport and lands here
  // again). With the bar shown, long lines wrap a little earlier: the
  // measure then errs towards keeping it.
  const QTextDocument* doc = document();
  QTextBlock last = doc->lastBlock();
  if (last.text().isEmpty() && last.previous().isValid()) last = last.previous();
  qreal height = 2 * doc->documentMargin();
  for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
    height += doc->documentLayout()->blockBoundingRect(block).height();
    if (block == last) break;
  }
  const Qt::ScrollBarPolicy policy =
      height > viewport()->height() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  if (verticalScrollBarPolicy() != policy) setVerticalScrollBarPolicy(policy);
}

PictureLog::PictureLog(QWidget* parent) : QWidget(parent) {}

void PictureLog::Print(const QString& line) {
  lines_.append(line);
  update();
}

void PictureLog::paintEvent(QPaintEvent*) {
  // Lines below the bottom edge are simply not seen: the surface does not scroll.
  QPainter painter(this);
  const QFontMetrics metrics(font());
  int baseline = metrics.ascent();
  for (const QString& line : lines_) {
    if (baseline - metrics.ascent() > height()) break;
    painter.drawText(0, baseline, line);
    baseline += metrics.height();
  }
}

Form1::Form1(eval::SolverUi* messageSink, QWidget* parent) : QWidget(parent), messageSink_(messageSink) {
  CreateControls();
  SetTabOrder();
  Form_Load();
}

Form1::~Form1() = default;

void Form1::CreateControls() {
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  setFont(WindowFont());
  // Nothing moves or changes size when the window is resized, so it is not.
  setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);

  label16_ = MakeLabel(this, "Label16", QString::fromUtf8(kLabel16Caption), ToPixels(kLabel16Rect));
  label16_->setFont(MingFont(kLabel16FontPoints));
  QPalette label16Palette = label16_->palette();
  label16Palette.setColor(QPalette::WindowText, kLabel16TextColor);
  label16_->setPalette(label16Palette);

  listA_ = new QListWidget(this);
  listA_->setObjectName(QStringLiteral("ListA"));
  listA_->setGeometry(ToPixels(kListARect));
  listA_->setFont(MingFont(kListAFontPoints));
  listA_->setToolTip(QString::fromUtf8(kListATooltip));
  // Tooltips take the application's tooltip font, not the list's; the only
  // tooltip is this Chinese one, so it gets the Ming face too, whatever the
  // desktop's default is.
  QToolTip::setFont(MingFont(kToolTipFontPoints));
  listA_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Entries are clipped at the right edge, as a plain list box does.
  listA_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  listA_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listA_->setTextElideMode(Qt::ElideNone);
  // A double-click anywhere in the list runs the handler, which then looks at
  // the selection; itemDoubleClicked would miss a double-click beside the items.
  listA_->viewport()->installEventFilter(this);

  label1_ = MakeLabel(this, "Label1", QString::fromUtf8(kLabel1Caption), ToPixels(kLabel1Rect));
  txtVars_ = MakeTextBox(this, "txtVars", ToPixels(kTxtVarsRect));
  lblVarsI_ = MakeLabel(this, "LblVarsI", QString::fromUtf8(kLblVarsICaption), ToPixels(kLblVarsIRect));
  txtVarsI_ = MakeTextBox(this, "txtVarsI", ToPixels(kTxtVarsIRect));

  cmdExecute_ = new QPushButton(QString::fromUtf8(kCmdExecuteCaption), this);
  cmdExecute_->setObjectName(QStringLiteral("CmdExecute"));
  cmdExecute_->setGeometry(ToPixels(kCmdExecuteRect));
  cmdExecute_->setAutoDefault(false);
  cmdExecute_->installEventFilter(this);

  for (int k = 0; k < kMaxEquations; ++k) {
    const int offset = kRowPitchTwips * k;
    const QString caption = QString::fromUtf8(kEquationLabelPrefix) + QString::number(k + 1) + QLatin1Char(':');
    const std::string labelName = "lbleqs" + std::to_string(k);
    lbleqs_[k] = MakeLabel(this, labelName.c_str(), caption, ToPixels(kLbleqs0Rect, offset));
    lbleqs_[k]->setProperty("index", k);
    const std::string boxName = "txtEqs" + std::to_string(k);
    txtEqs_[k] = MakeTextBox(this, boxName.c_str(), ToPixels(kTxtEqs0Rect, offset));
    txtEqs_[k]->setText(QString::fromUtf8(kEquationInitialText));
    txtEqs_[k]->setProperty("index", k);
  }

  // The log surface exists and is printed on, but is never shown.
  picPrint_ = new PictureLog(this);
  picPrint_->setObjectName(QStringLiteral("PicPrint"));
  picPrint_->setGeometry(ToPixels(kPicPrintRect));
  picPrint_->setFocusPolicy(Qt::NoFocus);
  picPrint_->hide();

  label2_ = MakeLabel(this, "Label2", QString::fromUtf8(kLabel2Caption), ToPixels(kLabel2Rect));
  label2_->setAutoFillBackground(true);
  QPalette label2Palette = label2_->palette();
  label2Palette.setColor(QPalette::Window, kLabel2Background);
  label2_->setPalette(label2Palette);

  txtAns_ = new AnswerBox(QString::fromUtf8(kTextBoxInitialText), this);
  txtAns_->setObjectName(QStringLiteral("txtAns"));
  txtAns_->setGeometry(ToPixels(kTxtAnsRect));
  // Tab moves on to the next control, as in the other fields.
  txtAns_->setTabChangesFocus(true);

  connect(cmdExecute_, &QPushButton::clicked, this, &Form1::CmdExecute_Click);
}

void Form1::SetTabOrder() {
  // Labels take no focus and hidden controls are skipped, so the chain is the
  // focusable controls in their tab places: txtVars, the six equation fields,
  // txtVarsI, ListA, txtAns, CmdExecute.
  QWidget* previous = txtVars_;
  for (QLineEdit* box : txtEqs_) {
    QWidget::setTabOrder(previous, box);
    previous = box;
  }
  QWidget::setTabOrder(previous, txtVarsI_);
  QWidget::setTabOrder(txtVarsI_, listA_);
  QWidget::setTabOrder(listA_, txtAns_);
  QWidget::setTabOrder(txtAns_, cmdExecute_);
  txtVars_->setFocus();
}

void Form1::HideEquationRows() {
  for (int k = 0; k < kMaxEquations; ++k) {
    lbleqs_[k]->hide();
    txtEqs_[k]->hide();
  }
}

void Form1::Form_Load() {
  HideEquationRows();
  listA_->clear();
  for (const std::string& entry : ExampleEntries()) {
    listA_->addItem(QString::fromStdString(entry));
  }
}

void Form1::ListA_DblClick() {
  HideEquationRows();
  const QList<QListWidgetItem*> selected = listA_->selectedItems();
  if (selected.isEmpty()) return;
  const std::string entryText = selected.first()->text().toStdString();

  InputFields fields = ReadFields();
  const int rows = LoadExampleEntry(entryText, state_, fields);
  for (int k = 0; k < rows && k < kMaxEquations; ++k) {
    lbleqs_[k]->show();
    txtEqs_[k]->show();
    txtEqs_[k]->setText(QString::fromStdString(fields.txtEqs[k]));
  }
  if (rows > 0) {
    txtVars_->setText(QString::fromStdString(fields.txtVars));
    txtVarsI_->setText(QString::fromStdString(fields.txtVarsI));
  }
}

void Form1::CmdExecute_Click() {
  GoResult result;
  try {
    result = app::CmdExecute_Click(ReadFields(), state_, *this);
  } catch (const std::exception& error) {
    // The command reports its own failures; this only keeps an unforeseen
    // one (out of memory) from taking the window down.
    ShowMessage(error.what());
    return;
  }
  if (!result.ran) return;
  txtAns_->setPlainText(DisplayLines(result.answerText));
  setWindowTitle(QString::fromStdString(result.title));
}

InputFields Form1::ReadFields() const {
  InputFields fields;
  for (int k = 0; k < kMaxEquations; ++k) {
    fields.txtEqs[k] = txtEqs_[k]->text().toStdString();
  }
  fields.txtVars = txtVars_->text().toStdString();
  fields.txtVarsI = txtVarsI_->text().toStdString();
  return fields;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cmdExecute_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (IsEnterKey(*key)) {
      if (!key->isAutoRepeat()) cmdExecute_->click();
      return true;
    }
  }
  if (watched == listA_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    ListA_DblClick();
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::PrintLine(std::string_view line) {
  picPrint_->Print(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void Form1::ShowMessage(std::string_view text) {
  if (messageSink_ != nullptr) {
    messageSink_->ShowMessage(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok,
                  this);
  // Engine descriptions may hold "<" or "&", which must not be read as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void Form1::Beep() {
  if (messageSink_ != nullptr) {
    messageSink_->Beep();
    return;
  }
  QApplication::beep();
}

}  // namespace app
