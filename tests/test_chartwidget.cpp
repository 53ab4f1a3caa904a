// The chart widget offscreen: the axis rule, zoom and pan by mouse events.
#include <gtest/gtest.h>

#include "mainform_support.h"
#include "platform/chartwidget.h"

namespace {

void Drag(QWidget& w, Qt::MouseButton button, QPoint from, QPoint to) {
  SendMouse(&w, QEvent::MouseButtonPress, button, from);
  SendMouse(&w, QEvent::MouseMove, button, (from + to) / 2);
  SendMouse(&w, QEvent::MouseMove, button, to);
  SendMouse(&w, QEvent::MouseButtonRelease, button, to);
}

// Counts a signal's emissions and keeps the arguments of MouseDown.
struct Spy {
  int zoomed = 0, undone = 0;
  std::vector<QPoint> downs;
  explicit Spy(ChartWidget& w) {
    QObject::connect(&w, &ChartWidget::ZoomedIn, [this] { ++zoomed; });
    QObject::connect(&w, &ChartWidget::UndoZoomed, [this] { ++undone; });
    QObject::connect(&w, &ChartWidget::MouseDown,
                     [this](Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { downs.emplace_back(x, y); });
  }
};

struct Chart {
  ChartWidget w;
  Chart() {
    w.resize(800, 500);
    w.BottomAxis().SetMinMax(45000.0, 45001.0);
    w.LeftAxis().SetMinMax(0.0, 100.0);
  }
};

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

TEST(ChartWidget, DragZoomsUndoesAndClicks) {
  Chart c;
  Spy spy(c.w);
  const QRect p = c.w.PlotRect();
  const QPoint a = p.topLeft() + QPoint(100, 50), b = a + QPoint(200, 150);
  const double x0 = c.w.XValueAt(a.x()), x1 = c.w.XValueAt(b.x());
  const double y0 = c.w.YValueAt(b.y()), y1 = c.w.YValueAt(a.y());

  // A short drag is a plain click.
  Drag(c.w, Qt::LeftButton, a, a + QPoint(5, 5));
  EXPECT_EQ(spy.zoomed, 0);
  EXPECT_FALSE(c.w.Zoomed());
  ASSERT_EQ(static_cast<int>(spy.downs.size()), 1);
  EXPECT_EQ(spy.downs[0].x(), a.x());
  // A press whose release was lost, then a drag from off the plot: still no zoom.
  SendMouse(&c.w, QEvent::MouseButtonPress, Qt::LeftButton, a);
  Drag(c.w, Qt::LeftButton, QPoint(2, a.y()), b);
  EXPECT_EQ(spy.zoomed, 0);

  Drag(c.w, Qt::LeftButton, a, b);
  ASSERT_EQ(spy.zoomed, 1);
  EXPECT_NEAR(c.w.BottomAxis().Minimum(), x0, 1e-9);
  EXPECT_NEAR(c.w.BottomAxis().Maximum(), x1, 1e-9);
  EXPECT_NEAR(c.w.LeftAxis().Minimum(), y0, 1e-9);
  EXPECT_NEAR(c.w.LeftAxis().Maximum(), y1, 1e-9);

  // A second zoom, then a drag up and left undoes both at once.
  Drag(c.w, Qt::LeftButton, a, b);
  Drag(c.w, Qt::LeftButton, b, a);
  EXPECT_EQ(spy.undone, 1);
  EXPECT_FALSE(c.w.Zoomed());
  EXPECT_DOUBLE_EQ(c.w.BottomAxis().Minimum(), 45000.0);
  EXPECT_DOUBLE_EQ(c.w.LeftAxis().Maximum(), 100.0);
  // UndoZoom without a zoom still reports.
  c.w.UndoZoom();
  EXPECT_EQ(spy.undone, 2);
}

TEST(ChartWidget, RubberBandStaysInPlotAndRightDragPans) {
  Chart c;
  Spy spy(c.w);
  const QRect p = c.w.PlotRect();
  Drag(c.w, Qt::LeftButton, p.center(), QPoint(p.right() + 300, p.bottom() + 300));
  ASSERT_EQ(spy.zoomed, 1);
  EXPECT_DOUBLE_EQ(c.w.BottomAxis().Maximum(), 45001.0);
  EXPECT_DOUBLE_EQ(c.w.LeftAxis().Minimum(), 0.0);
  c.w.UndoZoom();

  const double perPx = 1.0 / (p.width() - 1);
  Drag(c.w, Qt::RightButton, p.center(), p.center() + QPoint(-100, 0));
  EXPECT_EQ(spy.zoomed, 1);
  EXPECT_TRUE(c.w.Zoomed());
  EXPECT_NEAR(c.w.BottomAxis().Minimum(), 45000.0 + 100 * perPx, 1e-9);
  EXPECT_NEAR(c.w.BottomAxis().Maximum() - c.w.BottomAxis().Minimum(), 1.0, 1e-9);
  c.w.UndoZoom();
  EXPECT_DOUBLE_EQ(c.w.BottomAxis().Minimum(), 45000.0);
}

TEST(ChartWidget, HeldPictureStaysThroughZoomAndResize) {
  Chart c;
  ChartSeries* s = c.w.AddSeries();
  for (int i = 0; i <= 10; ++i) s->AddXY(45000.0 + i / 10.0, i % 2 ? 90.0 : 10.0);
  const QImage before = c.w.ToImage();
  c.w.HoldPicture(true);
  c.w.BottomAxis().SetMinMax(45000.2, 45000.4);
  c.w.Refresh();
  EXPECT_TRUE(c.w.ToImage() == before);
  c.w.resize(900, 500);
  const QImage grown = c.w.ToImage();
  ASSERT_EQ(grown.width(), 900);
  EXPECT_TRUE(grown.copy(before.rect()) == before);
  c.w.HoldPicture(false);
  EXPECT_FALSE(c.w.ToImage().copy(before.rect()) == before);
}
