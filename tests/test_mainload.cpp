// The main form with the real reader on generated files.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "mainform_support.h"
#include "ui_frmQuna.h"

namespace {

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

TEST(MainFormLoad, NotificationSequenceOnARealFile) {
  TempDir dir;
  const std::string path = Generate(dir, "a.qmd", {.channels = 13, .records = 200, .backwardsAt = {120}});
  LoadForm f;
  auto* ui = f.Form();
  ModalWatcher boxes;
  QString before, now;  // the two times the reader sent, as the dialog shows them
  boxes.handler = [&](QWidget* m) {
    if (m->objectName() != "frmDataError") return false;
    before = m->findChild<QLabel*>("lbBtime")->text();
    now = m->findChild<QLabel*>("lbNTime")->text();
    m->findChild<QPushButton*>("btnNoUse")->click();
    return true;
  };
  ASSERT_TRUE(f.OpenDataFile(path));
  EXPECT_TRUE(f.IsBusy());
  ASSERT_TRUE(WaitLoaded(f));
  EXPECT_EQ(f.codes, (std::vector<int>{4, 7, 5, 1102, 6}));
  EXPECT_EQ(f.Reader()->DisorderPolicy.load(), 1);
  EXPECT_TRUE(boxes.texts.empty());  // discarding needs no information box

  const utPubParam* p = GetPubParam();
  EXPECT_EQ(p->RecordCount, 200);  // 199 kept and the closing entry
  EXPECT_EQ(before, p->Records[119].TimeText);
  EXPECT_LT(now, before);
  EXPECT_EQ(f.WindowEnd, 199);
  EXPECT_EQ(ui->lbl9->text(), QString("记录数：200"));
  EXPECT_EQ(f.DataEnd, QDateTime(QDate(2023, 1, 1), QTime(0, 0, 0)).addSecs(199 * 5));
  EXPECT_EQ(ui->pnlMove->height(), 202);
  EXPECT_EQ(f.Count("fill 0 199"), 1);
  EXPECT_EQ(f.Count("setup 1"), 1);  // the channel set-up runs while Loading guards the lists
}

TEST(MainFormLoad, BusyStateRefusesWorkOnTheStore) {
  TempDir dir;
  const std::string path = Generate(dir, "a.qmd", {.records = 60, .backwardsAt = {30}});
  LoadForm f;
  ModalWatcher boxes;
  bool busyInDialog = false;
  int windowEndInDialog = -1;
  f.WindowEnd = 7;
  boxes.handler = [&](QWidget* m) {
    if (m->objectName() != "frmDataError") return false;
    // The reader waits in the middle of the parse: refresh and page builds stay off.
    busyInDialog = f.IsBusy();
    f.btnRefreshClick();
    f.Form()->pgc1->setCurrentIndex(1);
    windowEndInDialog = f.WindowEnd;
    m->findChild<QPushButton*>("btnIngore")->click();
    return true;
  };
  ASSERT_TRUE(f.OpenDataFile(path));
  ASSERT_TRUE(WaitLoaded(f));
  EXPECT_TRUE(busyInDialog);
  EXPECT_EQ(windowEndInDialog, 7);
  EXPECT_EQ(f.Reader()->DisorderPolicy.load(), 2);
  ASSERT_EQ(boxes.texts.size(), 1u);
  // The data tab chosen during the load is built once, when the load has ended.
  EXPECT_EQ(f.Count("data"), 1);
  EXPECT_EQ(f.Count("data 1 0 1 60"), 1);
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
