#include "output/utfaterPint.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "output/chartpage.h"
#include "output/previewpane.h"
#include "output/utjumppage.h"
#include "platform/appcursor.h"
#include "platform/cupsqueue.h"
#include "platform/gbk.h"
#include "ui_frmfaterPrit.h"

QPointer<TfrmfaterPrit> frmfaterPrit;

namespace {

PreviewMessageHandler& MessageHandler() {
  static PreviewMessageHandler handler;
  return handler;
}

// The resolution of the preview image, which the page size and fonts follow.
constexpr double kImageDpi = 96.0;

}  // namespace

void SetPreviewMessageHandler(PreviewMessageHandler handler) { MessageHandler() = std::move(handler); }

TfrmfaterPrit* CreateReportPreview(QWidget* owner) {
  if (!frmfaterPrit) frmfaterPrit = new TfrmfaterPrit(owner);
  return frmfaterPrit;
}

TfrmfaterPrit::TfrmfaterPrit(QWidget* owner)
    : QDialog(owner), ui(new Ui::frmfaterPrit), pubParam(GetPubParam()), printer(new utPrinter()) {
  ui->setupUi(this);
  HoldPreviewPage(ui->sclPage, ui->img1);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_DeleteOnClose);
  TranslateOnShow("frmfaterPrit", this);
  printer->SetPageWidth(21);  // placeholders until the first rendering
  printer->SetPageHeight(29);
  printer->SetNotifyWindow(this, this);

  QStyle* st = style();
  ui->btn11->setIcon(st->standardIcon(QStyle::SP_MediaSkipBackward));
  ui->btn8->setIcon(st->standardIcon(QStyle::SP_MediaSeekBackward));
  ui->btn10->setIcon(st->standardIcon(QStyle::SP_MediaSeekForward));
  ui->btn1->setIcon(st->standardIcon(QStyle::SP_MediaSkipForward));
  ui->btn9->setIcon(st->standardIcon(QStyle::SP_ArrowRight));
  ui->btn6->setIcon(QIcon::fromTheme("document-print", st->standardIcon(QStyle::SP_DialogSaveButton)));
  ui->btn2->setIcon(st->standardIcon(QStyle::SP_DialogCloseButton));

  connect(ui->btn11, &QToolButton::clicked, this, &TfrmfaterPrit::btn11Click);
  connect(ui->btn8, &QToolButton::clicked, this, &TfrmfaterPrit::btn8Click);
  connect(ui->btn10, &QToolButton::clicked, this, &TfrmfaterPrit::btn10Click);
  connect(ui->btn1, &QToolButton::clicked, this, &TfrmfaterPrit::btn1Click);
  connect(ui->btn9, &QToolButton::clicked, this, &TfrmfaterPrit::btn9Click);
  connect(ui->btn6, &QToolButton::clicked, this, &TfrmfaterPrit::btn6Click);
  connect(ui->btn2, &QToolButton::clicked, this, &QDialog::close);
  connect(ui->btn3, &QPushButton::clicked, this, &TfrmfaterPrit::btn3Click);
  QScrollBar* bars[] = {ui->scrlbr1, ui->scrlbr2, ui->scrlbr3};
  for (int i = 0; i < 3; ++i)
    connect(bars[i], &QScrollBar::valueChanged, this,
            [this, i](int value) { UpdateMarginSetting(i, value, MarginCaption(i)); });
  // The zoom follows the user's scrolling only, not a position set by the program.
  connect(ui->scrlbr4, &QScrollBar::valueChanged, this, [this] {
    if (!settingZoom_) scrlbr4Scroll();
  });
  // The preview shows the paper of the chosen printer and colour mode: a change of
  // either draws it again.
  connect(ui->cmbprint, &QComboBox::activated, this, [this](int index) {
    if (onPrinterSelected_) onPrinterSelected_(index);
    RenderPreview();
  });
  connect(ui->rbColor, &QCheckBox::clicked, this, [this] {
    ui->rbBlack->setChecked(!ui->rbColor->isChecked());
    RenderPreview();
  });
  connect(ui->rbBlack, &QCheckBox::clicked, this, [this] {
    ui->rbColor->setChecked(!ui->rbBlack->isChecked());
    RenderPreview();
  });
}

TfrmfaterPrit::~TfrmfaterPrit() = default;

void TfrmfaterPrit::SetRangeText(const QString& text) { ui->edt1->setText(text); }

QString TfrmfaterPrit::MarginCaption(int index) const {
  static const char* const keys[] = {"lbl1", "lbl2", "lbl3", "lbl4"};
  static const char* const defaults[] = {"上:", "下:", "左:", "缩小到:"};
  return GetLangString("frmfaterPrit", keys[index], QString::fromUtf8(defaults[index]));
}

MarginPercents TfrmfaterPrit::Margins() const {
  const std::int32_t* pos = pubParam->SysPar.DATAPOS;
  return {pos[0], pos[1], pos[2]};
}

void TfrmfaterPrit::Message(PreviewMsg kind, const QString& text) {
  if (MessageHandler()) {
    MessageHandler()(kind, text);
    return;
  }
  if (kind == PreviewMsg::Error) QMessageBox::critical(this, QString(), text);
  else if (kind == PreviewMsg::Warning) QMessageBox::warning(this, QString(), text);
  else QMessageBox::information(this, QString(), text);
}

void TfrmfaterPrit::BuildContent() {
  const ReportSource src = StoreSource();
  content_ = BuildReportContent(src, reportTypeCode, startIndex, endIndex, interval);
  content_.rangeText = ui->edt1->text();
  content_.deviceName = QString::fromStdString(pubParam->SysPar.DEVNAME);
  content_.unitName = QString::fromStdString(pubParam->SysPar.COPYNAME);
}

void TfrmfaterPrit::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmfaterPrit::FormShow() {
  BuildContent();
  // The margins as a whole are brought within their limits first, and the bars take
  // them quietly (one bar's handler would move the other bar's limit on the way); the
  // rendering follows below.
  std::int32_t* pos = pubParam->SysPar.DATAPOS;
  LimitMargins(pos);
  QScrollBar* bars[] = {ui->scrlbr1, ui->scrlbr2, ui->scrlbr3};
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker quiet(bars[i]);
    bars[i]->setMaximum(MarginLimit(i, pos));
    bars[i]->setValue(pos[i]);
  }
  settingZoom_ = true;  // the stored zoom stands until the bar is scrolled
  ui->scrlbr4->setValue(std::clamp(pos[3], ui->scrlbr4->minimum(), ui->scrlbr4->maximum()));
  settingZoom_ = false;
  QLabel* labels[] = {ui->lbl1, ui->lbl2, ui->lbl3, ui->lbl4};
  for (int i = 0; i < 4; ++i) labels[i]->setText(::MarginCaption(MarginCaption(i), pos[i]));

  // Asked of the print system with a bounded wait: a silent server must not hold the form.
  const QStringList names = ListPrinters().names;
  ui->cmbprint->clear();
  ui->cmbprint->addItems(names);
  ui->cmbprint->setCurrentIndex(static_cast<int>(names.lastIndexOf(QString::fromStdString(printerName))));
  ui->rbBlack->setChecked(blackWhite);
  ui->rbColor->setChecked(!blackWhite);
  RenderPreview();
}

void TfrmfaterPrit::UpdateMarginSetting(int index, int value, const QString& label) {
  if (index >= 0 && index < 4) {
    pubParam->SysPar.DATAPOS[index] = value;
    QLabel* labels[] = {ui->lbl1, ui->lbl2, ui->lbl3, ui->lbl4};
    labels[index]->setText(::MarginCaption(label, value));
    LimitMarginBars();
  }
  RenderPreview();
}

// The margin bars stop where a pair of opposite margins would leave less than a fifth
// of the page.
void TfrmfaterPrit::LimitMarginBars() {
  QScrollBar* bars[] = {ui->scrlbr1, ui->scrlbr2, ui->scrlbr3};
  for (int i = 0; i < 3; ++i) bars[i]->setMaximum(MarginLimit(i, pubParam->SysPar.DATAPOS));
}

void TfrmfaterPrit::scrlbr4Scroll() { UpdateMarginSetting(3, ui->scrlbr4->value(), MarginCaption(3)); }

PageMetrics TfrmfaterPrit::Paper() {
  return printer->PaperFor(ui->cmbprint->currentText().toStdString(), ui->rbBlack->isChecked());
}

void TfrmfaterPrit::RenderPreview() {
  const PageMetrics paper = Paper();
  imageSize_ = PreviewImageSize(paper, kImageDpi, kImageDpi, pubParam->SysPar.DATAPOS[3]);
  LayoutPreview();
  const PreviewPage page = RenderPreviewPage(*printer, content_, imageSize_, paper, Margins(),
                                             currentPage, PrintTimeText());
  previewLayout_ = page.layout;
  currentPage = page.page;
  pageCount = page.layout.pageCount;
  ui->img1->setPixmap(QPixmap::fromImage(page.image));
}

void TfrmfaterPrit::LayoutPreview() {
  PlacePreviewPage(ui->sclPage, ui->img1,
                   PreviewRoom(size(), ui->tlb1->height(), ui->pnl2->width(), ui->stat1->height()), imageSize_);
}

void TfrmfaterPrit::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int status = ui->stat1->height();
  ui->tlb1->resize(width(), ui->tlb1->height());
  ui->pnl2->setGeometry(0, ui->tlb1->height(), ui->pnl2->width(), height() - ui->tlb1->height() - status);
  ui->stat1->setGeometry(0, height() - status, width(), status);
  LayoutPreview();
}

void TfrmfaterPrit::MoveTo(std::int64_t page) {
  currentPage = page;
  RenderPreview();
}

void TfrmfaterPrit::btn11Click() {
  if (currentPage != 1) MoveTo(1);
  else Message(PreviewMsg::Information, GetLangString("frmfaterPrit", "Error26", "到达第一页"));
}

void TfrmfaterPrit::btn8Click() {
  if (currentPage > 1) MoveTo(currentPage - 1);
  else Message(PreviewMsg::Information, GetLangString("frmfaterPrit", "Error26", "到达第一页"));
}

void TfrmfaterPrit::btn10Click() {
  if (currentPage < pageCount) MoveTo(currentPage + 1);
  else Message(PreviewMsg::Information, GetLangString("frmfaterPrit", "Error27", "到达最后一页"));
}

void TfrmfaterPrit::btn1Click() {
  if (currentPage < pageCount) MoveTo(pageCount);
  else Message(PreviewMsg::Information, GetLangString("frmfaterPrit", "Error27", "到达最后一页"));
}

void TfrmfaterPrit::btn9Click() {
  auto* dialog = new Tfrmjumppage(this, [this](int page) { SetJumpPage(page); });
  // "%s%d%s" in a 32-byte buffer: "总计12页".
  const QString total = GetLangString("frmfaterPrit", "Error28", "总计") + QString::number(pageCount) + GetLangString("frmfaterPrit", "Error23", "页");
  dialog->Prepare(static_cast<int>(std::min<std::int64_t>(currentPage, INT32_MAX)),
                  gbk::Decode(gbk::FitBuffer(gbk::Encode(total), 32)));
  jumpPage = 0;  // a dialog closed without OK is a cancel
  dialog->exec();
  GoToPage(jumpPage);
}

void TfrmfaterPrit::GoToPage(int page) {
  if (page < 1) return;
  if (page > pageCount) {
    Message(PreviewMsg::Error, GetLangString("frmfaterPrit", "Error29", "超出页的范围."));
    return;
  }
  MoveTo(page);
}

void TfrmfaterPrit::btn6Click() {
  blackWhite = ui->rbBlack->isChecked();
  printer->SetNotifyWindow(this, this);
  printer->SetPrinterName(ui->cmbprint->currentText().toStdString());
  printer->SetPageHeight(2970);
  printer->SetPageWidth(2100);
  SetAppCursor(AppCursor::HourGlass);
  const PrintOutcome out = PrintReportPages(*printer, content_, previewLayout_, currentPage, Margins(),
                                            blackWhite, PrintTimeText());
  RenderPreview();
  SetAppCursor(AppCursor::Default);
  if (out.kind == PrintOutcome::NothingToPrint)
    Message(PreviewMsg::Information, GetLangString("frmfaterPrit", "Error33", "没有可打印的页."));
}

void TfrmfaterPrit::btn3Click() {
  int error = 0;
  if (pubParam->WriteFilePar(section_, 43, &error))
    Message(PreviewMsg::Information, GetLangString("frmfaterPrit", "Error25", "设置成功"));
  else
    Message(PreviewMsg::Warning,
            SettingsNotSavedText(GetLangString("frmfaterPrit", "Error34", "设置保存失败."), error));
}

void TfrmfaterPrit::OnStatusMsg(const StatusMsg& msg) {
  if (msg.code != kPrinterFailedCode) return;
  // The failure comes while the print button's hourglass is up: the box gets the arrow.
  SetAppCursor(AppCursor::Default);
  Message(PreviewMsg::Error, PrintFailureMessage(GetLangString("frmfaterPrit", "Error30", "打印机加载失败!请重新加载."),
                                                 printer->FailureKind(), printer->LeftJobId()));
}

void TfrmfaterPrit::closeEvent(QCloseEvent* event) {
  // The form frees itself (and its printer) once closed; the next report makes a new one.
  printer->SetDC(nullptr);
  event->accept();
  QDialog::closeEvent(event);
}
