#pragma once
// Paging of the data list and the alarm list: a page holds at most kPageRows rows and
// a row stands for every step-th entry of the list's range. Everything here works on
// plain inputs and returns indices, texts and button states; the list views only
// display them.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "reports/reportsource.h"

// Shared with the export and the report print, which start from the data list's page.
constexpr int kPageRows = 150;

// The range of indices a page covers, and the step between its rows.
struct PageRange {
  std::int64_t start = 0;
  std::int64_t end = 0;   // exclusive
  std::int64_t step = 1;  // at least 1
};

struct PageButtons {
  bool previous = false;
  bool next = false;
};

// The outcome of Previous or Next: the page to show, the button states, and the
// warning to show when the move was refused.
struct PageMove {
  bool moved = false;
  std::int64_t page = 1;
  PageButtons buttons;
  QString warning;
};

// The six alarm texts in flag order (upper, lower, +deviation, -deviation,
// over-range, abnormal), looked up once per list build.
using AlarmTexts = std::array<QString, 6>;
AlarmTexts LoadAlarmTexts();
QString PowerFailText();  // the caption of a power-failure row of the data list

class utpage {
 public:
  virtual ~utpage() = default;

  // Record indices of the data rows start, start + step, ... below end, clamped to
  // the records stored.
  std::vector<std::int32_t> FillDataPage(const ReportSource& src, std::int64_t start,
                                         std::int64_t step, std::int64_t end) const;
  // Record indices of the alarm-list positions start, start + step, ... below end,
  // clamped to the list.
  std::vector<std::int32_t> FillAlarmPage(const std::vector<std::int32_t>& alarmIndex,
                                          std::int64_t start, std::int64_t step,
                                          std::int64_t end) const;
};

utpage* GetUtpage();

// Steps below 1 count as 1.
std::int64_t EffectiveStep(std::int64_t step);

// Ceiling of the range over step x kPageRows; 0 for an empty range.
std::int64_t PageCount(std::int64_t first, std::int64_t end, std::int64_t step);

// Page p of [first, end): pages below 1 show the first page; the range never leaves
// [first, end) nor [0, limit) (limit: the records stored, or the alarm-list size).
PageRange PageRangeOf(std::int64_t page, std::int64_t first, std::int64_t step,
                      std::int64_t end, std::int64_t limit);

// The rows of a data page (record indices) and of an alarm page (record indices of
// the alarm records shown).
std::vector<std::int32_t> ShowDataPage(const ReportSource& src, std::int64_t page,
                                       std::int64_t first, std::int64_t step,
                                       std::int64_t end);
std::vector<std::int32_t> ShowAlarmPage(const std::vector<std::int32_t>& alarmIndex,
                                        std::int64_t page, std::int64_t first,
                                        std::int64_t step, std::int64_t end);

// The alarm records of [from, to): not a marker, and at least one alarm flag of one
// of the file's channels set. Ascending, each record once.
std::vector<std::int32_t> CollectAlarmIndex(const ReportSource& src, std::int64_t from,
                                            std::int64_t to);

// The alarm tab's build: rebuilds the store's alarm index list (owned by the alarm
// tab) over [from, to) and returns its size. The export and the report print use
// CollectAlarmIndex for their own list (or copy this one on the user-interface
// thread) so that they never see it change under them.
std::int32_t BuildAlarmIndex(std::int64_t from, std::int64_t to);

// Button states of a page of [first, end): Previous when page > 1, Next when a later
// page has rows. end is the list's effective end (clamped to what is stored).
PageButtons SetPageButtons(std::int64_t page, std::int64_t first, std::int64_t end,
                           std::int64_t step);

// One page back; refused ("Error1") at page 1 or below. A page beyond the last one
// steps back onto the last page that has rows.
PageMove PrevPage(std::int64_t page, std::int64_t first, std::int64_t end, std::int64_t step);
// One page on; refused ("Error2") when no later page has rows.
PageMove NextPage(std::int64_t page, std::int64_t first, std::int64_t end, std::int64_t step);

// Row texts: the caption followed by one cell per channel.
// A data row; a marker record gives the power-failure caption and no cells.
QStringList DataRowTexts(const tagDataRecord& rec, int channelCount, const QString& powerFail);
// An alarm row: each cell holds the texts of the channel's set flags, in flag order.
QStringList AlarmRowTexts(const tagDataRecord& rec, int channelCount, const AlarmTexts& texts);
QString AlarmCellText(const tagChannelValue& ch, const AlarmTexts& texts);
// The same texts one by one, in flag order.
QStringList AlarmCellTexts(const tagChannelValue& ch, const AlarmTexts& texts);
