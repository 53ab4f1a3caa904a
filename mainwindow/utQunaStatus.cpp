// Main form: the notifications of the reader and the export thread (WM_STATUSMSG).
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>

#include "data/lanchg.h"
#include "data/readdata.h"
#include "data/utDataError.h"
#include "mainwindow/cursorrules.h"
#include "mainwindow/reportmodel.h"
#include "mainwindow/utQuna.h"
#include "mainwindow/windowrules.h"
#include "platform/appcursor.h"
#include "ui_frmQuna.h"

namespace {
QString Lang(const char* key, const char* text) {
  return GetLangString("frmQuna", key, QString::fromUtf8(text));
}
}  // namespace

std::string SettingsSection(const std::string& dataFile) {
  const std::size_t slash = dataFile.find_last_of('/');
  return slash == std::string::npos ? dataFile : dataFile.substr(slash + 1);
}

void TfrmQuna::OnStatusMsg(const StatusMsg& msg) {
  if (closed_) return;
  ++handlerDepth_;
  switch (msg.code) {
    case 1:
      ErrorBox(Lang("Error1", "档案不支持格式") + "-" + msg.text);
      break;
    case 2:
      ErrorBox(Lang("Error2", "内存分配失败") + "-" + msg.text);
      break;
    case 3:
      ErrorBox(QString("%1%2-%3").arg(Lang("Error3", "超出最大记录数量")).arg(kMaxRecords).arg(msg.text));
      break;
    case 4:
      OnCode4();
      break;
    case 5:
      OnCode5();
      break;
    case 6:
      OnCode6();
      break;
    case 7:
      OnCode7(msg.value);
      break;
    case 9:
      SetAppCursor(AppCursor::Default);
      break;
    case 10:  // the export file could not be written; the thread has removed it
      SetAppCursor(AppCursor::Default);
      ErrorBox(msg.text);
      break;
    case 11:
      WarningBox(Lang("Error6",
                      "导出数据超过Excel表格最大行数(65535),请重新选择数据范围或者分多个文件导出."));
      break;
    case 12:
      WarningBox(Lang("Error7", "打印机加载失败.请重新选择打印机"));
      break;
    case 1101:
      ErrorBox(Lang("Error35", "数据文件是不合法数据,请检查"));
      break;
    case 1102:
      OnCode1102(msg);
      break;
    default:
      break;
  }
  --handlerDepth_;
  if (handlerDepth_ == 0 && closePending_) {
    closePending_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
}

void TfrmQuna::OnCode4() {
  ForgetRecordRows();  // the records behind the lists are about to be replaced
  // and so are those the curves read: the chart keeps its picture until it is rebuilt.
  ui->cht1->HoldPicture(true);
  // The header of the chosen file has been read: the open is accepted from here on.
  // The file's settings section is read only now, so a file that cannot be opened
  // leaves the names, limits and margins of the loaded file untouched.
  if (!pendingFile_.empty()) {
    headerSeen_ = true;
    Loading = true;
    busy_ = true;
    DataFileName = pendingFile_;
    PubParam->ReadFilePar(SettingsSection(DataFileName));
  }
  SetupMainFormForModel();
  ShowChannelSummary();
}

void TfrmQuna::OnCode5() {
  ClearFlags();
  ResizeValuePanel();
}

void TfrmQuna::OnCode7(std::int64_t count) {
  // Only the count: the window is taken from what was stored, when the parse ends.
  ui->lbl9->setText(CountText(Lang("Error5", "记录数："), count));
  ui->btnUp->setEnabled(false);
  ui->btnAlarmup->setEnabled(false);
  Loading = false;
}

void TfrmQuna::OnCode6() {
  SetRangePickers(ui->dtp1, ui->dtp2, ui->dtp3, ui->dtp4);
  DataStart = QDateTime(ui->dtp1->date(), ui->dtp2->time());
  DataEnd = QDateTime(ui->dtp3->date(), ui->dtp4->time());
  SetStatusPanel(2, Lang("Error4", "刷新成功."));

  WindowFirst = 0;
  WindowEnd = LoadedWindowEnd(PubParam->Records, PubParam->RecordCount);
  DataPage = 1;
  busy_ = false;
  Loading = false;

  AdjustYRange();
  SetAppCursor(AppCursor::Default);
  SetupAxes();
  CreateSeries();
  FillSeries();
  ShowUpDown(ui->cbb1, ui->edY1, ui->cbb2, ui->edY2);
  for (int& b : PageBuilt) b = 0;
  PageBuilt[0] = 1;  // the curves above are those of the new window
  UpdatePageControls();
  UpdateFlagButtons();
  CalcAverageInterval();
  ui->btnRestore->setEnabled(false);
  ResizeValuePanel();  // the values' range is known now
}

void TfrmQuna::OnCode1102(const StatusMsg& msg) {
  // The reader waits in its send until this returns, so the policy is in place before
  // it goes on; it goes on whatever the dialog gives.
  QString previous = msg.first, current = msg.second;
  if (previous.isEmpty() && current.isEmpty()) {
    const auto pieces = SplitString(msg.text.toStdString(), "~~");
    if (pieces.size() < 2) return;
    previous = QString::fromStdString(pieces[0]);
    current = QString::fromStdString(pieces[1]);
  }
  if (!dataError_) dataError_ = GetDataErrorDialog(this);
  if (!dataError_) return;
  const int result = dataError_->Ask(previous, current);
  if (closePending_ || closed_ || !ReadThread) return;
  if (result == 1) {
    ReadThread->DisorderPolicy = 1;
  } else if (result == 2 || result == 3) {
    ReadThread->DisorderPolicy = result;
    QMessageBox::information(this, QStringLiteral("提示"),
                             QStringLiteral("选择'忽略'曲线将不能正常显示，但可在数据报表中查询"),
                             QMessageBox::Ok);
  }
}

void TfrmQuna::CalcAverageInterval() {
  AvgInterval = ::CalcAverageInterval(PubParam->Records, PubParam->RecordCount);
}
