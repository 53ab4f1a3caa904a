// Main form: file open, refresh and restore of the time window.
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimeEdit>

#include "data/lanchg.h"
#include "data/readdata.h"
#include "mainwindow/utQuna.h"
#include "mainwindow/windowrules.h"
#include "platform/appcursor.h"
#include "platform/appdir.h"
#include "ui_frmQuna.h"

void TfrmQuna::cbb3DropDown() {
  if (RefuseOpenWhileExporting()) return;
  // The pages are marked unbuilt when a load ends (code 6), not here: a cancelled, failed
  // or refused open would otherwise redraw the curves and drop their markers and cursor.
  // Recordings live together, often far from the program: each open starts where the
  // last file was chosen, refused or not.
  if (openFolder_.isEmpty()) openFolder_ = QString::fromStdString(ProgramDir());
  const QString path = QFileDialog::getOpenFileName(this, QString(), openFolder_,
                                                    "dat(*.dat) (*.qmd);;All files (*.*) (*)");
  if (path.isEmpty()) return;
  openFolder_ = QFileInfo(path).absolutePath();
  OpenDataFile(path.toStdString());
}

bool TfrmQuna::OpenDataFile(const std::string& path) {
  if (RefuseOpenWhileExporting()) return false;  // the export reads the store
  ui->cbb3->clear();
  ui->cbb3->addItem(QFileInfo(QString::fromStdString(path)).fileName());
  ui->cbb3->setCurrentIndex(0);

  const std::uint32_t now = Now();
  const bool idle = ReadThread && ReadThread->Idle() && !busy_;
  const OpenRefusal refusal = CheckOpen(idle, openedBefore_, now, LastOpenTick, path, DataFileName);
  if (refusal != OpenRefusal::None) {
    OpenRefused(refusal);
    return false;
  }

  // The open counts from the header notification (code 4) on; until then nothing of
  // the loaded file's state is touched.
  pendingFile_ = path;
  headerSeen_ = false;
  const bool loaded = ReadThread->LoadFile(path);
  pendingFile_.clear();
  if (!loaded) {
    if (headerSeen_) {
      // The header was read but the records cannot be: the store now describes this
      // file, with nothing to parse.
      busy_ = false;
      Loading = false;
    }
    ui->cht1->HoldPicture(false);  // no record was rewritten
    SetAppCursor(AppCursor::Default);
    ShowLoadedFileName();
    return false;
  }
  if (!headerSeen_) {
    Loading = true;
    busy_ = true;
    DataFileName = path;
  }
  ReadThread->Resume();
  LastOpenTick = now;
  openedBefore_ = true;

  SetStatusPanel(2, GetLangString("frmQuna", "Error27", "请选择数据."));
  ui->lbl4->setVisible(true);
  ui->lbl5->setVisible(true);
  DataPage = 1;
  ui->edPage->setText("1");
  AlarmPage = 1;
  ui->edtAlarmpage->setText("1");
  ui->btnExecl->setEnabled(true);
  ui->btnRefresh->setEnabled(true);
  return true;
}

// The file box names the file whose data is on screen, never one that was not loaded.
void TfrmQuna::ShowLoadedFileName() {
  ui->cbb3->clear();
  if (!DataFileName.empty()) ui->cbb3->addItem(QFileInfo(QString::fromStdString(DataFileName)).fileName());
  ui->cbb3->setCurrentIndex(DataFileName.empty() ? -1 : 0);
}

void TfrmQuna::OpenRefused(OpenRefusal refusal) {
  ShowLoadedFileName();
  const LangText t = OpenRefusalText(refusal);
  SetStatusPanel(2, GetLangString(kOpenRefusalSection, t.key, QString::fromUtf8(t.text)));
}

void TfrmQuna::btnRefreshClick() {
  if (busy_ || DataFileName.empty()) return;
  ui->btnRefresh->setEnabled(false);

  int up = PubParam->SysPar.UP, down = PubParam->SysPar.DOWN;
  if (ReportType == 2) {
    // The typed limits are checked before anything changes.
    up = LimitFromSign(ui->cbb1->currentIndex(), ui->edY1->text().toStdString());
    down = LimitFromSign(ui->cbb2->currentIndex(), ui->edY2->text().toStdString());
    if (down > up) {
      ErrorBox(GetLangString("frmQuna", "Error36", "下限值大于上限值,请重新输入."));
      ui->btnRefresh->setEnabled(true);
      return;
    }
  }

  const std::string start = TimeText(ui->dtp1->date(), ui->dtp2->time());
  const std::string end = TimeText(ui->dtp3->date(), ui->dtp4->time());
  const TimeWindow w = QueryTimeWindow(
      PubParam->Records, LoadedWindowEnd(PubParam->Records, PubParam->RecordCount), start, end);
  if (w.result == -1) {
    ErrorBox(GetLangString("utPubParam", "Error1", "结束时间小于开始时间"));
    ui->btnRefresh->setEnabled(true);
    return;
  }
  WindowFirst = w.first;
  WindowEnd = std::max(w.end, w.first);
  ui->lbl9->setText(CountText(GetLangString("frmQuna", "Error5", "记录数："), WindowEnd - WindowFirst));
  for (int& b : PageBuilt) b = 0;
  // A narrower window may not reach the page shown before.
  DataPage = 1;
  ui->edPage->setText("1");
  AlarmPage = 1;
  ui->edtAlarmpage->setText("1");

  if (ReportType == 2) {
    PubParam->SysPar.UP = up;
    PubParam->SysPar.DOWN = down;
  }
  // The curves are drawn for the new window when the curve page is next shown (now, on
  // that page), so a refresh made on a report page cannot leave them stale.
  UpdatePageControls();
  ui->btnRefresh->setEnabled(true);
}

void TfrmQuna::btnRestoreClick() {
  if (busy_ || DataFileName.empty()) return;
  for (auto* p : {ui->dtp1, ui->dtp3}) {
    const QSignalBlocker block(p);
    p->setDate((p == ui->dtp1 ? DataStart : DataEnd).date());
  }
  for (auto* p : {ui->dtp2, ui->dtp4}) {
    const QSignalBlocker block(p);
    p->setTime((p == ui->dtp2 ? DataStart : DataEnd).time());
  }
  btnRefreshClick();
  ui->btnRestore->setEnabled(false);
}

void TfrmQuna::UpdateRestoreButton() {
  if (DataFileName.empty()) return;
  ui->btnRestore->setEnabled(RangeDiffers(DataStart, DataEnd, ui->dtp1->date(), ui->dtp2->time(),
                                          ui->dtp3->date(), ui->dtp4->time()));
}

void TfrmQuna::btnExeclClick() {
  if (busy_) return;
  if (ReportType == 2) {
    ChooseColor(0, 0);
    return;
  }
  ExportCurrentPage();
}

void TfrmQuna::btnprintClick() {
  if (DataFileName.empty()) {
    QMessageBox::critical(this, QString(), GetLangString("frmQuna", "Error34", "请选择数据."));
    return;
  }
  if (busy_) return;
  PrintCurrentPage();
}
