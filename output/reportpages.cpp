#include "output/reportpages.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "data/lanchg.h"
#include "reports/reportlists.h"
#include "reports/statistics.h"
#include "platform/datetime.h"
#include "platform/gbk.h"

namespace {

// The working buffers of a page: header cells and titles, and body cells.
constexpr std::size_t kHeaderBuffer = 128;
constexpr std::size_t kBodyBuffer = 1024;
// The first column's width sample of every report but the statistics of type 5.
constexpr int kTimeSampleBytes = 12;  // "2010-12-12 1"

QString Fit(const QString& text, std::size_t buffer) {
  // Plain ASCII shorter than the buffer (times, numbers) needs no conversion.
  if (static_cast<std::size_t>(text.size()) * 4 < buffer) return text;
  const std::string bytes = gbk::Encode(text);
  if (bytes.size() < buffer) return text;
  return gbk::Decode(gbk::FitBuffer(bytes, buffer));
}

int GbkLength(const QString& text) { return static_cast<int>(gbk::Encode(text).size()); }

// printf "%0.<d>f" with '.' whatever the locale.
QString Fixed(double value, int decimals) {
  if (std::isnan(value)) return std::signbit(value) ? QStringLiteral("-nan") : QStringLiteral("nan");
  if (std::isinf(value)) return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  return QString::fromLatin1(buf, static_cast<int>(res.ptr - buf));
}

std::int64_t Ceil(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

constexpr int kPeakGroup = 3;
constexpr int kAverageGroup = 5;

// Statistics groups take three bands each; a group fits while its last used band
// (the third for peaks, the second for averages) lies above the last rule.
std::int64_t GroupsFitting(int headerBand, int rules, int bandsUsed) {
  if (rules < kMinTableRules) return 0;
  const int room = rules - 1 - headerBand - bandsUsed;
  return room < 0 ? 0 : room / 3 + 1;
}

}  // namespace

ReportTexts ReportTexts::Load(int type, int modelCode) {
  ReportTexts t;
  t.device = GetLangString("frmfaterPrit", "Error1", "设备名称：");
  t.printTime = GetLangString("frmfaterPrit", "Error2", "打印时间：");
  t.timeRange = GetLangString("frmfaterPrit", "Error3", "时间范围：");
  t.unit = GetLangString("frmfaterPrit", "Error4", "单位名称：");
  t.recordTime = GetLangString("frmfaterPrit", "Error5", "记录时间");
  t.startTime = GetLangString("frmfaterPrit", "Error6", "开始时间");
  t.endTime = GetLangString("frmfaterPrit", "Error21", "结束时间");
  t.energy = GetLangString("utPubParam", "Error34", QStringLiteral("电量累计"));
  t.peakKind = GetLangString("frmfaterPrit", "Error17", "峰值类别");
  t.maximum = GetLangString("frmfaterPrit", "Error18", "最大值");
  t.minimum = GetLangString("frmfaterPrit", "Error19", "最小值");
  t.footerTime = GetLangString("frmfaterPrit", "Error22", "打印时间：");
  t.pageBefore = GetLangString("frmfaterPrit", "Error31", "第");
  t.pageAfter = GetLangString("frmfaterPrit", "Error23", "页");
  t.pageTotal = GetLangString("frmfaterPrit", "Error24", "共");
  t.alarms = {GetLangString("frmfaterPrit", "Error9", "上限报警,"),  GetLangString("frmfaterPrit", "Error10", "下限报警,"), GetLangString("frmfaterPrit", "Error11", "正偏报警,"),
              GetLangString("frmfaterPrit", "Error12", "负偏报警,"), GetLangString("frmfaterPrit", "Error13", "超程报警,"), GetLangString("frmfaterPrit", "Error14", "异常报警,")};
  switch (type) {
    case kReportData: t.title = GetLangString("frmfaterPrit", "Error7", "报表类型：数据报表"); break;
    case kReportAlarm: t.title = GetLangString("frmfaterPrit", "Error8", "报表类型：报警记录"); break;
    case kReportPowerFail: t.title = GetLangString("frmfaterPrit", "Error15", "报表类型：停电记录"); break;
    case kReportPeak:
      // The energy title has a key of its own: the export's heading of the same
      // name says something else.
      t.title = modelCode == 11 ? GetLangString("frmfaterPrit", "Error32", "报表类型：电量累计") : GetLangString("frmfaterPrit", "Error16", "报表类型：峰值统计");
      break;
    case kReportAverage: t.title = GetLangString("frmfaterPrit", "Error20", "报表类型：平均值统计"); break;
    default: break;
  }
  return t;
}

std::int64_t ReportContent::items() const {
  const auto m = static_cast<std::int64_t>(shown.size());
  switch (type) {
    case kReportData: return end - first;
    case kReportAlarm: return static_cast<std::int64_t>(alarmIndex.size());
    case kReportPowerFail: return static_cast<std::int64_t>(powerEntries.size());
    case kReportPeak: return energyTotal() ? 1 : Ceil(m, kPeakGroup);
    case kReportAverage: return Ceil(m, kAverageGroup);
    default: return 0;
  }
}

ReportContent BuildReportContent(const ReportSource& src, int type, std::int64_t first,
                                 std::int64_t end, std::int64_t step) {
  ReportContent c;
  c.type = type;
  c.src = src;
  const IndexRange r = ClampRange(first, end, src.records ? src.count : 0);
  c.first = r.first;
  c.end = r.end;
  c.step = std::max<std::int64_t>(step, 1);
  for (int k = 0; k < std::clamp(src.channelCount, 0, kMaxChannels); ++k)
    if (src.shown(k)) c.shown.push_back(k);
  switch (type) {
    case kReportAlarm: c.alarmIndex = CollectAlarmIndex(src, c.first, c.end); break;
    case kReportPowerFail: c.powerEntries = BuildPowerFailList(src, first, end); break;
    case kReportPeak:
      if (c.energyTotal()) c.energy = EnergySum(src, c.first, c.end);
      else c.peaks = PeaksOf(src, c.first, c.end);
      break;
    case kReportAverage: c.averages = AveragesOf(src, c.first, c.end); break;
    default: break;
  }
  c.texts = ReportTexts::Load(type, src.modelCode);
  return c;
}

ReportLayout LayoutReport(const ReportContent& c, const PageMetrics& m, int topPercent,
                          int bottomPercent, int leftPercent) {
  ReportLayout l;
  l.m = m;
  l.g = ComputeMargins(m.width, m.height, topPercent, bottomPercent, leftPercent);
  l.rules = RuleCount(l.g.usable, m.lineHeight);
  const int cw = m.charWidth;
  int sampleBytes = kTimeSampleBytes;
  if (c.type == kReportPeak) sampleBytes = c.energyTotal() ? GbkLength(c.texts.startTime) : 0;
  l.x0 = sampleBytes * cw + cw / 2 + l.g.left;
  const int shown = static_cast<int>(c.shown.size());
  l.columnWidth = shown > 0 ? (m.width - l.g.left - l.x0) / shown : 0;

  switch (c.type) {
    case kReportData:
    case kReportAlarm: l.cap = RecordCapacity(l.rules, c.step); break;
    case kReportPowerFail: {
      // Columns as wide as the time column, as many as fit inside the ruled area.
      const int v = l.x0 - l.g.left;
      const int room = m.width - l.g.left - l.x0;
      l.powerColumns = v > 0 && room >= 0 ? 1 + room / v : 1;
      l.cap = {std::int64_t{l.powerColumns} * LinesOnPage(1, l.rules),
               std::int64_t{l.powerColumns} * LinesOnPage(2, l.rules)};
      break;
    }
    case kReportPeak:
      if (c.energyTotal()) l.cap = {l.rules >= kMinTableRules ? 1 : 0, 0};
      else l.cap = {GroupsFitting(3, l.rules, 3), GroupsFitting(0, l.rules, 3)};
      break;
    case kReportAverage: l.cap = {GroupsFitting(3, l.rules, 2), GroupsFitting(0, l.rules, 2)}; break;
    default: break;
  }
  l.pageCount = PageCountFor(c.items(), l.cap);
  return l;
}

namespace {

// One page being drawn.
struct PageDraw {
  PageCanvas& cv;
  const ReportContent& c;
  const ReportLayout& l;
  std::int64_t page;
  const QString& printTime;

  int W() const { return l.m.width; }
  int LH() const { return l.m.lineHeight; }
  int CW() const { return l.m.charWidth; }
  int L() const { return l.g.left; }
  int h() const { return HeaderBand(page); }
  int BandY(int band) const { return BandTextY(l.g, LH(), band); }
  int LineY(std::int64_t line) const { return BandY(h() + 1 + static_cast<int>(line)); }
  void Rule(int x) { cv.Line(x, RuleY(l.g, LH(), h()), x, RuleY(l.g, LH(), l.rules - 1)); }
  void Cell(int left, int y, const QString& text) { cv.Text(left + CW() / 2, y, text); }
  static int Trunc(double v) { return static_cast<int>(v); }

  void Grid();
  void Header();
  void Body();
  void Records();
  void PowerFailures();
  void Energy();
  void Peaks();
  void Averages();
  void Footer();
};

void PageDraw::Grid() {
  cv.Frame(l.m.width, l.m.height);
  if (l.rules <= 0) return;
  for (int j = 0; j < l.rules; ++j) {
    const int y = RuleY(l.g, LH(), j);
    cv.Line(L(), y, W() - L(), y);
  }
  const int top = l.g.top, bottom = RuleY(l.g, LH(), l.rules - 1);
  cv.Line(L(), top, L(), bottom);
  cv.Line(W() - L(), top, W() - L(), bottom);
}

void PageDraw::Header() {
  const ReportTexts& t = c.texts;
  cv.SetFont(8, true);
  cv.Text(L() + CW() / 2, BandY(0), Fit(t.device + c.deviceName, kHeaderBuffer));
  cv.Text((W() - 2 * L()) / 2 + 3 * CW(), BandY(0), Fit(t.printTime + printTime, kHeaderBuffer));
  cv.Text(L() + CW() / 2, BandY(1), Fit(t.timeRange + c.rangeText, kHeaderBuffer));
  cv.Text(L() + CW() / 2, BandY(2), Fit(t.unit + c.unitName, kHeaderBuffer));
}

void PageDraw::Body() {
  const ReportTexts& t = c.texts;
  const int headerY = BandY(h());
  cv.SetFont(9, false);
  if (c.type == kReportData || c.type == kReportAlarm || c.type == kReportPowerFail)
    Cell(L(), headerY, Fit(t.recordTime, kHeaderBuffer));
  else if (c.type == kReportAverage || c.energyTotal())
    Cell(L(), headerY, Fit(t.startTime, kHeaderBuffer));
  if (c.type != kReportPeak) Rule(l.x0);

  switch (c.type) {
    case kReportData:
    case kReportAlarm: Records(); break;
    case kReportPowerFail: PowerFailures(); break;
    case kReportPeak: c.energyTotal() ? Energy() : Peaks(); break;
    case kReportAverage: Averages(); break;
    default: break;
  }
}

void PageDraw::Records() {
  const int headerY = BandY(h());
  const int d = l.columnWidth;
  for (std::size_t j = 0; j < c.shown.size(); ++j) {
    const int x = l.x0 + static_cast<int>(j) * d;
    Cell(x, headerY, Fit(c.src.channelName(c.shown[j]), kHeaderBuffer));
    if (j >= 1) Rule(x);
  }
  cv.SetFont(8, false);
  const ItemRange items = ItemsOfPage(page, c.items(), l.cap);
  std::int64_t line = 0;
  for (std::int64_t it = items.first; it < items.end; it += c.step, ++line) {
    const std::int64_t index = c.type == kReportData ? c.first + it : c.alarmIndex[static_cast<std::size_t>(it)];
    const tagDataRecord& rec = c.src.records[index];
    const int y = LineY(line);
    Cell(L(), y, c.src.timeText(index));
    for (std::size_t j = 0; j < c.shown.size(); ++j) {
      const int x = l.x0 + static_cast<int>(j) * d;
      const tagChannelValue& ch = rec.Channel[c.shown[j]];
      if (c.type == kReportData) Cell(x, y, Fixed(ch.Value, 1));
      else if (rec.Marker == 0) Cell(x, y, Fit(AlarmCellText(ch, c.texts.alarms), kBodyBuffer));
    }
  }
}

void PageDraw::PowerFailures() {
  const int headerY = BandY(h());
  const int v = l.x0 - L();
  const int lines = LinesOnPage(page, l.rules);
  const ItemRange items = ItemsOfPage(page, c.items(), l.cap);
  if (lines <= 0) return;
  auto columnLeft = [&](std::int64_t col) {
    return col == 0 ? L() : l.x0 + static_cast<int>(col - 1) * v;
  };
  // Every further column that holds an entry of this page gets its header and rule.
  const std::int64_t used = items.end > items.first ? (items.end - items.first - 1) / lines + 1 : 0;
  if (used > 1) cv.SetFont(8, true);
  for (std::int64_t col = 1; col < used; ++col) {
    cv.Text(columnLeft(col) + CW() / 2, headerY, QStringLiteral("记录时间"));
    Rule(columnLeft(col));
  }
  cv.SetFont(9, false);
  for (std::int64_t it = items.first; it < items.end; ++it) {
    const std::int64_t slot = it - items.first;
    Cell(columnLeft(slot / lines), LineY(slot % lines), c.powerEntries[static_cast<std::size_t>(it)]);
  }
}

void PageDraw::Energy() {
  const ReportTexts& t = c.texts;
  const double x0 = l.x0;
  const int headerY = BandY(h());
  cv.Text(Trunc(1.8 * x0), headerY, Fit(t.endTime, kHeaderBuffer));
  cv.Text(Trunc(1.8 * x0 + 1.81 * x0), headerY, Fit(t.energy, kHeaderBuffer));
  Rule(Trunc(1.78 * x0));
  Rule(Trunc(1.78 * x0 + 1.8 * x0));
  if (ItemsOfPage(page, c.items(), l.cap).end == 0) return;
  const int y = BandY(h() + 1);
  Cell(L(), y, c.src.timeText(c.first));
  if (c.end > c.first) cv.Text(Trunc(1.8 * x0), y, c.src.timeText(c.end - 1));
  cv.Text(Trunc(1.8 * x0 + 1.81 * x0), y, Fixed(c.energy, 2));
}

void PageDraw::Peaks() {
  const ReportTexts& t = c.texts;
  const QString kind = Fit(t.peakKind, kHeaderBuffer);
  const int gx = (GbkLength(kind) - 2) * CW() + CW() + L();
  const int dg = (W() - gx - L()) / kPeakGroup;
  const ItemRange groups = ItemsOfPage(page, c.items(), l.cap);
  for (std::int64_t g = groups.first; g < groups.end; ++g) {
    const int band = h() + 3 * static_cast<int>(g - groups.first);
    cv.SetFont(8, true);
    Cell(L(), BandY(band), kind);
    for (int j = 0; j < kPeakGroup; ++j) {
      const std::size_t n = static_cast<std::size_t>(g * kPeakGroup + j);
      if (n >= c.shown.size()) break;
      const int channel = c.shown[n];
      const int x = gx + j * dg;
      cv.SetFont(8, true);
      cv.Text(x, BandY(band), Fit(c.src.channelName(channel), kHeaderBuffer));
      Rule(x - CW() / 2);
      cv.SetFont(8, false);
      if (!c.peaks.seeded) continue;  // no ordinary record: empty cells, as the list shows
      const ChannelPeaks& p = c.peaks;
      const auto k = static_cast<std::size_t>(channel);
      cv.Text(x - CW() / 4, BandY(band + 1), c.src.timeText(p.maxAt[k]) + "=>" + Fixed(p.max[k], 1));
      cv.Text(x - CW() / 4, BandY(band + 2), c.src.timeText(p.minAt[k]) + "=>" + Fixed(p.min[k], 1));
    }
    cv.SetFont(8, false);
    Cell(L(), BandY(band + 1), Fit(t.maximum, kHeaderBuffer));
    Cell(L(), BandY(band + 2), Fit(t.minimum, kHeaderBuffer));
  }
}

void PageDraw::Averages() {
  Cell(l.x0, BandY(h()), Fit(c.texts.endTime, kHeaderBuffer));
  const int gx = 2 * l.x0;
  const int dg = (W() - L() - 2 * l.x0) / kAverageGroup;
  const ItemRange groups = ItemsOfPage(page, c.items(), l.cap);
  for (std::int64_t g = groups.first; g < groups.end; ++g) {
    const int band = h() + 3 * static_cast<int>(g - groups.first);
    // Every group's value line carries the start and end times.
    cv.SetFont(8, false);
    Cell(L(), BandY(band + 1), c.src.timeText(c.first));
    if (c.end > c.first) Cell(l.x0, BandY(band + 1), c.src.timeText(c.end - 1));
    for (int j = 0; j < kAverageGroup; ++j) {
      const std::size_t n = static_cast<std::size_t>(g * kAverageGroup + j);
      if (n >= c.shown.size()) break;
      const int channel = c.shown[n];
      const int x = gx + j * dg;
      cv.SetFont(8, true);
      Cell(x, BandY(band), Fit(c.src.channelName(channel), kHeaderBuffer));
      cv.SetFont(8, false);
      Rule(x);
      // Without an ordinary record there is no mean: an empty cell, as the list shows.
      if (c.averages.ordinary > 0) Cell(x, BandY(band + 1), Fixed(c.averages.mean(channel), 2));
    }
  }
}

void PageDraw::Footer() {
  const ReportTexts& t = c.texts;
  const int y = Trunc(6.3 * LH() + l.g.top + 2.0 * LH() * (l.rules - 4));
  cv.Text(L() + CW() / 2, y, Fit(t.footerTime + printTime, kHeaderBuffer));
  // "%s %d %s/%s %d %s": with the default texts, "第 2 页/共 5 页".
  const QString pageText = t.pageBefore + ' ' + QString::number(page) + ' ' + t.pageAfter + '/' +
                           t.pageTotal + ' ' + QString::number(l.pageCount) + ' ' + t.pageAfter;
  cv.Text(Trunc((W() - 2 * L()) - 10.5 * CW()), y, Fit(pageText, kHeaderBuffer));
  cv.Text(W() / 2 - 5 * CW(), y, Fit(t.title, kHeaderBuffer));
}

}  // namespace

void DrawReportPage(PageCanvas& canvas, const ReportContent& content, const ReportLayout& layout,
                    std::int64_t page, const QString& printTime) {
  PageDraw d{canvas, content, layout, std::max<std::int64_t>(page, 1), printTime};
  d.Grid();
  // The header block needs its three bands; the table needs room for a line.
  if (d.page == 1 && layout.rules >= 4) d.Header();
  if (layout.rules >= kMinTableRules) d.Body();
  else canvas.SetFont(9, false);
  d.Footer();
}

std::int64_t PrintStartPage(const ReportContent& content, const ReportLayout& preview,
                            std::int64_t shownPage, const ReportLayout& paper) {
  if (shownPage <= 1) return 1;
  const std::int64_t items = content.items();
  const ItemRange shown = ItemsOfPage(shownPage, items, preview.cap);
  if (shown.first >= items) return paper.pageCount + 1;  // nothing left to print
  return std::min(PageOfItem(shown.first, paper.cap), paper.pageCount);
}

QString PrintTimeText() { return DateTimeToStr(NowDateTime()); }
