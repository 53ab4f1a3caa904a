// Main form: the tab pages, their report types, interval options and built marks.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "data/lanchg.h"
#include "mainwindow/utQuna.h"
#include "reports/Utpage.h"
#include "mainwindow/chartrules.h"
#include "mainwindow/windowrules.h"
#include "platform/colors.h"
#include "ui_frmQuna.h"

namespace {
QString Lang(const LangText& t) { return GetLangString("frmQuna", t.key, QString::fromUtf8(t.text)); }

// Checking a radio button that was not checked runs its click handler.
template <typename F>
void CheckRadio(QRadioButton* button, F click) {
  if (button->isChecked()) return;
  button->setChecked(true);
  click();
}
}  // namespace

void TfrmQuna::SetTwoEnabled(bool enabled1, QWidget* control1, bool enabled2, QWidget* control2) {
  for (auto [enabled, control] : {std::pair{enabled1, control1}, std::pair{enabled2, control2}}) {
    control->setEnabled(enabled);
    QPalette pal = control->palette();
    pal.setColor(QPalette::Base, enabled ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xA0, 0xA0, 0xA4));
    control->setPalette(pal);
  }
}

void TfrmQuna::SetTabCaptions(int tab) {
  const TabButtonTexts t = ButtonTextsForTab(tab);
  ui->btnExecl->setText(Lang(t.execl));
  ui->btnRefresh->setText(Lang(t.refresh));
  ui->btnRestore->setText(Lang(t.restore));
}

void TfrmQuna::StoreTabOptions(int tab) {
  if (tab < 0 || tab >= 6) return;
  const bool rows = ui->rb1->isChecked();
  PageByRows[tab] = rows ? 1 : 0;
  PageInterval[tab] =
      StoredIntervalOfText((rows ? ui->edlinespace : ui->edtimespace)->text().toStdString());
}

void TfrmQuna::RestoreTabOptions(int tab) {
  ui->rb2->setEnabled(true);
  ui->rb1->setEnabled(true);
  QLineEdit* edit;
  if (PageByRows[tab] == 0) {
    CheckRadio(ui->rb2, [this] { rb2Click(); });
    edit = ui->edtimespace;
  } else {
    CheckRadio(ui->rb1, [this] { rb1Click(); });
    edit = ui->edlinespace;
  }
  SetTwoEnabled(true, edit, true, edit);
  edit->setText(QString::number(PageInterval[tab]));
}

void TfrmQuna::UpdatePageControls() {
  ui->pnlMove->hide();
  ui->rb1->setEnabled(false);
  ui->rb2->setEnabled(false);
  for (QLineEdit* edit : {ui->edlinespace, ui->edtimespace}) {
    edit->setEnabled(false);
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, ToQColor(clBtnFace));
    edit->setPalette(pal);
  }

  const int t = ui->pgc1->currentIndex();
  if (t == 1 || t == 2) RestoreTabOptions(t);
  if (t >= 0 && t < 6) {
    ReportType = ReportTypeForTab(t);
    SetTabCaptions(t);
    ui->pnlline->setVisible(t == 0);
    ui->pnlexecl->setVisible(t != 0);
  }
  const int channels = PubParam->DataHead.ChannelCount;
  // While a load runs the store is being written: the view is built when it ends.
  switch (t) {
    case 0:
      ui->pnlMove->show();
      ui->pnlMove->raise();
      // A refresh or restore made on a report page changed the window: the curves
      // follow it before the page shows them.
      if (PageBuilt[0] == 0 && !busy_ && !DataFileName.empty()) DrawWindowCurves();
      for (int c = 0; c < channels && c < kMaxChannels; ++c)
        RefreshChannelList(c, PubParam->SysPar.ChannelShown[c] != 0);
      if (PageBuilt[0] == 1 || busy_) return;
      PageBuilt[0] = 1;
      break;
    case 1: {
      ApplyColumnLayout(1);
      if (PageBuilt[1] == 1 || busy_) return;
      PageBuilt[1] = 1;
      const int step = CurrentStep();
      BuildDataView(DataPage, WindowFirst, step, WindowEnd);
      DataPageCount = static_cast<int>(PageCount(WindowFirst, WindowEnd, step));
      ui->lbl15->setText(PageCountText(Lang({"Error14", "总："}), DataPageCount, Lang({"Error15", "页"})));
      break;
    }
    case 2: {
      ApplyColumnLayout(3);
      if (PageBuilt[2] == 1 || busy_) return;
      PageBuilt[2] = 1;
      AlarmFirst = 0;
      const int n = BuildAlarmIndexFor(WindowFirst, WindowEnd);
      ui->lbl17->setText(CountText(Lang({"Error18", "报警记录数为："}), n));
      const int step = CurrentStep();
      AlarmPageCount = static_cast<int>(PageCount(0, n, step));
      ui->lblAlarmcount->setText(
          PageCountText(Lang({"Error14", "总："}), AlarmPageCount, Lang({"Error15", "页"})));
      BuildAlarmView(AlarmPage, AlarmFirst, step, n);
      break;
    }
    case 3:
      ApplyColumnLayout(4);
      if (PageBuilt[3] == 1 || busy_) return;
      BuildPowerFailView(WindowFirst, WindowEnd);
      PageBuilt[3] = 1;
      break;
    case 4:
      ApplyColumnLayout(6);
      if (PageBuilt[4] == 1 || busy_) return;
      BuildAverageView(WindowFirst, WindowEnd);
      PageBuilt[4] = 1;
      break;
    case 5:
      ApplyColumnLayout(5);
      if (busy_) return;
      if (PubParam->DataHead.ModelCode == 11)
        BuildEnergyView(WindowFirst, WindowEnd);
      else
        BuildPeakView(WindowFirst, WindowEnd);
      PageBuilt[5] = 1;
      break;
    default:
      break;
  }
  StoreTabOptions(t);
}

void TfrmQuna::DrawWindowCurves() {
  SetupAxes();
  CreateSeries();
  FillSeries();
  ClearFlags();
}

void TfrmQuna::pgc1Change() {
  UpdatePageControls();
  if (ReportType == 2) {
    UpdateFlagButtons();
  } else {
    ui->btnAddFlag->setEnabled(false);
    ui->btnClearFlag->setEnabled(false);
  }
}

void TfrmQuna::rb1Click() { IntervalChoiceChanged(ui->rb1->isChecked()); }

void TfrmQuna::rb2Click() { IntervalChoiceChanged(!ui->rb2->isChecked()); }

// The interval counts rows (rb1) or seconds (rb2): enable that edit and remember the
// choice and its value for the current tab.
void TfrmQuna::IntervalChoiceChanged(bool rows) {
  SetTwoEnabled(rows, ui->edlinespace, !rows, ui->edtimespace);
  const int t = ui->pgc1->currentIndex();
  if (t < 0 || t >= 6) return;
  PageByRows[t] = rows ? 1 : 0;
  PageInterval[t] =
      StoredIntervalOfText((rows ? ui->edlinespace : ui->edtimespace)->text().toStdString());
}

void TfrmQuna::edlinespaceChange() {
  if (ui->edlinespace->text() == "0") {
    ui->edlinespace->setText("1");  // runs this handler again with "1"
    return;
  }
  const int t = ui->pgc1->currentIndex();
  if (t >= 0 && t < 6) PageInterval[t] = StoredIntervalOfText(ui->edlinespace->text().toStdString());
}

void TfrmQuna::edtimespaceChange() {
  if (ui->edtimespace->text() == "0") {
    ui->edtimespace->setText("1");
    return;
  }
  const int t = ui->pgc1->currentIndex();
  if (t >= 0 && t < 6) PageInterval[t] = StoredIntervalOfText(ui->edtimespace->text().toStdString());
}
