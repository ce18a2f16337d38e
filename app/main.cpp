// nlsolver: opens the main window; `nlsolver --studio [FILE]` opens the studio.
//
// A hidden hook for screenshots and smoke runs: NLSOLVER_DEMO=N (1 to 9)
// double-clicks example N, presses Go with message boxes and beeps written to
// standard error instead, saves the window to the PNG files named by
// NLSOLVER_SCREENSHOT (after the load) and NLSOLVER_SCREENSHOT_AFTER_GO (after
// Go), prints the log lines, the title and the answer, and quits.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointF>
#include <QTimer>

#include "app/Examples.h"
#include "app/Form1.h"
#include "app/studio/StudioWindow.h"
#include "eval/SolverUi.h"
#include "packaging/Version.h"

namespace {

const char* const kApplicationName = "nlsolver";

// How long the demo lets the window system map and paint the window before it
// starts, so the grabs show what a user would see.
constexpr int kDemoSettleMilliseconds = 300;

class StderrUi : public eval::SolverUi {
 public:
  void PrintLine(std::string_view line) override { std::cerr << line << '\n'; }
  void ShowMessage(std::string_view text) override { std::cerr << "message: " << text << '\n'; }
  void Beep() override { std::cerr << "beep\n"; }
};

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool SaveGrab(app::Form1& form, const std::string& path) {
  if (path.empty()) return true;
  if (!form.grab().save(QString::fromStdString(path), "PNG")) {
    std::cerr << "nlsolver: cannot write " << path << '\n';
    return false;
  }
  std::cout << "wrote " << path << '\n';
  return true;
}

// A real double-click event on the entry, through the list's own event path.
void DoubleClickEntry(QListWidget& list, int row) {
  list.setCurrentRow(row);
  list.scrollToItem(list.item(row));
  const QPointF position = list.visualItemRect(list.item(row)).center();
  QMouseEvent doubleClick(QEvent::MouseButtonDblClick, position, list.viewport()->mapToGlobal(position),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &doubleClick);
}

int RunDemo(QApplication& application, const std::string& demo) {
  char* end = nullptr;
  const long example = std::strtol(demo.c_str(), &end, 10);
  if (end == demo.c_str() || *end != '\0' || example < 1 || example > app::kExampleCount) {
    std::cerr << "nlsolver: NLSOLVER_DEMO must be an example number from 1 to " << app::kExampleCount << '\n';
    return 2;
  }
  StderrUi sink;
  app::Form1 form(&sink);
  form.show();
  int status = 0;
  QTimer::singleShot(kDemoSettleMilliseconds, &form, [&] {
    DoubleClickEntry(*form.ListA(), static_cast<int>(example) - 1);
    QApplication::processEvents();
    if (!SaveGrab(form, Environment("NLSOLVER_SCREENSHOT"))) status = 1;
    form.CmdExecute()->click();
    QApplication::processEvents();
    if (!SaveGrab(form, Environment("NLSOLVER_SCREENSHOT_AFTER_GO"))) status = 1;
    for (const QString& line : form.PicPrint()->Lines()) std::cout << "log: " << line.toStdString() << '\n';
    std::cout << "title: " << form.windowTitle().toStdString() << '\n';
    std::cout << form.TxtAns()->toPlainText().toStdString();
    application.quit();
  });
  application.exec();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the application object exists, which needs a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << kApplicationName << ' ' << packaging::kVersion << '\n';
      return 0;
    }
  }

  // Without a display Qt's default platform aborts the process; say what is
  // missing instead. A platform chosen on purpose (offscreen, vnc, ...) goes ahead.
  if (Environment("DISPLAY").empty() && Environment("WAYLAND_DISPLAY").empty() &&
      Environment("QT_QPA_PLATFORM").empty()) {
    std::cerr << kApplicationName
              << ": no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset);"
                 " nlsolve solves systems without one\n";
    return 1;
  }

  QApplication application(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));

  // `nlsolver --studio [FILE]` opens the studio instead of the window.
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() > 1 && arguments.at(1) == QLatin1String("--studio"))
    return studio::RunStudio(arguments.mid(2));

  const std::string demo = Environment("NLSOLVER_DEMO");
  if (!demo.empty()) return RunDemo(application, demo);

  app::Form1 form;
  form.show();
  return application.exec();
}
