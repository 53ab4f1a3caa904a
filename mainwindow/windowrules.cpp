#include "mainwindow/windowrules.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter) {
  std::vector<std::string> pieces;
  if (delimiter.empty()) {
    if (!text.empty()) pieces.push_back(text);
    return pieces;
  }
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = text.find(delimiter, pos);
    if (hit == std::string::npos) break;
    pieces.push_back(text.substr(pos, hit - pos));
    pos = hit + delimiter.size();
  }
  if (pos < text.size()) pieces.push_back(text.substr(pos));
  return pieces;
}

namespace {

bool ReadDigits(std::string_view text, std::size_t pos, std::size_t n, int& value) {
  if (pos + n > text.size()) return false;
  value = 0;
  for (std::size_t i = pos; i < pos + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Time texts are compared as the reader wrote them: text order is time order.
int CompareText(const tagDataRecord& r, const std::string& text) {
  return std::strncmp(r.TimeText, text.c_str(), sizeof r.TimeText);
}

}  // namespace

bool SplitTimeText(std::string_view text, QDate& date, QTime& time) {
  int y, mo, d, h, mi, s;
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
      text[13] != ':' || text[16] != ':')
    return false;
  if (!ReadDigits(text, 0, 4, y) || !ReadDigits(text, 5, 2, mo) || !ReadDigits(text, 8, 2, d) ||
      !ReadDigits(text, 11, 2, h) || !ReadDigits(text, 14, 2, mi) || !ReadDigits(text, 17, 2, s))
    return false;
  QDate dd(y, mo, d);
  QTime tt(h, mi, s);
  if (!dd.isValid() || !tt.isValid()) return false;
  date = dd;
  time = tt;
  return true;
}

bool TimeTextToSeconds(std::string_view text, std::int64_t& seconds) {
  QDate d;
  QTime t;
  if (!SplitTimeText(text, d, t)) return false;
  seconds = d.toJulianDay() * 86400 + t.msecsSinceStartOfDay() / 1000;
  return true;
}

std::string TimeText(const QDate& date, const QTime& time) {
  return (date.toString("yyyy-MM-dd") + ' ' + time.toString("HH:mm:ss")).toStdString();
}

int IntegerOfText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > INT_MAX) {
      v = std::int64_t{INT_MAX} + 1;
      break;
    }
  }
  if (negative) return static_cast<int>(std::max<std::int64_t>(-v, INT_MIN));
  return static_cast<int>(std::min<std::int64_t>(v, INT_MAX));
}

int StepOfText(std::string_view text) { return std::clamp(IntegerOfText(text), 1, kMaxStep); }

int StoredIntervalOfText(std::string_view text) {
  return std::clamp(IntegerOfText(text), 0, kMaxStep);
}

bool IsDigitKey(int key) { return (key >= '0' && key <= '9') || key == 8; }

SignedLimit LimitToSign(int value) {
  const std::int64_t v = value;
  return {value < 0 ? 0 : 1, std::to_string(v < 0 ? -v : v)};
}

int LimitFromSign(int signIndex, std::string_view magnitude) {
  // The edits take digits only; a pasted sign or an oversized number is kept in range.
  const int m = std::clamp(IntegerOfText(magnitude), 0, INT_MAX);
  return signIndex == 0 ? -m : m;
}

QString CaptionFromExeName(const QString& fileName, const QString& layoutCaption) {
  const QString name = fileName.left(63);  // the caption buffer holds 64 characters
  const int dot = name.indexOf('.');
  return dot < 0 ? layoutCaption : name.left(dot);
}

int CalcAverageInterval(const tagDataRecord* records, int count) {
  std::int64_t sum = 0;
  int n = 0;
  for (int i = 0; records && i < count / 5; ++i) {
    if (records[i].Marker) {
      n = 0;  // gaps before a power failure stay in the sum
      continue;
    }
    std::int64_t a = 0, b = 0;
    if (TimeTextToSeconds(records[i + 1].TimeText, a) && TimeTextToSeconds(records[i].TimeText, b))
      sum += a > b ? a - b : b - a;
    if (++n > 20) break;
  }
  std::int64_t divisor = n == 0 ? 1 : n - 1;
  if (divisor == 0) divisor = 1;
  const std::int64_t avg = sum / divisor;
  return avg <= 0 ? 1 : static_cast<int>(std::min<std::int64_t>(avg, INT_MAX));
}

int LoadedWindowEnd(const tagDataRecord* records, int count) {
  if (!records || count <= 0) return 0;
  count = std::min(count, kRecordCapacity);
  return records[count - 1].Marker ? count - 1 : count;
}

int FindRecordByTime(const tagDataRecord* records, int count, const std::string& text) {
  if (!records || count <= 0) return 0;
  // Starting at the middle only when it lies strictly before the text keeps earlier
  // records of the same time text (a marker repeats its record's text) in the window.
  const int mid = count / 2;
  for (int i = CompareText(records[mid], text) < 0 ? mid : 0; i < count; ++i)
    if (CompareText(records[i], text) >= 0) return i;
  return count;
}

int FindFirstLater(const tagDataRecord* records, int count, int from, const std::string& text) {
  if (!records) return 0;
  for (int i = std::max(from, 0); i < count; ++i)
    if (CompareText(records[i], text) > 0) return i;
  return std::max(count, 0);
}

TimeWindow QueryTimeWindow(const tagDataRecord* records, int count, const std::string& startText,
                           const std::string& endText) {
  TimeWindow w;
  std::int64_t s = 0, e = 0;
  // A text that does not convert counts as time 0.
  if (!TimeTextToSeconds(startText, s)) s = 0;
  if (!TimeTextToSeconds(endText, e)) e = 0;
  if (e < s) {
    w.result = -1;
    return w;
  }
  if (!records || count <= 0) return w;  // nothing loaded: the empty window
  w.first = FindRecordByTime(records, count, startText);
  w.end = std::max(w.first, FindFirstLater(records, count, w.first, endText));
  return w;
}

OpenRefusal CheckOpen(bool readerIdle, bool openedBefore, std::uint32_t nowMs,
                      std::uint32_t lastOpenMs, const std::string& path,
                      const std::string& loadedPath) {
  if (!readerIdle) return OpenRefusal::ReaderBusy;
  if (openedBefore && static_cast<std::uint32_t>(nowMs - lastOpenMs) < kOpenGapMs)
    return OpenRefusal::TooSoon;
  if (path == loadedPath) return OpenRefusal::SameFile;
  return OpenRefusal::None;
}

int ReportTypeForTab(int tab) {
  static const int kTypes[6] = {2, 1, 3, 4, 6, 5};
  return tab >= 0 && tab < 6 ? kTypes[tab] : 0;
}

TabButtonTexts ButtonTextsForTab(int tab) {
  static const LangText kExport{"Error11", "导出到Excel"};
  switch (tab) {
    case 0:
      return {{"Error8", "设置背景颜色"}, {"Error9", "刷新曲线画面"}, {"Error10", "恢复显示全部曲线"}};
    case 1:
      return {kExport, {"Error12", "刷新数据报表"}, {"Error13", "恢复显示全部数据"}};
    case 2:
      return {kExport, {"Error16", "刷新报警数据"}, {"Error17", "恢复显示全部报警记录"}};
    case 3:
      return {kExport, {"Error19", "刷新停电数据"}, {"Error20", "恢复显示全部停电记录"}};
    case 4:
      return {kExport, {"Error21", "刷新均值统计表"}, {"Error22", "恢复统计总平均值"}};
    default:
      return {kExport, {"Error23", "刷新峰值统计表"}, {"Error24", "恢复统计全局峰值"}};
  }
}

LangText OpenRefusalText(OpenRefusal refusal) {
  switch (refusal) {
    case OpenRefusal::ReaderBusy:
      return {"Busy", "正在读取数据,请在读取结束后再打开文件."};
    case OpenRefusal::TooSoon:
      return {"TooSoon", "打开文件过于频繁,请三秒后再打开."};
    case OpenRefusal::SameFile:
      return {"SameFile", "该文件已经打开."};
    default:
      return {"", ""};
  }
}

QString CutToBytes(const QString& text, int maxBytes) {
  QString out;
  int bytes = 0;
  for (int i = 0; i < text.size(); ++i) {
    const bool pair = text[i].isHighSurrogate() && i + 1 < text.size();
    const QString ch = pair ? text.mid(i, 2) : text.mid(i, 1);
    const int n = static_cast<int>(ch.toUtf8().size());
    if (bytes + n > maxBytes) break;
    bytes += n;
    out += ch;
    if (pair) ++i;
  }
  return out;
}

QString PageCountText(const QString& total, int pages, const QString& page) {
  return CutToBytes(QString("%1%2 %3").arg(total).arg(pages).arg(page), 63);
}

QString CountText(const QString& prefix, std::int64_t count) {
  return CutToBytes(prefix + QString::number(count), 63);
}

bool RangeDiffers(const QDateTime& start, const QDateTime& end, const QDate& startDate,
                  const QTime& startTime, const QDate& endDate, const QTime& endTime) {
  auto secs = [](const QTime& t) { return t.isValid() ? t.msecsSinceStartOfDay() / 1000 : -1; };
  return start.date() != startDate || secs(start.time()) != secs(startTime) ||
         end.date() != endDate || secs(end.time()) != secs(endTime);
}
