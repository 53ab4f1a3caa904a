#include "output/exportfile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <future>

#include "data/lanchg.h"
#include "reports/Utpage.h"
#include "reports/numformat.h"
#include "reports/statistics.h"
#include "platform/gbk.h"
#include "platform/parallel.h"

namespace {

constexpr std::size_t kFlushBytes = 1u << 20;
constexpr std::int64_t kChunkRows = 2048;  // data rows one core formats at a time
constexpr char kCrLf[] = "\r\n";

std::string Lang(const char* key, const char* chinese) {
  return gbk::Encode(GetLangString("utExeclthread", key, QString::fromUtf8(chinese)));
}

std::string_view TimeOf(const tagDataRecord& rec) {
  return {rec.TimeText, strnlen(rec.TimeText, sizeof rec.TimeText)};
}

// A record's time text; empty for an index that is not a stored record.
std::string_view TimeAt(const ReportSource& src, std::int64_t index) {
  if (!src.records || index < 0 || index >= src.count) return {};
  return TimeOf(src.records[index]);
}

// The end cell of the energy and average files: the record at the end index when it
// is stored, else the range's last stored record (none for a range beyond the store).
std::string_view EndTimeAt(const ReportSource& src, std::int64_t first, std::int64_t end) {
  if (end >= 0 && end < src.count) return TimeAt(src, end);
  const std::int64_t last = std::min<std::int64_t>(end, src.count) - 1;
  return last >= first ? TimeAt(src, last) : std::string_view();
}

// The file's text collected in pieces and handed to the sink when a piece is large.
class Out {
 public:
  explicit Out(ExportSink& sink) : sink_(sink) {}
  void Cell(std::string_view text) {
    text_.append(text);
    text_ += '\t';
  }
  void Line() { text_ += kCrLf; }
  std::string& Text() { return text_; }
  bool Flush(bool always = false) {
    if (!ok_ || (!always && text_.size() < kFlushBytes)) return ok_;
    if (!text_.empty()) ok_ = sink_.Write(text_);
    text_.clear();
    return ok_;
  }
  bool Put(std::string_view bytes) {
    return Flush(true) && (ok_ = sink_.Write(bytes));
  }

 private:
  ExportSink& sink_;
  std::string text_;
  bool ok_ = true;
};

struct Columns {
  std::vector<int> shown;          // shown channels below the channel count, in order
  std::vector<std::string> names;  // GBK name of each channel
};

Columns ColumnsOf(const ReportSource& src) {
  Columns c;
  const int channels = std::clamp(src.channelCount, 0, kMaxChannels);
  for (int k = 0; k < channels; ++k) {
    c.names.push_back(gbk::Encode(src.channelName(k)));
    // Only a flag of exactly 1 shows a channel in the file.
    if (src.shownFlags && src.shownFlags[k] == 1) c.shown.push_back(k);
  }
  return c;
}

void Heading(Out& out, const std::string& first, const Columns& c) {
  out.Cell(first);
  for (int k : c.shown) out.Cell(c.names[static_cast<std::size_t>(k)]);
  out.Line();
}

void DataRow(std::string& text, const tagDataRecord& rec, const std::vector<int>& shown) {
  text.append(TimeOf(rec));
  text += '\t';
  for (int k : shown) {
    AppendFixed(text, rec.Channel[k].Value, 4, 2);
    text += '\t';
  }
  text += kCrLf;
}

bool DataRows(const ExportJob& job, const Columns& c, Out& out) {
  const ReportSource& src = job.src;
  const IndexRange r = ClampRange(job.first, job.end, src.records ? src.count : 0);
  const std::int64_t step = EffectiveStep(job.step);
  const std::int64_t rows = r.empty() ? 0 : (r.end - r.first - 1) / step + 1;  // no overflow near INT64_MAX
  const auto format = [&](std::string& text, std::int64_t from, std::int64_t to) {
    text.reserve(static_cast<std::size_t>(to - from) * (22 + 9 * c.shown.size()));
    for (std::int64_t row = from; row < to; ++row) DataRow(text, src.records[r.first + row * step], c.shown);
  };

  // Chunks of rows are formatted on several cores while the finished ones are written
  // in order; at most two chunks per core are held at a time.
  const auto cores = static_cast<std::size_t>(std::min(UsableCores(), 8));
  std::deque<std::future<std::string>> pending;
  std::int64_t next = 0;
  bool ok = true;
  while (ok && (next < rows || !pending.empty())) {
    while (next < rows && pending.size() < 2 * cores) {
      const std::int64_t from = next, to = std::min(rows, next + kChunkRows);
      // Formatted here instead when no thread can be started.
      pending.push_back(std::async(std::launch::async | std::launch::deferred, [&format, from, to] {
        std::string text;
        format(text, from, to);
        return text;
      }));
      next = to;
    }
    ok = out.Put(pending.front().get());
    pending.pop_front();
  }
  return ok;  // a refused write leaves the queued chunks to finish unwritten
}

void AlarmRows(const ExportJob& job, const Columns& c, Out& out) {
  const ReportSource& src = job.src;
  const std::int64_t step = EffectiveStep(job.step);
  const auto entries = static_cast<std::int64_t>(job.alarmIndex.size());
  for (std::int64_t j = 0; j < entries; j = step < entries - j ? j + step : entries) {
    const std::int32_t index = job.alarmIndex[static_cast<std::size_t>(j)];
    if (!src.records || index < 0 || index >= src.count) continue;
    const tagDataRecord& rec = src.records[index];
    out.Cell(TimeOf(rec));
    for (int k : c.shown) {
      const std::uint8_t* a = rec.Channel[k].Alarm;
      unsigned mask = 0;
      for (unsigned f = 0; f < 6; ++f) mask |= (a[f] != 0 ? 1u : 0u) << f;
      out.Cell(job.texts.alarmCells[mask]);
    }
    out.Line();
    if (!out.Flush()) return;
  }
}

void PowerFailRows(const ExportJob& job, Out& out) {
  const ReportSource& src = job.src;
  out.Cell(job.texts.powerFailTime);
  out.Line();
  const IndexRange r = ClampRange(job.first, job.end, src.records ? src.count : 0);
  for (std::int64_t i = r.first; i < r.end; ++i) {
    if (src.records[i].Marker == 0) continue;
    out.Text().append(TimeOf(src.records[i]));
    out.Line();
    if (!out.Flush()) return;
  }
}

void EnergyTotal(const ExportJob& job, Out& out) {
  const ExportTexts& t = job.texts;
  out.Cell(t.startTime);
  out.Cell(t.endTime);
  out.Text().append(t.energyTotal);
  out.Line();
  out.Cell(TimeAt(job.src, job.first));
  out.Cell(EndTimeAt(job.src, job.first, job.end));
  out.Cell(PrintfFixed(EnergySum(job.src, job.first, job.end), 0, 0));
}

void Peaks(const ExportJob& job, const Columns& c, Out& out) {
  const ExportTexts& t = job.texts;
  Heading(out, t.peakKind, c);
  const ChannelPeaks p = PeaksOf(job.src, job.first, job.end);
  const auto line = [&](const std::string& caption, const auto& value, const auto& at) {
    out.Cell(caption);
    for (int k : c.shown) {
      const auto ch = static_cast<std::size_t>(k);
      std::string cell;
      if (p.seeded) {
        cell.append(TimeAt(job.src, at[ch])).append("=>");
        AppendFixed(cell, value[ch], 4, 2);
      }
      out.Cell(cell);
    }
  };
  line(t.maximum, p.max, p.maxAt);
  out.Line();
  line(t.minimum, p.min, p.minAt);
}

void Averages(const ExportJob& job, const Columns& c, Out& out) {
  const ExportTexts& t = job.texts;
  out.Cell(t.startTime);
  Heading(out, t.endTime, c);
  const ChannelAverages a = AveragesOf(job.src, job.first, job.end);
  out.Cell(TimeAt(job.src, job.first));
  out.Cell(EndTimeAt(job.src, job.first, job.end));
  for (int k : c.shown) out.Cell(a.ordinary != 0 ? PrintfFixed(a.mean(k), 0, 2) : std::string("0.0"));
}

class StringSink : public ExportSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

}  // namespace

ExportKind ExportKindOf(int reportType, int modelCode) {
  switch (reportType) {
    case 3: return ExportKind::Alarms;
    case 4: return ExportKind::PowerFailures;
    case 5: return modelCode == 11 ? ExportKind::Energy : ExportKind::Peaks;
    case 6: return ExportKind::Averages;
    default: return reportType <= 2 ? ExportKind::Data : ExportKind::Empty;
  }
}

ExportTexts LoadExportTexts() {
  ExportTexts t;
  t.powerFailTime = Lang("Error1", "停电时间");
  t.startTime = Lang("Error2", "开始时间");
  t.endTime = Lang("Error3", "结束时间");
  t.peakKind = Lang("Error4", "峰值类别");
  t.maximum = Lang("Error5", "最大值");
  t.minimum = Lang("Error6", "最小值");
  t.recordTime = Lang("Error7", "记录时间");
  t.energyTotal = Lang("Error14", "电量累计");
  const AlarmTexts alarms = {
      GetLangString("utExeclthread", "Error8", QStringLiteral("上限报警,")),
      GetLangString("utExeclthread", "Error9", QStringLiteral("下限报警,")),
      GetLangString("utExeclthread", "Error10", QStringLiteral("正偏报警,")),
      GetLangString("utExeclthread", "Error11", QStringLiteral("负偏报警,")),
      GetLangString("utExeclthread", "Error12", QStringLiteral("超程报警,")),
      GetLangString("utExeclthread", "Error13", QStringLiteral("异常报警,"))};
  // The list's own cell rule, run once for each combination of flags.
  for (unsigned mask = 0; mask < t.alarmCells.size(); ++mask) {
    tagChannelValue ch{};
    for (unsigned f = 0; f < 6; ++f) ch.Alarm[f] = static_cast<std::uint8_t>((mask >> f) & 1u);
    t.alarmCells[mask] = gbk::Encode(AlarmCellText(ch, alarms));
  }
  return t;
}

bool WriteExport(const ExportJob& job, ExportSink& sink) {
  Out out(sink);
  const Columns c = ColumnsOf(job.src);
  switch (ExportKindOf(job.reportType, job.src.modelCode)) {
    case ExportKind::Data:
      Heading(out, job.texts.recordTime, c);
      if (!DataRows(job, c, out)) return false;
      break;
    case ExportKind::Alarms:
      Heading(out, job.texts.recordTime, c);
      AlarmRows(job, c, out);
      break;
    case ExportKind::PowerFailures:
      PowerFailRows(job, out);
      break;
    case ExportKind::Energy:
      EnergyTotal(job, out);
      break;
    case ExportKind::Peaks:
      Peaks(job, c, out);
      break;
    case ExportKind::Averages:
      Averages(job, c, out);
      break;
    case ExportKind::Empty:
      break;
  }
  return out.Flush(true);
}

std::string ExportBytes(const ExportJob& job) {
  StringSink sink;
  WriteExport(job, sink);
  return sink.text;
}

std::int64_t ExportStartIndex(int reportType, std::int64_t windowFirst, std::int64_t dataPage,
                              std::int64_t step) {
  if (ExportKindOf(reportType, 0) != ExportKind::Data) return windowFirst;
  // Saturates: a start beyond every record gives the heading line only, never a wrap.
  std::int64_t offset = 0, start = 0;
  if (__builtin_mul_overflow(std::max<std::int64_t>(dataPage - 1, 0), EffectiveStep(step), &offset) ||
      __builtin_mul_overflow(offset, std::int64_t{kPageRows}, &offset))
    offset = INT64_MAX;
  if (__builtin_add_overflow(windowFirst, offset, &start)) start = INT64_MAX;
  return start;
}

QString ExportFileName(const QString& chosen) {
  return chosen.contains(QLatin1String(".xls")) ? chosen : chosen + QLatin1String(".xls");
}
