// The report lists of the main form, driven through its own buttons and tabs on
// generated files read by the real reader.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include "data/lanchg.h"
#include "mainform_support.h"
#include "mainwindow/reportmodel.h"
#include "ui_frmQuna.h"

namespace {

ReportModel* ModelOf(QTableView* view) { return qobject_cast<ReportModel*>(view->model()); }

QString Time(int record) { return QString::fromLatin1(GetPubParam()->Records[record].TimeText); }

class ListsTest : public ::testing::Test {
 protected:
  // A form with a generated 4-channel file of 1000 records loaded; its window is the whole recording.
  void SetUp() override {
    GetLanchg()->SetLangFile(std::string());
    form_ = std::make_unique<TfrmQuna>();
    form_->show();
    const GenOptions opt{.channels = 4, .records = 1000, .alarms = true, .powerFailures = 3};
    ASSERT_TRUE(form_->OpenDataFile(Generate(dir_, "demo.qmd", opt)));
    ASSERT_TRUE(WaitLoaded(*form_));
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
  std::unique_ptr<TfrmQuna> form_;
  Ui::frmQuna* ui = nullptr;
  ModalWatcher boxes_;
};

TEST_F(ListsTest, DataPagesAtRowAndRecordIntervalsWithButtonStates) {
  const int end = form_->WindowEnd;
  Tab(1);
  EXPECT_EQ(ui->lbl15->text(), "总：7 页");
  struct Step {
    QPushButton* button;
    const char* typed;
    int page;  // shown afterwards
    bool prev, next;
    const char* box;
  };
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
  EXPECT_EQ(m->cellText(0, 0), Time(alarms[0]));
  Click(ui->btnAlarmnext);
  EXPECT_EQ(m->recordAt(0), alarms[150]);
  for (const char* typed : {"0", "-3"}) {
    Click(ui->btnAlarminto, typed, ui->edtAlarmpage);
    EXPECT_EQ(form_->AlarmPage, 2) << typed;
    EXPECT_EQ(boxes_.texts.size(), 1u) << typed;
  }
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
