// Driving the real widgets of Form1 the way a user does.
#pragma once

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QPoint>
#include <QTest>

#include <vector>

#include "app/Form1.h"

namespace windowtest {

// A user's double-click on list row `row`: the first click selects the entry,
// the double-click runs the handler.
inline void DoubleClickRow(app::Form1& form, int row) {
  QListWidget* list = form.ListA();
  QListWidgetItem* item = list->item(row);
  list->scrollToItem(item);
  const QPoint at = list->visualItemRect(item).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// A double-click event that arrives while no entry is selected (no press
// before it selects anything).
inline void DoubleClickWithoutSelecting(app::Form1& form) {
  QListWidget* list = form.ListA();
  const QPointF at(list->viewport()->width() / 2.0, 4.0);
  QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &doubleClick);
}

inline void ClickGo(app::Form1& form) { QTest::mouseClick(form.CmdExecute(), Qt::LeftButton); }

// Which equation labels and which equation fields are visible, row by row.
inline std::vector<bool> VisibleLabels(const app::Form1& form) {
  std::vector<bool> rows;
  for (int k = 0; k < app::kMaxEquations; ++k) rows.push_back(form.Lbleqs(k)->isVisible());
  return rows;
}
inline std::vector<bool> VisibleFields(const app::Form1& form) {
  std::vector<bool> rows;
  for (int k = 0; k < app::kMaxEquations; ++k) rows.push_back(form.TxtEqs(k)->isVisible());
  return rows;
}

}  // namespace windowtest
