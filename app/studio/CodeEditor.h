// The studio's editor: plain text with line numbers in a margin and marks
// under the places the problem model names (a wavy red line under an
// error, an orange one under a warning; the message as the mark's tooltip).
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QWidget>

#include <vector>

namespace studio {

struct EditorMark {
  int line = 0;    // 1-based
  int column = 0;  // 1-based, in characters; 0 marks the whole line
  bool error = false;
  QString message;
};

class CodeEditor : public QPlainTextEdit {
 public:
  explicit CodeEditor(QWidget* parent = nullptr);

  void SetMarks(std::vector<EditorMark> marks);
  const std::vector<EditorMark>& Marks() const { return marks_; }
  // Puts the cursor at line:column (1-based; column in characters) and shows it.
  void GoTo(int line, int column);
  // The text cursor position of line:column (characters), clamped to the line.
  int PositionOf(int line, int column) const;

  int MarginWidth() const;
  void PaintMargin(QPaintEvent* event);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void UpdateMargin(const QRect& rect, int dy);
  void ShowMarks();

  QWidget* margin_;
  std::vector<EditorMark> marks_;
};

}  // namespace studio
