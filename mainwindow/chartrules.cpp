#include "mainwindow/chartrules.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "mainwindow/recordcurves.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"
#include "platform/parallel.h"

QString DefaultLangText(const std::string&, const std::string&, const QString& defaultText) {
  return defaultText;
}

int ChannelCountOf(const utPubParam& store) {
  return std::clamp(static_cast<int>(store.DataHead.ChannelCount), 0, kMaxChannels);
}

void InvertColor(TColor colour, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
  const auto rgb = static_cast<std::uint32_t>(FromQColor(ToQColor(colour)));
  r = static_cast<std::uint8_t>(255 - (rgb & 0xFF));
  g = static_cast<std::uint8_t>(255 - ((rgb >> 8) & 0xFF));
  b = static_cast<std::uint8_t>(255 - ((rgb >> 16) & 0xFF));
}

void InvertColorRGB(TColor colour, TColor& out) {
  std::uint8_t r, g, b;
  InvertColor(colour, r, g, b);
  out = static_cast<TColor>(r | (g << 8) | (b << 16));
}

TColor InvertColorRGB(TColor colour) {
  TColor out;
  InvertColorRGB(colour, out);
  return out;
}

TColor ChannelColourOnBackground(TColor background, int channel) {
  const std::int64_t bk = FromQColor(ToQColor(background));
  const std::int64_t inverse = InvertColorRGB(background);
  const std::int64_t c = std::clamp(channel, 0, kMaxChannels - 1);
  // Adding the index to the inverse of a dark background would carry out of the red
  // byte into a near-black colour; step the other way instead.
  std::int64_t out = inverse + c;
  if (out > 0xFFFFFF || out == bk) out = inverse - c;
  return static_cast<TColor>(out);
}

void FixChannelColour(utPubParam& store, int channel, TColor background) {
  if (channel < 0 || channel >= kMaxChannels) return;
  if (store.SysPar.ChannelColor[channel] == background)
    store.SysPar.ChannelColor[channel] = ChannelColourOnBackground(background, channel);
}

void ApplyColorToStore(utPubParam& store, int kind, int channel, TColor colour) {
  if (kind == 0) {
    store.SysPar.BKCOLOR = colour;
  } else if (kind == 1 && channel >= 0 && channel < kMaxChannels) {
    store.SysPar.ChannelColor[channel] = colour;
  }
}

void AdjustYRange(double minValue, double maxValue, std::int32_t& up, std::int32_t& down) {
  // The store keeps 100000 / -100000 until a record is accepted.
  if (std::isnan(minValue) || std::isnan(maxValue) || minValue > maxValue) {
    up = 100;
    down = 0;
    return;
  }
  // 64-bit arithmetic: power-meter values reach 2^31.
  constexpr double kLimit = 1.0e15;
  const std::int64_t mn = static_cast<std::int64_t>(std::clamp(minValue, -kLimit, kLimit));
  const std::int64_t mx = static_cast<std::int64_t>(std::clamp(maxValue, -kLimit, kLimit));
  std::int64_t hi = (mx / 10) * 10 + 10;
  std::int64_t lo = (mn / 10) * 10 - 10;
  if (hi - lo < 300) {
    // Widen away from zero on each side, so that no value falls outside the range.
    lo = lo >= 0 ? lo / 2 : lo * 2;
    hi = hi >= 0 ? hi * 2 : hi / 2;
  }
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  hi = std::clamp(hi, kMin, kMax);
  lo = std::clamp(lo, kMin, kMax);
  if (lo > hi) lo = hi;
  up = static_cast<std::int32_t>(hi);
  down = static_cast<std::int32_t>(lo);
}

void AdjustYRange(utPubParam& store) {
  AdjustYRange(store.MinValue, store.MaxValue, store.SysPar.UP, store.SysPar.DOWN);
}

double ToDateTimeValue(const QDate& date, const QTime& time) {
  const qint64 days = QDate(1899, 12, 30).daysTo(date);
  const int secs = time.isValid() ? time.msecsSinceStartOfDay() / 1000 : 0;
  return static_cast<double>(days) + static_cast<double>(secs) / 86400.0;
}

void SetupAxes(ChartWidget& chart, std::int32_t up, std::int32_t down, double start, double end) {
  chart.UndoZoom();
  ChartAxis& left = chart.LeftAxis();
  if (up < left.Minimum()) left.SetMinimum(static_cast<double>(up) - 1.0);
  left.SetMaximum(up);
  left.SetMinimum(down);
  ChartAxis& bottom = chart.BottomAxis();
  if (start > bottom.Maximum()) bottom.SetMaximum(start + 1.0);
  if (end < start) bottom.SetMaximum(start + 1.0);
  bottom.SetMinimum(start);
  bottom.SetMaximum(end);
  left.LabelColor = 0x000000;
  bottom.LabelColor = 0x000000;
  chart.Refresh();
}

void ClearSeries(ChartWidget& chart, std::vector<ChartSeries*>& curveSeries) {
  for (ChartSeries* s : curveSeries) chart.RemoveSeries(s);
  curveSeries.clear();
  chart.ClearVLines();
  chart.HoldPicture(false);  // what the chart shows next is built anew
}

void CreateSeries(ChartWidget& chart, std::vector<ChartSeries*>& curveSeries, utPubParam& store,
                  TColor bkColor) {
  ClearSeries(chart, curveSeries);
  const int channels = ChannelCountOf(store);
  for (int ch = 0; ch < channels; ++ch) {
    ChartSeries* s = chart.AddSeries();
    s->SetShowInLegend(false);
    FixChannelColour(store, ch, bkColor);
    s->SetColor(store.SysPar.ChannelColor[ch]);
    curveSeries.push_back(s);
  }
}

int FillSeries(ChartWidget& chart, const std::vector<ChartSeries*>& curveSeries,
               const utPubParam& store, int windowFirst, int& windowEnd) {
  if (windowEnd > store.RecordCount) windowEnd = store.RecordCount;
  const int first = std::max(windowFirst, 0);
  const int end = std::min(windowEnd, kRecordCapacity);
  const int channels = std::min(ChannelCountOf(store), static_cast<int>(curveSeries.size()));
  chart.BeginUpdate();
  const std::shared_ptr<RecordCurves> curves =
      RecordCurves::Build(store.Records, first, end, channels, MemoryWorkers());
  for (int ch = 0; ch < channels; ++ch) curveSeries[static_cast<std::size_t>(ch)]->SetSource(curves, ch);
  for (ChartSeries* s : curveSeries) s->SetActive(true);
  chart.EndUpdate();
  return curves->Count();
}

void SetChannelCurveActive(const std::vector<ChartSeries*>& curveSeries, int channel, bool shown) {
  if (channel >= 0 && channel < static_cast<int>(curveSeries.size()))
    curveSeries[static_cast<std::size_t>(channel)]->SetActive(shown);
}

void SetChannelCurveColour(const std::vector<ChartSeries*>& curveSeries, int channel, TColor colour) {
  if (channel >= 0 && channel < static_cast<int>(curveSeries.size()))
    curveSeries[static_cast<std::size_t>(channel)]->SetColor(colour);
}

bool ChartDoubleClickOpensColour(int lastX, int lastY, int chartWidth, int chartHeight,
                                 bool fileLoaded) {
  return lastX >= 35 && lastX <= chartWidth - 10 && lastY >= 10 && lastY <= chartHeight - 30 &&
         fileLoaded;
}

bool YLimitKeyPasses(char key) { return (key >= '0' && key <= '9') || key == 8; }
