// Times the curve chart on a full store: 680,000 records of 32 channels at 1600 x 900.
// Prints: fill_ms=.. full_repaint_ms=.. zoomed_repaint_ms=.. overlay_ms=.. curve_bytes=..
#include <QApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "mainwindow/chartrules.h"
#include "platform/chartwidget.h"

namespace {

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(int runs, const std::function<void(int)>& body) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    body(i);
    times.push_back(Ms(std::chrono::steady_clock::now() - t0));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Stands in for a loaded recording: one record a second, five power failures and the
// closing entry, values with a slow wave and some noise per channel.
void FillStore(utPubParam& s, int records, int channels) {
  s.DataHead.ChannelCount = static_cast<std::uint8_t>(channels);
  s.DataHead.ModelCode = 3;
  s.RecordCount = 0;
  s.MinValue = 100000.0;
  s.MaxValue = -100000.0;
  const double start = ToDateTimeValue(QDate(2024, 1, 1), QTime(0, 0));
  unsigned noise = 12345;
  int markers = 0;
  for (int i = 0; i < records; ++i) {
    tagDataRecord& r = s.Records[s.RecordCount++];
    const bool marker = i > 0 && i % 113000 == 0;
    r.Time = start + (i + (markers * 600)) / 86400.0;
    std::snprintf(r.TimeText, sizeof r.TimeText, "2024-01-01 00:00:00");
    r.Marker = marker ? 1 : 0;
    r.Disorder = 0;
    markers += marker;
    for (int c = 0; c < channels; ++c) {
      noise = noise * 1103515245u + 12345u;
      const double v = 50.0 * std::sin(i / 5000.0 + c) + c * 10.0 + (noise >> 16) % 100 / 20.0;
      r.Channel[c].Value = v;
      s.MinValue = std::min(s.MinValue, v);
      s.MaxValue = std::max(s.MaxValue, v);
    }
  }
  s.Records[s.RecordCount - 1].Marker = 1;  // closing entry
  s.DataHead.MarkerCount = markers + 1;
  for (int c = 0; c < channels; ++c) s.SysPar.ChannelColor[c] = 0x000000FF + c * 0x070503;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  utPubParam& store = *GetPubParam();
  FillStore(store, kMaxRecords, kMaxChannels);

  ChartWidget chart;
  chart.resize(1600, 900);
  AdjustYRange(store);
  const double first = store.Records[0].Time, last = store.Records[store.RecordCount - 1].Time;
  SetupAxes(chart, store.SysPar.UP, store.SysPar.DOWN, first, last);
  std::vector<ChartSeries*> curves;
  int windowEnd = store.RecordCount;

  const auto t0 = std::chrono::steady_clock::now();
  CreateSeries(chart, curves, store, 0x000000);
  FillSeries(chart, curves, store, 0, windowEnd);
  const double seriesMs = Ms(std::chrono::steady_clock::now() - t0);
  QImage image;
  chart.Render(image);  // the first picture belongs to "see the curves"
  const double fillMs = Ms(std::chrono::steady_clock::now() - t0);

  constexpr int kRuns = 25;
  const double full = Median(kRuns, [&](int) {
    chart.Refresh();
    chart.Render(image);
  });
  const double span = last - first;
  chart.BottomAxis().SetMinMax(first + span * 0.45, first + span * 0.55);
  const double zoomed = Median(kRuns, [&](int) {
    chart.Refresh();
    chart.Render(image);
  });
  const int cursor = chart.AddVLine(first + span * 0.5, 0x0000FF);
  const double overlay = Median(kRuns, [&](int i) {
    chart.MoveVLine(cursor, first + span * (0.46 + i * 0.003));
    chart.Render(image);
  });
  std::fprintf(stderr, "(series filled in %.1f ms)\n", seriesMs);
  if (argc > 1) image.save(QString::fromLocal8Bit(argv[1]));
  std::printf("fill_ms=%.1f full_repaint_ms=%.2f zoomed_repaint_ms=%.2f overlay_ms=%.2f curve_bytes=%zu\n",
              fillMs, full, zoomed, overlay, chart.CurveBytes());
  return 0;
}
