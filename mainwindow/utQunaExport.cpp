// Main form: the export of the current page (button 导出到Excel) to a "*.xls" file
// written by an export thread. The file's rules live in output/exportfile; this unit
// asks for the name, hands the thread its arguments and keeps the store from changing
// while it runs.
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include "data/lanchg.h"
#include "reports/reportlists.h"
#include "mainwindow/utQuna.h"
#include "output/exportfile.h"
#include "output/utexeclthread.h"
#include "platform/appcursor.h"

// The running export. Its notifications go to the form's handler; once the last one
// has been handled the thread has nothing left to do and is joined and freed.
struct TfrmQuna::ExportState : StatusReceiver {
  explicit ExportState(TfrmQuna* f) : form(f) {}
  ~ExportState() override { thread.reset(); }

  void OnStatusMsg(const StatusMsg& msg) override {
    form->OnStatusMsg(msg);
    if (msg.code == kStatusExportDone || msg.code == kStatusExportFailed)
      QTimer::singleShot(0, form, [f = form, t = thread.get()] { f->export_->Reap(t); });
  }
  // Only the export that reported: a later one may have taken its place meanwhile.
  void Reap(const utExeclthread* reported) {
    if (thread && thread.get() == reported && thread->WaitEnded(std::chrono::seconds(5)))
      thread.reset();
  }

  TfrmQuna* form;
  std::unique_ptr<utExeclthread> thread;
};

void TfrmQuna::DeleteExport(ExportState* state) { delete state; }

bool TfrmQuna::ExportRunning() const { return export_ && export_->thread && export_->thread->Running(); }

bool TfrmQuna::RefuseOpenWhileExporting() {
  if (!ExportRunning()) return false;
  WarningBox(GetLangString("utExeclthread", "Error17",
                           QStringLiteral("正在导出数据,请等导出结束后再打开数据文件.")));
  return true;
}

void TfrmQuna::StopExport() {
  if (!export_ || !export_->thread) return;
  const bool running = export_->thread->Running();
  export_->thread.reset();  // stops the export (its unfinished file goes), waiting a second at most
  if (running) SetAppCursor(AppCursor::Default);
}

QString TfrmQuna::AskExportFileName() {
  QFileDialog dlgSave1(this);
  dlgSave1.setObjectName("dlgSave1");
  dlgSave1.setAcceptMode(QFileDialog::AcceptSave);
  dlgSave1.setFileMode(QFileDialog::AnyFile);
  dlgSave1.setNameFilter("xls(*.xls) (*.xls)");
  // The dialog would ask about the name typed; the question belongs to the name written.
  dlgSave1.setOption(QFileDialog::DontConfirmOverwrite);
  // Pages are exported one after another into one folder: each dialog starts where the
  // last name was chosen, whether that export was then refused, failed or written.
  if (!exportFolder_.isEmpty()) dlgSave1.setDirectory(exportFolder_);
  if (dlgSave1.exec() != QDialog::Accepted || dlgSave1.selectedFiles().isEmpty()) return {};
  const QString name = ExportFileName(dlgSave1.selectedFiles().constFirst());
  exportFolder_ = QFileInfo(name).absolutePath();
  if (QFileInfo::exists(name)) {
    const QString question = GetLangString("utExeclthread", "Error18",
                                           QStringLiteral("%1 已存在,要替换它吗?"))
                                 .arg(QFileInfo(name).fileName());
    if (QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
      return {};
  }
  return name;
}

void TfrmQuna::ExportCurrentPage() {
  // One export at a time: the second would only repeat the first's wait.
  if (DataFileName.empty() || ExportRunning()) return;
  const int step = CurrentStep();
  const QString name = AskExportFileName();
  if (name.isEmpty()) return;

  if (!export_) export_.reset(new ExportState(this));
  export_->thread.reset();  // the previous export has ended: join and free it
  auto thread = std::make_unique<utExeclthread>(true);
  thread->SetFileName(name.toStdString());
  SetAppCursor(AppCursor::HourGlass);  // restored by the thread's last notification
  thread->SetReportType(ReportType);
  thread->SetStartIndex(ExportStartIndex(ReportType, WindowFirst, DataPage, step));
  thread->SetEndIndex(WindowEnd);
  thread->SetInterval(step);
  thread->SetNotifyWindow(export_.get(), this);
  // The alarm rows are the alarm tab's, copied now so that a rebuild cannot touch them.
  if (ReportType == kModeAlarm) thread->SetAlarmIndex(AlarmTabIndex());
  export_->thread = std::move(thread);
  export_->thread->Resume();
}
