// The report lists of the main form, driven through its own buttons and tabs on
// generated files read by the real reader; the list model and the log window.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>

#include "mainform_support.h"
#include "mainwindow/reportmodel.h"
#include "mainwindow/utLogInfo.h"
#include "support/listrecords.h"
#include "ui_frmLogInfo.h"
#include "ui_frmQuna.h"

namespace {

ReportModel* ModelOf(QTableView* view) { return qobject_cast<ReportModel*>(view->model()); }

class ListsTest : public ::testing::Test {
 protected:
  // A form with a generated 4-channel file of 1000 records loaded; its window is the whole recording.
  void SetUp() override {
    form_ = std::make_unique<LiveForm>(dir_);
    ASSERT_TRUE(
        form_->Load(Generate(dir_, "demo.qmd", {.channels = 4, .records = 1000, .alarms = true, .powerFailures = 3})));
    ui = form_->Form();
  }
  void Tab(int t) { ui->pgc1->setCurrentIndex(t); }
  // A refused click must be refused by the handler, so the button is enabled first.
  void Click(QPushButton* b, const char* typed = nullptr, QLineEdit* edit = nullptr) {
    if (typed) edit->setText(typed);
    boxes_.texts.clear();
    b->setEnabled(true);
    b->click();
  }

  TempDir dir_;
  std::unique_ptr<LiveForm> form_;
  Ui::frmQuna* ui = nullptr;
  ModalWatcher boxes_;
};

TEST_F(ListsTest, DataPagesAtRowAndRecordIntervalsWithButtonStates) {
  const int end = form_->WindowEnd;
  Tab(1);
  EXPECT_EQ(ui->lbl15->text(), "总：7 页");
  // The page shown after each step, the states of Previous and Next, the box it told.
  struct Step { QPushButton* button; const char* typed; int page; bool prev, next; const char* box; };
  const Step steps[] = {
      {nullptr, nullptr, 1, false, true, nullptr},
      {ui->btnNext, nullptr, 2, true, true, nullptr},
      {ui->btnUp, nullptr, 1, false, true, nullptr},
      {ui->btnUp, nullptr, 1, false, true, "已经到达第一页."},
      {ui->btnPage, "7", 7, true, false, nullptr},
      {ui->btnNext, nullptr, 7, true, false, "已经到达最后页."},
      {ui->btnPage, "0", 7, true, false, "无效的数值."},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.page);
    if (s.button) Click(s.button, s.typed, ui->edPage);
    EXPECT_EQ(form_->DataPage, s.page);
    if (s.button != ui->btnPage) {
      EXPECT_EQ(ui->btnUp->isEnabled(), s.prev);
      EXPECT_EQ(ui->btnNext->isEnabled(), s.next);
    }
    EXPECT_EQ(boxes_.texts, s.box ? std::vector<QString>{QString::fromUtf8(s.box)} : std::vector<QString>{});
    ReportModel* m = ModelOf(ui->lv1);
    ASSERT_EQ(m->rowCount(), std::min(150, end - (s.page - 1) * 150));
    EXPECT_EQ(m->recordAt(0), (s.page - 1) * 150);
  }

  // Every fifth record, refreshed from the last page: page 1 again, Next enabled again.
  ui->rb1->click();
  ui->edlinespace->setText("5");
  ui->btnRefresh->click();
  EXPECT_EQ(form_->DataPage, 1);
  EXPECT_FALSE(ui->btnUp->isEnabled());
  EXPECT_TRUE(ui->btnNext->isEnabled());
  ReportModel* m = ModelOf(ui->lv1);
  EXPECT_EQ(m->recordAt(1), 5);
  Click(ui->btnNext);
  EXPECT_EQ(m->recordAt(m->rowCount() - 1), (end - 1) / 5 * 5);
  EXPECT_FALSE(ui->btnNext->isEnabled());
  // The go-to counts the pages for the step now in the edit: page 3 no longer exists.
  Click(ui->btnPage, "3", ui->edPage);
  EXPECT_EQ(boxes_.texts.size(), 1u);
  EXPECT_EQ(form_->DataPage, 2);
}

TEST_F(ListsTest, AlarmListTextsAndGoToRefusals) {
  Tab(2);
  const std::vector<std::int32_t> alarms = GetPubParam()->AlarmIndex;
  ASSERT_GT(alarms.size(), 150u);
  ReportModel* m = ModelOf(ui->lv5);
  ASSERT_EQ(m->rowCount(), 150);
  EXPECT_EQ(m->cellText(0, 0), QString::fromLatin1(GetPubParam()->Records[alarms[0]].TimeText));
  Click(ui->btnAlarmnext);
  EXPECT_EQ(m->recordAt(0), alarms[150]);
  Click(ui->btnAlarminto, "-3", ui->edtAlarmpage);  // "0" and the rest: the go-to rule's table
  EXPECT_EQ(form_->AlarmPage, 2);
  EXPECT_EQ(boxes_.texts.size(), 1u);
}

TEST_F(ListsTest, StatisticsColumnsFollowTheirChannel) {
  Tab(3);
  EXPECT_EQ(ModelOf(ui->lv6)->rowCount(), 4);  // three failures and the closing entry
  // Channel 1 hidden: its average cell is empty and its column has no width.
  GetPubParam()->SysPar.ChannelShown[1] = 0;
  Tab(4);
  ReportModel* avg = ModelOf(ui->lv4);
  ASSERT_EQ(avg->rowCount(), 1);
  EXPECT_EQ(avg->cellText(0, 3), "");
  EXPECT_TRUE(ui->lv4->isColumnHidden(3));
  Tab(5);
  ReportModel* pk = ModelOf(ui->lv3);
  ASSERT_EQ(pk->rowCount(), 2);
  EXPECT_TRUE(ui->lv3->isColumnHidden(2));
}

}  // namespace

// Delete, which the X11 keyboard reports with the text DEL, edits every digit entry of
// the form; a letter is still dropped.
TEST(DigitEntries, KeysThatTypeNothingEditThem) {
  TempDir dir;
  LiveForm form(dir);
  Ui::frmQuna* ui = form.Form();
  for (QLineEdit* e : {ui->edPage, ui->edtAlarmpage, ui->edlinespace, ui->edY1, ui->edY2}) {
    e->setText("12");
    e->setCursorPosition(0);
    for (const auto& [key, text] : {std::pair{Qt::Key_Delete, QString(QChar(127))}, {Qt::Key_A, QString("a")}}) {
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
      QCoreApplication::sendEvent(e, &press);
    }
    EXPECT_EQ(e->text(), "2") << e->objectName().toStdString();
  }
}

TEST(LogQuery, BoundsAreInclusiveAndEveryRecordCounts) {
  TestRecords s(10, 1);
  s.marker(5);  // carries record 4's time
  s[7].Disorder = 1;
  const ReportSource src = s.src();
  const QString t4 = TestRecords::time(4);
  EXPECT_EQ(LogQuery(src, t4, t4), (std::vector<std::int32_t>{4, 5}));
  EXPECT_EQ(LogQuery(src, TestRecords::time(6), TestRecords::time(8)), (std::vector<std::int32_t>{6, 7, 8}));
  EXPECT_TRUE(LogQuery(src, TestRecords::time(8), TestRecords::time(6)).empty());  // end before start
  EXPECT_TRUE(LogQuery(ReportSource{}, "2000-01-01 00:00:00", "2099-01-01 00:00:00").empty());
}

TEST(ReportModelRows, FormatsOnlyWhatIsAskedAndDrawsMarkersRed) {
  TestRecords s(4, 2);
  s.value(0, 0, 1.5);
  s.marker(2);
  s[3].Channel[1].Alarm[1] = 1;
  ReportModel m;
  m.setColumns({{"t", 120, -1}, {"a", 60, 0}, {"b", 0, 1}});
  m.setRecordRows(ReportModel::RowKind::Data, s.src(), {0, 2});
  ASSERT_EQ(m.rowCount(), 2);
  EXPECT_EQ(m.cellText(0, 1), "1.50");
  EXPECT_EQ(m.cellText(1, 0), "停电状态");
  EXPECT_EQ(m.data(m.index(1, 0), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));

  // The log window shows a marker with its time and values, not as a failure.
  m.setRecordRows(ReportModel::RowKind::Log, s.src(), {2});
  EXPECT_EQ(m.cellText(0, 0), TestRecords::time(1));
  EXPECT_EQ(m.cellText(0, 1), "0.00");
  EXPECT_FALSE(m.isMarkerRow(0));

  m.setRecordRows(ReportModel::RowKind::Alarm, s.src(), {3});
  EXPECT_EQ(m.cellText(0, 2), "下限报警,");

  // Indices beyond the records give empty cells instead of stale or foreign data.
  m.setRecordRows(ReportModel::RowKind::Data, s.src(), {99, -1});
  EXPECT_EQ(m.cellText(0, 0), "");

  QTableView view;
  BindReportView(&view, &m);
  EXPECT_TRUE(view.isColumnHidden(2));
  // Checking channel 1 again shows its column; the rows stay.
  EXPECT_TRUE(ApplyColumnLayout(m, s.src(), 3, 1, 1));
  EXPECT_FALSE(view.isColumnHidden(2));
  EXPECT_EQ(m.rowCount(), 2);

  // A rebuilt list starts at its first row, not where the last one was scrolled to.
  m.setRecordRows(ReportModel::RowKind::Log, s.src(), std::vector<std::int32_t>(500, 0));
  view.resize(300, 200);
  view.show();
  view.scrollToBottom();
  ASSERT_GT(view.verticalScrollBar()->value(), 0);
  m.setRecordRows(ReportModel::RowKind::Log, s.src(), std::vector<std::int32_t>(400, 1));
  EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST(LogWindow, StaysOnTopAndListsTheChosenTimes) {
  utPubParam* store = GetPubParam();
  const int oldCount = store->RecordCount;
  TestRecords s(6, 4);
  std::memcpy(store->Records, s.recs.data(), 6 * sizeof(tagDataRecord));
  for (int k = 0; k < 4; ++k) {
    store->SysPar.ChannelName[k] = QStringLiteral("C%1").arg(k).toStdString();
    store->SysPar.ChannelShown[k] = k == 2 ? 0 : 1;
  }
  store->Records[3].Channel[3].Value = 4.25;
  store->RecordCount = 6;
  store->DataHead.ChannelCount = 4;
  TfrmLogInfo* w = ShowLogInfo();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
  Ui::frmLogInfo* ui = w->UiForm();

  ui->dtp1->setDate(QDate(2024, 1, 1));
  ui->dtp2->setTime(QTime(0, 0, 2));
  ui->dtp4->setDate(QDate(2024, 1, 1));
  ui->dtp3->setTime(QTime(0, 0, 3));
  w->btn1Click();
  ASSERT_EQ(w->Model()->rowCount(), 2);
  EXPECT_EQ(w->Model()->cellText(1, 0), TestRecords::time(3));
  EXPECT_EQ(w->Model()->cellText(1, 4), "4.25");  // the fourth value under the fourth channel
  // A new file's load drops the rows, which would otherwise show its records.
  ForgetRecordRows();
  EXPECT_EQ(w->Model()->rowCount(), 0);

  store->RecordCount = oldCount;
  store->DataHead.ChannelCount = 0;
}
