#include "mainwindow/utLogInfo.h"

#include <QApplication>
#include <QFontMetrics>
#include <QShowEvent>
#include <QStyle>
#include <algorithm>
#include <cstring>

#include "data/lanchg.h"
#include "mainwindow/reportmodel.h"
#include "mainwindow/utQuna.h"
#include "ui_frmLogInfo.h"

TfrmLogInfo* frmLogInfo = nullptr;

std::vector<std::int32_t> LogQuery(const ReportSource& src, const QString& start,
                                   const QString& end) {
  std::vector<std::int32_t> rows;
  if (!src.records) return rows;
  const QByteArray lo = start.toLatin1();
  const QByteArray hi = end.toLatin1();
  constexpr std::size_t kText = sizeof(tagDataRecord::TimeText);
  for (std::int32_t i = 0; i < src.count; ++i) {
    const char* t = src.records[i].TimeText;
    // The stored text is bounded by its buffer even when its terminator is missing.
    if (strncmp(t, lo.constData(), kText) >= 0 && strncmp(t, hi.constData(), kText) <= 0)
      rows.push_back(i);
  }
  return rows;
}

std::vector<ColumnSpec> LogColumns(const ReportSource& src) {
  std::vector<ColumnSpec> cols{{QStringLiteral("记录时间"), 130, -1}};
  const int channels = std::clamp(src.channelCount, 0, kMaxChannels);
  for (int k = 0; k < channels; ++k) cols.push_back({src.channelName(k), src.shown(k) ? 60 : 0, k});
  return cols;
}

TfrmLogInfo::TfrmLogInfo(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::frmLogInfo>()),
      model_(new ReportModel(this)) {
  ui_->setupUi(this);
  setFixedSize(929, 586);  // single border: not resizable
  setAttribute(Qt::WA_QuitOnClose, false);  // closing the main window still ends the program
  ui_->btn1->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  // The arrow between the two times is laid out for a narrow fixed-pitch font; a wider
  // substitute is made smaller so that its tip does not slip under the end-date picker.
  QFont arrow = ui_->lbl2->font();
  arrow.setStyleHint(QFont::TypeWriter);
  while (QFontMetrics(arrow).horizontalAdvance(ui_->lbl2->text()) > ui_->lbl2->width() &&
         arrow.pointSizeF() > 6)
    arrow.setPointSizeF(arrow.pointSizeF() - 0.5);
  ui_->lbl2->setFont(arrow);
  BindReportView(ui_->lv1, model_);
  connect(ui_->btn1, &QPushButton::clicked, this, &TfrmLogInfo::btn1Click);
  StoreBusy = [] { return frmQuna && frmQuna->IsBusy(); };
  deferred_.setInterval(100);
  connect(&deferred_, &QTimer::timeout, this, [this] {
    if (!StoreBusy || !StoreBusy()) btn1Click();
  });
}

TfrmLogInfo::~TfrmLogInfo() = default;

void TfrmLogInfo::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmLogInfo::FormShow() {
  const ReportSource src = StoreSource();
  model_->setColumns(LogColumns(src));
  const char* log = GetPubParam()->LogText;
  ui_->edtPrintInfo->setText(QString::fromUtf8(log, static_cast<int>(strnlen(log, sizeof GetPubParam()->LogText))));
}

QString TfrmLogInfo::StartText() const {
  return ui_->dtp1->date().toString(QStringLiteral("yyyy-MM-dd")) + ' ' +
         ui_->dtp2->time().toString(QStringLiteral("HH:mm:ss"));
}

QString TfrmLogInfo::EndText() const {
  return ui_->dtp4->date().toString(QStringLiteral("yyyy-MM-dd")) + ' ' +
         ui_->dtp3->time().toString(QStringLiteral("HH:mm:ss"));
}

void TfrmLogInfo::btn1Click() {
  // While a load runs the reader writes the records the query would read: the query
  // waits for the end of the load and runs then.
  if (StoreBusy && StoreBusy()) {
    model_->clearRows();
    if (!deferred_.isActive()) deferred_.start();
    return;
  }
  deferred_.stop();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ReportSource src = StoreSource();
  model_->setRecordRows(ReportModel::RowKind::Log, src, LogQuery(src, StartText(), EndText()));
  QApplication::restoreOverrideCursor();
}

TfrmLogInfo* ShowLogInfo() {
  if (!frmLogInfo) frmLogInfo = new TfrmLogInfo(nullptr);  // lives as long as the program
  frmLogInfo->show();
  frmLogInfo->raise();
  frmLogInfo->activateWindow();
  return frmLogInfo;
}
