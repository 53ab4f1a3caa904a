#pragma once
// The main window: file open, time window, page modes and the reader's notifications.
// The chart, the channel panel, the report lists, export and print, and the log window
// are filled in by their own units through the hook methods marked "hook" below.

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/pubparam.h"
#include "platform/statusmsg.h"

namespace Ui {
class frmQuna;
}
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QShortcut;
class QTimeEdit;
class QWidget;
struct ChartState;
enum class OpenRefusal;
class TfrmDataError;
class TfrmPrint;
class utBitmap;
class utReadData;

class TfrmQuna : public QMainWindow, public StatusReceiver {
  Q_OBJECT
 public:
  explicit TfrmQuna(QWidget* owner = nullptr);
  ~TfrmQuna() override;

  Ui::frmQuna* Form() const { return ui.get(); }

  // WM_STATUSMSG from the reader, the export thread and this thread.
  void OnStatusMsg(const StatusMsg& msg) override;

  // ---- shared state, read by the chart, list, export and print units ----
  utPubParam* PubParam = nullptr;
  std::string DataFileName;
  int PageInterval[6] = {};
  int PageByRows[6] = {};
  bool Loading = false;  // from an accepted open to the record count (guards check-box events)
  QDateTime DataStart, DataEnd;
  TColor BkColor = 0;
  int ReportType = 0;
  int WindowFirst = 0, WindowEnd = 0;
  int DataPage = 0, DataPageCount = 0;
  int AlarmFirst = 0, AlarmPage = 0, AlarmPageCount = 0;
  int PageBuilt[6] = {};
  int AvgInterval = 1;
  std::uint32_t LastOpenTick = 0;

  // From an accepted open to the end of the parse (or the failed open): the reader
  // writes the store, so nothing may read it. Refresh, restore, export, print, chart
  // presses and page builds are refused or deferred while it is set.
  bool IsBusy() const { return busy_; }
  utReadData* Reader() const { return ReadThread; }

  // The current record step of the data and alarm lists (interval edit of the chosen
  // option), 1..680000.
  int CurrentStep() const;
  // Top and bottom pixel rows of the chart's plot area, read from the chart's present size.
  int PlotTop() const;
  int PlotBottom() const;
  // Status bar panel 0..2.
  void SetStatusPanel(int index, const QString& text);
  // The warning that a setting the user changed could not be saved, with why (errno).
  void SettingsNotSaved(int error);

  // ---- file open, time window, page modes ----
  void cbb3DropDown();                          // open dialog, then OpenDataFile
  bool OpenDataFile(const std::string& path);   // false when refused or failed
  void btnRefreshClick();
  void btnRestoreClick();
  void UpdateRestoreButton();
  void UpdatePageControls();
  void pgc1Change();
  void rb1Click();
  void rb2Click();
  void edlinespaceChange();
  void edtimespaceChange();
  void btnExeclClick();
  void btnprintClick();
  void CalcAverageInterval();
  void SetDateTimeFormats();

  // Tests replace the millisecond clock of the 3000 ms open rule.
  std::function<std::uint32_t()> TickSource;

  // ---- hooks of the chart unit (curve chart, cursor, channel panel) ----
  // hook: UP and DOWN from the data range
  virtual void AdjustYRange();
  // hook: undo zoom, axis ranges from UP/DOWN and the pickers
  virtual void SetupAxes();
  // hook: one series per segment and channel
  virtual void CreateSeries();
  // hook: points of [WindowFirst, WindowEnd)
  virtual void FillSeries();
  // hook: delete the curve series
  virtual void ClearSeries();
  // hook: remove marker lines and their labels
  virtual void ClearFlags();
  // hook: marker buttons follow the one-channel rule
  virtual void UpdateFlagButtons();
  // hook: channel lists, swatches, model texts at code 4
  virtual void SetupMainFormForModel();
  // hook: legend rows of the shown channels
  virtual void ShowChannelSummary();
  // hook: legend and curves of one channel, by index
  virtual void RefreshChannelList(int channel, bool shown);
  // hook: kind 0 background, 1 channel; false (error: the errno) when the colour could
  // not be saved
  virtual bool ApplyColor(int kind, int channel, TColor colour, int* error = nullptr);
  // hook: colour dialog, then ApplyColor
  virtual void ChooseColor(int kind, int channel);

  // ---- hooks of the list unit (report lists, paging, statistics) ----
  // hook: channel column widths from the shown flags
  virtual void ApplyColumnLayout(int reportType);
  // hook: lv1 columns and page
  virtual void BuildDataView(int page, int first, int step, int end);
  // hook: alarm index list, its count
  virtual int BuildAlarmIndexFor(int first, int end);
  // hook: lv5 columns and page
  virtual void BuildAlarmView(int page, int first, int step, int end);
  // hook: lv6
  virtual void BuildPowerFailView(int first, int end);
  // hook: lv4
  virtual void BuildAverageView(int first, int end);
  // hook: lv3, model 11
  virtual void BuildEnergyView(int first, int end);
  // hook: lv3, other models
  virtual void BuildPeakView(int first, int end);
  // hook: Alt+L, create the log window once and show it
  virtual void ShowLogWindow();

  // ---- hooks of the export and print unit ----
  // hook: export of the current page (not the curve page)
  virtual void ExportCurrentPage();
  // hook: the export's save dialog, with the overwrite question asked for the name that
  // will be written; that name, or empty when the user cancelled
  virtual QString AskExportFileName();
  // An export thread is writing its file: the store must not change under it.
  bool ExportRunning() const;
  // The alarm tab's own alarm index list (record indices of its rows).
  const std::vector<std::int32_t>& AlarmTabIndex() const;
  // hook: chart or report print preview
  virtual void PrintCurrentPage();

  // ---- print launch (utQunaPrint.cpp, utQunaReportPrint.cpp) ----
  void rbColorClick();
  void rbBlackClick();
  // Shows the chart print preview with the turned chart picture.
  void PrintChart(const QString& rangeText, utBitmap* bitmap);
  // Takes the chart's picture into the bitmap, turned, and hands it and the print
  // settings to the preview; false when the picture could not be taken.
  bool PrepareChartPreview(TfrmPrint& preview, const QString& rangeText, utBitmap* bitmap);
  // Shows the report print preview of the current page's report.
  void PrintReport(const QString& rangeText);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void FormClose();
  void OnCode4();
  void OnCode5();
  void OnCode6();
  void OnCode7(std::int64_t count);
  void OnCode1102(const StatusMsg& msg);
  void ErrorBox(const QString& text);
  void WarningBox(const QString& text);
  void FillPrinters();
  // Layout (mainwindow/utQunaLayout.cpp): the left column's scroll area, the value
  // panel's size and place, the maximised start.
  void SetUpLayout();
  void FitLayout();
  void FitLeftColumn();
  void PlaceValuePanel();
  void ResizeValuePanel();
  void ShowLoadedFileName();
  void DrawWindowCurves();  // axes, series and points of the record window
  void OpenRefused(OpenRefusal refusal);
  void SetTabCaptions(int tab);
  void StoreTabOptions(int tab);
  void RestoreTabOptions(int tab);
  void SetTwoEnabled(bool enabled1, QWidget* control1, bool enabled2, QWidget* control2);
  void IntervalChoiceChanged(bool rows);
  void WirePrintControls();
  std::uint32_t Now() const;

  std::unique_ptr<Ui::frmQuna> ui;
  utReadData* ReadThread = nullptr;
  QLabel* statusPanels_[3] = {};
  QShortcut* logShortcut_ = nullptr;
  QPointer<TfrmDataError> dataError_;
  std::string pendingFile_;     // chosen file, committed when its header arrives
  bool headerSeen_ = false;
  bool busy_ = false;
  bool openedBefore_ = false;
  QString openFolder_;          // where the open dialog starts: the last file's folder
  QString exportFolder_;        // where the export dialog starts: the last export's folder
  bool shown_ = false;
  int handlerDepth_ = 0;        // inside a notification handler (a modal dialog may run)
  bool closePending_ = false;   // a close asked for while a handler runs
  bool closed_ = false;

  // list unit: the report-list models, the page bars' handlers and the alarm tab's own
  // alarm index list (mainwindow/utQunaLists.cpp).
  struct ListState;
  struct ListStateDeleter {
    void operator()(ListState* state) const;
  };
  static ListState* NewListState(TfrmQuna* form);
  std::unique_ptr<ListState, ListStateDeleter> lists_{NewListState(this)};

  // chart unit
 public:
  // State of the chart, channel panel, cursor and marker lines; made, and the chart's
  // handlers connected, on first use.
  ChartState& Chart();

 private:
  static void DeleteChart(ChartState* state);
  std::unique_ptr<ChartState, void (*)(ChartState*)> chart_{nullptr, &TfrmQuna::DeleteChart};

  // export unit (mainwindow/utQunaExport.cpp): the running export, if any
  struct ExportState;
  static void DeleteExport(ExportState* state);
  std::unique_ptr<ExportState, void (*)(ExportState*)> export_{nullptr, &TfrmQuna::DeleteExport};
  // Shows why an open is refused while an export runs; true when refused.
  bool RefuseOpenWhileExporting();
  // Stops a running export (its partial file removed) and joins its thread.
  void StopExport();
};

// The routines the other main-window units share.
void SetPickersFromText(QDateEdit* datePicker, QTimeEdit* timePicker, const char* text);
void SetRangePickers(QDateEdit* startDate, QTimeEdit* startTime, QDateEdit* endDate,
                     QTimeEdit* endTime);
void ShowUpDown(QComboBox* upSign, QLineEdit* upEdit, QComboBox* downSign, QLineEdit* downEdit);

// The section of "system.par" that holds a data file's settings: its name without the folder.
std::string SettingsSection(const std::string& dataFile);

// The chart print's range text: the bottom axis's bounds, "first=>last".
QString ChartRangeText(double first, double last);

// The one main form (null before start-up creates it and after it closes).
extern QPointer<TfrmQuna> frmQuna;

// For start-up: makes the main form (shown maximised by the caller). Start-up owns it.
QWidget* CreateMainForm();
