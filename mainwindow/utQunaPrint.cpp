// Main form: the print button's launch of the chart print preview, and the colour /
// black-and-white choice of the print group.
#include <QLabel>
#include <QMessageBox>
#include <vector>

#include "data/lanchg.h"
#include "mainwindow/chartstate.h"
#include "mainwindow/paperchart.h"
#include "mainwindow/utQuna.h"
#include "output/utBitmap.h"
#include "output/reportprint.h"
#include "output/utbmpPrint.h"
#include "platform/appcursor.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"
#include "platform/datetime.h"
#include "ui_frmQuna.h"

namespace {

constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kBlack = 0x000000;

}  // namespace

PaperChart::PaperChart(TfrmQuna& form) : form_(form) {
  Ui::frmQuna* ui = form.Form();
  ChartWidget* chart = ui->cht1;
  backColor_ = chart->BackColor();
  cursorPalette_ = ui->lbl21->palette();
  cursorText_ = ui->lbl21->text();
  const ChartState& st = form.Chart();
  for (const std::vector<int>* ids : {&st.flagTimeLabels, &st.flagValueLabels}) {
    for (int id : *ids) {
      Label l;
      l.id = id;
      if (chart->TextLabelOf(id, l.at, l.text, l.colour)) labels_.push_back(l);
    }
  }
  chart->SetBackColor(kWhite);
  QPalette pal = cursorPalette_;
  pal.setColor(QPalette::WindowText, ToQColor(kBlack));
  ui->lbl21->setPalette(pal);
  for (const Label& l : labels_) chart->SetTextLabel(l.id, l.at, l.text, kBlack);
  chart->Refresh();
}

PaperChart::~PaperChart() {
  Ui::frmQuna* ui = form_.Form();
  ChartWidget* chart = ui->cht1;
  ui->lbl21->setPalette(cursorPalette_);
  ui->lbl21->setText(cursorText_);
  for (const Label& l : labels_) chart->SetTextLabel(l.id, l.at, l.text, l.colour);
  chart->SetBackColor(backColor_);
  chart->Refresh();
}

QString ChartRangeText(double first, double last) {
  return DateTimeToStr(first) + QStringLiteral("=>") + DateTimeToStr(last);
}

void TfrmQuna::WirePrintControls() {
  connect(ui->rbColor, &QCheckBox::clicked, this, [this] { rbColorClick(); });
  connect(ui->rbBlack, &QCheckBox::clicked, this, [this] { rbBlackClick(); });
}

void TfrmQuna::rbColorClick() { ui->rbBlack->setChecked(!ui->rbColor->isChecked()); }

void TfrmQuna::rbBlackClick() { ui->rbColor->setChecked(!ui->rbBlack->isChecked()); }

void TfrmQuna::PrintCurrentPage() {
  PubParam->SysPar.COPYNAME = ui->edname->text().toStdString();
  PubParam->SysPar.DEVNAME = ui->edtdevice->text().toStdString();
  // The names print as typed even when the file does not take them.
  int error = 0;
  if (!PubParam->WriteFilePar(SettingsSection(DataFileName), 33, &error)) SettingsNotSaved(error);

  SetAppCursor(AppCursor::HourGlass);
  // The chart's paper states what its axis shows; a report's, the records it lists.
  const ChartAxis& axis = ui->cht1->BottomAxis();
  const ReportSource store = StoreSource();
  const QString range =
      ReportType == 2 ? ChartRangeText(axis.Minimum(), axis.Maximum())
                      : ReportRangeText(store, ReportRangeFor(ReportType, WindowFirst, WindowEnd, DataPage,
                                                              CurrentStep(), store.count));

  if (ReportType == 2) {
    utBitmap bitmap;
    bitmap.SetWidth(ui->cht1->width());
    bitmap.SetHeight(ui->cht1->height());
    const PaperChart paper(*this);
    PrintChart(range, &bitmap);
  } else {
    SetAppCursor(AppCursor::Default);
    PrintReport(range);
  }
  SetAppCursor(AppCursor::Default);
}

void TfrmQuna::PrintChart(const QString& rangeText, utBitmap* bitmap) {
  TfrmPrint* preview = CreatePrintPreview(this);
  if (!PrepareChartPreview(*preview, rangeText, bitmap)) {
    SetAppCursor(AppCursor::Default);
    ErrorBox(GetLangString("frmPrint", "Error8", "无法获取曲线图像,不能打印."));
    return;
  }
  preview->PrinterChosen = [this](int index) { ui->cmbprint->setCurrentIndex(index); };
  SetAppCursor(AppCursor::Default);
  preview->exec();
  preview->SetBitmap(nullptr);
  preview->PrinterChosen = nullptr;
}

bool TfrmQuna::PrepareChartPreview(TfrmPrint& preview, const QString& rangeText, utBitmap* bitmap) {
  preview.SetBitmapWidth(ui->cht1->height());
  preview.SetBitmapHeight(ui->cht1->width());
  preview.SetTimeRangeText(rangeText.toStdString());
  // Everything the user sees on the chart, the cursor's time label included.
  UCanvas* canvas = bitmap->GetCanvas();
  if (!canvas->SetSource(ui->cht1->grab().toImage())) return false;
  canvas->Rotate270();
  preview.SetBitmap(bitmap);
  preview.SetSettingsSection(QString::fromStdString(SettingsSection(DataFileName)));
  preview.SetMainPrinterName(ui->cmbprint->currentText().toStdString());
  preview.blackWhite = ui->rbBlack->isChecked();
  return true;
}
