// The main form (its views replaced by a spy, or whole) driven by scripted notifications and by
// the real reader on generated files: the time-order dialog, the chart, channel panel and cursor.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <system_error>
#include <tuple>

#include "data/syspar.h"
#include "data/utDataError.h"
#include "mainform_support.h"
#include "mainwindow/chartstate.h"
#include "platform/colors.h"
#include "platform/gbk.h"
#include "support/files.h"
#include "support/fulldisk.h"
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

QPushButton* Button(TfrmDataError& dlg, const char* name) { return dlg.findChild<QPushButton*>(name); }

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
  EXPECT_EQ(l.f.Count("fill 6 13"), 1);  // the window's first and end
  EXPECT_EQ(l.ui->lbl9->text(), QString("记录数：7"));

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
  l.ui->cbb1->setCurrentIndex(0);
  l.ui->cbb2->setCurrentIndex(0);
  l.f.btnRefreshClick();
  EXPECT_EQ(std::pair(GetPubParam()->SysPar.UP, GetPubParam()->SysPar.DOWN), std::pair(-10, -50));
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
  EXPECT_EQ(std::pair(f.WindowFirst, f.WindowEnd), std::pair(0, 50));
  EXPECT_EQ(ui->dtp2->time(), QTime(8, 0, 10));  // the earliest record, index 2
  EXPECT_EQ(ui->dtp4->time(), QTime(8, 4, 5));   // the last record before the closing entry
}

TEST(TimeOrderDialog, ResultsOfButtonsAndCloseBox) {
  TfrmDataError dlg;
  EXPECT_EQ(dlg.Result(), 0);
  EXPECT_EQ(AskAndDo(dlg, [&] { Button(dlg, "btnNoUse")->click(); }), 1);
  // Escape does not end it with the stale result 1.
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  EXPECT_EQ(AskAndDo(dlg, [&] { QApplication::sendEvent(&dlg, &esc), Button(dlg, "btnIngore")->click(); }), 2);
  // The close box gives 3; shown again and ended by a button, that button's value.
  EXPECT_EQ(AskAndDo(dlg, [&] { dlg.close(); }), 3);
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
  EXPECT_EQ(std::pair(f.PlotTop(), f.PlotBottom()), std::pair(chart->PlotRect().top(), chart->PlotRect().bottom()));
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
    EXPECT_EQ(f.DataEnd, QDateTime(QDate(2023, 1, 1), QTime(0, 0, 0)).addSecs(199 * 5));
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

TEST(MainChart, SameNamesStayApartInListsLegendAndCurves) {
  TempDir dir;
  const GenOptions opt{.channels = 4, .records = 100};
  LiveForm f(dir);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "dup.qmd", opt)));
  utPubParam* p = GetPubParam();
  const auto& series = f.Chart().curveSeries;

  // Rename the third channel to the first one's name.
  ModalWatcher boxes;
  AnswerDialogs(boxes, "ch1", QColor(10, 200, 30));
  ui->lv8->setCurrentItem(ui->lv8->topLevelItem(2));
  emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(2), 0);
  EXPECT_EQ(f.LegendColumn(1), QStringList({"ch1", "ch2", "ch1", "ch4"}));

  // Unchecking the second "ch1" hides channel 2, not channel 0.
  ui->lv8->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
  EXPECT_FALSE(series[2]->Active());
  EXPECT_TRUE(series[0]->Active());
  EXPECT_EQ(f.LegendColumn(1), QStringList({"ch1", "ch2", "ch4"}));
  ui->lv8->topLevelItem(2)->setCheckState(0, Qt::Checked);

  // Recolour channel 2 by a double click on its swatch: curve, swatch and legend cell
  // follow; channel 0 of the same name keeps its colour.
  const TColor before0 = p->SysPar.ChannelColor[0];
  QLabel* swatch = chartunit::Swatch(f, 2);
  SendMouse(swatch, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(5, 5));
  const TColor chosen = FromQColor(QColor(10, 200, 30));
  EXPECT_EQ(series[2]->Color(), chosen);
  EXPECT_EQ(swatch->pixmap().toImage().pixelColor(10, 8), QColor(10, 200, 30));
  EXPECT_EQ(f.Legend()->topLevelItem(2)->background(0).color(), QColor(10, 200, 30));
  EXPECT_EQ(series[0]->Color(), before0);
}

TEST(MainChart, ClickPlacesCursorAndFillsValuePanel) {
  TempDir dir;
  // One power failure: an hour without records after record 100.
  const GenOptions opt{.channels = 3, .records = 200, .intervalSeconds = 10, .powerFailures = 1};
  LiveForm f(dir);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(Generate(dir, "cur.qmd", opt)));
  const utPubParam* p = GetPubParam();
  int marker = -1;
  for (int i = 0; i < p->RecordCount - 1 && marker < 0; ++i)
    if (p->Records[i].Marker) marker = i;
  ASSERT_GT(marker, 10);

  const int k = 37;
  f.ClickAtTime(p->Records[k].Time);
  const ChartState& st = f.Chart();
  EXPECT_TRUE(f.Form()->cht1->HasVLine(st.cursorLine));
  int found = -1;
  for (int i = k - 1; i <= k + 1; ++i)
    if (f.LegendColumn(2)[0] == QString::asprintf("%0.1f", p->Records[i].Channel[0].Value)) found = i;
  ASSERT_GE(found, 0);
  QStringList expected;
  for (int c = 0; c < 3; ++c) expected << QString::asprintf("%0.1f", p->Records[found].Channel[c].Value);
  EXPECT_EQ(f.LegendColumn(2), expected);

  // A click in the power-failure gap: "停电" in the cursor text and every value row.
  f.ClickAtTime(p->Records[marker].Time + 0.5 / 24.0);
  EXPECT_EQ(ui->lbl21->text(), QString("停电"));
  EXPECT_EQ(f.LegendColumn(2), QStringList({"停电", "停电", "停电"}));

  // While a load runs, presses on the old curves are ignored.
  f.clock += 5000;
  ASSERT_TRUE(f.OpenDataFile(Generate(dir, "next.qmd", opt)));
  ASSERT_TRUE(f.IsBusy());
  const QString shown = ui->lbl21->text();
  f.ClickAtTime(p->Records[k].Time);
  EXPECT_EQ(ui->lbl21->text(), shown);
  // The curves read the records being rewritten: their picture is held meanwhile.
  EXPECT_TRUE(ui->cht1->PictureHeld());
  EXPECT_TRUE(WaitLoaded(f));
  EXPECT_FALSE(ui->cht1->PictureHeld());
}

// The cursor's record may lie exactly at the far end of the search tolerance: a click
// just before a record that follows a long pause shows that record, not the one before
// the pause (which the wider retries would reach first).
TEST(MainChart, ClickJustBeforeARecordAfterAPauseShowsThatRecord) {
  TempDir dir;
  DataFileBuilder b;
  b.header(0, 1);
  for (int i = 0; i < 100; ++i) b.addRecord(RecordTime::At(2024, 3, 1, 10, i / 60, i % 60), {100 + i});
  // 31 s later: the record before lies just inside the first retry's window.
  for (int i = 130; i < 150; ++i) b.addRecord(RecordTime::At(2024, 3, 1, 10, i / 60, i % 60), {700 + i});
  ASSERT_TRUE(b.write(dir.file("pause.qmd")));
  LiveForm f(dir);
  ASSERT_TRUE(f.Load(dir.file("pause.qmd")));
  ASSERT_EQ(f.AvgInterval, 1);
  const tagDataRecord& after = GetPubParam()->Records[100];
  ASSERT_STREQ(after.TimeText, "2024-03-01 10:02:10");
  f.ClickAtTime(after.Time - 0.5 / 86400.0);  // the time shown is 10:02:09
  EXPECT_EQ(f.LegendColumn(2), QStringList{QString::asprintf("%0.1f", after.Channel[0].Value)});
}

// A data file's section is named by the file's name alone: its stored channel names come
// back when the file is opened from any folder.
TEST(MainFormLoad, TheFilesOwnSectionIsReadBack) {
  TempDir dir;
  WriteBytes(dir.file("system.par"), gbk::FromUtf8("[a.qmd]\r\nch1=温度\r\nch3=压力\r\n"));
  LiveForm f(dir);
  ASSERT_TRUE(f.Load(Generate(dir, "a.qmd", {.channels = 4, .records = 50})));
  QStringList names;
  for (int i = 0; i < f.Form()->lv8->topLevelItemCount(); ++i) names << f.Form()->lv8->topLevelItem(i)->text(0);
  EXPECT_EQ(names, QStringList({"温度", "ch2", "压力", "ch4"}));
  EXPECT_EQ(f.LegendColumn(1), names);
}

// Answers each file dialog with the next name of choose and notes the folder it started in.
static void AnswerFileDialogs(ModalWatcher& w, QStringList& choose, QStringList& startedIn) {
  w.handler = [&](QWidget* m) {
    auto* dialog = qobject_cast<QFileDialog*>(m);
    if (!dialog) return false;
    startedIn << dialog->directory().absolutePath();
    dialog->selectFile(choose.takeFirst());
    static_cast<QDialog*>(dialog)->accept();
    return true;
  };
}

// Each open dialog starts in the folder of the file chosen last, also when that open was
// refused (here: too soon after the one before); the first in the program's folder.
TEST(MainFormLoad, OpenDialogStartsWhereTheLastFileWasChosen) {
  TempDir dir;
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("a"))) && QDir().mkpath(QString::fromStdString(dir.file("b"))));
  LiveForm f(dir);
  QStringList choose = {QString::fromStdString(Generate(dir, "a/x.qmd", {.channels = 2, .records = 50})),
                        QString::fromStdString(Generate(dir, "b/y.qmd", {.channels = 2, .records = 50}))};
  choose << choose.back();
  QStringList startedIn;
  ModalWatcher w;
  AnswerFileDialogs(w, choose, startedIn);
  for (int i = 0; i < 3; ++i) {
    f.cbb3DropDown();
    ASSERT_TRUE(WaitLoaded(f));
  }
  EXPECT_EQ(startedIn, QStringList({QDir(QString::fromStdString(dir.path())).absolutePath(),
                                    QString::fromStdString(dir.file("a")), QString::fromStdString(dir.file("b"))}));
}

// Likewise the export's save dialog: the first starts where it always did, each later one
// in the folder of the export name chosen last, also when that export was refused and
// when a file was opened from elsewhere in between.
TEST(MainFormLoad, ExportDialogStartsWhereTheLastExportWasNamed) {
  TempDir dir;
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("a"))) && QDir().mkpath(QString::fromStdString(dir.file("b"))));
  WriteBytes(dir.file("a/kept.xls"), "old");
  LiveForm f(dir);
  const auto path = [&](const char* name) { return QString::fromStdString(dir.file(name)); };
  QStringList choose = {path("a/x"), QString::fromStdString(Generate(dir, "b/y.qmd", {.channels = 2, .records = 50})),
                        path("a/kept"), path("a/z")};
  QStringList startedIn;
  ModalWatcher w;  // closes the replace question: that export is refused
  AnswerFileDialogs(w, choose, startedIn);
  EXPECT_EQ(f.AskExportFileName(), path("a/x.xls"));
  f.cbb3DropDown();
  ASSERT_TRUE(WaitLoaded(f));
  EXPECT_EQ(f.AskExportFileName(), QString());
  EXPECT_EQ(f.AskExportFileName(), path("a/z.xls"));
  EXPECT_EQ(startedIn, QStringList({QDir::currentPath(), QDir(path("")).absolutePath(), path("a"), path("a")}));
}

// On a full disk every setting the user changes stays on the screen and a warning says
// why it was not saved; the file keeps what it had and no temporary file is left.
TEST(SettingsOnAFullDisk, EachChangeIsReportedWithTheReason) {
  TempDir data;
  const std::string path = Generate(data, "full.qmd", {.channels = 4, .records = 100});
  FullDisk disk;
  FULL_DISK_OR_UNAVAILABLE(disk);
  const std::string par = gbk::FromUtf8("[par]\r\nCOPYNAME=甲厂\r\n\r\n[full.qmd]\r\nch1=一\r\n");
  WriteBytes(disk.file("system.par"), par);

  ModalWatcher boxes;
  AnswerDialogs(boxes, "新名", QColor(10, 200, 30));
  LiveForm f(disk);
  auto* ui = f.Form();
  ASSERT_TRUE(f.Load(path));
  EXPECT_TRUE(boxes.texts.empty()) << "start-up and the load change no setting";

  // A rename, a channel colour, the background, and the names typed before printing.
  const std::function<void()> changes[] = {
      [&] {
        ui->lv8->setCurrentItem(ui->lv8->topLevelItem(0));
        emit ui->lv8->itemDoubleClicked(ui->lv8->topLevelItem(0), 0);
      },
      [&] { SendMouse(chartunit::Swatch(f, 1), QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(5, 5)); },
      [&] { f.btnExeclClick(); },
      [&] {
        ui->edname->setText("乙厂");
        f.btnprintClick();  // the chart preview that follows is closed unanswered
      },
  };
  const QString want = QString::fromUtf8("设置保存失败!\n") + QString::fromStdString(std::system_category().message(ENOSPC));
  for (std::size_t i = 0; i < std::size(changes); ++i) {
    boxes.texts.clear();
    boxes.icons.clear();
    changes[i]();
    EXPECT_EQ(std::pair(boxes.texts, boxes.icons), std::pair(std::vector<QString>{want}, std::vector{QMessageBox::Warning})) << i;
  }
  EXPECT_EQ(ui->lv8->topLevelItem(0)->text(0), "新名");
  EXPECT_EQ(f.Chart().curveSeries[1]->Color(), FromQColor(QColor(10, 200, 30)));
  EXPECT_EQ(ReadBytes(disk.file("system.par")), par);
  EXPECT_EQ(QDir(QString::fromStdString(disk.path())).entryList(QDir::Files | QDir::Hidden),
            QStringList({"system.par"}));
}
