#include "output/reportpages.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "data/lanchg.h"
#include "output/pagefont.h"
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
// An average over records that are all markers (or none).
const QString kNoMean = QStringLiteral("0.0");

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

}  // namespace

QString NumberThatFits(const PageFont& font, const QString& prefix, double value, int decimals, int room) {
  for (int d = decimals; d >= 0; --d) {
    const QString text = prefix + Fixed(value, d);
    if (font.Width(text) <= room) return text;
  }
  QString marks;
  while (marks.size() < 64 && font.Width(marks + u'#') <= room) marks += u'#';
  return marks;  // empty where not even one mark fits: nothing is drawn over the rule
}

namespace {

std::int64_t Ceil(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }
int Trunc(double v) { return static_cast<int>(v); }

constexpr int kPeakGroup = 3;
constexpr int kAverageGroup = 5;

// Statistics groups take three bands each; a group fits while its last used band
// (the third for peaks, the second for averages) lies above the last rule.
std::int64_t GroupsFitting(int headerBand, int rules, int bandsUsed) {
  if (rules < kMinTableRules) return 0;
  const int room = rules - 1 - headerBand - bandsUsed;
  return room < 0 ? 0 : room / 3 + 1;
}

// The widest texts a data report's channel cells hold: the extremes of the values it
// prints (a longer number has more digits), and whether a marker row shows.
void ScanDataCells(ReportContent& c) {
  double hi = 0, lo = 0;
  bool any = false, odd = false;
  for (std::int64_t i = c.first; i < c.end; i += c.step) {
    const tagDataRecord& rec = c.src.records[i];
    if (rec.Marker != 0) {
      c.markerRows = true;
      continue;
    }
    for (int k : c.shown) {
      const double v = rec.Channel[k].Value;
      if (!std::isfinite(v)) odd = true;
      else if (!any) hi = lo = v, any = true;
      else hi = std::max(hi, v), lo = std::min(lo, v);
    }
  }
  if (any) c.widestCells = {Fixed(hi, 1), Fixed(lo, 1)};
  if (odd) c.widestCells.push_back(QStringLiteral("-nan"));
}

// The alarm cells that occur: the texts of each combination of flags present, and each
// alarm text on its own.
void ScanAlarmCells(ReportContent& c) {
  std::uint64_t present = 0;
  for (std::int32_t index : c.alarmIndex)
    for (int k : c.shown) {
      const tagChannelValue& ch = c.src.records[index].Channel[k];
      unsigned mask = 0;
      for (int f = 0; f < 6; ++f) mask |= (ch.Alarm[f] != 0 ? 1u : 0u) << f;
      present |= std::uint64_t{1} << mask;
    }
  tagChannelValue ch{};
  unsigned flags = 0;
  for (unsigned mask = 1; mask < 64; ++mask) {
    if (!(present & (std::uint64_t{1} << mask))) continue;
    for (int f = 0; f < 6; ++f) ch.Alarm[f] = (mask >> f) & 1u;
    QStringList texts = AlarmCellTexts(ch, c.texts.alarms);
    for (QString& t : texts) t = Fit(t, kBodyBuffer);
    c.alarmCells.push_back(texts);
    flags |= mask;
  }
  for (int f = 0; f < 6; ++f)
    if (flags & (1u << f)) c.widestCells.push_back(Fit(c.texts.alarms[static_cast<std::size_t>(f)], kBodyBuffer));
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
  t.powerFail = PowerFailText();
  t.alarms = {GetLangString("frmfaterPrit", "Error9", "上限报警,"),  GetLangString("frmfaterPrit", "Error10", "下限报警,"),
              GetLangString("frmfaterPrit", "Error11", "正偏报警,"), GetLangString("frmfaterPrit", "Error12", "负偏报警,"),
              GetLangString("frmfaterPrit", "Error13", "超程报警,"), GetLangString("frmfaterPrit", "Error14", "异常报警,")};
  switch (type) {
    case kReportData: t.title = GetLangString("frmfaterPrit", "Error7", "报表类型：数据报表"); break;
    case kReportAlarm: t.title = GetLangString("frmfaterPrit", "Error8", "报表类型：报警记录"); break;
    case kReportPowerFail: t.title = GetLangString("frmfaterPrit", "Error15", "报表类型：停电记录"); break;
    case kReportPeak:
      // The energy total shares its title with the export's heading of the same report.
      t.title = modelCode == 11 ? GetLangString("utExeclthread", "Error14", "报表类型：电量累计")
                                : GetLangString("frmfaterPrit", "Error16", "报表类型：峰值统计");
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
  c.texts = ReportTexts::Load(type, src.modelCode);
  c.timeSample = src.records && src.count > 0 ? src.timeText(std::min<std::int64_t>(c.first, src.count - 1))
                                              : QStringLiteral("0000-00-00 00:00:00");
  switch (type) {
    case kReportData: ScanDataCells(c); break;
    case kReportAlarm:
      c.alarmIndex = CollectAlarmIndex(src, c.first, c.end);
      ScanAlarmCells(c);
      break;
    case kReportPowerFail: c.powerEntries = BuildPowerFailList(src, first, end); break;
    case kReportPeak:
      if (c.energyTotal()) {
        c.energy = EnergySum(src, c.first, c.end);
        c.widestCells = {Fixed(c.energy, 2)};
      } else {
        c.peaks = PeaksOf(src, c.first, c.end);
        if (c.peaks.seeded)
          for (int k : c.shown) {
            const auto n = static_cast<std::size_t>(k);
            c.widestCells.push_back(src.timeText(c.peaks.maxAt[n]) + "=>" + Fixed(c.peaks.max[n], 1));
            c.widestCells.push_back(src.timeText(c.peaks.minAt[n]) + "=>" + Fixed(c.peaks.min[n], 1));
          }
      }
      break;
    case kReportAverage:
      c.averages = AveragesOf(src, c.first, c.end);
      if (c.averages.ordinary > 0)
        for (int k : c.shown) c.widestCells.push_back(Fixed(c.averages.mean(k), 2));
      else
        c.widestCells.push_back(kNoMean);
      break;
    default: break;
  }
  return c;
}

namespace {

// Where the columns of a statistics page lie (left edges; the cells of a group follow at
// steps of `cell`), from the layout's W, L, CW and X0.
struct StatColumns {
  int first = 0;  // right edge of the label column
  int groupX = 0; // x of the first group cell
  int cell = 0;   // width of a group cell
};
StatColumns PeakColumns(const ReportLayout& l, const ReportTexts& t) {
  const int cw = l.m.charWidth;
  const int gx = (GbkLength(Fit(t.peakKind, kHeaderBuffer)) - 2) * cw + cw + l.g.left;
  return {gx - cw / 2, gx, (l.m.width - gx - l.g.left) / kPeakGroup};
}
StatColumns AverageColumns(const ReportLayout& l) {
  return {l.x0, 2 * l.x0, (l.m.width - l.g.left - 2 * l.x0) / kAverageGroup};
}
// The energy total's three columns: rules and text positions.
struct EnergyColumns {
  int rule1, rule2, text1, text2;
};
EnergyColumns EnergyCols(const ReportLayout& l) {
  const double x0 = l.x0;
  return {Trunc(1.78 * x0), Trunc(1.78 * x0 + 1.8 * x0), Trunc(1.8 * x0), Trunc(1.8 * x0 + 1.81 * x0)};
}

// The room of a text drawn at x in a cell that ends at right.
int Room(const ReportLayout& l, int x, int right) { return right - x - l.gap; }

// The first column and the channel columns for a table character width.
void TableColumns(ReportLayout& l, const ReportContent& c, int tableCw) {
  l.tableCw = std::max(1, tableCw);
  l.gap = std::max(1, l.tableCw / 4);
  int sampleBytes = kTimeSampleBytes;
  if (c.type == kReportPeak) sampleBytes = c.energyTotal() ? GbkLength(c.texts.startTime) : 0;
  l.x0 = sampleBytes * l.tableCw + l.tableCw / 2 + l.g.left;
  const int shown = static_cast<int>(c.shown.size());
  l.columnWidth = shown > 0 ? (l.m.width - l.g.left - l.x0) / shown : 0;
}

// What the texts of each font of the table need.
struct Needs {
  std::vector<FitNeed> head, group, body;
};

Needs TableNeeds(ReportLayout& l, const ReportContent& c) {
  const int cw = l.tableCw, left = l.g.left, in = cw / 2;
  const ReportTexts& t = c.texts;
  Needs n;
  auto cells = [&](std::vector<FitNeed>& to, int room) {
    for (const QString& s : c.widestCells) to.push_back({s, room});
  };
  auto names = [&](std::vector<FitNeed>& to, int room) {
    for (int k : c.shown) to.push_back({Fit(c.src.channelName(k), kHeaderBuffer), room});
  };
  const int firstRoom = Room(l, left + in, l.x0);
  switch (c.type) {
    case kReportData:
    case kReportAlarm:
      n.head.push_back({t.recordTime, firstRoom});
      n.body.push_back({c.timeSample, firstRoom});
      if (c.markerRows && c.type == kReportData) n.body.push_back({t.powerFail, firstRoom});
      names(n.head, Room(l, in, l.columnWidth));
      cells(n.body, Room(l, in, l.columnWidth));
      break;
    case kReportPowerFail: {
      const int v = l.x0 - left;
      n.head.push_back({t.recordTime, firstRoom});
      n.group.push_back({QStringLiteral("记录时间"), Room(l, in, v)});
      n.body.push_back({c.timeSample, Room(l, in, v)});
      break;
    }
    case kReportPeak:
      if (c.energyTotal()) {
        const EnergyColumns e = EnergyCols(l);
        const int r0 = Room(l, left + in, e.rule1), r1 = Room(l, e.text1, e.rule2),
                  r2 = Room(l, e.text2, l.m.width - left);
        n.head = {{t.startTime, r0}, {t.endTime, r1}, {t.energy, r2}};
        n.body = {{c.timeSample, r0}, {c.timeSample, r1}};
        cells(n.body, r2);
      } else {
        const StatColumns s = PeakColumns(l, t);
        const int labels = Room(l, left + in, s.first);
        n.group.push_back({t.peakKind, labels});
        names(n.group, Room(l, 0, s.cell - in));
        n.body = {{t.maximum, labels}, {t.minimum, labels}};
        cells(n.body, Room(l, -cw / 4, s.cell - in));
      }
      break;
    case kReportAverage: {
      const StatColumns s = AverageColumns(l);
      n.head = {{t.startTime, firstRoom}, {t.endTime, Room(l, l.x0 + in, s.groupX)}};
      n.body = {{c.timeSample, firstRoom}, {c.timeSample, Room(l, l.x0 + in, s.groupX)}};
      names(n.group, Room(l, in, s.cell));
      cells(n.body, Room(l, in, s.cell));
      break;
    }
    default: break;
  }
  return n;
}

// Lines of a font of the given height that fit in a band of 2·LH, clear of its rules;
// at least 1.
int LinesInBand(int fontHeight, int lineHeight) {
  const int clear = std::max(1, lineHeight / 16);
  return fontHeight > 0 ? std::max(1, (2 * lineHeight - 2 * clear) / fontHeight) : 1;
}

// The top of line i of n lines stacked in the middle of band b.
int StackedLineY(const PageMargins& g, int lineHeight, int band, int fontHeight, int i, int n) {
  return RuleY(g, lineHeight, band) + (2 * lineHeight - n * fontHeight) / 2 + i * fontHeight;
}

// Every kind of alarm cell either fits on one line or has a line for each of its texts
// (that each text fits its line on its own is a need of the body). A cell with more
// texts than even the smallest font stacks in a band cannot be shown whole at any size:
// it ends in "…" and does not shrink the table for the others.
bool AlarmCellsFit(const ReportLayout& l, const ReportContent& c, const PageFont& font) {
  const int room = Room(l, l.tableCw / 2, l.columnWidth);
  const int lines = LinesInBand(font.height, l.m.lineHeight);
  const int most = LinesInBand(GetPageFont(kMinPoints, false, l.m.unitsPerInchY).height, l.m.lineHeight);
  return std::all_of(c.alarmCells.begin(), c.alarmCells.end(), [&](const QStringList& texts) {
    return texts.size() <= lines || texts.size() > most || font.Width(texts.join(QString())) <= room;
  });
}

// Lays the table out at its designed font, or at the largest smaller one at which every
// column's widest text fits (the data and alarm tables narrowing with their font), and
// shrinks the headers to what fits there.
void FitTable(ReportLayout& l, const ReportContent& c) {
  const double dpi = l.m.unitsPerInchY;
  const double designed = c.type == kReportPowerFail || c.energyTotal() ? 9 : 8;
  const bool narrows = c.type == kReportData || c.type == kReportAlarm;
  Needs n;
  l.bodyPoints = kMinPoints;
  for (double p = designed; p >= kMinPoints; p -= kPointStep) {
    TableColumns(l, c, narrows ? static_cast<int>(l.m.charWidth * p / designed) : l.m.charWidth);
    n = TableNeeds(l, c);
    if (TextsFit(p, false, dpi, n.body) && AlarmCellsFit(l, c, GetPageFont(p, false, dpi))) {
      l.bodyPoints = p;
      break;
    }
  }
  l.bodyLines = LinesInBand(GetPageFont(l.bodyPoints, false, dpi).height, l.m.lineHeight);
  l.footPoints = designed;
  l.headPoints = FitPoints(9, false, dpi, n.head);
  l.groupPoints = FitPoints(8, true, dpi, n.group);
}

}  // namespace

ReportLayout LayoutReport(const ReportContent& c, const PageMetrics& m, int topPercent,
                          int bottomPercent, int leftPercent) {
  ReportLayout l;
  l.m = m;
  l.g = ComputeMargins(m.width, m.height, topPercent, bottomPercent, leftPercent);
  l.rules = RuleCount(l.g.usable, m.lineHeight);
  TableColumns(l, c, m.charWidth);
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
  FitTable(l, c);
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
  const PageFont* font = nullptr;

  int W() const { return l.m.width; }
  int LH() const { return l.m.lineHeight; }
  int CW() const { return l.m.charWidth; }
  int L() const { return l.g.left; }
  int h() const { return HeaderBand(page); }
  int BandY(int band) const { return BandTextY(l.g, LH(), band); }
  int LineY(std::int64_t line) const { return BandY(h() + 1 + static_cast<int>(line)); }
  void Rule(int x) { cv.Line(x, RuleY(l.g, LH(), h()), x, RuleY(l.g, LH(), l.rules - 1)); }
  void Font(double points, bool bold) {
    cv.SetFont(points, bold);
    font = &GetPageFont(points, bold, l.m.unitsPerInchY);
  }
  // A text at x, cut to what fits before `right` (the cell's right edge).
  void Put(int x, int y, const QString& text, int right) {
    if (!text.isEmpty()) cv.Text(x, y, font->Cut(text, Room(l, x, right)));
  }
  // A table text inset by half a character in the cell [left, right).
  void Cell(int left, int right, int y, const QString& text) { Put(left + l.tableCw / 2, y, text, right); }
  // A value at x before `right`, after `prefix` (a time), as NumberThatFits gives it.
  void Value(int x, int y, const QString& prefix, double value, int decimals, int right) {
    cv.Text(x, y, NumberThatFits(*font, prefix, value, decimals, Room(l, x, right)));
  }
  void ValueCell(int left, int right, int y, double value, int decimals) {
    Value(left + l.tableCw / 2, y, QString(), value, decimals, right);
  }
  // A header or footer row, its cells placed from their widths.
  void Row(int y, std::vector<RowCell> cells) {
    const int gap = std::max(1, CW() / 4);
    for (const RowCell& r : PlaceRow(std::move(cells), *font, W() - L() - gap, gap))
      if (!r.text.isEmpty()) cv.Text(r.x, y, r.text);
  }

  // An alarm cell in band b: its texts on one line, or stacked a line each.
  void AlarmCell(int left, int right, int band, const tagChannelValue& ch) {
    QStringList texts = AlarmCellTexts(ch, c.texts.alarms);
    for (QString& t : texts) t = Fit(t, kBodyBuffer);
    const int x = left + l.tableCw / 2;
    const std::vector<QString> lines = StackTexts(*font, texts, Room(l, x, right), l.bodyLines);
    if (lines.size() == 1) return Put(x, BandY(band), lines.front(), right);
    const int n = static_cast<int>(lines.size());
    for (int i = 0; i < n; ++i)
      if (!lines[static_cast<std::size_t>(i)].isEmpty())
        cv.Text(x, StackedLineY(l.g, LH(), band, font->height, i, n), lines[static_cast<std::size_t>(i)]);
  }

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
  Font(8, true);
  Row(BandY(0), {{L() + CW() / 2, Fit(t.device + c.deviceName, kHeaderBuffer)},
                 {(W() - 2 * L()) / 2 + 3 * CW(), Fit(t.printTime + printTime, kHeaderBuffer)}});
  Row(BandY(1), {{L() + CW() / 2, Fit(t.timeRange + c.rangeText, kHeaderBuffer)}});
  Row(BandY(2), {{L() + CW() / 2, Fit(t.unit + c.unitName, kHeaderBuffer)}});
}

void PageDraw::Body() {
  const ReportTexts& t = c.texts;
  const int headerY = BandY(h());
  Font(l.headPoints, false);
  const int firstRight = c.type == kReportPeak ? EnergyCols(l).rule1 : l.x0;
  if (c.type == kReportData || c.type == kReportAlarm || c.type == kReportPowerFail)
    Cell(L(), firstRight, headerY, Fit(t.recordTime, kHeaderBuffer));
  else if (c.type == kReportAverage || c.energyTotal())
    Cell(L(), firstRight, headerY, Fit(t.startTime, kHeaderBuffer));
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
    Cell(x, x + d, headerY, Fit(c.src.channelName(c.shown[j]), kHeaderBuffer));
    if (j >= 1) Rule(x);
  }
  Font(l.bodyPoints, false);
  const ItemRange items = ItemsOfPage(page, c.items(), l.cap);
  std::int64_t line = 0;
  for (std::int64_t it = items.first; it < items.end; it += c.step, ++line) {
    const std::int64_t index = c.type == kReportData ? c.first + it : c.alarmIndex[static_cast<std::size_t>(it)];
    const tagDataRecord& rec = c.src.records[index];
    const int y = LineY(line);
    // A marker row reads as the data list shows it: the power-failure text, no values.
    if (c.type == kReportData && rec.Marker != 0) {
      Cell(L(), l.x0, y, c.texts.powerFail);
      continue;
    }
    Cell(L(), l.x0, y, c.src.timeText(index));
    for (std::size_t j = 0; j < c.shown.size(); ++j) {
      const int x = l.x0 + static_cast<int>(j) * d;
      const tagChannelValue& ch = rec.Channel[c.shown[j]];
      if (c.type == kReportData) ValueCell(x, x + d, y, ch.Value, 1);
      else if (rec.Marker == 0) AlarmCell(x, x + d, h() + 1 + static_cast<int>(line), ch);
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
  if (used > 1) Font(l.groupPoints, true);
  for (std::int64_t col = 1; col < used; ++col) {
    Cell(columnLeft(col), columnLeft(col) + v, headerY, QStringLiteral("记录时间"));
    Rule(columnLeft(col));
  }
  Font(l.bodyPoints, false);
  for (std::int64_t it = items.first; it < items.end; ++it) {
    const std::int64_t slot = it - items.first;
    const int left = columnLeft(slot / lines);
    Cell(left, left + v, LineY(slot % lines), c.powerEntries[static_cast<std::size_t>(it)]);
  }
}

void PageDraw::Energy() {
  const ReportTexts& t = c.texts;
  const EnergyColumns e = EnergyCols(l);
  const int headerY = BandY(h());
  Put(e.text1, headerY, Fit(t.endTime, kHeaderBuffer), e.rule2);
  Put(e.text2, headerY, Fit(t.energy, kHeaderBuffer), W() - L());
  Rule(e.rule1);
  Rule(e.rule2);
  if (ItemsOfPage(page, c.items(), l.cap).end == 0) return;
  Font(l.bodyPoints, false);
  const int y = BandY(h() + 1);
  Cell(L(), e.rule1, y, c.src.timeText(c.first));
  if (c.end > c.first) Put(e.text1, y, c.src.timeText(c.end - 1), e.rule2);
  Value(e.text2, y, QString(), c.energy, 2, W() - L());
}

void PageDraw::Peaks() {
  const ReportTexts& t = c.texts;
  const QString kind = Fit(t.peakKind, kHeaderBuffer);
  const StatColumns s = PeakColumns(l, t);
  const ItemRange groups = ItemsOfPage(page, c.items(), l.cap);
  for (std::int64_t g = groups.first; g < groups.end; ++g) {
    const int band = h() + 3 * static_cast<int>(g - groups.first);
    Font(l.groupPoints, true);
    Cell(L(), s.first, BandY(band), kind);
    for (int j = 0; j < kPeakGroup; ++j) {
      const std::size_t n = static_cast<std::size_t>(g * kPeakGroup + j);
      if (n >= c.shown.size()) break;
      const int channel = c.shown[n];
      const int x = s.groupX + j * s.cell;
      const int right = x + s.cell - CW() / 2;  // the next cell's rule
      Font(l.groupPoints, true);
      Put(x, BandY(band), Fit(c.src.channelName(channel), kHeaderBuffer), right);
      Rule(x - CW() / 2);
      Font(l.bodyPoints, false);
      if (!c.peaks.seeded) continue;  // no ordinary record: empty cells, as the list shows
      const ChannelPeaks& p = c.peaks;
      const auto k = static_cast<std::size_t>(channel);
      Value(x - CW() / 4, BandY(band + 1), c.src.timeText(p.maxAt[k]) + "=>", p.max[k], 1, right);
      Value(x - CW() / 4, BandY(band + 2), c.src.timeText(p.minAt[k]) + "=>", p.min[k], 1, right);
    }
    Font(l.bodyPoints, false);
    Cell(L(), s.first, BandY(band + 1), Fit(t.maximum, kHeaderBuffer));
    Cell(L(), s.first, BandY(band + 2), Fit(t.minimum, kHeaderBuffer));
  }
}

void PageDraw::Averages() {
  const StatColumns s = AverageColumns(l);
  Cell(l.x0, s.groupX, BandY(h()), Fit(c.texts.endTime, kHeaderBuffer));
  const ItemRange groups = ItemsOfPage(page, c.items(), l.cap);
  for (std::int64_t g = groups.first; g < groups.end; ++g) {
    const int band = h() + 3 * static_cast<int>(g - groups.first);
    // Every group's value line carries the start and end times.
    Font(l.bodyPoints, false);
    Cell(L(), l.x0, BandY(band + 1), c.src.timeText(c.first));
    if (c.end > c.first) Cell(l.x0, s.groupX, BandY(band + 1), c.src.timeText(c.end - 1));
    for (int j = 0; j < kAverageGroup; ++j) {
      const std::size_t n = static_cast<std::size_t>(g * kAverageGroup + j);
      if (n >= c.shown.size()) break;
      const int channel = c.shown[n];
      const int x = s.groupX + j * s.cell;
      Font(l.groupPoints, true);
      Cell(x, x + s.cell, BandY(band), Fit(c.src.channelName(channel), kHeaderBuffer));
      Font(l.bodyPoints, false);
      Rule(x);
      // Without an ordinary record there is no mean; the paper says so as the export
      // does, where the screen list leaves the cell empty.
      if (c.averages.ordinary > 0) ValueCell(x, x + s.cell, BandY(band + 1), c.averages.mean(channel), 2);
      else Cell(x, x + s.cell, BandY(band + 1), kNoMean);
    }
  }
}

void PageDraw::Footer() {
  const ReportTexts& t = c.texts;
  const int y = Trunc(6.3 * LH() + l.g.top + 2.0 * LH() * (l.rules - 4));
  Font(l.footPoints, false);
  // "%s %d %s/%s %d %s": with the default texts, "第 2 页/共 5 页".
  const QString pageText = t.pageBefore + ' ' + QString::number(page) + ' ' + t.pageAfter + '/' +
                           t.pageTotal + ' ' + QString::number(l.pageCount) + ' ' + t.pageAfter;
  std::vector<RowCell> cells{{L() + CW() / 2, Fit(t.footerTime + printTime, kHeaderBuffer)},
                             {W() / 2 - 5 * CW(), Fit(t.title, kHeaderBuffer)},
                             {Trunc((W() - 2 * L()) - 10.5 * CW()), Fit(pageText, kHeaderBuffer)}};
  std::stable_sort(cells.begin(), cells.end(), [](const RowCell& a, const RowCell& b) { return a.x < b.x; });
  Row(y, std::move(cells));
}

}  // namespace

void DrawReportPage(PageCanvas& canvas, const ReportContent& content, const ReportLayout& layout,
                    std::int64_t page, const QString& printTime) {
  PageDraw d{canvas, content, layout, std::max<std::int64_t>(page, 1), printTime};
  d.Grid();
  // The header block needs its three bands; the table needs room for a line.
  if (d.page == 1 && layout.rules >= 4) d.Header();
  if (layout.rules >= kMinTableRules) d.Body();
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
