#pragma once
// What a printed report page holds: the ruling, the header block of page 1, the
// column headers, the lines of the data, alarm and power-failure reports, the
// statistics groups and the footer. Everything is drawn through a PageCanvas in page
// units (W, H, LH, CW), so the preview image, the paper and the tests share one
// routine. Column positions follow the GBK byte lengths of their sample texts; every
// text stays inside its cell: a table whose widest text does not fit its column gets a
// smaller font, and what still does not fit is cut on a character.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "reports/Utpage.h"
#include "reports/reportsource.h"
#include "reports/statistics.h"
#include "output/Utprinter.h"  // PageMetrics: page units of one device
#include "output/reportgeometry.h"

struct PageFont;

// The report types of the preview (the curve page, 2, never comes here).
enum ReportKind : int {
  kReportData = 1,
  kReportAlarm = 3,
  kReportPowerFail = 4,
  kReportPeak = 5,  // the energy total for model 11
  kReportAverage = 6,
};

// Where a page is drawn. Texts are placed by their top-left corner; fonts are "宋体"
// in points at the resolution of the page units (GetPageFont measures them).
class PageCanvas {
 public:
  virtual ~PageCanvas() = default;
  virtual void SetFont(double pointSize, bool bold) = 0;
  virtual void Text(int x, int y, const QString& text) = 0;
  virtual void Line(int x1, int y1, int x2, int y2) = 0;
  // The page frame (0, 0)-(W, H), filled white.
  virtual void Frame(int width, int height) = 0;
};

// The language texts of a report, looked up once when the report is set up.
struct ReportTexts {
  QString device, printTime, timeRange, unit;  // header labels
  QString recordTime, startTime, endTime;      // first column headers, end-time header
  QString energy;                              // energy column header
  QString peakKind, maximum, minimum;
  QString footerTime, pageBefore, pageAfter, pageTotal;
  QString title;                               // of the report's type
  QString powerFail;                           // a marker row, as the data list shows it
  AlarmTexts alarms;
  static ReportTexts Load(int type, int modelCode);
};

// One report, set up once: its range and step and whatever its pages list.
struct ReportContent {
  int type = kReportData;
  ReportSource src;
  std::int64_t first = 0;  // S: the record range [S, E)
  std::int64_t end = 0;    // E
  std::int64_t step = 1;   // k, at least 1
  std::vector<int> shown;  // shown channels, in channel order
  std::vector<std::int32_t> alarmIndex;  // alarm report: the alarm records of [S, E)
  std::vector<QString> powerEntries;     // power-failure report: the list's rows
  ChannelPeaks peaks;
  ChannelAverages averages;
  double energy = 0.0;
  // What the widest texts of the table are like: a record time, whether a marker row
  // shows, and the texts that stand for the widest channel cells.
  QString timeSample;
  bool markerRows = false;
  std::vector<QString> widestCells;
  // Alarm report: the texts of each kind of alarm cell that occurs (one list per
  // combination of flags); widestCells then holds each alarm text on its own.
  std::vector<QStringList> alarmCells;
  QString rangeText, deviceName, unitName;
  ReportTexts texts;

  bool energyTotal() const { return type == kReportPeak && src.modelCode == 11; }
  // What the pages count: records, alarm entries, power-failure entries, or groups.
  std::int64_t items() const;
};

ReportContent BuildReportContent(const ReportSource& src, int type, std::int64_t first,
                                 std::int64_t end, std::int64_t step);

// The layout of a report on one device.
struct ReportLayout {
  PageMetrics m;
  PageMargins g;
  int rules = 0;        // N
  int x0 = 0;           // right edge of the first column
  int columnWidth = 0;  // D; 0 without a shown channel
  int powerColumns = 1; // power-failure columns that fit across a page
  PageCapacity cap;
  std::int64_t pageCount = 1;
  // Point sizes of the table, shrunk from 9, 8 and 8 (9 for the power-failure entries
  // and the energy total) until the widest text of every column fits, and the footer's.
  double headPoints = 9;   // column headers
  double groupPoints = 8;  // bold group headers: channel names of the statistics, "记录时间"
  double bodyPoints = 8;   // lines and cells
  double footPoints = 8;
  // The character width of the table's font: CW at the designed size. The data and
  // alarm tables are laid out in it (first column, insets), so a table whose font shrinks
  // narrows its time column and leaves the channels more room.
  int tableCw = 0;
  int gap = 1;             // kept between a text and the next rule or text
  int bodyLines = 1;       // lines of the body font that fit in one band
};

ReportLayout LayoutReport(const ReportContent& content, const PageMetrics& m, int topPercent,
                          int bottomPercent, int leftPercent);

// Draws page p (from 1) of the report. A page beyond the last shows the ruling, the
// column headers and the footer only.
void DrawReportPage(PageCanvas& canvas, const ReportContent& content, const ReportLayout& layout,
                    std::int64_t page, const QString& printTime);

// The printer page to start from when the preview shows page `shownPage`: the one that
// holds the first item of the shown page (page 1 starts at page 1).
std::int64_t PrintStartPage(const ReportContent& content, const ReportLayout& preview,
                            std::int64_t shownPage, const ReportLayout& paper);

// A figure of a cell no wider than room: prefix and the value with `decimals`, else with
// fewer (rounded), else a row of '#' (none where not one fits): a figure cut short would
// read as another value.
QString NumberThatFits(const PageFont& font, const QString& prefix, double value, int decimals, int room);

// "yyyy-MM-dd HH:mm:ss" of now; a time of exactly midnight is left out.
QString PrintTimeText();
