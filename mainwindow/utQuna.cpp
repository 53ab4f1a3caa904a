// Main form: construction, first show, close, and the routines the other units share.
#include "mainwindow/utQuna.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimeEdit>
#include <QTimer>
#include <chrono>
#include <cstring>

#include "data/lanchg.h"
#include "data/readdata.h"
#include "data/syspar.h"
#include "mainwindow/windowrules.h"
#include "platform/colors.h"
#include "platform/cupsqueue.h"
#include "platform/msgbox.h"
#include "platform/typedkey.h"
#include "ui_frmQuna.h"

QPointer<TfrmQuna> frmQuna;

QWidget* CreateMainForm() { return new TfrmQuna(); }

namespace {

void SetDateSilently(QDateEdit* picker, const QDate& date) {
  const QSignalBlocker block(picker);
  picker->setDate(date);
}

void SetTimeSilently(QTimeEdit* picker, const QTime& time) {
  const QSignalBlocker block(picker);
  picker->setTime(time);
}

}  // namespace

TfrmQuna::TfrmQuna(QWidget* owner) : QMainWindow(owner), ui(new Ui::frmQuna) {
  ui->setupUi(this);
  frmQuna = this;
  PubParam = GetPubParam();
  GetLanchg();
  ReadThread = new utReadData(true);
  TickSource = [] {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  };

  for (int i = 0; i < 3; ++i) {
    statusPanels_[i] = new QLabel(ui->stat1);
    statusPanels_[i]->setObjectName(QString("stat1Panel%1").arg(i));
    ui->stat1->addWidget(statusPanels_[i], i == 2 ? 1 : 0);
  }
  ui->pnlMove->raise();
  // The value panel takes the chart background; its title strip keeps the face colour.
  QPalette title = ui->Panel1->palette();
  title.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  title.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::ButtonText));
  ui->Panel1->setPalette(title);
  ui->Panel1->setAutoFillBackground(true);
  // Design state of the interval options: the line interval chosen, the time edit greyed.
  SetTwoEnabled(true, ui->edlinespace, false, ui->edtimespace);

  connect(ui->pgc1, &QTabWidget::currentChanged, this, [this] { pgc1Change(); });
  connect(ui->rb1, &QRadioButton::clicked, this, [this] { rb1Click(); });
  connect(ui->rb2, &QRadioButton::clicked, this, [this] { rb2Click(); });
  connect(ui->edlinespace, &QLineEdit::textChanged, this, [this] { edlinespaceChange(); });
  connect(ui->edtimespace, &QLineEdit::textChanged, this, [this] { edtimespaceChange(); });
  connect(ui->dtp1, &QDateEdit::dateChanged, this, [this] { UpdateRestoreButton(); });
  connect(ui->dtp2, &QTimeEdit::timeChanged, this, [this] { UpdateRestoreButton(); });
  connect(ui->dtp3, &QDateEdit::dateChanged, this, [this] { UpdateRestoreButton(); });
  connect(ui->dtp4, &QTimeEdit::timeChanged, this, [this] { UpdateRestoreButton(); });
  connect(ui->btnRefresh, &QPushButton::clicked, this, [this] { btnRefreshClick(); });
  connect(ui->btnRestore, &QPushButton::clicked, this, [this] { btnRestoreClick(); });
  connect(ui->btnExecl, &QPushButton::clicked, this, [this] { btnExeclClick(); });
  connect(ui->btnprint, &QPushButton::clicked, this, [this] { btnprintClick(); });
  WirePrintControls();
  ui->cbb3->installEventFilter(this);
  ui->edlinespace->installEventFilter(this);
  ui->edtimespace->installEventFilter(this);

  // Alt+L works wherever the focus is in the application.
  logShortcut_ = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_L), this);
  logShortcut_->setContext(Qt::ApplicationShortcut);
  connect(logShortcut_, &QShortcut::activated, this, [this] { ShowLogWindow(); });

  SetUpLayout();
}

TfrmQuna::~TfrmQuna() {
  // Stops a running parse and cancels its pending notification before the form goes.
  delete ReadThread;
  ReadThread = nullptr;
  if (frmQuna == this) frmQuna = nullptr;
}

std::uint32_t TfrmQuna::Now() const { return TickSource ? TickSource() : 0; }

void TfrmQuna::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TfrmQuna::SetDateTimeFormats() {
  ui->dtp1->setDisplayFormat("yyyy-MM-dd");
  ui->dtp3->setDisplayFormat("yyyy-MM-dd");
  ui->dtp2->setDisplayFormat("HH:mm:ss");
  ui->dtp4->setDisplayFormat("HH:mm:ss");
}

void TfrmQuna::FormShow() {
  SetDateTimeFormats();
  {
    const QSignalBlocker block(ui->pgc1);
    ui->pgc1->setCurrentIndex(0);
  }
  ReadGlobalPar();
  TranslateForm("frmQuna", this);
  ReadThread->SetNotifyWindow(this, this);

  BkColor = PubParam->SysPar.BKCOLOR;
  QPalette pal = ui->pnlMove->palette();
  pal.setColor(QPalette::Window, ToQColor(BkColor));
  ui->pnlMove->setPalette(pal);
  ApplyColor(0, 0, BkColor);
  // White around the plot, as printed; the empty chart shows no labels until a load.
  ui->cht1->BottomAxis().LabelColor = ui->cht1->LeftAxis().LabelColor = 0xFFFFFF;
  ui->cht1->SetPanelColor(0xFFFFFF);
  ReportType = 2;

  ResizeValuePanel();  // also places it
  ui->btnExecl->setText(GetLangString("frmQuna", "Error25", "设置背景颜色"));
  ui->btnRefresh->setText(GetLangString("frmQuna", "Error26", "刷新曲线画面"));
  ui->edname->setText(QString::fromStdString(PubParam->SysPar.COPYNAME));
  ui->edtdevice->setText(QString::fromStdString(PubParam->SysPar.DEVNAME));
  FillPrinters();

  const QDateTime now = QDateTime::currentDateTime();
  SetDateSilently(ui->dtp1, now.date());
  SetTimeSilently(ui->dtp2, QTime(now.time().hour(), now.time().minute(), now.time().second()));
  SetDateSilently(ui->dtp3, now.date());
  SetTimeSilently(ui->dtp4, QTime(now.time().hour(), now.time().minute(), now.time().second()));

  setWindowTitle(CaptionFromExeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                                    windowTitle()));
}

void TfrmQuna::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (shown_) FitLayout();
}

void TfrmQuna::FillPrinters() {
  // Asked of the print system with a bounded wait: a silent server must not hold the window.
  const PrinterList printers = ListPrinters();
  const QString& def = printers.defaultName;
  const QStringList& names = printers.names;
  ui->cmbprint->clear();
  ui->cmbprint->addItems(names);
  // Exact, case-sensitive match; with none (or no printers at all) nothing is selected.
  ui->cmbprint->setCurrentIndex(def.isEmpty() ? -1 : static_cast<int>(names.indexOf(def)));
}

void TfrmQuna::closeEvent(QCloseEvent* event) {
  if (handlerDepth_ > 0) {
    // A notification handler is running a modal box on this stack, and the reader waits
    // for it: end the box now and close once the handler has returned.
    closePending_ = true;
    event->ignore();
    for (int i = 0; i < 8; ++i) {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal == this) break;
      modal->close();
    }
    return;
  }
  FormClose();
  QMainWindow::closeEvent(event);
}

void TfrmQuna::FormClose() {
  if (closed_) return;
  closed_ = true;
  StopExport();
  delete ReadThread;  // stops the parse, cancels a blocked notification, joins
  ReadThread = nullptr;
  busy_ = false;
  ClearSeries();
  if (frmQuna == this) frmQuna = nullptr;
}

bool TfrmQuna::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->cbb3) {
    // The drop-down opens the file dialog; nothing can be typed into the box.
    if (event->type() == QEvent::MouseButtonPress) {
      cbb3DropDown();
      return true;
    }
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      const bool alt = key->modifiers().testFlag(Qt::AltModifier);
      if (key->key() == Qt::Key_F4 || (alt && key->key() == Qt::Key_Down)) cbb3DropDown();
      return key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab;
    }
  } else if (watched == ui->edlinespace || watched == ui->edtimespace) {
    if (event->type() == QEvent::KeyPress) {
      const int ch = TypedChar(*static_cast<QKeyEvent*>(event));
      const bool printable = ch >= 32 || ch == '\r' || ch == '\n';
      if ((printable || ch == 8) && !IsDigitKey(ch)) return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmQuna::SetStatusPanel(int index, const QString& text) {
  if (index >= 0 && index < 3) statusPanels_[index]->setText(text);
}

int TfrmQuna::CurrentStep() const {
  const QLineEdit* edit = ui->rb1->isChecked() ? ui->edlinespace : ui->edtimespace;
  return StepOfText(edit->text().toStdString());
}

// The form is maximised after construction and resized at will: the rows come from the
// chart's present plot rectangle, never from the design size.
int TfrmQuna::PlotTop() const { return ui->cht1->PlotRect().top(); }

int TfrmQuna::PlotBottom() const { return ui->cht1->PlotRect().bottom(); }

void TfrmQuna::ErrorBox(const QString& text) {
  ShowMessageBox(this, QMessageBox::Critical, windowTitle(), text);
}

void TfrmQuna::WarningBox(const QString& text) {
  ShowMessageBox(this, QMessageBox::Warning, windowTitle(), text);
}

// The screen keeps what the user chose; only the file did not take it.
void TfrmQuna::SettingsNotSaved(int error) {
  WarningBox(SettingsNotSavedText(GetLangString("frmPrint", "Error7", QString::fromUtf8("设置保存失败!")), error));
}

void SetPickersFromText(QDateEdit* datePicker, QTimeEdit* timePicker, const char* text) {
  if (!text || !std::strchr(text, ' ')) return;
  const std::string s(text);
  const std::size_t blank = s.find(' ');
  const QDate date = QDate::fromString(QString::fromStdString(s.substr(0, blank)), "yyyy-MM-dd");
  if (!date.isValid()) return;
  SetDateSilently(datePicker, date);
  const QTime time = QTime::fromString(QString::fromStdString(s.substr(blank + 1)), "HH:mm:ss");
  if (time.isValid()) SetTimeSilently(timePicker, time);
}

void SetRangePickers(QDateEdit* startDate, QTimeEdit* startTime, QDateEdit* endDate,
                     QTimeEdit* endTime) {
  const utPubParam* p = GetPubParam();
  const int count = p->RecordCount;
  if (count <= 0) return;
  const int e = p->DataHead.EarliestIndex;
  const int l = p->DataHead.LatestIndex;
  char text[24];
  std::snprintf(text, sizeof text, "%.19s", p->Records[e >= 0 && e < count ? e : 0].TimeText);
  SetPickersFromText(startDate, startTime, text);
  std::snprintf(text, sizeof text, "%.19s", p->Records[l >= 0 && l < count ? l : count - 1].TimeText);
  SetPickersFromText(endDate, endTime, text);
}

void ShowUpDown(QComboBox* upSign, QLineEdit* upEdit, QComboBox* downSign, QLineEdit* downEdit) {
  const utPubParam* p = GetPubParam();
  const SignedLimit down = LimitToSign(p->SysPar.DOWN);
  downSign->setCurrentIndex(down.signIndex);
  downEdit->setText(QString::fromStdString(down.magnitude));
  const SignedLimit up = LimitToSign(p->SysPar.UP);
  upSign->setCurrentIndex(up.signIndex);
  upEdit->setText(QString::fromStdString(up.magnitude));
}
