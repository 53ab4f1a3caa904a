#include "platform/chartwidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "platform/colors.h"


ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  bottom_.AxisColor = 0x808080;  // grey
  left_.AxisColor = 0xC0C0C0;    // silver
  bottom_.SetMinMax(0.0, 1.0);
  left_.SetMinMax(0.0, 100.0);
}

ChartWidget::~ChartWidget() = default;

void ChartWidget::SetBackColor(TColor colour) {
  backColor_ = colour;
  Invalidate();
}

void ChartWidget::SetPanelColor(TColor colour) {
  panelColor_ = colour;
  Invalidate();
}

void ChartWidget::Refresh() { Invalidate(); }

void ChartWidget::Invalidate() {
  baseValid_ = false;
  if (updateDepth_ == 0) update();
}

ChartSeries* ChartWidget::AddSeries() {
  series_.push_back(std::make_unique<ChartSeries>(this));
  Invalidate();
  return series_.back().get();
}

void ChartWidget::RemoveSeries(ChartSeries* series) {
  auto it = std::find_if(series_.begin(), series_.end(),
                         [series](const auto& p) { return p.get() == series; });
  if (it == series_.end()) return;
  series_.erase(it);
  Invalidate();
}

void ChartWidget::BeginUpdate() { ++updateDepth_; }

void ChartWidget::EndUpdate() {
  if (updateDepth_ > 0) --updateDepth_;
  Invalidate();
}

void ChartWidget::SeriesChanged() { Invalidate(); }

void ChartWidget::SaveRangesForUndo() {
  if (zoomed_) return;
  savedRanges_[0] = bottom_.Minimum();
  savedRanges_[1] = bottom_.Maximum();
  savedRanges_[2] = left_.Minimum();
  savedRanges_[3] = left_.Maximum();
  zoomed_ = true;
}

void ChartWidget::UndoZoom() {
  if (zoomed_) {
    bottom_.SetMinMax(savedRanges_[0], savedRanges_[1]);
    left_.SetMinMax(savedRanges_[2], savedRanges_[3]);
    zoomed_ = false;
    Invalidate();
  }
  emit UndoZoomed();
}

void ChartWidget::ZoomToRect(const QRect& pixels) {
  const QRect plot = PlotRect();
  const QRect r = pixels.normalized().intersected(plot);
  if (r.width() < 1 || r.height() < 1) return;
  const double x0 = XValueAt(r.left()), x1 = XValueAt(r.right());
  const double y0 = YValueAt(r.bottom()), y1 = YValueAt(r.top());
  SaveRangesForUndo();
  bottom_.SetMinMax(x0, x1);
  left_.SetMinMax(y0, y1);
  Invalidate();
  emit ZoomedIn();
}

QRect ChartWidget::PlotRect() const { return ComputeLayout().plot; }

// Copies of the axes mapped onto the present plot rectangle (y grows downwards).
ChartAxis ChartWidget::BottomOnPlot() const {
  ChartAxis a = bottom_;
  const QRect p = PlotRect();
  a.SetPixelRange(p.left(), p.right());
  return a;
}

ChartAxis ChartWidget::LeftOnPlot() const {
  ChartAxis a = left_;
  const QRect p = PlotRect();
  a.SetPixelRange(p.bottom(), p.top());
  return a;
}

double ChartWidget::XValueAt(double px) const { return BottomOnPlot().PixelToValue(px); }
double ChartWidget::YValueAt(double py) const { return LeftOnPlot().PixelToValue(py); }
double ChartWidget::XPixel(double x) const { return BottomOnPlot().ValueToPixel(x); }
double ChartWidget::YPixel(double y) const { return LeftOnPlot().ValueToPixel(y); }

int ChartWidget::AddVLine(double x, TColor colour) {
  const int id = nextId_++;
  vlines_[id] = VLine{x, colour};
  update();
  return id;
}

void ChartWidget::MoveVLine(int id, double x) {
  auto it = vlines_.find(id);
  if (it == vlines_.end()) return;
  it->second.x = x;
  update();
}

void ChartWidget::RemoveVLine(int id) {
  if (vlines_.erase(id)) update();
}

void ChartWidget::ClearVLines() {
  vlines_.clear();
  update();
}

int ChartWidget::AddTextLabel(QPoint at, const QString& text, TColor colour, int pointSize) {
  const int id = nextId_++;
  labels_[id] = TextLabel{at, text, colour, pointSize};
  update();
  return id;
}

void ChartWidget::SetTextLabel(int id, QPoint at, const QString& text, TColor colour) {
  auto it = labels_.find(id);
  if (it == labels_.end()) return;
  it->second.at = at;
  it->second.text = text;
  it->second.colour = colour;
  update();
}

bool ChartWidget::TextLabelOf(int id, QPoint& at, QString& text, TColor& colour) const {
  const auto it = labels_.find(id);
  if (it == labels_.end()) return false;
  at = it->second.at;
  text = it->second.text;
  colour = it->second.colour;
  return true;
}

void ChartWidget::RemoveTextLabel(int id) {
  if (labels_.erase(id)) update();
}

void ChartWidget::ClearTextLabels() {
  labels_.clear();
  update();
}

std::size_t ChartWidget::CurveBytes() const {
  std::size_t bytes = 0;
  std::vector<const ChartSource*> seen;
  for (const auto& s : series_) {
    const ChartSource* source = s->Source();
    if (source && std::find(seen.begin(), seen.end(), source) == seen.end()) {
      seen.push_back(source);
      bytes += source->Bytes();
    }
  }
  return bytes;
}

void ChartWidget::HoldPicture(bool hold) {
  if (holdPicture_ == hold) return;
  holdPicture_ = hold;
  if (!hold) Invalidate();
}

void ChartWidget::paintEvent(QPaintEvent*) {
  EnsureBase();
  QPainter p(this);
  p.drawImage(0, 0, base_);
  PaintOverlay(p, true);
}

void ChartWidget::resizeEvent(QResizeEvent* event) {
  baseValid_ = false;
  QWidget::resizeEvent(event);
}

void ChartWidget::Render(QImage& target) {
  EnsureBase();
  if (target.size() != base_.size()) target = QImage(base_.size(), QImage::Format_RGB32);
  QPainter p(&target);
  p.drawImage(0, 0, base_);
  PaintOverlay(p, false);
}

QImage ChartWidget::ToImage() {
  QImage image;
  Render(image);
  return image;
}

void ChartWidget::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  // A drag whose release never came (a dialog opened by a double click took it) must
  // not turn this press into a zoom from the old start point.
  drag_ = Drag::None;
  emit MouseDown(event->button(), event->modifiers(), pos.x(), pos.y());
  if (event->button() == Qt::LeftButton && PlotRect().contains(pos)) {
    drag_ = Drag::Zoom;
    dragStart_ = dragNow_ = pos;
  } else if (event->button() == Qt::RightButton) {
    drag_ = Drag::Pan;
    dragStart_ = dragNow_ = pos;
    panStartRanges_[0] = bottom_.Minimum();
    panStartRanges_[1] = bottom_.Maximum();
    panStartRanges_[2] = left_.Minimum();
    panStartRanges_[3] = left_.Maximum();
  }
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (drag_ == Drag::Zoom) {
    // The rubber band never leaves the plot rectangle.
    const QRect plot = PlotRect();
    dragNow_ = QPoint(std::clamp(pos.x(), plot.left(), plot.right()),
                      std::clamp(pos.y(), plot.top(), plot.bottom()));
    update();
  } else if (drag_ == Drag::Pan && pos != dragStart_) {
    const QRect plot = PlotRect();
    const double xPerPx = (panStartRanges_[1] - panStartRanges_[0]) / std::max(1, plot.width() - 1);
    const double yPerPx = (panStartRanges_[3] - panStartRanges_[2]) / std::max(1, plot.height() - 1);
    const double dx = -(pos.x() - dragStart_.x()) * xPerPx;
    const double dy = (pos.y() - dragStart_.y()) * yPerPx;
    SaveRangesForUndo();
    bottom_.SetMinMax(panStartRanges_[0] + dx, panStartRanges_[1] + dx);
    left_.SetMinMax(panStartRanges_[2] + dy, panStartRanges_[3] + dy);
    Invalidate();
  }
  emit MouseMove(event->modifiers(), pos.x(), pos.y());
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (drag_ == Drag::Zoom && event->button() == Qt::LeftButton) {
    drag_ = Drag::None;
    const QRect plot = PlotRect();
    const QPoint end(std::clamp(pos.x(), plot.left(), plot.right()),
                     std::clamp(pos.y(), plot.top(), plot.bottom()));
    const int dx = end.x() - dragStart_.x(), dy = end.y() - dragStart_.y();
    if (dx >= zoomThreshold_ && dy >= zoomThreshold_)
      ZoomToRect(QRect(dragStart_, end));
    else if (dx <= -zoomThreshold_ || dy <= -zoomThreshold_)
      UndoZoom();
    update();  // the rubber band goes
  } else if (drag_ == Drag::Pan && event->button() == Qt::RightButton) {
    drag_ = Drag::None;
  }
  emit MouseUp(event->button(), event->modifiers(), pos.x(), pos.y());
}

void ChartWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a press as well.
  mousePressEvent(event);
  const QPoint pos = event->position().toPoint();
  emit DoubleClicked(pos.x(), pos.y());
}
