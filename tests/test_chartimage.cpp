// Rendered pictures of small data sets: curve pixels at the positions the axes give,
// gaps at power failures, column extents of decimated data, and the overlay.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "platform/colors.h"
#include "platform/chartwidget.h"

namespace {

constexpr TColor kRed = 0x0000FF, kGreen = 0x00FF00;

struct Picture {
  ChartWidget w;
  Picture() {
    w.resize(640, 400);
    w.SetBackColor(0x000000);
    w.BottomAxis().SetMinMax(0, 100);
    w.LeftAxis().SetMinMax(0, 100);
    w.BottomAxis().GridVisible = false;
    w.LeftAxis().GridVisible = false;
  }
  int px(double x) const { return static_cast<int>(std::lround(w.XPixel(x))); }
  int py(double y) const { return static_cast<int>(std::lround(w.YPixel(y))); }
};

bool Near(const QImage& img, int x, int y, TColor colour, int radius = 1) {
  const QRgb want = ToQColor(colour).rgb();
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx)
      if (img.valid(x + dx, y + dy) && img.pixel(x + dx, y + dy) == want) return true;
  return false;
}

}  // namespace

TEST(ChartImage, CurvePixelsSegmentsAndHiddenSeries) {
  Picture p;
  ChartSeries* s = p.w.AddSeries();
  s->SetColor(kRed);
  ChartSeries* hidden = p.w.AddSeries();
  hidden->SetColor(kGreen);
  hidden->SetActive(false);
  {
    ChartFill fill(p.w, {s, hidden}, 4);
    const float a[2] = {20, 50}, b[2] = {80, 50};
    fill.AddRow(10, a);
    fill.AddRow(40, a);
    fill.Break();  // power failure between 40 and 60
    fill.AddRow(60, b);
    fill.AddRow(90, b);
  }
  const QImage img = p.w.ToImage();
  for (double x : {10.0, 25.0, 40.0}) EXPECT_TRUE(Near(img, p.px(x), p.py(20), kRed)) << x;
  for (double x : {60.0, 75.0, 90.0}) EXPECT_TRUE(Near(img, p.px(x), p.py(80), kRed)) << x;
  // Nothing joins the two segments across the gap, and the hidden curve is not drawn.
  for (double x : {45.0, 50.0, 55.0})
    for (int y = p.py(100); y <= p.py(0); ++y) ASSERT_FALSE(Near(img, p.px(x), y, kRed, 0)) << x << "," << y;
  EXPECT_FALSE(Near(img, p.px(25), p.py(50), kGreen, 2));
  EXPECT_TRUE(Near(img, p.px(5), p.py(50), 0x000000, 0));  // background
}

TEST(ChartImage, DecimatedColumnsCoverEveryPoint) {
  Picture p;
  ChartSeries* s = p.w.AddSeries();
  s->SetColor(kRed);
  {
    ChartFill fill(p.w, {s}, 200000);
    for (int i = 0; i < 200000; ++i) {
      // Alternates between 30 and 70, with one spike to 95 at x = 50.
      const float v = i == 100000 ? 95.0f : (i % 2 ? 70.0f : 30.0f);
      fill.AddRow(i * (100.0 / 200000), std::span<const float>(&v, 1));
    }
  }
  const QImage img = p.w.ToImage();
  for (double x : {10.0, 33.0, 77.0}) {
    for (int y = p.py(70); y <= p.py(30); ++y) ASSERT_TRUE(Near(img, p.px(x), y, kRed, 0)) << x << "," << y;
    EXPECT_FALSE(Near(img, p.px(x), p.py(75), kRed, 0));
  }
  EXPECT_TRUE(Near(img, p.px(50), p.py(95), kRed, 1));

  // Zoomed to a tenth, the same rule holds on the finer columns.
  p.w.BottomAxis().SetMinMax(40, 50);
  const QImage zoomed = p.w.ToImage();
  EXPECT_TRUE(Near(zoomed, p.px(50), p.py(95), kRed, 1));
  for (int y = p.py(70); y <= p.py(30); ++y) ASSERT_TRUE(Near(zoomed, p.px(45), y, kRed, 0));
}

TEST(ChartImage, OverlayLinesAndLabels) {
  Picture p;
  const int id = p.w.AddVLine(30, kRed);
  const int outside = p.w.AddVLine(130, kGreen);  // beyond the axis: not drawn
  const int label = p.w.AddTextLabel(QPoint(200, 100), QStringLiteral("WWWW"), 0xFFFFFF);
  QImage img = p.w.ToImage();
  for (double y : {5.0, 50.0, 95.0}) EXPECT_TRUE(Near(img, p.px(30), p.py(y), kRed, 0));
  int white = 0;
  for (int y = 100; y < 120; ++y)
    for (int x = 200; x < 240; ++x) white += qGray(img.pixel(x, y)) > 128;
  EXPECT_GT(white, 10);
  EXPECT_FALSE(Near(img, p.px(99), p.py(50), kGreen, 3));

  p.w.MoveVLine(id, 70);
  p.w.RemoveTextLabel(label);
  p.w.RemoveVLine(outside);
  p.w.RemoveVLine(12345);  // unknown ids are ignored
  img = p.w.ToImage();
  EXPECT_FALSE(Near(img, p.px(30), p.py(50), kRed, 0));
  EXPECT_TRUE(Near(img, p.px(70), p.py(50), kRed, 0));
  white = 0;
  for (int y = 100; y < 120; ++y)
    for (int x = 200; x < 240; ++x) white += qGray(img.pixel(x, y)) > 128;
  EXPECT_EQ(white, 0);
}
