#pragma once
// Rules of the main window over plain data: the record window, the record search,
// the average record interval, the open refusals, the interval edits and page counts,
// and the per-tab texts. The form only applies what these decide.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/pubparam.h"

constexpr int kMaxStep = kMaxRecords;
constexpr int kLogHotKeyId = 0x1000;  // Alt+L, opens the log-information window

// Pieces of text between delimiters; empty pieces kept, an empty tail dropped.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter);

// A record time text "yyyy-MM-dd HH:mm:ss" as whole seconds on one scale; false when malformed.
bool TimeTextToSeconds(std::string_view text, std::int64_t& seconds);
bool SplitTimeText(std::string_view text, QDate& date, QTime& time);
std::string TimeText(const QDate& date, const QTime& time);

// Value of the leading decimal digits after blanks and a sign, saturating at the int
// range; 0 when there are none (the behaviour of atoi, without its overflow).
int IntegerOfText(std::string_view text);
// The record step an interval edit stands for: 1..kMaxStep whatever was typed or pasted.
int StepOfText(std::string_view text);
// The interval stored for a tab: as read, kept within 0..kMaxStep.
int StoredIntervalOfText(std::string_view text);

bool IsDigitKey(int key);

// The chart limit as the sign box (0 "-", 1 "+") and the magnitude text.
struct SignedLimit {
  int signIndex;
  std::string magnitude;
};
SignedLimit LimitToSign(int value);
int LimitFromSign(int signIndex, std::string_view magnitude);

// Form caption from the executable's file name: the text before the first '.',
// or the layout's caption when the name holds no '.'.
QString CaptionFromExeName(const QString& fileName, const QString& layoutCaption);

// Average gap in seconds near the start of the recording, at least 1.
int CalcAverageInterval(const tagDataRecord* records, int count);

// End of the record window after a load: the stored records without the marker
// that closes the recording (the closing entry, or the file's own last marker).
int LoadedWindowEnd(const tagDataRecord* records, int count);

// First index in [0, count) whose time text is not before text; count when none.
int FindRecordByTime(const tagDataRecord* records, int count, const std::string& text);
// First index in [from, count) whose time text is after text; count when none.
int FindFirstLater(const tagDataRecord* records, int count, int from, const std::string& text);

struct TimeWindow {
  int result = 1;  // -1: the end lies before the start; the window is then unchanged
  int first = 0;
  int end = 0;
};
// The records of [0, count) whose time texts lie between the two texts, both inclusive.
TimeWindow QueryTimeWindow(const tagDataRecord* records, int count, const std::string& startText,
                           const std::string& endText);

enum class OpenRefusal { None, ReaderBusy, TooSoon, SameFile };
constexpr std::uint32_t kOpenGapMs = 3000;
OpenRefusal CheckOpen(bool readerIdle, bool openedBefore, std::uint32_t nowMs,
                      std::uint32_t lastOpenMs, const std::string& path,
                      const std::string& loadedPath);

// Report type of a tab of pgc1; 0 for an index outside the six tabs.
int ReportTypeForTab(int tab);

struct LangText {
  const char* key;
  const char* text;  // built-in Chinese default
};
struct TabButtonTexts {
  LangText execl, refresh, restore;
};
TabButtonTexts ButtonTextsForTab(int tab);

// The status-bar text of a refused open (section kOpenRefusalSection); the refusal
// itself changes nothing.
constexpr const char* kOpenRefusalSection = "frmQunaOpen";
LangText OpenRefusalText(OpenRefusal refusal);

// "总：7 页" and "报警记录数为：400", cut to the 63 bytes a label holds.
QString PageCountText(const QString& total, int pages, const QString& page);
QString CountText(const QString& prefix, std::int64_t count);
QString CutToBytes(const QString& text, int maxBytes);

// The pickers differ from the loaded range, compared to the second.
bool RangeDiffers(const QDateTime& start, const QDateTime& end, const QDate& startDate,
                  const QTime& startTime, const QDate& endDate, const QTime& endTime);
