// Main form: the print button's launch of the report print preview for the report of the
// page shown. The report covers what the user sees: the data report starts at the data
// list's current page, every other report covers the record window.
#include "mainwindow/utQuna.h"
#include "output/reportprint.h"
#include "output/utfaterPint.h"
#include "ui_frmQuna.h"

void TfrmQuna::PrintReport(const QString& rangeText) {
  TfrmfaterPrit* preview = CreateReportPreview(this);
  preview->SetRangeText(rangeText);
  const int step = CurrentStep();
  const IndexRange range =
      ReportRangeFor(ReportType, WindowFirst, WindowEnd, DataPage, step, StoreSource().count);
  preview->SetStartIndex(static_cast<int>(range.first));
  preview->SetEndIndex(static_cast<int>(range.end));
  preview->SetReportType(ReportType);
  preview->SetInterval(step);
  preview->SetSettingsSection(SettingsSection(DataFileName));
  preview->SetMainPrinterName(ui->cmbprint->currentText().toStdString());
  preview->blackWhite = ui->rbBlack->isChecked();
  preview->SetPrinterSelectedHandler([this](int index) { ui->cmbprint->setCurrentIndex(index); });
  preview->setWindowState(preview->windowState() | Qt::WindowMaximized);
  preview->exec();
  // However it was closed, the next report gets a fresh preview from page 1.
  if (frmfaterPrit) frmfaterPrit->deleteLater();
}
