#include "StudioWindow.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/Examples.h"
#include "cli/Commands.h"
#include "cli/InputText.h"
#include "cli/PlotCommand.h"
#include "plot/Frame.h"
#include "plot/Limits.h"
#include "problem/SystemFile.h"
#include "robust/Roots.h"

namespace studio {

// What the picture's worker leaves: the scene and the PNG drawn from it.
struct PictureResult {
  Picture picture;
  QString imagePath;  // empty when nothing was drawn
  QString drawError;
  bool stopped = false;
  unsigned long revision = 0;
};

namespace {

// Quiet time after the last keystroke before the text is checked and drawn.
constexpr int kCheckDelayMilliseconds = 300;
constexpr int kPictureDelayMilliseconds = 250;
constexpr int kRecentFiles = 8;
constexpr const char* kRecentKey = "recentFiles";
// Root-search progress reaches the window at most this often.
constexpr int kProgressMilliseconds = 50;
// Start and box values are written to a tenth of a pixel of the picture.
constexpr double kPixelFraction = 0.1;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

QSettings StudioSettings() { return QSettings(QStringLiteral("nlsolver"), QStringLiteral("studio")); }

// A table item that sorts by the number it stands for, where it has one.
class CellItem : public QTableWidgetItem {
 public:
  explicit CellItem(const Cell& cell) : QTableWidgetItem(FromUtf8(cell.text)), value_(cell.value) {
    if (value_) setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    const auto* cell = dynamic_cast<const CellItem*>(&other);
    if (cell != nullptr && value_ && cell->value_) return *value_ < *cell->value_;
    if (cell != nullptr && value_ != cell->value_.has_value()) return value_.has_value();  // numbers first
    return QTableWidgetItem::operator<(other);
  }

 private:
  std::optional<double> value_;
};

QString Html(const Report& report, const Outcome& outcome) {
  QString html = QStringLiteral("<h3>%1</h3>").arg(FromUtf8(report.title).toHtmlEscaped());
  const QString verdict = FromUtf8(outcome.verdict).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
  const QString colour = outcome.cancelled ? QStringLiteral("#a05a00")
                         : outcome.root     ? QStringLiteral("#006400")
                                            : QStringLiteral("#b00000");
  html += QStringLiteral("<p style=\"color:%1\"><b>%2</b></p>").arg(colour, verdict);
  html += QStringLiteral("<pre style=\"white-space: pre-wrap\">%1</pre>").arg(FromUtf8(report.printed).toHtmlEscaped());
  for (const Table& table : report.tables) {
    html += QStringLiteral("<h4>%1</h4><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr>")
                .arg(FromUtf8(table.heading).toHtmlEscaped());
    for (const std::string& column : table.columns)
      html += QStringLiteral("<th>%1</th>").arg(FromUtf8(column).toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (const std::vector<Cell>& row : table.rows) {
      html += QStringLiteral("<tr>");
      for (const Cell& cell : row)
        html += QStringLiteral("<td%1>%2</td>")
                    .arg(cell.value ? QStringLiteral(" align=\"right\"") : QString(),
                         FromUtf8(cell.text).toHtmlEscaped());
      html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
  }
  return html;
}

}  // namespace

StudioWindow::StudioWindow(QWidget* parent)
    : QMainWindow(parent),
      checker_(std::make_unique<BackgroundTask>()),
      runner_(std::make_unique<BackgroundTask>()),
      painter_(std::make_unique<BackgroundTask>()) {
  editor_ = new CodeEditor;
  editor_->setObjectName(QStringLiteral("editor"));
  problems_ = new QListWidget;
  problems_->setObjectName(QStringLiteral("problems"));
  report_ = new QTextBrowser;
  report_->setObjectName(QStringLiteral("report"));
  report_->setOpenLinks(false);
  rootsTable_ = new QTableWidget;
  rootsTable_->setObjectName(QStringLiteral("roots"));
  rootsTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rootsTable_->setSortingEnabled(true);
  rootsTable_->verticalHeader()->hide();
  rootsVerdict_ = new QLabel;
  rootsVerdict_->setWordWrap(true);
  rootsVerdict_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  picture_ = new PictureView;
  picture_->setObjectName(QStringLiteral("picture"));
  pictureSummary_ = new QLabel;
  pictureSummary_->setWordWrap(true);
  pictureSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* rootsPage = new QWidget;
  auto* rootsLayout = new QVBoxLayout(rootsPage);
  rootsLayout->addWidget(rootsVerdict_);
  rootsLayout->addWidget(rootsTable_, 1);
  tabs_ = new QTabWidget;
  tabs_->addTab(report_, tr("Report"));
  tabs_->addTab(rootsPage, tr("Roots"));

  auto* picturePage = new QWidget;
  auto* pictureLayout = new QVBoxLayout(picturePage);
  pictureLayout->setContentsMargins(0, 0, 0, 0);
  pictureLayout->addWidget(picture_, 1);
  pictureLayout->addWidget(pictureSummary_);

  auto* left = new QSplitter(Qt::Vertical);
  left->addWidget(editor_);
  left->addWidget(problems_);
  left->setStretchFactor(0, 4);
  left->setStretchFactor(1, 1);
  auto* right = new QSplitter(Qt::Vertical);
  right->addWidget(picturePage);
  right->addWidget(tabs_);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(left);
  split->addWidget(right);
  split->setStretchFactor(0, 2);
  split->setStretchFactor(1, 3);
  setCentralWidget(split);

  status_ = new QLabel;
  progress_ = new QProgressBar;
  progress_->setMaximumWidth(260);
  progress_->setVisible(false);
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(progress_);

  BuildToolBar();
  BuildMenus();

  checkTimer_.setSingleShot(true);
  checkTimer_.setInterval(kCheckDelayMilliseconds);
  connect(&checkTimer_, &QTimer::timeout, this, &StudioWindow::StartCheck);
  pictureTimer_.setSingleShot(true);
  pictureTimer_.setInterval(kPictureDelayMilliseconds);
  connect(&pictureTimer_, &QTimer::timeout, this, &StudioWindow::StartPicture);

  connect(editor_, &QPlainTextEdit::textChanged, this, &StudioWindow::TextChanged);
  connect(editor_->document(), &QTextDocument::modificationChanged, this, [this] { UpdateTitle(); });
  connect(problems_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const int line = item->data(Qt::UserRole).toInt();
    if (line > 0) editor_->GoTo(line, item->data(Qt::UserRole + 1).toInt());
  });
  picture_->clicked = [this](QPointF pixel) { PictureClicked(pixel); };
  picture_->panned = [this](QPoint delta) { PicturePanned(delta); };
  picture_->zoomed = [this](double factor, QPointF pixel) { PictureZoomed(factor, pixel); };

  resize(1280, 860);
  SetDocument(QString(), QString());
  status_->setText(tr("F5 solves, F6 finds the roots in the box; the examples are on the Examples menu."));
  report_->setPlaceholderText(tr("F5 solves from the start: the report comes here.\n"
                                 "F6 finds every root in the box: the roots come in the Roots tab.\n"
                                 "Ctrl+Shift+C copies the report; the File menu exports it."));
}

StudioWindow::~StudioWindow() {
  // Each task stops its work and waits for it before anything it was given goes.
  checker_.reset();
  runner_.reset();
  painter_.reset();
}

void StudioWindow::BuildToolBar() {
  QToolBar* bar = addToolBar(tr("Run"));
  bar->setObjectName(QStringLiteral("runBar"));
  bar->setMovable(false);
  bar->addWidget(new QLabel(tr(" Method ")));
  method_ = new QComboBox;
  method_->setObjectName(QStringLiteral("method"));
  for (const problem::MethodInfo& info : problem::Methods()) {
    method_->addItem(FromUtf8(std::string(info.name)), static_cast<int>(info.method));
    method_->setItemData(method_->count() - 1, FromUtf8(std::string(info.description)), Qt::ToolTipRole);
  }
  const int automatic = method_->findText(QStringLiteral("auto"));
  if (automatic >= 0) method_->setCurrentIndex(automatic);
  bar->addWidget(method_);
  bar->addWidget(new QLabel(tr("  ftol ")));
  ftol_ = new QLineEdit;
  ftol_->setPlaceholderText(tr("rounding test"));
  ftol_->setToolTip(tr("--ftol: a root when every |F| is at most this; empty: within the rounding bound at the "
                       "equations' scale"));
  ftol_->setMaximumWidth(110);
  bar->addWidget(ftol_);
  certify_ = new QCheckBox(tr("Certify"));
  certify_->setToolTip(tr("Prove the root (Solve) or the list of roots (Roots) with interval arithmetic"));
  bar->addWidget(certify_);
  bar->addWidget(new QLabel(tr("  Roots budget (s) ")));
  budget_ = new QLineEdit;
  budget_->setPlaceholderText(cli::DefaultText(robust::RootsOptions{}.maxSeconds).c_str());
  budget_->setToolTip(tr("--budget: the seconds the root search (and its proof) may take"));
  budget_->setMaximumWidth(70);
  bar->addWidget(budget_);
  bar->addSeparator();

  solveAction_ = new QAction(tr("Solve"), this);
  solveAction_->setShortcut(QKeySequence(Qt::Key_F5));
  solveAction_->setToolTip(tr("Solve from the start (F5)"));
  connect(solveAction_, &QAction::triggered, this, &StudioWindow::Solve);
  rootsAction_ = new QAction(tr("Roots"), this);
  rootsAction_->setShortcut(QKeySequence(Qt::Key_F6));
  rootsAction_->setToolTip(tr("Find every root in the box (F6)"));
  connect(rootsAction_, &QAction::triggered, this, &StudioWindow::FindRoots);
  cancelAction_ = new QAction(tr("Cancel"), this);
  cancelAction_->setShortcut(QKeySequence(Qt::Key_Escape));
  cancelAction_->setToolTip(tr("Stop the running command (Escape)"));
  cancelAction_->setEnabled(false);
  connect(cancelAction_, &QAction::triggered, this, &StudioWindow::Cancel);
  // The toolbar's buttons name their keys; the menu shows them beside the text.
  solveAction_->setIconText(tr("Solve (F5)"));
  rootsAction_->setIconText(tr("Roots (F6)"));
  cancelAction_->setIconText(tr("Cancel (Esc)"));
  bar->addAction(solveAction_);
  bar->addAction(rootsAction_);
  bar->addAction(cancelAction_);

  connect(method_, &QComboBox::currentIndexChanged, this, &StudioWindow::SettingsChanged);
  connect(ftol_, &QLineEdit::textChanged, this, &StudioWindow::SettingsChanged);
  connect(certify_, &QCheckBox::toggled, this, &StudioWindow::SettingsChanged);
  connect(budget_, &QLineEdit::textChanged, this, &StudioWindow::SettingsChanged);
}

void StudioWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&New"), QKeySequence::New, this, [this] { NewFile(); });
  file->addAction(tr("&Open..."), QKeySequence::Open, this, [this] { Open(); });
  recentMenu_ = file->addMenu(tr("Open &Recent"));
  FillRecentMenu();
  file->addAction(tr("&Save"), QKeySequence::Save, this, [this] { Save(); });
  file->addAction(tr("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this, [this] { SaveAs(); });
  file->addSeparator();
  file->addAction(tr("Export Report as &Markdown..."), this,
                  [this] { Export(false, tr("Markdown (*.md)"), QStringLiteral("md"), false); });
  file->addAction(tr("Export Report as &JSON..."), this,
                  [this] { Export(false, tr("JSON (*.json)"), QStringLiteral("json"), true); });
  file->addAction(tr("Export Picture as &PNG..."), this,
                  [this] { Export(true, tr("PNG image (*.png)"), QStringLiteral("png"), false); });
  file->addAction(tr("Export Picture as S&VG..."), this,
                  [this] { Export(true, tr("SVG image (*.svg)"), QStringLiteral("svg"), false); });
  file->addSeparator();
  file->addAction(tr("&Quit"), QKeySequence::Quit, this, [this] { close(); });

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addAction(tr("&Undo"), QKeySequence::Undo, editor_, &QPlainTextEdit::undo);
  edit->addAction(tr("&Redo"), QKeySequence::Redo, editor_, &QPlainTextEdit::redo);
  edit->addSeparator();
  QAction* copy = edit->addAction(tr("&Copy Report"), this, [this] { CopyReport(); });
  copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  addAction(copy);

  QMenu* examples = menuBar()->addMenu(tr("E&xamples"));
  for (int n = 1; n <= app::kExampleCount; ++n) {
    std::string label;
    const std::vector<std::string_view> equations = app::ExampleEquations(n);
    for (std::size_t i = 0; i < equations.size(); ++i) label += (i ? ";  " : "") + std::string(equations[i]);
    examples->addAction(QStringLiteral("&%1  %2").arg(n).arg(FromUtf8(label)), this, [this, n] { LoadExample(n); });
  }

  QMenu* run = menuBar()->addMenu(tr("&Run"));
  run->addAction(solveAction_);
  run->addAction(rootsAction_);
  run->addAction(cancelAction_);
}

Settings StudioWindow::CurrentSettings() const {
  Settings settings;
  settings.method = static_cast<problem::Method>(method_->currentData().toInt());
  // The Go command has neither: their fields are off while newton is chosen.
  if (ftol_->isEnabled()) settings.ftol = ToUtf8(ftol_->text().trimmed());
  settings.certify = certify_->isEnabled() && certify_->isChecked();
  settings.budget = ToUtf8(budget_->text().trimmed());
  return settings;
}

QString StudioWindow::FileName() const { return path_.isEmpty() ? untitledName_ : QFileInfo(path_).fileName(); }

bool StudioWindow::Settled() const {
  return !checkTimer_.isActive() && !pictureTimer_.isActive() && !Checking() && !Drawing() && !checkPending_ &&
         !picturePending_ && checkedRevision_ == revision_;
}

void StudioWindow::SettingsChanged() {
  const bool newton = CurrentSettings().method == problem::Method::Newton;
  ftol_->setEnabled(!newton);
  certify_->setEnabled(!newton);
  ++revision_;
  checkTimer_.start();
}

void StudioWindow::TextChanged() {
  ++revision_;
  checkTimer_.start();
}

void StudioWindow::StartCheck() {
  if (checker_->Busy()) {
    checkPending_ = true;
    return;
  }
  checkPending_ = false;
  auto result = std::make_shared<Check>();
  const unsigned long revision = revision_;
  checker_->Start(
      [result, name = ToUtf8(FileName()), text = ToUtf8(editor_->toPlainText()),
       settings = CurrentSettings()](const std::atomic<int>*) { *result = CheckText(name, text, settings); },
      [this, result, revision] {
        if (checkPending_ || revision != revision_) {
          StartCheck();
          return;
        }
        checkedRevision_ = revision;
        ShowCheck(*result);
      });
}

void StudioWindow::ShowCheck(const Check& check) {
  problems_->clear();
  if (editor_->toPlainText().trimmed().isEmpty()) {
    // Nothing typed yet is no fault to point at.
    problems_->addItem(tr("Type a system (one equation per line), or load one from the Examples menu."));
    editor_->SetMarks({});
    readable_ = false;
    scene_.reset();
    picture_->SetImage(QImage());
    picture_->SetNote(QString());
    pictureSummary_->clear();
    return;
  }
  std::vector<EditorMark> marks;
  for (const Diagnostic& diagnostic : check.diagnostics) {
    const QString message = FromUtf8(diagnostic.message);
    auto* item = new QListWidgetItem((diagnostic.error ? tr("error: ") : tr("warning: ")) + message);
    item->setForeground(diagnostic.error ? QColor(190, 0, 0) : QColor(160, 90, 0));
    item->setData(Qt::UserRole, diagnostic.place.line);
    item->setData(Qt::UserRole + 1, diagnostic.place.column);
    problems_->addItem(item);
    if (diagnostic.place.line > 0)
      marks.push_back(EditorMark{diagnostic.place.line, diagnostic.place.column, diagnostic.error, message});
  }
  if (check.diagnostics.empty()) problems_->addItem(tr("No errors or warnings."));
  editor_->SetMarks(std::move(marks));
  readable_ = check.readable;
  if (readable_) {
    RequestPicture();
  } else {
    picture_->SetNote(tr("Not redrawn: the system has an error (listed below the editor)."));
  }
}

void StudioWindow::RequestPicture() {
  if (painter_->Busy()) {
    painter_->Stop();  // a newer picture replaces it
    picturePending_ = true;
    return;
  }
  pictureTimer_.start();
}

void StudioWindow::StartPicture() {
  if (painter_->Busy()) {
    picturePending_ = true;
    return;
  }
  picturePending_ = false;
  if (!readable_) return;
  if (!pictures_.isValid()) {
    picture_->SetNote(tr("No picture: no temporary folder to draw in."));
    return;
  }
  int width = std::clamp(picture_->width(), plot::kMinSide, plot::kMaxSide);
  int height = std::clamp(picture_->height(), plot::kMinSide, plot::kMaxSide);
  if (static_cast<long>(width) * height > plot::kMaxPixels) height = static_cast<int>(plot::kMaxPixels / width);
  auto result = std::make_shared<PictureResult>();
  result->revision = revision_;
  // A fresh file name each time: the one shown may still be read.
  result->imagePath = pictures_.filePath(QStringLiteral("picture-%1.png").arg(++pictureCount_));
  picture_->SetNote(picture_->Image().isNull() ? tr("Drawing...") : QString());
  painter_->Start(
      [result, name = ToUtf8(FileName()), text = ToUtf8(editor_->toPlainText()), settings = CurrentSettings(), width,
       height](const std::atomic<int>* stop) {
        result->picture = BuildPicture(name, text, settings, width, height, stop);
        result->stopped = stop->load() != 0;
        std::string error;
        if (!result->picture.drawn || result->stopped ||
            !cli::WritePicture(result->picture.scene, ToUtf8(result->imagePath), error)) {
          result->drawError = FromUtf8(error);
          result->imagePath.clear();
        }
      },
      [this, result] {
        if (picturePending_ || result->stopped) {
          StartPicture();
          return;
        }
        ShowPicture(*result);
      });
}

void StudioWindow::ShowPicture(const PictureResult& result) {
  const QString messages = FromUtf8(result.picture.messages).trimmed();
  if (result.imagePath.isEmpty()) {
    QString note = tr("No picture.");
    if (!messages.isEmpty()) note += QLatin1Char('\n') + messages;
    if (!result.drawError.isEmpty()) note += QLatin1Char('\n') + result.drawError;
    // The text as it stands has no picture: an earlier one (another method's
    // run, say) would show what is no longer asked.
    scene_.reset();
    picture_->SetImage(QImage());
    picture_->SetInteractive(false);
    pictureSummary_->clear();
    picture_->SetNote(note);
    return;
  }
  QImage image(result.imagePath);
  QFile::remove(result.imagePath);
  auto scene = std::make_shared<plot::Scene>(std::move(result.picture.scene));
  scene_ = scene;
  viewBox_ = scene->box;
  drawnRevision_ = result.revision;
  picture_->SetImage(std::move(image));
  picture_->SetInteractive(scene->kind == plot::Kind::ZeroCurves);
  picture_->SetNote(QString());
  QString summary = FromUtf8(result.picture.summary);
  if (scene->kind == plot::Kind::ZeroCurves)
    summary += tr("  Click: solve from there; wheel: zoom; drag: pan.");
  // What the drawing's run said (warnings, the Go command's messages), below it.
  if (!messages.isEmpty()) summary += QLatin1Char('\n') + messages;
  pictureSummary_->setText(summary);
}

void StudioWindow::Solve() { StartCommand(false); }
void StudioWindow::FindRoots() { StartCommand(true); }

void StudioWindow::Cancel() {
  if (!runner_->Busy()) return;
  runner_->Stop();
  status_->setText(tr("Stopping..."));
}

void StudioWindow::SetRunning(bool running, const QString& what) {
  solveAction_->setEnabled(!running);
  rootsAction_->setEnabled(!running);
  cancelAction_->setEnabled(running);
  progress_->setVisible(running);
  if (running) {
    progress_->setRange(0, 0);  // busy until the first count arrives
    status_->setText(what);
  }
}

void StudioWindow::StartCommand(bool roots) {
  if (runner_->Busy()) {
    status_->setText(tr("A command is running; Escape cancels it."));
    return;
  }
  auto outcome = std::make_shared<Outcome>();
  SetRunning(true, roots ? tr("Finding the roots in the box...") : tr("Solving..."));
  // Progress comes from the worker: posted to the window, at most every few milliseconds.
  auto progress = [this, last = std::chrono::steady_clock::time_point()](const robust::RootsProgress& p) mutable {
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(kProgressMilliseconds)) return;
    last = now;
    QMetaObject::invokeMethod(
        runner_.get(),
        [this, p] {
          progress_->setRange(0, std::max(1, p.startsPlanned));
          progress_->setValue(std::min(p.startsDone, p.startsPlanned));
          status_->setText(tr("Finding the roots: %1 of %2 starts, %3 roots so far")
                               .arg(p.startsDone)
                               .arg(p.startsPlanned)
                               .arg(p.roots));
        },
        Qt::QueuedConnection);
  };
  runner_->Start(
      [outcome, roots, progress, name = ToUtf8(FileName()), text = ToUtf8(editor_->toPlainText()),
       settings = CurrentSettings()](const std::atomic<int>* stop) {
        *outcome = roots ? studio::FindRoots(name, text, settings, stop, progress)
                         : studio::Solve(name, text, settings, stop);
      },
      [this, outcome, roots] {
        SetRunning(false, {});
        ShowOutcome(*outcome, roots);
      });
}

void StudioWindow::ShowOutcome(const Outcome& outcome, bool roots) {
  lastOutcome_ = outcome;
  lastReport_ = outcome.report;
  report_->setHtml(Html(outcome.report, outcome));
  status_->setText(FromUtf8(outcome.verdict).replace(QLatin1Char('\n'), QStringLiteral("  ")));
  if (roots) {
    ShowRootsTable(outcome.report, outcome);
    tabs_->setCurrentIndex(1);
  } else {
    tabs_->setCurrentIndex(0);
  }
}

void StudioWindow::ShowRootsTable(const Report& report, const Outcome& outcome) {
  rootsTable_->setSortingEnabled(false);
  rootsTable_->clear();
  rootsTable_->setRowCount(0);
  rootsVerdict_->setText(FromUtf8(outcome.verdict));
  const auto table = std::find_if(report.tables.begin(), report.tables.end(),
                                  [](const Table& t) { return t.heading == "Roots"; });
  if (table == report.tables.end()) {
    rootsTable_->setColumnCount(0);
    return;
  }
  QStringList header;
  for (const std::string& column : table->columns) header << FromUtf8(column);
  rootsTable_->setColumnCount(static_cast<int>(header.size()));
  rootsTable_->setHorizontalHeaderLabels(header);
  rootsTable_->setRowCount(static_cast<int>(table->rows.size()));
  for (std::size_t r = 0; r < table->rows.size(); ++r)
    for (std::size_t c = 0; c < table->rows[r].size(); ++c)
      rootsTable_->setItem(static_cast<int>(r), static_cast<int>(c), new CellItem(table->rows[r][c]));
  rootsTable_->resizeColumnsToContents();
  rootsTable_->setSortingEnabled(true);
}

void StudioWindow::CopyReport() {
  if (!lastReport_) {
    status_->setText(tr("No report to copy yet: F5 solves, F6 finds the roots."));
    return;
  }
  QGuiApplication::clipboard()->setText(FromUtf8(PlainText(*lastReport_)));
  status_->setText(tr("The report is on the clipboard."));
}

bool StudioWindow::ExportReport(const QString& path, bool json, QString* error) {
  if (!lastReport_) {
    *error = tr("There is no report yet: F5 solves, F6 finds the roots.");
    return false;
  }
  const std::string text = json ? cli::JsonText(lastReport_->json) + '\n' : Markdown(*lastReport_);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) < 0 ||
      !file.commit()) {
    *error = tr("Cannot write %1: %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

bool StudioWindow::ExportPicture(const QString& path, QString* error) {
  if (!scene_) {
    *error = tr("There is no picture yet.");
    return false;
  }
  std::string why;
  if (!cli::WritePicture(*scene_, ToUtf8(path), why)) {
    *error = FromUtf8(why);
    return false;
  }
  return true;
}

void StudioWindow::Export(bool picture, const QString& filter, const QString& suffix, bool json) {
  const QString base = QFileInfo(FileName()).completeBaseName();
  QString path = QFileDialog::getSaveFileName(this, tr("Export"), base + QLatin1Char('.') + suffix, filter);
  if (path.isEmpty()) return;
  if (!path.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive)) path += QLatin1Char('.') + suffix;
  QString error;
  const bool written = picture ? ExportPicture(path, &error) : ExportReport(path, json, &error);
  if (!written) {
    QMessageBox::warning(this, tr("Export"), error);
  } else {
    status_->setText(tr("Wrote %1").arg(path));
  }
}

void StudioWindow::UpdateTitle() {
  setWindowTitle(FileName() + QStringLiteral("[*] \u2014 ") + QString::fromLatin1(kStudioName));
  setWindowModified(editor_->document()->isModified());
}

void StudioWindow::SetDocument(const QString& text, const QString& path) {
  path_ = path;
  editor_->setPlainText(text);
  editor_->document()->setModified(false);
  scene_.reset();
  picture_->SetImage(QImage());
  pictureSummary_->clear();
  UpdateTitle();
}

bool StudioWindow::MaybeSave() {
  if (!editor_->document()->isModified()) return true;
  const QMessageBox::StandardButton answer = QMessageBox::warning(
      this, QString::fromLatin1(kStudioName), tr("%1 has changes that are not saved. Save them?").arg(FileName()),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Save) return Save();
  return answer == QMessageBox::Discard;
}

bool StudioWindow::OpenFile(const QString& path, QString* error) {
  const std::string file = ToUtf8(path);
  const cli::InputRead read = cli::ReadInputText(file);
  std::optional<std::string> problem;
  if (!read.text) {
    problem = read.error;
  } else {
    problem = cli::TextProblem(file, *read.text);
  }
  if (problem) {
    if (error != nullptr) {
      *error = FromUtf8(*problem);
    } else {
      QMessageBox::warning(this, QString::fromLatin1(kStudioName), FromUtf8(*problem));
    }
    return false;
  }
  // A byte order mark the reader would skip is not part of the text.
  std::string_view text = *read.text;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  SetDocument(FromUtf8(std::string(text)), QFileInfo(path).absoluteFilePath());
  AddRecent(path_);
  return true;
}

void StudioWindow::Open() {
  if (!MaybeSave()) return;
  const QString path = QFileDialog::getOpenFileName(this, tr("Open a system"), QFileInfo(path_).absolutePath(),
                                                    tr("Systems (*.txt *.sys);;All files (*)"));
  if (!path.isEmpty()) OpenFile(path);
}

void StudioWindow::NewFile() {
  if (!MaybeSave()) return;
  untitledName_ = QStringLiteral("untitled.txt");
  SetDocument(QString(), QString());
}

void StudioWindow::NewFileAt(const QString& path) {
  SetDocument(QString(), QFileInfo(path).absoluteFilePath());
  ShowStatus(tr("%1 is a new file: Save (Ctrl+S) writes it.").arg(QFileInfo(path).fileName()));
}

void StudioWindow::LoadExample(int example) {
  if (!MaybeSave()) return;
  untitledName_ = QStringLiteral("example%1.txt").arg(example);
  SetDocument(FromUtf8(ExampleText(example)), QString());
  ShowStatus(tr("Example %1: F5 solves it, F6 finds its roots in the box.").arg(example));
}

bool StudioWindow::SaveTo(const QString& path) {
  const QByteArray text = editor_->toPlainText().toUtf8();
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0 || !file.commit()) {
    QMessageBox::warning(this, QString::fromLatin1(kStudioName),
                         tr("Cannot write %1: %2").arg(path, file.errorString()));
    return false;
  }
  const bool renamed = QFileInfo(path).absoluteFilePath() != path_;
  path_ = QFileInfo(path).absoluteFilePath();
  editor_->document()->setModified(false);
  UpdateTitle();
  AddRecent(path_);
  // Messages name the file: a new name is checked and drawn again.
  if (renamed) TextChanged();
  return true;
}

bool StudioWindow::Save() { return path_.isEmpty() ? SaveAs() : SaveTo(path_); }

bool StudioWindow::SaveAs() {
  const QString suggested = path_.isEmpty() ? untitledName_ : path_;
  const QString path = QFileDialog::getSaveFileName(this, tr("Save the system as"), suggested,
                                                    tr("Systems (*.txt *.sys);;All files (*)"));
  return !path.isEmpty() && SaveTo(path);
}

void StudioWindow::AddRecent(const QString& path) {
  QSettings settings = StudioSettings();
  QStringList recent = settings.value(QString::fromLatin1(kRecentKey)).toStringList();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kRecentFiles) recent.removeLast();
  settings.setValue(QString::fromLatin1(kRecentKey), recent);
  FillRecentMenu();
}

void StudioWindow::FillRecentMenu() {
  recentMenu_->clear();
  const QStringList recent = StudioSettings().value(QString::fromLatin1(kRecentKey)).toStringList();
  for (const QString& path : recent) {
    recentMenu_->addAction(path, this, [this, path] {
      if (MaybeSave()) OpenFile(path);
    });
  }
  recentMenu_->setEnabled(!recent.isEmpty());
}

void StudioWindow::ApplyEdit(const LineEdit& edit) {
  QTextDocument* document = editor_->document();
  QTextCursor cursor(document);
  cursor.beginEditBlock();
  const QString text = FromUtf8(edit.text);
  if (edit.first > edit.last) {
    const QTextBlock before = document->findBlockByNumber(edit.first - 1);
    if (before.isValid()) {
      cursor.setPosition(before.position());
      cursor.insertText(text + QLatin1Char('\n'));
    } else {
      cursor.movePosition(QTextCursor::End);
      if (!document->lastBlock().text().isEmpty()) cursor.insertText(QStringLiteral("\n"));
      cursor.insertText(text + QLatin1Char('\n'));
    }
  } else {
    const QTextBlock first = document->findBlockByNumber(edit.first - 1);
    const QTextBlock last = document->findBlockByNumber(edit.last - 1);
    cursor.setPosition(first.position());
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(text);
  }
  cursor.endEditBlock();
}

void StudioWindow::PictureClicked(QPointF pixel) {
  if (!scene_ || !InsidePlot(*scene_, pixel.x(), pixel.y())) return;
  const PlanePoint point = PlaneAt(*scene_, pixel.x(), pixel.y());
  const plot::Rect area = plot::SceneFrame(*scene_).Area();
  const double resolution =
      kPixelFraction * std::min((scene_->box.xMax - scene_->box.xMin) / area.width,
                                (scene_->box.yMax - scene_->box.yMin) / area.height);
  const double start[2] = {point.x, point.y};
  const std::string text = ToUtf8(editor_->toPlainText());
  const KeyLines keys = KeyLinesOf(text);
  if (!keys.read) return;
  // Without a box: line the picture's box follows the start; the box shown
  // is written down first, so that the picture stays where it is.
  std::optional<LineEdit> box;
  if (keys.box == 0) box = BoxEdit(text, scene_->box, resolution);
  QTextCursor group(editor_->document());
  group.beginEditBlock();  // one step to undo
  if (box) ApplyEdit(*box);
  const std::optional<LineEdit> edit = StartEdit(ToUtf8(editor_->toPlainText()), start, resolution);
  if (edit) ApplyEdit(*edit);
  group.endEditBlock();
  Solve();
}

void StudioWindow::SetBox(const plot::Box& box) {
  if (!scene_) return;
  const plot::Rect area = plot::SceneFrame(*scene_).Area();
  const double resolution =
      kPixelFraction * std::min((box.xMax - box.xMin) / area.width, (box.yMax - box.yMin) / area.height);
  const std::optional<LineEdit> edit = BoxEdit(ToUtf8(editor_->toPlainText()), box, resolution);
  if (!edit) return;
  viewBox_ = box;
  ApplyEdit(*edit);
}

void StudioWindow::PicturePanned(QPoint delta) {
  if (!scene_) return;
  const PlanePoint a = PlaneAt(*scene_, 0, 0);
  const PlanePoint b = PlaneAt(*scene_, delta.x(), delta.y());
  const double dx = a.x - b.x, dy = a.y - b.y;
  SetBox(plot::Box{viewBox_.xMin + dx, viewBox_.xMax + dx, viewBox_.yMin + dy, viewBox_.yMax + dy});
}

void StudioWindow::PictureZoomed(double factor, QPointF pixel) {
  if (!scene_ || !InsidePlot(*scene_, pixel.x(), pixel.y())) return;
  // Where the pointer is, as a fraction of the box shown; the box asked for
  // last keeps that point under the pointer.
  const PlanePoint p = PlaneAt(*scene_, pixel.x(), pixel.y());
  const plot::Box& shown = scene_->box;
  const double fx = (p.x - shown.xMin) / (shown.xMax - shown.xMin);
  const double fy = (p.y - shown.yMin) / (shown.yMax - shown.yMin);
  const double cx = viewBox_.xMin + fx * (viewBox_.xMax - viewBox_.xMin);
  const double cy = viewBox_.yMin + fy * (viewBox_.yMax - viewBox_.yMin);
  const double width = (viewBox_.xMax - viewBox_.xMin) * factor, height = (viewBox_.yMax - viewBox_.yMin) * factor;
  // Beyond these the sides would no longer be told apart in the box: line.
  if (!(width > 1E-9 * (1 + std::fabs(cx)) && height > 1E-9 * (1 + std::fabs(cy)) && width < 1E12 && height < 1E12))
    return;
  SetBox(plot::Box{cx - fx * width, cx + (1 - fx) * width, cy - fy * height, cy + (1 - fy) * height});
}

void StudioWindow::closeEvent(QCloseEvent* event) {
  if (!MaybeSave()) {
    event->ignore();
    return;
  }
  // Running work ends at its next check of the stop flag; the tasks wait for it.
  runner_->Stop();
  painter_->Stop();
  event->accept();
}

int RunStudio(const QStringList& arguments) {
  if (arguments.size() > 1) {
    std::cerr << "nlsolver: --studio takes at most one file, got " << arguments.size() << '\n';
    return 2;
  }
  StudioWindow window;
  if (!arguments.isEmpty() && !arguments.front().isEmpty()) {
    QString error;
    if (!QFileInfo::exists(arguments.front())) {
      // As editors do: a new file of that name, written by the first save.
      window.NewFileAt(arguments.front());
    } else if (!window.OpenFile(arguments.front(), &error)) {
      std::cerr << "nlsolver: " << ToUtf8(error) << '\n';
      window.ShowStatus(error);
    }
  }
  window.show();
  return QApplication::exec();
}

}  // namespace studio
