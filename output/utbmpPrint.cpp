#include "output/utbmpPrint.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <algorithm>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "output/chartpage.h"
#include "output/previewpane.h"
#include "output/utBitmap.h"
#include "platform/appcursor.h"
#include "platform/cupsqueue.h"
#include "platform/datetime.h"
#include "ui_frmPrint.h"

QPointer<TfrmPrint> frmPrint;

TfrmPrint* CreatePrintPreview(QWidget* owner) {
  if (!frmPrint) frmPrint = new TfrmPrint(owner);
  return frmPrint;
}

namespace {

const char* const kSection = "frmPrint";
const char* const kLabelKeys[4] = {"lbl1", "lbl2", "lbl3", "lbl4"};
const char* const kLabelDefaults[4] = {"上:", "下:", "左:", "缩小到:"};

QScrollBar* Bar(Ui::frmPrint* ui, int index) {
  QScrollBar* bars[4] = {ui->scrlbr1, ui->scrlbr2, ui->scrlbr3, ui->scrlbr4};
  return bars[index];
}

// The margin bars stop where a pair of opposite margins would leave less than a fifth
// of the page.
void LimitMarginBars(Ui::frmPrint* ui, const std::int32_t* pos) {
  for (int i = 0; i < 3; ++i) Bar(ui, i)->setMaximum(MarginLimit(i, pos));
}

QLabel* Label(Ui::frmPrint* ui, int index) {
  QLabel* labels[4] = {ui->lbl1, ui->lbl2, ui->lbl3, ui->lbl4};
  return labels[index];
}

}  // namespace

TfrmPrint::TfrmPrint(QWidget* owner) : QDialog(owner), ui(new Ui::frmPrint) {
  ui->setupUi(this);
  HoldPreviewPage(ui->sclPage, ui->img1);
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  pubParam_ = GetPubParam();
  printer_ = std::make_unique<utPrinter>();
  printer_->SetPageWidth(21);
  printer_->SetPageHeight(29);
  ui->btn6->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  ui->btn2->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

  connect(ui->btn6, &QPushButton::clicked, this, [this] { btn6Click(); });
  connect(ui->btn2, &QPushButton::clicked, this, [this] { btn2Click(); });
  connect(ui->btn3, &QPushButton::clicked, this, [this] { btn3Click(); });
  connect(ui->cmbprint, qOverload<int>(&QComboBox::activated), this, [this] { cmbprintSelect(); });
  connect(ui->rbColor, &QCheckBox::clicked, this, [this] { rbColorClick(); });
  connect(ui->rbBlack, &QCheckBox::clicked, this, [this] { rbBlackClick(); });
  for (int i = 0; i < 4; ++i)
    connect(Bar(ui.get(), i), &QScrollBar::valueChanged, this, [this, i] { scrlbrChange(i); });
  setWindowState(windowState() | Qt::WindowMaximized);
}

TfrmPrint::~TfrmPrint() = default;

QString TfrmPrint::LabelText(int index) const {
  return GetLangString("frmPrint", kLabelKeys[index], QString::fromUtf8(kLabelDefaults[index]));
}

void TfrmPrint::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Once per opening: restoring the minimised preview (a spontaneous show) keeps the
  // printer and colour mode the user chose.
  if (!event->spontaneous()) FormShow();
}

void TfrmPrint::FormShow() {
  TranslateForm(kSection, this);
  setWindowTitle(GetLangString("frmPrint", "Caption", "打印预览"));
  showing_ = true;
  // The margins as a whole are brought within their limits first, and the bars take
  // them quietly: one bar's handler would move the other bar's limit on the way.
  std::int32_t* pos = pubParam_->SysPar.DATAPOS;
  LimitMargins(pos);
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker quiet(Bar(ui.get(), i));
    Bar(ui.get(), i)->setMaximum(MarginLimit(i, pos));
    Bar(ui.get(), i)->setValue(pos[i]);
  }
  // A stored zoom outside the bar's range is limited to it, and the bar's handler stores
  // the limited value (65 becomes 63).
  Bar(ui.get(), 3)->setValue(pos[3]);
  pos[3] = Bar(ui.get(), 3)->value();
  for (int i = 0; i < 4; ++i)
    Label(ui.get(), i)->setText(MarginCaption(LabelText(i), pubParam_->SysPar.DATAPOS[i]));
  showing_ = false;

  // Asked of the print system with a bounded wait: a silent server must not hold the form.
  const QStringList names = ListPrinters().names;
  ui->cmbprint->clear();
  ui->cmbprint->addItems(names);
  ui->cmbprint->setCurrentIndex(
      static_cast<int>(names.lastIndexOf(QString::fromStdString(printerName_))));
  // The colour mode before the rendering: the preview shows its paper.
  ui->rbBlack->setChecked(blackWhite);
  ui->rbColor->setChecked(!blackWhite);
  RenderPreview();
}

void TfrmPrint::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int w = width(), h = height();
  const int bar = ui->stat1->sizeHint().height();
  ui->tlb1->setGeometry(0, 0, w, 28);
  ui->stat1->setGeometry(0, h - bar, w, bar);
  ui->pnl2->setGeometry(0, 28, 153, std::max(0, h - 28 - bar));
  LayoutPreview();
}

PageMetrics TfrmPrint::Paper() {
  return printer_->PaperFor(ui->cmbprint->currentText().toStdString(), ui->rbBlack->isChecked());
}

void TfrmPrint::LayoutPreview() {
  const QSize size = PreviewImageSize(Paper(), ui->img1->logicalDpiX(), ui->img1->logicalDpiY(),
                                      pubParam_->SysPar.DATAPOS[3]);
  PlacePreviewPage(ui->sclPage, ui->img1,
                   PreviewRoom(this->size(), ui->tlb1->height(), ui->pnl2->width(), ui->stat1->height()), size);
}

void TfrmPrint::RenderPreview() {
  printer_->SetToPrinter(0);
  LayoutPreview();
  QImage image(ui->img1->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  image.setDotsPerMeterX(qRound(ui->img1->logicalDpiX() / 0.0254));
  image.setDotsPerMeterY(qRound(ui->img1->logicalDpiY() / 0.0254));
  image.fill(Qt::white);
  {
    // The paper page, scaled into the image.
    const PageMetrics paper = Paper();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (paper.width > 0 && paper.height > 0)
      painter.scale(static_cast<double>(image.width()) / paper.width,
                    static_cast<double>(image.height()) / paper.height);
    printer_->SetDC(&painter);
    printer_->SetMetrics(paper);
    printer_->Run([this] { DrawPage(); });
    printer_->SetDC(nullptr);
  }
  // Black-and-white prints in greys; so does its preview.
  if (ui->rbBlack->isChecked()) image = image.convertToFormat(QImage::Format_Grayscale8);
  preview_ = std::move(image);
  ui->img1->setPixmap(QPixmap::fromImage(preview_));
}

void TfrmPrint::DrawPage() {
  QPainter* painter = printer_->DC();
  if (!painter) return;
  const tagSysPar& par = pubParam_->SysPar;
  ChartPageContent page;
  page.width = printer_->PageWidth();
  page.height = printer_->PageHeight();
  page.lineHeight = printer_->LineHeight();
  page.charWidth = printer_->CharWidth();
  page.dpiY = printer_->DpiY();
  page.topPct = par.DATAPOS[0];
  page.bottomPct = par.DATAPOS[1];
  page.leftPct = par.DATAPOS[2];
  page.device = GetLangString("frmPrint", "Error1", "设备名称：") + QString::fromStdString(par.DEVNAME);
  page.printTime = GetLangString("frmPrint", "Error2", "打印时间：") + DateTimeToStr(NowDateTime());
  page.timeRange = GetLangString("frmPrint", "Error3", "时间范围：") + QString::fromStdString(timeRange_);
  page.unit = GetLangString("frmPrint", "Error4", "单位名称：") + QString::fromStdString(par.COPYNAME);
  if (bitmap_ && bitmap_->GetCanvas()->HasPicture()) {
    page.picture = &bitmap_->GetCanvas()->Picture();
    page.pictureSize = QSize(bmpWidth_, bmpHeight_);
  }
  page.grayScale = printer_->GrayScale();
  DrawChartPage(*painter, page);
}

void TfrmPrint::UpdateMarginSetting(int index, int value, const QString& label) {
  if (index >= 0 && index < 4) {
    pubParam_->SysPar.DATAPOS[index] = value;
    Label(ui.get(), index)->setText(MarginCaption(label, value));
    LimitMarginBars(ui.get(), pubParam_->SysPar.DATAPOS);
  }
  if (!showing_) RenderPreview();
}

void TfrmPrint::scrlbrChange(int index) {
  UpdateMarginSetting(index, Bar(ui.get(), index)->value(), LabelText(index));
}

void TfrmPrint::btn3Click() {
  int error = 0;
  if (pubParam_->WriteFilePar(section_.toStdString(), 43, &error)) {
    QMessageBox::information(this, windowTitle(), GetLangString("frmPrint", "Error6", "设置成功"),
                             QMessageBox::Ok);
  } else {
    QMessageBox::warning(this, windowTitle(),
                         SettingsNotSavedText(GetLangString("frmPrint", "Error7", "设置保存失败!"), error),
                         QMessageBox::Ok);
  }
}

void TfrmPrint::btn2Click() { close(); }

// The preview shows the paper of the chosen printer and colour mode: a change of either
// draws it again.
void TfrmPrint::cmbprintSelect() {
  if (PrinterChosen) PrinterChosen(ui->cmbprint->currentIndex());
  RenderPreview();
}

void TfrmPrint::rbColorClick() {
  ui->rbBlack->setChecked(!ui->rbColor->isChecked());
  RenderPreview();
}

void TfrmPrint::rbBlackClick() {
  ui->rbColor->setChecked(!ui->rbBlack->isChecked());
  RenderPreview();
}

void TfrmPrint::btn6Click() {
  printer_->SetNotifyWindow(this, this);
  printer_->SetPrinterName(ui->cmbprint->currentText().toStdString());
  blackWhite = ui->rbBlack->isChecked();
  SetAppCursor(AppCursor::HourGlass);
  PrintToPrinter();
  RenderPreview();
  SetAppCursor(AppCursor::Default);
}

void TfrmPrint::PrintToPrinter() {
  printer_->SetToPrinter(1);
  printer_->SetScaleTo600(blackWhite);
  printer_->SetGrayScale(blackWhite);
  if (printer_->Open() && printer_->BeginDoc()) {
    if (printer_->BeginPage()) {
      printer_->Run([this] { DrawPage(); });
      printer_->EndPage();
    }
  }
  printer_->EndDoc();
}

void TfrmPrint::OnStatusMsg(const StatusMsg& msg) {
  if (msg.code != kPrinterFailedCode) return;
  SetAppCursor(AppCursor::Default);
  QMessageBox::critical(this, windowTitle(),
                        PrintFailureMessage(GetLangString("frmPrint", "Error5", "打印机加载失败!请重新加载."),
                                            printer_->FailureKind(), printer_->LeftJobId()),
                        QMessageBox::Ok);
}
