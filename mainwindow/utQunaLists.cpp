// Main form: the report lists (data, alarms, power failures, averages, peaks), the page
// bars of the data and alarm lists, and the log window's hot key. The rules live in
// Utpage, reportlists and statistics; this unit only puts their results on screen.
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <algorithm>

#include "reports/Utpage.h"
#include "reports/reportlists.h"
#include "mainwindow/reportmodel.h"
#include "reports/statistics.h"
#include "mainwindow/utLogInfo.h"
#include "mainwindow/utQuna.h"
#include "platform/typedkey.h"
#include "ui_frmQuna.h"

// The models of the five lists and the alarm tab's alarm index list. The models are
// children of the form; this object is the context of every connection it makes, so
// none of them outlives it.
struct TfrmQuna::ListState : QObject {
  explicit ListState(TfrmQuna* f) : form(f) {
    // The widgets exist once the constructor body has run: bind them when the form is
    // first polished (before it shows), or at the first hook, whichever comes first.
    form->installEventFilter(this);
  }

  void Ensure();
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool PageEditKeyPress(QLineEdit* edit, QKeyEvent* key, void (ListState::*goTo)());

  ReportModel* ModelOf(int reportType) const;
  void RefreshCaptions();

  // The data list's range: the record window, clamped to the records stored.
  IndexRange DataRange(const ReportSource& src) const {
    return ClampRange(form->WindowFirst, form->WindowEnd, src.count);
  }
  std::int64_t AlarmEnd(std::int64_t end) const {
    return std::clamp<std::int64_t>(end, 0, static_cast<std::int64_t>(alarmIndex.size()));
  }

  void ShowDataRows(std::int64_t page, std::int64_t first, std::int64_t step, std::int64_t end);
  void ShowAlarmRows(std::int64_t page, std::int64_t first, std::int64_t step, std::int64_t end);
  void ApplyMove(const PageMove& m, QPushButton* prev, QPushButton* next, QLineEdit* edit);

  using PageMoveFn = PageMove (*)(std::int64_t, std::int64_t, std::int64_t, std::int64_t);
  void MoveDataPage(PageMoveFn move);
  void MoveAlarmPage(PageMoveFn move);
  void btnUpClick();
  void btnNextClick();
  void btnPageClick();
  void btnAlarmupClick();
  void btnAlarmnextClick();
  void btnAlarmintoClick();

  TfrmQuna* form;
  bool ready = false;
  ReportModel* data = nullptr;
  ReportModel* alarm = nullptr;
  ReportModel* power = nullptr;
  ReportModel* average = nullptr;
  ReportModel* peak = nullptr;
  // Owned by the alarm tab: the export and the print build their own, so what this tab
  // pages through never changes under it. The store's copy is refreshed with it.
  std::vector<std::int32_t> alarmIndex;
};

void TfrmQuna::ListStateDeleter::operator()(ListState* state) const { delete state; }

TfrmQuna::ListState* TfrmQuna::NewListState(TfrmQuna* form) { return new ListState(form); }

void TfrmQuna::ListState::Ensure() {
  if (ready) return;
  ready = true;
  Ui::frmQuna* ui = form->ui.get();
  const std::pair<QTableView*, ReportModel**> views[] = {
      {ui->lv1, &data}, {ui->lv5, &alarm}, {ui->lv6, &power}, {ui->lv4, &average}, {ui->lv3, &peak}};
  for (const auto& [view, model] : views) {
    *model = new ReportModel(form);
    (*model)->setObjectName(view->objectName() + "Model");
    BindReportView(view, *model);
  }
  connect(ui->btnUp, &QPushButton::clicked, this, [this] { btnUpClick(); });
  connect(ui->btnNext, &QPushButton::clicked, this, [this] { btnNextClick(); });
  connect(ui->btnPage, &QPushButton::clicked, this, [this] { btnPageClick(); });
  connect(ui->btnAlarmup, &QPushButton::clicked, this, [this] { btnAlarmupClick(); });
  connect(ui->btnAlarmnext, &QPushButton::clicked, this, [this] { btnAlarmnextClick(); });
  connect(ui->btnAlarminto, &QPushButton::clicked, this, [this] { btnAlarmintoClick(); });
  ui->edPage->installEventFilter(this);
  ui->edtAlarmpage->installEventFilter(this);
}

bool TfrmQuna::ListState::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form) {
    if (event->type() == QEvent::Polish || event->type() == QEvent::Show) Ensure();
    return false;
  }
  if (event->type() != QEvent::KeyPress || !ready) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  Ui::frmQuna* ui = form->ui.get();
  if (watched == ui->edPage) return PageEditKeyPress(ui->edPage, key, &ListState::btnPageClick);
  if (watched == ui->edtAlarmpage)
    return PageEditKeyPress(ui->edtAlarmpage, key, &ListState::btnAlarmintoClick);
  return false;
}

// Enter goes to the typed page; every other typed character but a digit or Backspace
// is dropped. Keys without a character (arrows, Delete) keep their editing role.
bool TfrmQuna::ListState::PageEditKeyPress(QLineEdit*, QKeyEvent* key,
                                           void (ListState::*goTo)()) {
  const int ch = TypedChar(*key);
  if (ch == 0) return false;
  const PageKeyAction a = PageEditKey(ch);
  if (a.goTo) (this->*goTo)();
  if (a.keep) return false;
  // Control characters other than Enter (Ctrl+C, Ctrl+V ...) keep their editing role.
  return ch >= 32 || ch == 13;
}

ReportModel* TfrmQuna::ListState::ModelOf(int reportType) const {
  switch (reportType) {
    case kModeData: return data;
    case kModeAlarm: return alarm;
    case kModePowerFail: return power;
    case kModeAverage: return average;
    case kModePeak: return peak;
    default: return nullptr;
  }
}

// Channel columns carry the channel's present caption: a renamed channel is renamed in
// every list that has a column for it. Columns are found by channel index.
void TfrmQuna::ListState::RefreshCaptions() {
  const ReportSource src = StoreSource();
  for (ReportModel* m : {data, alarm, average, peak}) {
    std::vector<ColumnSpec> cols = m->columns();
    bool changed = false;
    for (ColumnSpec& c : cols) {
      if (c.channel < 0 || c.channel >= src.channelCount) continue;
      const QString caption = m == data ? RecordColumnCaption(src, c.channel) : src.channelName(c.channel);
      if (c.caption != caption) {
        c.caption = caption;
        changed = true;
      }
    }
    if (changed) m->updateColumns(cols);
  }
}

void TfrmQuna::ListState::ShowDataRows(std::int64_t page, std::int64_t first, std::int64_t step,
                                       std::int64_t end) {
  const ReportSource src = StoreSource();
  const IndexRange r = ClampRange(first, end, src.count);
  data->setRecordRows(ReportModel::RowKind::Data, src, ShowDataPage(src, page, r.first, step, r.end));
  // Both buttons follow every build: a refreshed or narrowed window re-enables Next.
  const PageButtons b = SetPageButtons(page, r.first, r.end, step);
  Ui::frmQuna* ui = form->ui.get();
  ui->btnUp->setEnabled(b.previous);
  ui->btnNext->setEnabled(b.next);
  ui->edPage->setText(QString::number(page));
}

void TfrmQuna::ListState::ShowAlarmRows(std::int64_t page, std::int64_t first, std::int64_t step,
                                        std::int64_t end) {
  const ReportSource src = StoreSource();
  const std::int64_t e = AlarmEnd(end);
  alarm->setRecordRows(ReportModel::RowKind::Alarm, src, ShowAlarmPage(alarmIndex, page, first, step, e));
  const PageButtons b = SetPageButtons(page, first, e, step);
  Ui::frmQuna* ui = form->ui.get();
  ui->btnAlarmup->setEnabled(b.previous);
  ui->btnAlarmnext->setEnabled(b.next);
  ui->edtAlarmpage->setText(QString::number(page));
}

void TfrmQuna::ListState::ApplyMove(const PageMove& m, QPushButton* prev, QPushButton* next,
                                    QLineEdit* edit) {
  prev->setEnabled(m.buttons.previous);
  next->setEnabled(m.buttons.next);
  if (m.moved) edit->setText(QString::number(m.page));
  if (!m.warning.isEmpty()) form->WarningBox(m.warning);
}

void TfrmQuna::ListState::MoveDataPage(PageMoveFn move) {
  const IndexRange r = DataRange(StoreSource());
  const int step = form->CurrentStep();
  const PageMove m = move(form->DataPage, r.first, r.end, step);
  if (m.moved) {
    form->DataPage = static_cast<int>(m.page);
    ShowDataRows(m.page, r.first, step, r.end);
  }
  Ui::frmQuna* ui = form->ui.get();
  ApplyMove(m, ui->btnUp, ui->btnNext, ui->edPage);
}

void TfrmQuna::ListState::MoveAlarmPage(PageMoveFn move) {
  const int step = form->CurrentStep();
  const std::int64_t end = AlarmEnd(static_cast<std::int64_t>(alarmIndex.size()));
  const PageMove m = move(form->AlarmPage, form->AlarmFirst, end, step);
  if (m.moved) {
    form->AlarmPage = static_cast<int>(m.page);
    ShowAlarmRows(m.page, form->AlarmFirst, step, end);
  }
  Ui::frmQuna* ui = form->ui.get();
  ApplyMove(m, ui->btnAlarmup, ui->btnAlarmnext, ui->edtAlarmpage);
}

void TfrmQuna::ListState::btnUpClick() {
  if (!form->IsBusy()) MoveDataPage(&PrevPage);
}

void TfrmQuna::ListState::btnNextClick() {
  if (form->IsBusy()) return;
  // The typed number is only checked here, not used as the page.
  if (!PageEditValid(form->ui->edPage->text())) {
    form->ErrorBox(InvalidNumberText());
    return;
  }
  MoveDataPage(&NextPage);
}

void TfrmQuna::ListState::btnPageClick() {
  if (form->IsBusy()) return;
  Ui::frmQuna* ui = form->ui.get();
  const ReportSource src = StoreSource();
  const IndexRange r = DataRange(src);
  const int step = form->CurrentStep();
  // The page count is taken for the step in the edit now, not the one of the last build.
  const GoToDecision d = DecideGoTo(ui->edPage->text(), form->DataPage, r.first, r.end, step);
  if (d.kind != GoToDecision::Go) {
    ui->edPage->setText(d.editText);
    form->ErrorBox(d.message);
    return;
  }
  form->DataPage = static_cast<int>(d.page);
  ShowDataRows(d.page, r.first, step, r.end);
}

void TfrmQuna::ListState::btnAlarmupClick() {
  if (!form->IsBusy()) MoveAlarmPage(&PrevPage);
}

void TfrmQuna::ListState::btnAlarmnextClick() {
  if (!form->IsBusy()) MoveAlarmPage(&NextPage);
}

void TfrmQuna::ListState::btnAlarmintoClick() {
  if (form->IsBusy()) return;
  Ui::frmQuna* ui = form->ui.get();
  const int step = form->CurrentStep();
  const std::int64_t end = AlarmEnd(static_cast<std::int64_t>(alarmIndex.size()));
  // Like the data list, a page of 0 or below is refused rather than shown as page 1.
  const GoToDecision d = DecideGoTo(ui->edtAlarmpage->text(), form->AlarmPage, form->AlarmFirst, end, step);
  if (d.kind != GoToDecision::Go) {
    ui->edtAlarmpage->setText(d.editText);
    form->ErrorBox(d.message);
    return;
  }
  form->AlarmPage = static_cast<int>(d.page);
  ShowAlarmRows(d.page, form->AlarmFirst, step, end);
}

// ---- the hooks the page modes call ----

void TfrmQuna::ApplyColumnLayout(int reportType) {
  if (!lists_) return;
  lists_->Ensure();
  if (ReportModel* m = lists_->ModelOf(reportType))
    ::ApplyColumnLayout(*m, StoreSource(), reportType, -1, 3);
  lists_->RefreshCaptions();
}

void TfrmQuna::BuildDataView(int page, int first, int step, int end) {
  if (!lists_) return;
  lists_->Ensure();
  lists_->data->setColumns(BuildRecordListColumns(StoreSource()));
  lists_->ShowDataRows(page, first, step, end);
}

int TfrmQuna::BuildAlarmIndexFor(int first, int end) {
  if (!lists_) return 0;
  const std::int32_t n = BuildAlarmIndex(first, end);
  lists_->alarmIndex = PubParam->AlarmIndex;
  return n;
}

const std::vector<std::int32_t>& TfrmQuna::AlarmTabIndex() const {
  static const std::vector<std::int32_t> kNone;
  return lists_ ? lists_->alarmIndex : kNone;
}

void TfrmQuna::BuildAlarmView(int page, int first, int step, int end) {
  if (!lists_) return;
  lists_->Ensure();
  lists_->alarm->setColumns(BuildAlarmListColumns(StoreSource()));
  lists_->ShowAlarmRows(page, first, step, end);
}

void TfrmQuna::BuildPowerFailView(int first, int end) {
  if (!lists_) return;
  lists_->Ensure();
  std::vector<QStringList> rows;
  for (const QString& t : BuildPowerFailList(StoreSource(), first, end)) rows.push_back(QStringList{t});
  lists_->power->setColumns(PowerFailListColumns());
  lists_->power->setTextRows(std::move(rows));
}

void TfrmQuna::BuildAverageView(int first, int end) {
  if (!lists_) return;
  lists_->Ensure();
  ShowStatTable(*lists_->average, BuildAverageRow(StoreSource(), first, end));
}

void TfrmQuna::BuildEnergyView(int first, int end) {
  if (!lists_) return;
  lists_->Ensure();
  ShowStatTable(*lists_->peak, BuildEnergyTotal(StoreSource(), first, end));
}

void TfrmQuna::BuildPeakView(int first, int end) {
  if (!lists_) return;
  lists_->Ensure();
  ShowStatTable(*lists_->peak, BuildPeakStatistics(StoreSource(), first, end));
}

void TfrmQuna::ShowLogWindow() { ShowLogInfo(); }
