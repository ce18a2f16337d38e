// The studio: one editor holding a system in the system-file syntax, its
// faults and warnings marked as the user types; Solve (F5) and Roots (F6)
// run off the interface thread with the method and options of the toolbar,
// their reports in the report pane; the picture of `nlsolve plot`, live,
// beside them. Everything it runs is StudioCommands.h; this class only
// shows it.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QString>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <optional>

#include "BackgroundTask.h"
#include "CodeEditor.h"
#include "PictureView.h"
#include "StudioCommands.h"
#include "StudioReport.h"
#include "plot/Scene.h"

namespace studio {

struct PictureResult;  // what the picture's worker leaves (StudioWindow.cpp)

// The title's program name, and the desktop entry's.
inline constexpr const char* kStudioName = "nlsolver Studio";

class StudioWindow : public QMainWindow {
 public:
  explicit StudioWindow(QWidget* parent = nullptr);
  ~StudioWindow() override;

  // Loads a file into the editor; false (with a message box, or the reason in
  // *error when given) when it cannot be read or is no UTF-8 text. The
  // editor keeps what it held then.
  bool OpenFile(const QString& path, QString* error = nullptr);
  bool SaveTo(const QString& path);
  // An empty document that Save writes to `path` (a file not there yet).
  void NewFileAt(const QString& path);
  void LoadExample(int example);

  // A line in the status bar.
  void ShowStatus(const QString& text) { status_->setText(text); }

  void Solve();
  void FindRoots();
  void Cancel();
  void CopyReport();
  // Writes the last report (Markdown or JSON) or the picture (PNG or SVG, by
  // the ending); false with the reason in *error.
  bool ExportReport(const QString& path, bool json, QString* error);
  bool ExportPicture(const QString& path, QString* error);

  // For tests and the demo: what the window shows.
  CodeEditor* Editor() const { return editor_; }
  QListWidget* Problems() const { return problems_; }
  QTextBrowser* ReportPane() const { return report_; }
  QTableWidget* RootsTable() const { return rootsTable_; }
  QLabel* RootsVerdict() const { return rootsVerdict_; }
  PictureView* Picture() const { return picture_; }
  QLabel* PictureSummary() const { return pictureSummary_; }
  QProgressBar* Progress() const { return progress_; }
  QComboBox* MethodBox() const { return method_; }
  QTabWidget* Tabs() const { return tabs_; }
  const std::optional<Report>& LastReport() const { return lastReport_; }
  const std::optional<Outcome>& LastOutcome() const { return lastOutcome_; }
  std::shared_ptr<const plot::Scene> Scene() const { return scene_; }
  bool Running() const { return runner_ && runner_->Busy(); }
  bool Drawing() const { return painter_ && painter_->Busy(); }
  bool Checking() const { return checker_ && checker_->Busy(); }
  // The text has been checked and drawn as it stands (nothing pending).
  bool Settled() const;
  QString FileName() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  Settings CurrentSettings() const;
  void SettingsChanged();
  void TextChanged();
  void StartCheck();
  void ShowCheck(const Check& check);
  void RequestPicture();
  void StartPicture();
  void ShowPicture(const PictureResult& result);
  void StartCommand(bool roots);
  void ShowOutcome(const Outcome& outcome, bool roots);
  void ShowRootsTable(const Report& report, const Outcome& outcome);
  void SetRunning(bool running, const QString& what);
  void UpdateTitle();
  bool MaybeSave();
  bool Save();
  bool SaveAs();
  void Open();
  void NewFile();
  void SetDocument(const QString& text, const QString& path);
  void AddRecent(const QString& path);
  void FillRecentMenu();
  void ApplyEdit(const LineEdit& edit);
  void PictureClicked(QPointF pixel);
  void PicturePanned(QPoint delta);
  void PictureZoomed(double factor, QPointF pixel);
  void SetBox(const plot::Box& box);
  void Export(bool picture, const QString& filter, const QString& suffix, bool json);

  CodeEditor* editor_;
  QListWidget* problems_;
  QTextBrowser* report_;
  QTabWidget* tabs_;
  QTableWidget* rootsTable_;
  QLabel* rootsVerdict_;
  PictureView* picture_;
  QLabel* pictureSummary_;
  QProgressBar* progress_;
  QLabel* status_;
  QComboBox* method_;
  QLineEdit* ftol_;
  QCheckBox* certify_;
  QLineEdit* budget_;
  QAction* solveAction_;
  QAction* rootsAction_;
  QAction* cancelAction_;
  QMenu* recentMenu_;

  QString path_;  // empty: not saved yet
  QString untitledName_ = QStringLiteral("untitled.txt");
  // Each change of the text or the settings; a check or a picture shows
  // what it was made of only while nothing has changed since.
  unsigned long revision_ = 0;
  unsigned long checkedRevision_ = 0;
  unsigned long drawnRevision_ = 0;
  bool checkPending_ = false;
  bool picturePending_ = false;
  bool readable_ = false;
  QTimer checkTimer_;
  QTimer pictureTimer_;
  QTemporaryDir pictures_;
  int pictureCount_ = 0;
  std::shared_ptr<const plot::Scene> scene_;  // the picture shown
  plot::Box viewBox_;                         // the box asked for last (wheel and drag add up)
  std::optional<Report> lastReport_;
  std::optional<Outcome> lastOutcome_;

  // Declared last, destroyed first: each waits for its work, which may use
  // nothing of the window but what it was given.
  std::unique_ptr<BackgroundTask> checker_;
  std::unique_ptr<BackgroundTask> runner_;
  std::unique_ptr<BackgroundTask> painter_;
};

// `nlsolver --studio [FILE]`: opens the studio (with FILE) and runs the
// application; arguments beyond one file are refused on stderr (status 2).
int RunStudio(const QStringList& arguments);

}  // namespace studio
