// Pictures of the report lists for a look by eye: only when QUNO_SCREENSHOT_DIR names a
// folder (run under a display, e.g. xvfb-run with QT_QPA_PLATFORM=xcb).
#include <gtest/gtest.h>

#include <QDateEdit>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>

#include "data/lanchg.h"
#include "data/readdata.h"
#include "mainform_support.h"
#include "mainwindow/utLogInfo.h"
#include "support/tempdir.h"
#include "tools/datagen.h"
#include "ui_frmLogInfo.h"
#include "ui_frmQuna.h"

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Load(TfrmQuna& f, const std::string& data) {
  f.resize(1280, 800);
  f.show();
  ASSERT_TRUE(f.OpenDataFile(data));
  QElapsedTimer t;
  t.start();
  while ((f.IsBusy() || !f.Reader()->Idle()) && t.elapsed() < 20000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Save(QWidget* w, const QString& name) {
  Settle();
  EXPECT_TRUE(w->grab().save(QString("%1/%2.png").arg(std::getenv("QUNO_SCREENSHOT_DIR"), name)));
}

}  // namespace

TEST(ListPictures, WalkThroughTheLists) {
  if (!std::getenv("QUNO_SCREENSHOT_DIR")) GTEST_SKIP() << "QUNO_SCREENSHOT_DIR is not set";
  const char* build = std::getenv("QUNO_BUILD_DIR");
  GetLanchg()->SetLangFile(build ? std::string(build) + "/langchs.ini" : std::string());
  TempDir tmp;
  GenOptions opt;
  opt.channels = 8;
  opt.records = 2000;
  opt.alarms = true;
  opt.powerFailures = 3;
  const std::string data = tmp.file("demo.qmd");
  ASSERT_TRUE(WriteDataFile(data, opt));

  ModalWatcher boxes;
  TfrmQuna f;
  Load(f, data);
  Ui::frmQuna* ui = f.Form();
  ui->pgc1->setCurrentIndex(1);
  Save(&f, "list_data_p1");
  ui->btnNext->click();
  Save(&f, "list_data_p2");
  ui->edPage->setText("7");
  ui->btnPage->click();
  Save(&f, "list_data_p7");
  // The first power failure (record 500) in the middle of the page.
  ui->edPage->setText("4");
  ui->btnPage->click();
  ui->lv1->scrollTo(ui->lv1->model()->index(55, 0), QAbstractItemView::PositionAtCenter);
  Save(&f, "list_data_marker");
  ui->rb1->click();
  ui->edlinespace->setText("5");
  ui->btnRefresh->click();
  Save(&f, "list_data_step5");
  ui->pgc1->setCurrentIndex(2);
  Save(&f, "list_alarm_p1");
  ui->btnAlarmnext->click();
  Save(&f, "list_alarm_p2");
  ui->pgc1->setCurrentIndex(3);
  Save(&f, "list_powerfail");
  ui->pgc1->setCurrentIndex(4);
  Save(&f, "list_average");
  ui->pgc1->setCurrentIndex(5);
  Save(&f, "list_peak");

  f.ShowLogWindow();
  TfrmLogInfo* log = frmLogInfo;
  ASSERT_NE(log, nullptr);
  const QDateTime a = QDateTime::fromString(QString::fromLatin1(GetPubParam()->Records[100].TimeText),
                                            "yyyy-MM-dd HH:mm:ss");
  log->UiForm()->dtp1->setDate(a.date());
  log->UiForm()->dtp2->setTime(a.time());
  log->UiForm()->dtp4->setDate(a.date());
  log->UiForm()->dtp3->setTime(a.time().addSecs(600));
  log->UiForm()->btn1->click();
  Save(log, "list_log");
  log->hide();

  GenOptions meter;
  meter.model = 11;
  meter.channels = 1;
  meter.records = 500;
  meter.powerFailures = 2;
  const std::string data11 = tmp.file("meter.qmd");
  ASSERT_TRUE(WriteDataFile(data11, meter));
  TfrmQuna g;
  Load(g, data11);
  g.Form()->pgc1->setCurrentIndex(5);
  Save(&g, "list_energy");
}
