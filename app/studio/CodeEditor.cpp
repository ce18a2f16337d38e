#include "CodeEditor.h"

#include <algorithm>

#include <QFontDatabase>
#include <QHelpEvent>
#include <QPainter>
#include <QTextBlock>
#include <QToolTip>

namespace studio {
namespace {

class Margin : public QWidget {
 public:
  explicit Margin(CodeEditor* editor) : QWidget(editor), editor_(editor) {}
  QSize sizeHint() const override { return QSize(editor_->MarginWidth(), 0); }

 protected:
  void paintEvent(QPaintEvent* event) override { editor_->PaintMargin(event); }

 private:
  CodeEditor* editor_;
};

// The UTF-16 index of character `column` (1-based) in a line: a character
// beyond the basic plane takes two code units.
int IndexOfColumn(const QString& line, int column) {
  int index = 0;
  for (int c = 1; c < column && index < line.size(); ++c) index += line.at(index).isHighSurrogate() ? 2 : 1;
  return std::min<int>(index, static_cast<int>(line.size()));
}

bool InWord(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

}  // namespace

CodeEditor::CodeEditor(QWidget* parent) : QPlainTextEdit(parent), margin_(new Margin(this)) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setLineWrapMode(QPlainTextEdit::NoWrap);
  connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { setViewportMargins(MarginWidth(), 0, 0, 0); });
  connect(this, &QPlainTextEdit::updateRequest, this, &CodeEditor::UpdateMargin);
  setViewportMargins(MarginWidth(), 0, 0, 0);
}

int CodeEditor::MarginWidth() const {
  int digits = 1;
  for (int count = std::max(1, blockCount()); count >= 10; count /= 10) ++digits;
  return 10 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * std::max(digits, 2);
}

void CodeEditor::UpdateMargin(const QRect& rect, int dy) {
  if (dy != 0) {
    margin_->scroll(0, dy);
  } else {
    margin_->update(0, rect.y(), margin_->width(), rect.height());
  }
}

void CodeEditor::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  const QRect area = contentsRect();
  margin_->setGeometry(QRect(area.left(), area.top(), MarginWidth(), area.height()));
}

void CodeEditor::PaintMargin(QPaintEvent* event) {
  QPainter painter(margin_);
  painter.fillRect(event->rect(), QColor(240, 240, 240));
  QTextBlock block = firstVisibleBlock();
  int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
  int bottom = top + qRound(blockBoundingRect(block).height());
  while (block.isValid() && top <= event->rect().bottom()) {
    if (block.isVisible() && bottom >= event->rect().top()) {
      const int line = block.blockNumber() + 1;
      bool error = false, warning = false;
      for (const EditorMark& mark : marks_) {
        if (mark.line != line) continue;
        (mark.error ? error : warning) = true;
      }
      painter.setPen(error ? QColor(200, 0, 0) : warning ? QColor(190, 110, 0) : QColor(120, 120, 120));
      painter.drawText(0, top, margin_->width() - 5, fontMetrics().height(), Qt::AlignRight,
                       QString::number(line));
    }
    block = block.next();
    top = bottom;
    bottom = top + qRound(blockBoundingRect(block).height());
  }
}

int CodeEditor::PositionOf(int line, int column) const {
  const QTextBlock block = document()->findBlockByNumber(std::max(0, line - 1));
  if (!block.isValid()) return document()->characterCount() - 1;
  return block.position() + IndexOfColumn(block.text(), std::max(1, column));
}

void CodeEditor::GoTo(int line, int column) {
  QTextCursor cursor = textCursor();
  cursor.setPosition(PositionOf(line, column));
  setTextCursor(cursor);
  ensureCursorVisible();
  setFocus();
}

void CodeEditor::SetMarks(std::vector<EditorMark> marks) {
  marks_ = std::move(marks);
  ShowMarks();
  margin_->update();
}

void CodeEditor::ShowMarks() {
  QList<QTextEdit::ExtraSelection> selections;
  for (const EditorMark& mark : marks_) {
    const QTextBlock block = document()->findBlockByNumber(mark.line - 1);
    if (mark.line < 1 || !block.isValid()) continue;
    const QString text = block.text();
    int begin = 0, end = static_cast<int>(text.size());
    if (mark.column > 0) {
      begin = IndexOfColumn(text, mark.column);
      end = begin;
      while (end < text.size() && InWord(text.at(end))) ++end;
      if (end == begin) end = std::min<int>(begin + 1, static_cast<int>(text.size()));
      // A place at the end of the line (a missing ')') marks the last character.
      if (begin == end && begin > 0) --begin;
    }
    QTextEdit::ExtraSelection selection;
    selection.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    selection.format.setUnderlineColor(mark.error ? QColor(220, 0, 0) : QColor(230, 140, 0));
    if (mark.error) selection.format.setBackground(QColor(255, 228, 228));
    selection.format.setToolTip(mark.message);
    selection.cursor = QTextCursor(document());
    selection.cursor.setPosition(block.position() + begin);
    selection.cursor.setPosition(block.position() + end, QTextCursor::KeepAnchor);
    selections.append(selection);
  }
  setExtraSelections(selections);
}

bool CodeEditor::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QPoint inViewport = viewport()->mapFrom(this, help->pos());
    const QTextCursor cursor = cursorForPosition(inViewport);
    const int line = cursor.blockNumber() + 1;
    QStringList messages;
    for (const EditorMark& mark : marks_)
      if (mark.line == line) messages << mark.message;
    if (!messages.isEmpty()) {
      QToolTip::showText(help->globalPos(), messages.join(QLatin1Char('\n')), this);
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return QPlainTextEdit::event(event);
}

}  // namespace studio
