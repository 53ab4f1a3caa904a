// The chart widget offscreen: the axis rule, zoom and pan by mouse events, and the
// picture of a small file: curve pixels where the axes say, gaps at power failures.
#include <gtest/gtest.h>

#include <cmath>

#include "mainform_support.h"
#include "mainwindow/chartrules.h"
#include "platform/chartwidget.h"
#include "platform/colors.h"

namespace {

// A chart over 45000..45001 x 0..100 that counts its zooms and undos and keeps its clicks.
struct ChartMouse : ::testing::Test {
  ChartWidget w;
  int zoomed = 0, undone = 0;
  std::vector<QPoint> downs;
  ChartMouse() {
    w.resize(800, 500);
    w.BottomAxis().SetMinMax(45000.0, 45001.0);
    w.LeftAxis().SetMinMax(0.0, 100.0);
    QObject::connect(&w, &ChartWidget::ZoomedIn, [this] { ++zoomed; });
    QObject::connect(&w, &ChartWidget::UndoZoomed, [this] { ++undone; });
    QObject::connect(&w, &ChartWidget::MouseDown,
                     [this](Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { downs.emplace_back(x, y); });
  }
  void Drag(Qt::MouseButton button, QPoint from, QPoint to) {
    SendMouse(&w, QEvent::MouseButtonPress, button, from);
    SendMouse(&w, QEvent::MouseMove, button, (from + to) / 2);
    SendMouse(&w, QEvent::MouseMove, button, to);
    SendMouse(&w, QEvent::MouseButtonRelease, button, to);
  }
};

constexpr TColor kRed = 0x0000FF, kGreen = 0x00FF00;

// A pixel of the colour within radius of (x, y).
bool Near(const QImage& img, int x, int y, TColor colour, int radius = 1) {
  const QRgb want = ToQColor(colour).rgb();
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx)
      if (img.valid(x + dx, y + dy) && img.pixel(x + dx, y + dy) == want) return true;
  return false;
}

}  // namespace

TEST(ChartAxis, SetterRuleAndEqualBounds) {
  ChartAxis a(ChartAxis::Kind::Value);
  a.SetMinMax(0, 100);
  EXPECT_FALSE(a.SetMinimum(150));  // above the maximum
  EXPECT_FALSE(a.SetMaximum(-5));   // below the minimum
  EXPECT_EQ(a.Maximum(), 100);
  EXPECT_TRUE(a.SetMinimum(100));
  EXPECT_TRUE(a.SetMaximum(100));
  a.SetPixelRange(400, 10);
  EXPECT_EQ(a.Ticks(a.ChooseStep(16)).size(), 1u);
}

TEST_F(ChartMouse, DragZoomsUndoesAndClicks) {
  const QRect p = w.PlotRect();
  const QPoint a = p.topLeft() + QPoint(100, 50), b = a + QPoint(200, 150);
  const double x0 = w.XValueAt(a.x()), x1 = w.XValueAt(b.x());
  const double y0 = w.YValueAt(b.y()), y1 = w.YValueAt(a.y());

  // A short drag is a plain click.
  Drag(Qt::LeftButton, a, a + QPoint(5, 5));
  EXPECT_EQ(zoomed, 0);
  EXPECT_FALSE(w.Zoomed());
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].x(), a.x());
  // A press whose release was lost, then a drag from off the plot: still no zoom.
  SendMouse(&w, QEvent::MouseButtonPress, Qt::LeftButton, a);
  Drag(Qt::LeftButton, QPoint(2, a.y()), b);
  EXPECT_EQ(zoomed, 0);

  Drag(Qt::LeftButton, a, b);
  ASSERT_EQ(zoomed, 1);
  EXPECT_NEAR(w.BottomAxis().Minimum(), x0, 1e-9);
  EXPECT_NEAR(w.BottomAxis().Maximum(), x1, 1e-9);
  EXPECT_NEAR(w.LeftAxis().Minimum(), y0, 1e-9);
  EXPECT_NEAR(w.LeftAxis().Maximum(), y1, 1e-9);

  // A second zoom, then a drag up and left undoes both at once.
  Drag(Qt::LeftButton, a, b);
  Drag(Qt::LeftButton, b, a);
  EXPECT_EQ(undone, 1);
  EXPECT_FALSE(w.Zoomed());
  EXPECT_DOUBLE_EQ(w.BottomAxis().Minimum(), 45000.0);
  EXPECT_DOUBLE_EQ(w.LeftAxis().Maximum(), 100.0);
  // UndoZoom without a zoom still reports.
  w.UndoZoom();
  EXPECT_EQ(undone, 2);
}

TEST_F(ChartMouse, RubberBandStaysInPlotAndRightDragPans) {
  const QRect p = w.PlotRect();
  Drag(Qt::LeftButton, p.center(), QPoint(p.right() + 300, p.bottom() + 300));
  ASSERT_EQ(zoomed, 1);
  EXPECT_DOUBLE_EQ(w.BottomAxis().Maximum(), 45001.0);
  EXPECT_DOUBLE_EQ(w.LeftAxis().Minimum(), 0.0);
  w.UndoZoom();

  const double perPx = 1.0 / (p.width() - 1);
  Drag(Qt::RightButton, p.center(), p.center() + QPoint(-100, 0));
  EXPECT_EQ(zoomed, 1);
  EXPECT_TRUE(w.Zoomed());
  EXPECT_NEAR(w.BottomAxis().Minimum(), 45000.0 + 100 * perPx, 1e-9);
  EXPECT_NEAR(w.BottomAxis().Maximum() - w.BottomAxis().Minimum(), 1.0, 1e-9);
  w.UndoZoom();
  EXPECT_DOUBLE_EQ(w.BottomAxis().Minimum(), 45000.0);
}

TEST_F(ChartMouse, HeldPictureStaysThroughZoomAndResize) {
  ChartSeries* s = w.AddSeries();
  for (int i = 0; i <= 10; ++i) s->AddXY(45000.0 + i / 10.0, i % 2 ? 90.0 : 10.0);
  const QImage before = w.ToImage();
  w.HoldPicture(true);
  w.BottomAxis().SetMinMax(45000.2, 45000.4);
  w.Refresh();
  EXPECT_TRUE(w.ToImage() == before);
  w.resize(900, 500);
  const QImage grown = w.ToImage();
  ASSERT_EQ(grown.width(), 900);
  EXPECT_TRUE(grown.copy(before.rect()) == before);
  w.HoldPicture(false);
  EXPECT_FALSE(w.ToImage().copy(before.rect()) == before);
}

TEST(ChartImage, SmallFileDrawsItsValuesWhereTheAxesSay) {
  // Two channels, a power failure between 10:00:20 and 10:01:00.
  TempDir dir;
  DataFileBuilder b;
  b.header(0, 2);
  for (int sec : {0, 10, 20}) b.addRecord(RecordTime::At(2024, 3, 1, 10, 0, sec), {20, 60});
  b.addMarker(RecordTime::At(2024, 3, 1, 10, 0, 30), {20, 60});
  for (int sec : {60, 90}) b.addRecord(RecordTime::At(2024, 3, 1, 10, sec / 60, sec % 60), {80, 40});
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

// Value labels keep their sign: "-20" below zero, never a second "20".
TEST(ChartImage, ValueLabelsBelowZeroShowTheirSign) {
  const std::pair<double, const char*> texts[] = {
      {-20.0, "-20"}, {-0.5, "-0.5"}, {-1234.56, "-1,234.6"}, {-0.04, "0"}, {20.0, "20"}, {1234567.0, "1,234,567"}};
  for (const auto& [value, want] : texts) EXPECT_EQ(FormatChartValue(value), want) << value;

  // On the drawn chart the label of -20 reaches further left than that of 20 by its sign.
  ChartWidget chart;
  chart.resize(600, 420);
  chart.LeftAxis().SetMinMax(-30.0, 30.0);
  chart.BottomAxis().SetMinMax(45000.0, 45000.01);
  const QImage img = chart.ToImage();
  const auto leftmostInk = [&](double value) {
    const int y0 = static_cast<int>(std::lround(chart.YPixel(value)));
    for (int x = 0; x < chart.PlotRect().left(); ++x)
      for (int y = y0 - 8; y <= y0 + 8; ++y)
        if (img.valid(x, y) && qGray(img.pixel(x, y)) < 100) return x;
    return -1;
  };
  const int minus20 = leftmostInk(-20.0), plus20 = leftmostInk(20.0);
  ASSERT_GE(plus20, 0) << "the label of 20 is drawn";
  EXPECT_LT(minus20, plus20 - 1);
}
