// A rendered picture of a small file: curve pixels at the positions the axes give and
// gaps at power failures.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <cmath>

#include "data/readdata.h"
#include "mainwindow/chartrules.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"
#include "support/statuspump.h"
#include "support/tempdir.h"
#include "tools/datagen.h"

namespace {

constexpr TColor kRed = 0x0000FF, kGreen = 0x00FF00;

bool Near(const QImage& img, int x, int y, TColor colour, int radius = 1) {
  const QRgb want = ToQColor(colour).rgb();
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx)
      if (img.valid(x + dx, y + dy) && img.pixel(x + dx, y + dy) == want) return true;
  return false;
}

}  // namespace

TEST(ChartImage, SmallFileDrawsItsValuesWhereTheAxesSay) {
  // Two channels, a power failure between 10:00:20 and 10:01:00.
  TempDir dir;
  DataFileBuilder b;
  b.header(0, 2);
  b.addRecord(RecordTime::At(2024, 3, 1, 10, 0, 0), {20, 60});
  b.addRecord(RecordTime::At(2024, 3, 1, 10, 0, 10), {20, 60});
  b.addRecord(RecordTime::At(2024, 3, 1, 10, 0, 20), {20, 60});
  b.addMarker(RecordTime::At(2024, 3, 1, 10, 0, 30), {20, 60});
  b.addRecord(RecordTime::At(2024, 3, 1, 10, 1, 0), {80, 40});
  b.addRecord(RecordTime::At(2024, 3, 1, 10, 1, 30), {80, 40});
  ASSERT_TRUE(b.write(dir.file("small.qmd")));
  StatusRecorder form;
  utReadData reader;
  reader.SetNotifyWindow(&form, &form);
  ASSERT_TRUE(reader.LoadFile(dir.file("small.qmd")));
  reader.Resume();
  ASSERT_TRUE(PumpUntil([&] { return reader.Idle(); }));
  QCoreApplication::processEvents();
  utPubParam& store = *GetPubParam();
  ASSERT_GE(store.RecordCount, 6);
  const double v0 = store.Records[0].Channel[0].Value, v1 = store.Records[0].Channel[1].Value;
  const double w0 = store.Records[4].Channel[0].Value;
  ASSERT_LT(v0, w0);

  ChartWidget chart;
  chart.resize(700, 420);
  store.SysPar.ChannelColor[0] = kRed;
  store.SysPar.ChannelColor[1] = kGreen;
  SetupAxes(chart, 100, 0, store.Records[0].Time, store.Records[5].Time);
  std::vector<ChartSeries*> curves;
  CreateSeries(chart, curves, store, 0x000000);
  int end = store.RecordCount;
  EXPECT_EQ(FillSeries(chart, curves, store, 0, end), 5);
  const QImage img = chart.ToImage();
  const auto px = [&](int i) { return static_cast<int>(std::lround(chart.XPixel(store.Records[i].Time))); };
  const auto py = [&](double v) { return static_cast<int>(std::lround(chart.YPixel(v))); };
  for (int i : {0, 1, 2}) {
    EXPECT_TRUE(Near(img, px(i), py(v0), kRed)) << i;
    EXPECT_TRUE(Near(img, px(i), py(v1), kGreen)) << i;
  }
  for (int i : {4, 5}) EXPECT_TRUE(Near(img, px(i), py(w0), kRed)) << i;
  // The gap of the power failure stays empty.
  const int gapX = (px(2) + px(4)) / 2;
  for (int y = py(100); y <= py(0); ++y) ASSERT_FALSE(Near(img, gapX, y, kRed, 0)) << y;
  store.RecordCount = 0;
}
