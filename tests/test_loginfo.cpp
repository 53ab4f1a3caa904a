#include <gtest/gtest.h>

#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTimeEdit>

#include "support/listrecords.h"
#include "mainwindow/reportmodel.h"
#include "mainwindow/utLogInfo.h"
#include "ui_frmLogInfo.h"

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
