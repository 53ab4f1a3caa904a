#pragma once
// Columns and rows of the data, alarm and power-failure lists, the channel-column
// layout that follows the channel selection, and the go-to decisions of the two
// paged lists.

#include <QString>
#include <cstdint>
#include <vector>

#include "reports/reportsource.h"

// Page modes (ReportType) that have lists.
enum ReportMode : int {
  kModeData = 1,
  kModeCurves = 2,
  kModeAlarm = 3,
  kModePowerFail = 4,
  kModePeak = 5,
  kModeAverage = 6,
};

// Data list: "记录时间", then one column per channel, captioned by the model code.
std::vector<ColumnSpec> BuildRecordListColumns(const ReportSource& src);
// Alarm list: "记录时间", then one column per channel named after it.
std::vector<ColumnSpec> BuildAlarmListColumns(const ReportSource& src);
// Power-failure list: the one column "停电时间".
std::vector<ColumnSpec> PowerFailListColumns();

// The caption of channel k in the data list: its name for models 0 to 11 (the power
// meters' names are their language labels once the header is read), empty above.
QString RecordColumnCaption(const ReportSource& src, int channel);

// Rows (captions) of the power-failure list of the window [first, end): the time of
// the record before each marker, then the time of the first record after the window
// when there is one.
std::vector<QString> BuildPowerFailList(const ReportSource& src, std::int64_t first,
                                        std::int64_t end);

// The width of a shown channel column in a page mode.
int ShownColumnWidth(int pageMode, int modelCode);

// Adjusts the channel columns of a list. Columns are found by their channel index,
// never by caption:
//   0: channel's column hidden (width 0)
//   1: channel's column gets the shown width
//   3: every channel column follows the shown flags
//   4: channel's column takes newName as caption (page mode 2, the legend, is not a
//      column list and is left to the chart)
// Returns whether a column changed.
bool SetColumnLayout(std::vector<ColumnSpec>& columns, const ReportSource& src, int pageMode,
                     int channel, int operation, const QString& newName = QString());

// The go-to button of a paged list (data or alarm): the typed text, the current page
// and the list's range and step (the page count is taken for this step).
struct GoToDecision {
  enum Kind { Go, Invalid, OutOfRange } kind = Invalid;
  std::int64_t page = 0;     // the page to show (Go) or the page kept
  QString message;           // the error text to show (Invalid, OutOfRange)
  QString editText;          // what the page edit shows afterwards
};
GoToDecision DecideGoTo(const QString& typed, std::int64_t currentPage, std::int64_t first,
                        std::int64_t end, std::int64_t step);

// The typed-page check that Next makes before moving: atoi of the page edit above 0.
bool PageEditValid(const QString& typed);
QString InvalidNumberText();  // "无效的数值." (a fixed text)

// A key typed into a page edit: Enter asks for the go-to; every key other than a
// digit or Backspace is dropped (Enter included).
struct PageKeyAction {
  bool goTo = false;
  bool keep = false;
};
PageKeyAction PageEditKey(int key);
