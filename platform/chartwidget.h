#pragma once
// The curve chart: a date-time bottom axis, a value left axis, line series, vertical
// marker lines and text labels over the plot, zoom by a left drag, pan by a right drag.
// The axes, grid and curves are painted once into a cached layer; moving a marker
// line or a label repaints only what lies over it.

#include <QImage>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "platform/chartaxis.h"
#include "platform/chartseries.h"
#include "platform/colors.h"

class ChartWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ChartWidget(QWidget* parent = nullptr);
  ~ChartWidget() override;

  ChartAxis& BottomAxis() { return bottom_; }
  ChartAxis& LeftAxis() { return left_; }
  const ChartAxis& BottomAxis() const { return bottom_; }
  const ChartAxis& LeftAxis() const { return left_; }

  // Plot area background and the panel around it.
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor colour);
  TColor PanelColor() const { return panelColor_; }
  void SetPanelColor(TColor colour);
  // Repaints everything (after changing axis colours).
  void Refresh();

  // Series are owned by the chart.
  ChartSeries* AddSeries();
  void RemoveSeries(ChartSeries* series);
  const std::vector<std::unique_ptr<ChartSeries>>& Series() const { return series_; }
  // Nothing is repainted between BeginUpdate and the matching EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  void SeriesChanged();

  // Zoom state. UndoZoom restores the ranges from before the first zoom or pan and
  // always emits UndoZoomed.
  void UndoZoom();
  bool Zoomed() const { return zoomed_; }
  // Zooms to a pixel rectangle (clipped to the plot) as a left drag does.
  void ZoomToRect(const QRect& pixels);
  int ZoomThreshold() const { return zoomThreshold_; }
  void SetZoomThreshold(int pixels) { zoomThreshold_ = pixels; }

  // Plot rectangle for the current size, axes and fonts.
  QRect PlotRect() const;
  // Conversion between widget pixels and axis values.
  double XValueAt(double px) const;
  double YValueAt(double py) const;
  double XPixel(double x) const;
  double YPixel(double y) const;

  // Vertical lines at date-time x over the whole plot height (cursor, marker lines);
  // drawn only while x lies inside the bottom axis range.
  int AddVLine(double x, TColor colour);
  void MoveVLine(int id, double x);
  void RemoveVLine(int id);  // an unknown id is ignored
  void ClearVLines();
  bool HasVLine(int id) const { return vlines_.count(id) != 0; }

  // Text over the chart at widget pixels (top-left of the text).
  int AddTextLabel(QPoint at, const QString& text, TColor colour, int pointSize = 10);
  void SetTextLabel(int id, QPoint at, const QString& text, TColor colour);
  // The label's place, text and colour; false for an unknown id.
  bool TextLabelOf(int id, QPoint& at, QString& text, TColor& colour) const;
  void RemoveTextLabel(int id);
  void ClearTextLabels();

  // The whole chart at its current size: panel, axes, grid, curves, lines and labels.
  QImage ToImage();
  // Paints the chart into an image of the widget's size (no rubber band); for timing.
  void Render(QImage& target);
  // Memory the curves' sources hold for the chart.
  std::size_t CurveBytes() const;
  // While held, the curves are not painted again (the last picture stays, also through
  // a resize or a zoom): for the time their source's points are being rewritten.
  void HoldPicture(bool hold);
  bool PictureHeld() const { return holdPicture_; }

 signals:
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  void MouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  void DoubleClicked(int x, int y);
  // After a drag zoom, once the axes hold the new ranges.
  void ZoomedIn();
  void UndoZoomed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  ChartAxis BottomOnPlot() const;
  ChartAxis LeftOnPlot() const;
  struct Layout {
    QRect plot;
    std::vector<double> bottomTicks, leftTicks;
    int lineHeight = 0;
  };
  struct VLine {
    double x;
    TColor colour;
  };
  struct TextLabel {
    QPoint at;
    QString text;
    TColor colour;
    int pointSize;
  };
  enum class Drag { None, Zoom, Pan };

  Layout ComputeLayout() const;
  void ApplyLayout(const Layout& layout);
  void EnsureBase();
  void PaintBase(QImage& image, const Layout& layout);
  void PaintCurves(QPainter& painter, QImage& image, const QRect& plot);
  void PaintOverlay(QPainter& painter, bool withRubberBand);
  void SaveRangesForUndo();
  void Invalidate();

  ChartAxis bottom_{ChartAxis::Kind::DateTime};
  ChartAxis left_{ChartAxis::Kind::Value};
  TColor backColor_ = 0x000000;
  TColor panelColor_ = 0xFFFFFF;
  std::vector<std::unique_ptr<ChartSeries>> series_;
  int updateDepth_ = 0;

  // Cached base layer and what it was painted for.
  QImage base_;
  bool baseValid_ = false;
  bool holdPicture_ = false;
  double baseRanges_[4] = {};

  bool zoomed_ = false;
  double savedRanges_[4] = {};
  int zoomThreshold_ = 16;
  Drag drag_ = Drag::None;
  QPoint dragStart_, dragNow_;
  double panStartRanges_[4] = {};

  std::map<int, VLine> vlines_;
  std::map<int, TextLabel> labels_;
  int nextId_ = 1;
};
