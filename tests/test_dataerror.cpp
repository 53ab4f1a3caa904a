#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "data/utDataError.h"

namespace {

// Runs action once the dialog is up (inside its modal loop), then returns the result.
int AskAndDo(TfrmDataError& dlg, const std::function<void()>& action) {
  QTimer::singleShot(0, &dlg, action);
  return dlg.Ask("2012-09-10 08:00:05", "2012-09-10 08:00:03");
}

QPushButton* Button(TfrmDataError& dlg, const char* name) {
  return dlg.findChild<QPushButton*>(name);
}

}  // namespace

TEST(TimeOrderDialog, ResultsOfButtonsAndCloseBox) {
  TfrmDataError dlg;
  EXPECT_EQ(dlg.Result(), 0);
  EXPECT_EQ(AskAndDo(dlg, [&] { Button(dlg, "btnNoUse")->click(); }), 1);
  EXPECT_EQ(AskAndDo(dlg, [&] { Button(dlg, "btnIngore")->click(); }), 2);
  EXPECT_EQ(AskAndDo(dlg, [&] { dlg.close(); }), 3);
  // Shown again after a close-box close and ended by a button: that button's value.
  EXPECT_EQ(AskAndDo(dlg, [&] { Button(dlg, "btnNoUse")->click(); }), 1);
}

TEST(TimeOrderDialog, EscapeDoesNotEndItWithAStaleResult) {
  TfrmDataError dlg;
  bool stillOpen = false;
  const int r = AskAndDo(dlg, [&] {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &esc);
    stillOpen = dlg.isVisible();
    Button(dlg, "btnIngore")->click();
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(r, 2);
}

TEST(TimeOrderDialog, ShowsBothTimes) {
  TfrmDataError dlg;
  QString before, now;
  AskAndDo(dlg, [&] {
    before = dlg.findChild<QLabel*>("lbBtime")->text();
    now = dlg.findChild<QLabel*>("lbNTime")->text();
    dlg.close();
  });
  EXPECT_EQ(before, "2012-09-10 08:00:05");
  EXPECT_EQ(now, "2012-09-10 08:00:03");
}
