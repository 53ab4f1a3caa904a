#pragma once
// The export file: the list the user has open on the main window as tab-separated
// GBK text. Every cell is its text and one TAB; lines end with CR LF except the last
// line of the energy, peak and average files. No byte-order mark, no quoting; numbers
// always take '.' as the decimal point. Everything here works on plain inputs and
// streams bytes to a sink, so the bytes can be checked without a thread or a file.

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reports/reportsource.h"

enum class ExportKind { Data, Alarms, PowerFailures, Energy, Peaks, Averages, Empty };

// The file kind of a page mode (ReportType): up to 2 data rows, 3 alarms, 4 power
// failures, 5 the energy total of a power meter (model 11) or the peaks, 6 averages,
// 7 and above an empty file.
ExportKind ExportKindOf(int reportType, int modelCode);

// The headings and alarm texts of the file, as GBK bytes.
struct ExportTexts {
  std::string powerFailTime, startTime, endTime, peakKind, maximum, minimum, recordTime,
      energyTotal;
  // The alarm cell of each combination of a channel's six flags (bit f = flag f).
  std::array<std::string, 64> alarmCells;
};
// From the language file, section "utExeclthread".
ExportTexts LoadExportTexts();

struct ExportJob {
  ReportSource src;  // records, channel count, model code, names (UTF-8), shown flags
  int reportType = 1;
  std::int64_t first = 0;  // the range [first, end) of record indices
  std::int64_t end = 0;
  std::int64_t step = 1;   // data and alarm rows; below 1 counts as 1
  std::vector<std::int32_t> alarmIndex;  // the alarm records to write (record indices)
  ExportTexts texts;
};

class ExportSink {
 public:
  virtual ~ExportSink() = default;
  // False stops the export (a failed write, or a stop asked for).
  virtual bool Write(std::string_view bytes) = 0;
};

// Streams the file of the job to out, in pieces of at most a few megabytes; false
// when out refused a piece. Data rows are formatted on several cores.
bool WriteExport(const ExportJob& job, ExportSink& out);
std::string ExportBytes(const ExportJob& job);

// The first record the launcher hands over: the data list's current page inside the
// record window for the data rows, the window start for every other kind.
std::int64_t ExportStartIndex(int reportType, std::int64_t windowFirst, std::int64_t dataPage,
                              std::int64_t step);

// The name written for a name chosen in the save dialog: ".xls" appended unless the
// name holds ".xls" anywhere.
QString ExportFileName(const QString& chosen);
