// The main form (its views replaced by a spy) driven by scripted notifications and by the
// real reader on generated files, and the time-order dialog it asks.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <tuple>

#include "data/utDataError.h"
#include "mainform_support.h"
#include "ui_frmQuna.h"

namespace {

StatusMsg Msg(int code, std::int64_t value = 0) { return {code, value, {}, {}, {}}; }

// A form with a loaded recording of count records (the last the closing entry).
struct Loaded {
  SpyForm f;
  Ui::frmQuna* ui;
  explicit Loaded(int count = 1001, int gap = 10) : ui(f.Form()) {
    FillStore(count, gap, 4);
    f.DataFileName = "/tmp/a.qmd";
    f.OnStatusMsg(Msg(7, count));
    f.OnStatusMsg(Msg(6));
    f.calls.clear();
  }
};

// Runs action once the dialog is up (inside its modal loop), then returns the result.
int AskAndDo(TfrmDataError& dlg, const std::function<void()>& action) {
  QTimer::singleShot(0, &dlg, action);
  return dlg.Ask("2012-09-10 08:00:05", "2012-09-10 08:00:03");
}

QPushButton* Button(TfrmDataError& dlg, const char* name) {
  return dlg.findChild<QPushButton*>(name);
}

class LoadForm : public SpyForm {
 public:
  std::vector<int> codes;
  std::uint32_t clock = 100000;
  LoadForm() {
    TickSource = [this] { return clock; };
    show();  // the reader gets its notify window when the form is first shown
  }
  void OnStatusMsg(const StatusMsg& msg) override {
    codes.push_back(msg.code);
    SpyForm::OnStatusMsg(msg);
  }
};

}  // namespace

TEST(MainFormRefresh, TimeWindowAndLimits) {
  Loaded l;  // records every 10 s from 08:00:00, 1000 of them
  ModalWatcher boxes;
  l.ui->dtp2->setTime(QTime(8, 1, 0));
  l.ui->dtp4->setTime(QTime(8, 2, 0));
  l.f.btnRefreshClick();
  EXPECT_EQ(l.f.WindowFirst, 6);
  EXPECT_EQ(l.f.WindowEnd, 13);
  EXPECT_EQ(l.ui->lbl9->text(), QString("记录数：7"));
  EXPECT_EQ(l.f.Count("fill 6 13"), 1);

  // Lower limit above the upper: a message, and nothing changes.
  l.ui->cbb1->setCurrentIndex(1);
  l.ui->edY1->setText("10");
  l.ui->cbb2->setCurrentIndex(1);
  l.ui->edY2->setText("50");
  l.ui->dtp4->setTime(QTime(8, 3, 0));
  const int up = GetPubParam()->SysPar.UP;
  l.f.btnRefreshClick();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(l.f.WindowEnd, 13);
  EXPECT_EQ(GetPubParam()->SysPar.UP, up);
  // Both negative: UP -10, DOWN -50 passes.
  l.ui->cbb1->setCurrentIndex(0);
  l.ui->cbb2->setCurrentIndex(0);
  l.f.btnRefreshClick();
  EXPECT_EQ(GetPubParam()->SysPar.UP, -10);
  EXPECT_EQ(GetPubParam()->SysPar.DOWN, -50);
  EXPECT_EQ(l.f.WindowEnd, 19);
}

TEST(MainFormNotifications, ScriptedSequenceWithoutTheReader) {
  SpyForm f;
  auto* ui = f.Form();
  ModalWatcher boxes;
  FillStore(51, 5, 13);
  GetPubParam()->DataHead.EarliestIndex = 2;
  f.DataFileName = "/tmp/b.qmd";
  f.OnStatusMsg(Msg(4));
  f.OnStatusMsg(Msg(7, 60));
  EXPECT_EQ(ui->lbl9->text(), QString("记录数：60"));
  EXPECT_EQ(f.WindowEnd, 0);  // the count alone sets no window
  f.OnStatusMsg(Msg(5));
  EXPECT_EQ(ui->pnlMove->height(), 202);
  GetPubParam()->DataHead.ChannelCount = 14;
  f.OnStatusMsg(Msg(5));
  EXPECT_EQ(ui->pnlMove->height(), 226);
  f.OnStatusMsg(Msg(3));
  f.OnStatusMsg(Msg(6));
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], QString("超出最大记录数量680000-"));
  EXPECT_EQ(f.WindowFirst, 0);
  EXPECT_EQ(f.WindowEnd, 50);
  EXPECT_EQ(ui->dtp2->time(), QTime(8, 0, 10));  // the earliest record, index 2
  EXPECT_EQ(ui->dtp4->time(), QTime(8, 4, 5));   // the last record before the closing entry
}

TEST(TimeOrderDialog, ResultsOfButtonsAndCloseBox) {
  TfrmDataError dlg;
  EXPECT_EQ(dlg.Result(), 0);
  EXPECT_EQ(AskAndDo(dlg, [&] { Button(dlg, "btnNoUse")->click(); }), 1);
  // Escape does not end it with the stale result 1.
  EXPECT_EQ(AskAndDo(dlg, [&] {
              QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
              QApplication::sendEvent(&dlg, &esc);
              Button(dlg, "btnIngore")->click();
            }),
            2);
  // The close box gives 3; the dialog showed both times it was given.
  QString before, now;
  EXPECT_EQ(AskAndDo(dlg, [&] {
              before = dlg.findChild<QLabel*>("lbBtime")->text();
              now = dlg.findChild<QLabel*>("lbNTime")->text();
              dlg.close();
            }),
            3);
  EXPECT_EQ(before, "2012-09-10 08:00:05");
  EXPECT_EQ(now, "2012-09-10 08:00:03");
  // Shown again after a close-box close and ended by a button: that button's value.
  EXPECT_EQ(AskAndDo(dlg, [&] { Button(dlg, "btnNoUse")->click(); }), 1);
}

TEST(MainFormChart, PlotRowsFollowTheChartsPresentSize) {
  SpyForm f;
  ChartWidget* chart = f.Form()->cht1;
  chart->resize(600, 300);
  const int top = f.PlotTop(), bottom = f.PlotBottom();
  EXPECT_LT(top, bottom);
  // Maximised later: the rows follow the new size, as the chart's own plot does.
  chart->resize(600, 700);
  EXPECT_EQ(f.PlotTop(), chart->PlotRect().top());
  EXPECT_EQ(f.PlotBottom(), chart->PlotRect().bottom());
  EXPECT_GT(f.PlotBottom() - bottom, 350);
  EXPECT_LT(f.PlotBottom(), 700);
}

TEST(MainFormLoad, NotificationsBusyStateAndTheTimeOrderAnswers) {
  TempDir dir;
  const std::string path = Generate(dir, "a.qmd", {.channels = 13, .records = 200, .backwardsAt = {120}});
  // Discarding keeps 199 records and needs no information box; ignoring keeps all 200.
  for (auto [button, policy, records] : {std::tuple{"btnNoUse", 1, 199}, std::tuple{"btnIngore", 2, 200}}) {
    SCOPED_TRACE(button);
    LoadForm f;
    auto* ui = f.Form();
    ModalWatcher boxes;
    QString before, now;  // the two times the reader sent, as the dialog shows them
    bool busyInDialog = false;
    f.WindowEnd = 7;
    int windowEndInDialog = -1;
    boxes.handler = [&](QWidget* m) {
      if (m->objectName() != "frmDataError") return false;
      before = m->findChild<QLabel*>("lbBtime")->text();
      now = m->findChild<QLabel*>("lbNTime")->text();
      // The reader waits in the middle of the parse: refresh and page builds stay off.
      busyInDialog = f.IsBusy();
      f.btnRefreshClick();
      ui->pgc1->setCurrentIndex(1);
      windowEndInDialog = f.WindowEnd;
      m->findChild<QPushButton*>(button)->click();
      return true;
    };
    ASSERT_TRUE(f.OpenDataFile(path));
    EXPECT_TRUE(f.IsBusy());
    ASSERT_TRUE(WaitLoaded(f));
    EXPECT_EQ(f.codes, (std::vector<int>{4, 7, 5, 1102, 6}));
    EXPECT_TRUE(busyInDialog);
    EXPECT_EQ(windowEndInDialog, 7);
    EXPECT_EQ(f.Reader()->DisorderPolicy.load(), policy);
    EXPECT_EQ(boxes.texts.size(), policy == 1 ? 0u : 1u);

    const utPubParam* p = GetPubParam();
    EXPECT_EQ(p->RecordCount, records + 1);  // and the closing entry
    EXPECT_EQ(before, p->Records[119].TimeText);
    EXPECT_LT(now, before);
    EXPECT_EQ(f.WindowEnd, records);
    EXPECT_EQ(ui->lbl9->text(), QString("记录数：200"));
    EXPECT_EQ(f.DataEnd, QDateTime(QDate(2023, 1, 1), QTime(0, 0, 0)).addSecs(199 * 5));
    EXPECT_EQ(ui->pnlMove->height(), 202);
    EXPECT_EQ(f.Count("fill 0 " + std::to_string(records)), 1);
    EXPECT_EQ(f.Count("setup 1"), 1);  // the channel set-up runs while Loading guards the lists
    // The data tab chosen during the load is built once, when the load has ended.
    EXPECT_EQ(f.Count("data"), 1);
    EXPECT_EQ(f.Count("data 1 0 1 " + std::to_string(records)), 1);
  }
}

TEST(MainFormLoad, CloseDuringTheTimeOrderDialogWithTheReader) {
  TempDir dir;
  const std::string path = Generate(dir, "a.qmd", {.records = 5000, .backwardsAt = {100}});
  auto* f = new LoadForm;
  QPointer<LoadForm> guard(f);
  f->show();
  ModalWatcher boxes;
  boxes.handler = [&](QWidget* m) {
    if (m->objectName() == "frmDataError" && guard) guard->close();
    return true;
  };
  f->Reader()->DisorderPolicy = 0;
  ASSERT_TRUE(f->OpenDataFile(path));
  ASSERT_TRUE(PumpUntil([&] { return !f->isVisible(); }, 10000));
  EXPECT_EQ(f->Reader(), nullptr);
  EXPECT_TRUE(boxes.texts.empty());
  delete f;
}
