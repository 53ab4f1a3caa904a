// The report lists of the main form, driven through its own buttons and tabs on
// generated files read by the real reader.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTableView>

#include "data/lanchg.h"
#include "data/readdata.h"
#include "mainform_support.h"
#include "mainwindow/numformat.h"
#include "mainwindow/reportmodel.h"
#include "mainwindow/utLogInfo.h"
#include "support/tempdir.h"
#include "tools/datagen.h"
#include "ui_frmLogInfo.h"
#include "ui_frmQuna.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

ReportModel* ModelOf(QTableView* view) { return qobject_cast<ReportModel*>(view->model()); }

QString Time(int record) {
  const tagDataRecord& r = GetPubParam()->Records[record];
  return QString::fromLatin1(r.TimeText, static_cast<int>(strnlen(r.TimeText, sizeof r.TimeText)));
}

// A form with a generated file loaded, its window the whole recording.
class ListsTest : public ::testing::Test {
 protected:
  void Load(const GenOptions& opt) {
    GetLanchg()->SetLangFile(std::string());
    path_ = dir_.file("demo.qmd");
    ASSERT_TRUE(WriteDataFile(path_, opt));
    form_ = std::make_unique<TfrmQuna>();
    form_->show();
    ASSERT_TRUE(form_->OpenDataFile(path_));
    ASSERT_TRUE(WaitFor([&] { return !form_->IsBusy() && form_->Reader()->Idle(); }));
    ui = form_->Form();
  }
  void Tab(int t) {
    ui->pgc1->setCurrentIndex(t);
    QApplication::processEvents();
  }
  // The record of each row of a paged list.
  static std::vector<int> Records(QTableView* view) {
    std::vector<int> out;
    for (int r = 0; r < ModelOf(view)->rowCount(); ++r) out.push_back(ModelOf(view)->recordAt(r));
    return out;
  }
  void Click(QPushButton* b) {
    b->setEnabled(true);  // a refused click must be refused by the handler, not the button
    b->click();
    QApplication::processEvents();
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<TfrmQuna> form_;
  Ui::frmQuna* ui = nullptr;
  ModalWatcher boxes_;
};

GenOptions Demo() {
  GenOptions opt;
  opt.channels = 4;
  opt.records = 1000;
  opt.alarms = true;
  opt.powerFailures = 3;
  return opt;
}

TEST_F(ListsTest, DataPagesAtRowAndRecordIntervalsWithButtonStates) {
  Load(Demo());
  const int first = form_->WindowFirst, end = form_->WindowEnd;
  ASSERT_EQ(first, 0);
  ASSERT_GT(end, 900);
  Tab(1);
  // First show: the time option with interval 1.
  EXPECT_TRUE(ui->rb2->isChecked());
  const int pages = (end + 149) / 150;
  EXPECT_EQ(ui->lbl15->text(), QString("总：%1 页").arg(pages));
  EXPECT_EQ(ModelOf(ui->lv1)->columnCount(), 5);
  EXPECT_EQ(ModelOf(ui->lv1)->headerData(0, Qt::Horizontal).toString(), "记录时间");

  struct Step {
    QPushButton* button;
    const char* typed;  // for the go-to button
    int page;           // page shown afterwards
    bool prev, next;
    const char* box;    // message expected, if any
  };
  const std::string last = std::to_string(pages);
  const Step steps[] = {
      {nullptr, nullptr, 1, false, true, nullptr},
      {ui->btnNext, nullptr, 2, true, true, nullptr},
      {ui->btnUp, nullptr, 1, false, true, nullptr},
      {ui->btnUp, nullptr, 1, false, true, "已经到达第一页."},
      {ui->btnPage, last.c_str(), pages, true, false, nullptr},
      {ui->btnNext, nullptr, pages, true, false, "已经到达最后页."},
      {ui->btnPage, "0", pages, true, false, "无效的数值."},
      {ui->btnPage, "99", pages, true, false, "超出页面范围."},
      {ui->btnPage, "3", 3, true, true, nullptr},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.page);
    boxes_.texts.clear();
    if (s.typed) ui->edPage->setText(s.typed);
    if (s.button) Click(s.button);
    EXPECT_EQ(form_->DataPage, s.page);
    // An invalid number stays in the edit; an out-of-range one is put back.
    const bool invalid = s.typed && std::string(s.typed) == "0";
    EXPECT_EQ(ui->edPage->text(), invalid ? QString("0") : QString::number(s.page));
    if (!s.box) {  // a refused click keeps the states it found, which Click changed
      EXPECT_EQ(ui->btnUp->isEnabled(), s.prev);
      EXPECT_EQ(ui->btnNext->isEnabled(), s.next);
    }
    ASSERT_EQ(boxes_.texts.size(), s.box ? 1u : 0u);
    if (s.box) {
      EXPECT_EQ(boxes_.texts[0], QString::fromUtf8(s.box));
    }
    const int start = (s.page - 1) * 150;
    const std::vector<int> rows = Records(ui->lv1);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(std::min(150, end - start)));
    EXPECT_EQ(rows.front(), start);
    EXPECT_EQ(rows.back(), start + static_cast<int>(rows.size()) - 1);
  }

  // Every fifth record, then a refresh: back to page 1 with Next enabled again.
  ui->rb1->click();
  ui->edlinespace->setText("5");
  ui->btnRefresh->click();
  QApplication::processEvents();
  EXPECT_EQ(form_->DataPage, 1);
  EXPECT_EQ(ui->edPage->text(), "1");
  EXPECT_FALSE(ui->btnUp->isEnabled());
  EXPECT_TRUE(ui->btnNext->isEnabled());
  EXPECT_EQ(ui->lbl15->text(), QString("总：%1 页").arg((end + 749) / 750));
  std::vector<int> rows = Records(ui->lv1);
  ASSERT_EQ(rows.size(), 150u);
  EXPECT_EQ(rows[1], 5);
  EXPECT_EQ(rows.back(), 745);
  Click(ui->btnNext);
  rows = Records(ui->lv1);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front(), 750);
  EXPECT_EQ(rows.back(), (end - 1) / 5 * 5);
  EXPECT_FALSE(ui->btnNext->isEnabled());
  // The go-to counts pages for the step in the edit: 2 at step 5, 7 at step 1.
  ui->edPage->setText("3");
  boxes_.texts.clear();
  Click(ui->btnPage);
  EXPECT_EQ(boxes_.texts.size(), 1u);
  EXPECT_EQ(form_->DataPage, 2);
}

TEST_F(ListsTest, PageEditKeysAndMarkerRowsInRed) {
  Load(Demo());
  Tab(1);
  ui->edPage->clear();
  ui->edPage->setFocus();
  for (const QString& typed : {QString("a"), QString("2"), QString("-"), QString("x")}) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, typed);
    QApplication::sendEvent(ui->edPage, &press);
  }
  EXPECT_EQ(ui->edPage->text(), "2");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QApplication::sendEvent(ui->edPage, &enter);
  EXPECT_EQ(form_->DataPage, 2);
  EXPECT_EQ(ui->edPage->text(), "2");

  // The marker rows of the window, wherever they fall, are power-failure rows in red.
  const utPubParam* p = GetPubParam();
  int markers = 0;
  for (int i = 0; i < form_->WindowEnd; ++i) {
    if (p->Records[i].Marker == 0) continue;
    ++markers;
    ui->edPage->setText(QString::number(i / 150 + 1));
    Click(ui->btnPage);
    ReportModel* m = ModelOf(ui->lv1);
    const int row = i % 150;
    EXPECT_EQ(m->recordAt(row), i);
    EXPECT_EQ(m->data(m->index(row, 0)).toString(), "停电状态");
    EXPECT_EQ(m->data(m->index(row, 1)).toString(), "");
    EXPECT_EQ(m->data(m->index(row, 0), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
    const int plain = row == 0 ? 1 : row - 1;
    EXPECT_EQ(m->data(m->index(plain, 0), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::black));
    EXPECT_EQ(m->data(m->index(plain, 1)).toString(),
              FormatFixed2(p->Records[m->recordAt(plain)].Channel[0].Value));
  }
  EXPECT_EQ(markers, 3);
}

TEST_F(ListsTest, AlarmListTextsPagingAndGoToRefusals) {
  Load(Demo());
  Tab(2);
  const utPubParam* p = GetPubParam();
  std::vector<int> alarms;
  for (int i = 0; i < form_->WindowEnd; ++i) {
    const tagDataRecord& r = p->Records[i];
    bool any = false;
    for (int k = 0; k < 4; ++k)
      for (int f = 0; f < 6; ++f) any |= r.Channel[k].Alarm[f] != 0;
    if (r.Marker == 0 && any) alarms.push_back(i);
  }
  ASSERT_GT(alarms.size(), 150u) << "the demo file should need two alarm pages";
  const int n = static_cast<int>(alarms.size());
  EXPECT_EQ(ui->lbl17->text(), QString("报警记录数为：%1").arg(n));
  EXPECT_EQ(ui->lblAlarmcount->text(), QString("总：%1 页").arg((n + 149) / 150));
  EXPECT_FALSE(ui->btnAlarmup->isEnabled());
  EXPECT_TRUE(ui->btnAlarmnext->isEnabled());

  ReportModel* m = ModelOf(ui->lv5);
  ASSERT_EQ(m->rowCount(), 150);
  const char* texts[6] = {"上限报警,", "下限报警,", "正偏报警,", "负偏报警,", "超程报警,", "异常报警,"};
  for (int row : {0, 149}) {
    const tagDataRecord& r = p->Records[alarms[static_cast<std::size_t>(row)]];
    EXPECT_EQ(m->data(m->index(row, 0)).toString(), Time(alarms[static_cast<std::size_t>(row)]));
    for (int k = 0; k < 4; ++k) {
      QString want;
      for (int f = 0; f < 6; ++f)
        if (r.Channel[k].Alarm[f]) want += QString::fromUtf8(texts[f]);
      EXPECT_EQ(m->data(m->index(row, k + 1)).toString(), want);
    }
  }

  Click(ui->btnAlarmnext);
  EXPECT_EQ(form_->AlarmPage, 2);
  EXPECT_EQ(m->recordAt(0), alarms[150]);
  EXPECT_TRUE(ui->btnAlarmup->isEnabled());
  for (const char* typed : {"0", "-3", "99"}) {
    boxes_.texts.clear();
    ui->edtAlarmpage->setText(typed);
    Click(ui->btnAlarminto);
    EXPECT_EQ(form_->AlarmPage, 2) << typed;
    EXPECT_EQ(boxes_.texts.size(), 1u) << typed;
  }
  ui->edtAlarmpage->setText("1");
  Click(ui->btnAlarminto);
  EXPECT_EQ(m->recordAt(0), alarms[0]);
  EXPECT_FALSE(ui->btnAlarmup->isEnabled());
}

TEST_F(ListsTest, PowerFailuresAndStatistics) {
  Load(Demo());
  const utPubParam* p = GetPubParam();
  const int end = form_->WindowEnd;
  std::vector<QString> want;
  for (int i = 0; i < end; ++i)
    if (p->Records[i].Marker) want.push_back(Time(i > 0 ? i - 1 : 0));
  want.push_back(Time(end));  // the closing entry, first after the window
  Tab(3);
  ReportModel* pf = ModelOf(ui->lv6);
  EXPECT_EQ(pf->headerData(0, Qt::Horizontal).toString(), "停电时间");
  ASSERT_EQ(pf->rowCount(), static_cast<int>(want.size()));
  for (int r = 0; r < pf->rowCount(); ++r) EXPECT_EQ(pf->cellText(r, 0), want[static_cast<std::size_t>(r)]);

  // Channel 1 hidden: its average cell is empty, the others stand in their own columns.
  GetPubParam()->SysPar.ChannelShown[1] = 0;
  Tab(4);
  ReportModel* avg = ModelOf(ui->lv4);
  ASSERT_EQ(avg->rowCount(), 1);
  EXPECT_EQ(avg->cellText(0, 0), Time(0));
  EXPECT_EQ(avg->cellText(0, 1), Time(end - 1));
  for (int k = 0; k < 4; ++k) {
    double sum = 0;
    int n = 0;
    for (int i = 0; i < end; ++i)
      if (!p->Records[i].Marker) sum += p->Records[i].Channel[k].Value, ++n;
    EXPECT_EQ(avg->cellText(0, 2 + k), k == 1 ? QString() : QString::asprintf("%4.2f", sum / n)) << k;
  }
  EXPECT_TRUE(ui->lv4->isColumnHidden(3));
  EXPECT_FALSE(ui->lv4->isColumnHidden(2));

  Tab(5);
  ReportModel* pk = ModelOf(ui->lv3);
  ASSERT_EQ(pk->rowCount(), 2);
  EXPECT_EQ(pk->cellText(0, 0), "最大值");
  EXPECT_EQ(pk->cellText(1, 0), "最小值");
  int maxAt = -1, minAt = -1;
  for (int i = 0; i < end; ++i) {
    if (p->Records[i].Marker) continue;
    const double v = p->Records[i].Channel[0].Value;
    if (maxAt < 0 || v > p->Records[maxAt].Channel[0].Value) maxAt = i;
    if (minAt < 0 || v < p->Records[minAt].Channel[0].Value) minAt = i;
  }
  EXPECT_EQ(pk->cellText(0, 1), Time(maxAt) + "=>" + QString::asprintf("%4.2f", p->Records[maxAt].Channel[0].Value));
  EXPECT_EQ(pk->cellText(1, 1), Time(minAt) + "=>" + QString::asprintf("%4.2f", p->Records[minAt].Channel[0].Value));
  // Hidden channels keep their cells in zero-width columns; a check box change re-lays
  // the columns by channel index.
  EXPECT_TRUE(ui->lv3->isColumnHidden(2));
  GetPubParam()->SysPar.ChannelShown[1] = 1;
  GetPubParam()->SysPar.ChannelName[1] = "Renamed";
  form_->ApplyColumnLayout(form_->ReportType);
  EXPECT_FALSE(ui->lv3->isColumnHidden(2));
  EXPECT_EQ(pk->headerData(2, Qt::Horizontal).toString(), "Renamed");
  EXPECT_EQ(ModelOf(ui->lv4)->headerData(3, Qt::Horizontal).toString(), "Renamed");
}

TEST_F(ListsTest, EnergyTotalOfAPowerMeterFile) {
  GenOptions opt;
  opt.model = 11;
  opt.channels = 1;
  opt.records = 400;
  opt.powerFailures = 2;
  Load(opt);
  Tab(5);
  const utPubParam* p = GetPubParam();
  const int end = form_->WindowEnd;
  ReportModel* m = ModelOf(ui->lv3);
  ASSERT_EQ(m->columnCount(), 3);
  EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), "电量累计");
  ASSERT_EQ(m->rowCount(), 1);
  double sum = 0;
  for (int i = 0; i < end; ++i)
    if (!p->Records[i].Marker) sum += p->Records[i].Channel[0].Value;
  EXPECT_EQ(m->cellText(0, 0), Time(0));
  EXPECT_EQ(m->cellText(0, 1), Time(end));
  EXPECT_EQ(m->cellText(0, 2), FormatGeneral(sum));
  EXPECT_GT(sum, 0.0);
  // The data list captions its column by the model's text.
  Tab(1);
  EXPECT_EQ(ModelOf(ui->lv1)->headerData(1, Qt::Horizontal).toString(), "电量报表");
}

TEST_F(ListsTest, AltLOpensTheLogWindowAndItsQueryListsTheChosenTimes) {
  Load(Demo());
  // The application-wide Alt+L shortcut (the platform's key path is not reachable
  // offscreen): it must be the form's, and firing it opens the window.
  QShortcut* altL = nullptr;
  for (QShortcut* s : form_->findChildren<QShortcut*>())
    if (s->key() == QKeySequence(Qt::ALT | Qt::Key_L)) altL = s;
  ASSERT_NE(altL, nullptr);
  EXPECT_EQ(altL->context(), Qt::ApplicationShortcut);
  auto press = [altL] {
    emit altL->activated();
    QApplication::processEvents();
  };
  press();
  ASSERT_NE(frmLogInfo, nullptr);
  TfrmLogInfo* log = frmLogInfo;
  EXPECT_TRUE(log->isVisible());
  log->hide();
  press();
  EXPECT_EQ(frmLogInfo, log);
  EXPECT_TRUE(log->isVisible());
  EXPECT_EQ(log->Model()->columnCount(), 5);

  // Records 10 to 20 inclusive.
  Ui::frmLogInfo* lui = log->UiForm();
  const QDateTime a = QDateTime::fromString(Time(10), "yyyy-MM-dd HH:mm:ss");
  const QDateTime b = QDateTime::fromString(Time(20), "yyyy-MM-dd HH:mm:ss");
  lui->dtp1->setDate(a.date());
  lui->dtp2->setTime(a.time());
  lui->dtp4->setDate(b.date());
  lui->dtp3->setTime(b.time());
  lui->btn1->click();
  ReportModel* m = log->Model();
  ASSERT_EQ(m->rowCount(), 11);
  EXPECT_EQ(m->cellText(0, 0), Time(10));
  EXPECT_EQ(m->cellText(10, 0), Time(20));
  EXPECT_EQ(m->cellText(5, 1), FormatFixed2(GetPubParam()->Records[15].Channel[0].Value));
  log->hide();
}

}  // namespace

namespace {

// The form's translation reaches the list columns through the views' models.
TEST_F(ListsTest, TranslationSetsListColumnCaptions) {
  Load(Demo());
  Tab(1);
  const std::string lang = dir_.file("lang.ini");
  FILE* f = std::fopen(lang.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("[frmQuna]\r\nlv1_TC0=Time\r\nlv1_TC2=Second\r\n", f);
  std::fclose(f);
  GetLanchg()->SetLangFile(lang);
  TranslateForm("frmQuna", form_.get());
  GetLanchg()->SetLangFile(std::string());
  ReportModel* m = ModelOf(ui->lv1);
  EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), "Time");
  EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), "Second");
  EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(),
            QString::fromStdString(GetPubParam()->SysPar.ChannelName[0]));
}

}  // namespace
