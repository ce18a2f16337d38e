// The studio driven as a user drives it: key presses and clicks go through
// the X server (xdotool under Xvfb) to the real window, which is then read
// back. STUDIO_SHOTS=DIR saves a screenshot of each state there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/studio/StudioWindow.h"
#include "plot/Frame.h"

namespace {

// Long enough for a solve, a picture or a search of the systems below on a
// loaded machine; the waits end as soon as their condition holds.
constexpr int kWaitMilliseconds = 60000;
// A cancelled search must end quickly: the search polls its stop flag at
// each evaluation.
constexpr int kCancelMilliseconds = 5000;

bool WaitUntil(const std::function<bool()>& done, int milliseconds = kWaitMilliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(10);
  }
  return true;
}

// xdotool with the arguments; true when it succeeded. It only talks to the
// X server, so the window's events are handled after it returns.
bool Xdotool(const QStringList& arguments) { return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0; }

void Shot(QWidget& window, const QString& name) {
  const QString folder = qEnvironmentVariable("STUDIO_SHOTS");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  window.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

const char* const kCircle = "# a circle and a line\nnames: x, y\nstart: 1, 1.5\nr2 = x^2 + y^2\n4 = r2\nx = y\n";

class StudioWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    window_ = std::make_unique<studio::StudioWindow>();
    window_->move(0, 0);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  void TearDown() override {
    window_->Editor()->document()->setModified(false);  // no question on closing
    window_.reset();
  }

  QString WriteFile(const QString& name, const QByteArray& text) {
    const QString path = folder_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
  }

  // The window gets the keyboard through the X server, as a click on it would give it.
  void Focus() {
    ASSERT_TRUE(Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window_->winId())}));
    ASSERT_TRUE(WaitUntil([&] { return window_->isActiveWindow(); }));
  }
  void Key(const QString& keys) {
    Focus();
    ASSERT_TRUE(Xdotool({QStringLiteral("key"), keys}));
  }
  void Click(QWidget* widget, QPoint at) {
    const QPoint global = widget->mapToGlobal(at);
    ASSERT_TRUE(Xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(global.x()),
                         QString::number(global.y()), QStringLiteral("click"), QStringLiteral("1")}));
  }
  // Opens the text as a file and waits for its check (and its picture, when it has one).
  void Open(const QByteArray& text, bool picture = true) {
    QString error;
    ASSERT_TRUE(window_->OpenFile(WriteFile(QStringLiteral("circle.txt"), text), &error)) << error.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return window_->Settled() && (!picture || window_->Scene() != nullptr); }));
  }
  // Waits for the command started by a key to end; false if it never started or ended.
  bool CommandEnds(int milliseconds = kWaitMilliseconds) {
    return WaitUntil([&] { return window_->LastOutcome().has_value() && !window_->Running(); }, milliseconds);
  }

  QTemporaryDir folder_;
  std::unique_ptr<studio::StudioWindow> window_;
};

TEST_F(StudioWindowTest, F5SolvesTheOpenedFileAndCtrlShiftCCopiesTheReport) {
  ASSERT_NO_FATAL_FAILURE(Open(kCircle));
  EXPECT_TRUE(window_->windowTitle().startsWith(QStringLiteral("circle.txt[*]"))) << window_->windowTitle().toStdString();
  Shot(*window_, QStringLiteral("1-opened"));
  ASSERT_NO_FATAL_FAILURE(Key(QStringLiteral("F5")));
  ASSERT_TRUE(CommandEnds());
  EXPECT_TRUE(window_->LastOutcome()->root);
  const QString shown = window_->ReportPane()->toPlainText();
  EXPECT_TRUE(shown.contains(QStringLiteral("x= 1.41421356237309"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("Rounding bound"))) << "the residuals' table";
  Shot(*window_, QStringLiteral("2-after-F5"));

  QGuiApplication::clipboard()->clear();
  ASSERT_NO_FATAL_FAILURE(Key(QStringLiteral("ctrl+shift+c")));
  ASSERT_TRUE(WaitUntil([&] { return !QGuiApplication::clipboard()->text().isEmpty(); }));
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), studio::PlainText(*window_->LastReport()));

  // The exports: the report as Markdown and as the command line's JSON, the picture as SVG.
  QString error;
  const QString markdown = folder_.filePath(QStringLiteral("report.md"));
  const QString json = folder_.filePath(QStringLiteral("report.json"));
  const QString svg = folder_.filePath(QStringLiteral("picture.svg"));
  ASSERT_TRUE(window_->ExportReport(markdown, false, &error)) << error.toStdString();
  ASSERT_TRUE(window_->ExportReport(json, true, &error)) << error.toStdString();
  ASSERT_TRUE(window_->ExportPicture(svg, &error)) << error.toStdString();
  QFile markdownFile(markdown), jsonFile(json), svgFile(svg);
  ASSERT_TRUE(markdownFile.open(QIODevice::ReadOnly) && jsonFile.open(QIODevice::ReadOnly) && svgFile.open(QIODevice::ReadOnly));
  EXPECT_EQ(markdownFile.readAll().toStdString(), studio::Markdown(*window_->LastReport()));
  EXPECT_EQ(nlohmann::json::parse(jsonFile.readAll().toStdString()).value("verdict", ""), "root");
  EXPECT_TRUE(svgFile.readAll().contains("<svg"));
  EXPECT_FALSE(window_->ExportPicture(folder_.filePath(QStringLiteral("picture.gif")), &error));
  EXPECT_FALSE(error.isEmpty());
}

TEST_F(StudioWindowTest, F6ListsTheRootsInASortableTable) {
  ASSERT_NO_FATAL_FAILURE(Open(kCircle));
  ASSERT_NO_FATAL_FAILURE(Key(QStringLiteral("F6")));
  ASSERT_TRUE(CommandEnds());
  QTableWidget* table = window_->RootsTable();
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(window_->Tabs()->currentIndex(), 1);
  EXPECT_TRUE(window_->RootsVerdict()->text().startsWith(QStringLiteral("found 2 roots in the box")))
      << window_->RootsVerdict()->text().toStdString();
  // Column 2 holds x: sorted by its value, descending puts the positive root first.
  table->sortItems(2, Qt::DescendingOrder);
  EXPECT_TRUE(table->item(0, 2)->text().startsWith(QStringLiteral("1.414"))) << table->item(0, 2)->text().toStdString();
  Shot(*window_, QStringLiteral("3-after-F6"));
}

TEST_F(StudioWindowTest, EscapeStopsALongSearchWithTheRootsFoundSoFar) {
  // 40 unknowns, 637 roots in each one's range: rounds of starts that go on
  // for minutes, and ten minutes to find them.
  QByteArray text = "box: -1000:1000\n";
  for (int i = 1; i <= 40; ++i) text += "sin(x" + QByteArray::number(i) + ")\n";
  ASSERT_NO_FATAL_FAILURE(Open(text));
  for (QLineEdit* field : window_->findChildren<QLineEdit*>())
    if (field->placeholderText() == QStringLiteral("30")) field->setText(QStringLiteral("600"));
  ASSERT_NO_FATAL_FAILURE(Key(QStringLiteral("F6")));
  ASSERT_TRUE(WaitUntil([&] { return window_->Running() && window_->Progress()->maximum() > 0; }));
  ASSERT_TRUE(WaitUntil([&] { return window_->Progress()->value() > 0; }));
  Shot(*window_, QStringLiteral("4-long-search"));
  QElapsedTimer stopping;
  stopping.start();
  ASSERT_NO_FATAL_FAILURE(Key(QStringLiteral("Escape")));
  ASSERT_TRUE(CommandEnds(kCancelMilliseconds)) << "the search went on after Escape";
  EXPECT_TRUE(window_->LastOutcome()->cancelled);
  EXPECT_TRUE(window_->ReportPane()->toPlainText().contains(QStringLiteral("was cancelled")));
  EXPECT_GT(window_->RootsTable()->rowCount(), 0) << "the roots found so far are listed";
  Shot(*window_, QStringLiteral("5-cancelled"));
}

TEST_F(StudioWindowTest, AClickInThePictureSetsTheStartAndSolves) {
  ASSERT_NO_FATAL_FAILURE(Open(kCircle));
  const std::shared_ptr<const plot::Scene> scene = window_->Scene();
  ASSERT_EQ(scene->kind, plot::Kind::ZeroCurves);
  const plot::Frame frame = plot::SceneFrame(*scene);
  ASSERT_NO_FATAL_FAILURE(Click(window_->Picture(), QPoint(qRound(frame.PixelX(-3)), qRound(frame.PixelY(2)))));
  ASSERT_TRUE(CommandEnds());
  // The start line reads the point clicked, to within a pixel.
  const QString text = window_->Editor()->toPlainText();
  const QRegularExpressionMatch start =
      QRegularExpression(QStringLiteral("start: (\\S+), (\\S+)\n")).match(text);
  ASSERT_TRUE(start.hasMatch()) << text.toStdString();
  const double pixel = (scene->box.xMax - scene->box.xMin) / frame.Area().width;
  EXPECT_NEAR(start.captured(1).toDouble(), -3, pixel);
  EXPECT_NEAR(start.captured(2).toDouble(), 2, pixel);
  // The solve ran from there: the report names that start.
  const nlohmann::json& json = window_->LastOutcome()->report.json;
  ASSERT_TRUE(json.contains("start")) << text.toStdString() << window_->LastReport()->printed;
  EXPECT_NEAR(json["start"][0].get<double>(), -3, pixel);
  EXPECT_TRUE(window_->isWindowModified());
  ASSERT_TRUE(WaitUntil([&] { return window_->Settled(); }));
  Shot(*window_, QStringLiteral("6-after-click"));
}

TEST_F(StudioWindowTest, ATypedFaultIsMarkedAtItsPlace) {
  ASSERT_NO_FATAL_FAILURE(Open("names: x, y\nx^2 + y\n", false));
  ASSERT_NO_FATAL_FAILURE(Focus());
  studio::CodeEditor* editor = window_->Editor();
  // Click at the end of the text, then type the second equation with a parenthesis missing.
  const QRect end = editor->cursorRect(QTextCursor(editor->document()->lastBlock()));
  ASSERT_NO_FATAL_FAILURE(Click(editor->viewport(), end.center()));
  ASSERT_TRUE(Xdotool({QStringLiteral("type"), QStringLiteral("x - (y")}));
  ASSERT_TRUE(WaitUntil([&] { return editor->toPlainText().endsWith(QStringLiteral("x - (y")); }));
  ASSERT_TRUE(WaitUntil([&] { return window_->Settled() && !editor->Marks().empty(); }));
  const studio::EditorMark& mark = editor->Marks().front();
  EXPECT_TRUE(mark.error);
  EXPECT_EQ(mark.line, 3);
  EXPECT_TRUE(mark.message.contains(QStringLiteral("Eq_2"))) << mark.message.toStdString();
  EXPECT_TRUE(window_->Problems()->item(0)->text().startsWith(QStringLiteral("error: ")));
  EXPECT_TRUE(window_->isWindowModified());
  Shot(*window_, QStringLiteral("7-fault-marked"));
}

TEST(StudioProgram, OpensTheFileGivenAndRefusesMore) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("given.txt"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(kCircle);
  file.close();

  QProcess studio;
  studio.start(QStringLiteral(NLSOLVER_PATH), {QStringLiteral("--studio"), path});
  ASSERT_TRUE(studio.waitForStarted());
  // The window shows up under the file's name.
  ASSERT_TRUE(WaitUntil([&] {
    return Xdotool({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^given\\.txt")});
  }));
  studio.terminate();
  studio.waitForFinished();

  QProcess refused;
  refused.start(QStringLiteral(NLSOLVER_PATH), {QStringLiteral("--studio"), path, path});
  ASSERT_TRUE(refused.waitForFinished());
  EXPECT_EQ(refused.exitCode(), 2);
  EXPECT_TRUE(refused.readAllStandardError().contains("--studio takes at most one file"));
}

}  // namespace

int main(int argc, char** argv) {
  // The drawing library of the build, wherever the test program runs from.
  if (qEnvironmentVariableIsEmpty("NLSOLVE_PLOT_LIBRARY")) qputenv("NLSOLVE_PLOT_LIBRARY", PLOT_LIBRARY_PATH);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
