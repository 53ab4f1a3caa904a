#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <map>

#include "platform/colors.h"
#include "platform/chartwidget.h"
#include "platform/parallel.h"

// Painting of the chart: the cached base layer (panel, grid, curves, axes) and the
// overlay drawn over it on every paint.


namespace {

QFont LabelFont(const QFont& base) {
  QFont f = base;
  f.setPixelSize(12);
  return f;
}

// Far-off values still give coordinates the rasteriser handles exactly enough.
double ClampPixel(double px) { return std::clamp(px, -1.0e5, 1.0e5); }

// Sets the pixels of column x from row top to row bottom, inside the plot.
void FillColumn(QImage& image, const QRect& plot, int x, int top, int bottom, QRgb rgb) {
  if (x < plot.left() || x > plot.right()) return;
  top = std::max(top, plot.top());
  bottom = std::min(bottom, plot.bottom());
  const qsizetype stride = image.bytesPerLine() / 4;
  auto* bits = reinterpret_cast<QRgb*>(image.bits());
  for (int y = top; y <= bottom; ++y) bits[y * stride + x] = rgb;
}

}  // namespace

ChartWidget::Layout ChartWidget::ComputeLayout() const {
  Layout l;
  const QFontMetrics fm(LabelFont(font()));
  l.lineHeight = fm.height();
  const int w = std::max(width(), 1), h = std::max(height(), 1);
  const int dateWidth = fm.horizontalAdvance(QStringLiteral("0000-00-00"));
  const int top = h * 1 / 100 + 2;
  const int bottom = std::max(top + 1, h - (h * 2 / 100 + 2) - 2 * l.lineHeight - 4);

  ChartAxis leftAxis = left_;
  leftAxis.SetPixelRange(bottom, top);
  l.leftTicks = leftAxis.Ticks(leftAxis.ChooseStep(l.lineHeight + 4));
  int labelWidth = 0;
  for (double v : l.leftTicks) labelWidth = std::max(labelWidth, fm.horizontalAdvance(leftAxis.LabelText(v)));
  // Room for the value labels and for half of the first date label.
  const int left = std::min(std::max(labelWidth + 6, dateWidth / 2 + 2), w - 2);
  const int right = std::max(left + 1, w - std::max(w / 100, dateWidth / 2) - 2);

  ChartAxis bottomAxis = bottom_;
  bottomAxis.SetPixelRange(left, right);
  l.bottomTicks = bottomAxis.Ticks(bottomAxis.ChooseStep(dateWidth + 8));
  l.plot = QRect(QPoint(left, top), QPoint(right, bottom));
  return l;
}

void ChartWidget::ApplyLayout(const Layout& layout) {
  bottom_.SetPixelRange(layout.plot.left(), layout.plot.right());
  left_.SetPixelRange(layout.plot.bottom(), layout.plot.top());
}

void ChartWidget::EnsureBase() {
  const Layout layout = ComputeLayout();
  ApplyLayout(layout);
  const double ranges[4] = {bottom_.Minimum(), bottom_.Maximum(), left_.Minimum(), left_.Maximum()};
  const bool sameRanges = std::equal(std::begin(ranges), std::end(ranges), std::begin(baseRanges_));
  if (baseValid_ && sameRanges && base_.size() == size()) return;
  if (base_.size() != size()) base_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  PaintBase(base_, layout);
  std::copy(std::begin(ranges), std::end(ranges), std::begin(baseRanges_));
  baseValid_ = true;
}

void ChartWidget::PaintBase(QImage& image, const Layout& layout) {
  QPainter p(&image);
  const QRect plot = layout.plot;
  p.fillRect(image.rect(), ToQColor(panelColor_));
  p.fillRect(plot, ToQColor(backColor_));
  p.setFont(LabelFont(font()));

  // Grid lines at the labels.
  for (int axis = 0; axis < 2; ++axis) {
    const ChartAxis& a = axis == 0 ? bottom_ : left_;
    if (!a.GridVisible) continue;
    p.setPen(QPen(ToQColor(a.GridColor), 0, Qt::DotLine));
    for (double v : axis == 0 ? layout.bottomTicks : layout.leftTicks) {
      const int px = static_cast<int>(std::lround(a.ValueToPixel(v)));
      if (axis == 0)
        p.drawLine(px, plot.top(), px, plot.bottom());
      else
        p.drawLine(plot.left(), px, plot.right(), px);
    }
  }

  PaintCurves(p, image, plot);

  // Axis lines and labels.
  p.setClipping(false);
  p.setPen(QPen(ToQColor(left_.AxisColor), 0));
  p.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
  p.setPen(QPen(ToQColor(bottom_.AxisColor), 0));
  p.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());
  const int lh = layout.lineHeight;
  p.setPen(ToQColor(left_.LabelColor));
  for (double v : layout.leftTicks) {
    const int py = static_cast<int>(std::lround(left_.ValueToPixel(v)));
    const int y = std::clamp(py - lh / 2, 0, std::max(0, height() - lh));
    p.drawText(QRect(0, y, plot.left() - 4, lh), Qt::AlignRight | Qt::AlignVCenter, left_.LabelText(v));
  }
  p.setPen(ToQColor(bottom_.LabelColor));
  for (double v : layout.bottomTicks) {
    const int px = static_cast<int>(std::lround(bottom_.ValueToPixel(v)));
    p.drawText(QRect(px - 60, plot.bottom() + 3, 120, 2 * lh + 2), Qt::AlignHCenter | Qt::AlignTop,
               bottom_.LabelText(v, true));
  }
}

void ChartWidget::PaintCurves(QPainter& p, QImage& image, const QRect& plot) {
  p.save();
  p.setClipRect(plot);
  p.setRenderHint(QPainter::Antialiasing, false);
  const int columns = plot.width();
  const double xmin = bottom_.Minimum(), xmax = bottom_.Maximum();
  // The points of segment g that lie in view ([i0, i1)) and the segment's bounds.
  struct View {
    int first, end, i0, i1;
  };
  const auto viewOf = [&](const ChartTimeline& t, int g) {
    View v{};
    v.first = t.segmentStart[static_cast<std::size_t>(g)];
    v.end = t.SegmentEnd(g);
    const auto xb = t.x.begin();
    v.i0 = static_cast<int>(std::lower_bound(xb + v.first, xb + v.end, xmin) - xb);
    v.i1 = static_cast<int>(std::upper_bound(xb + v.i0, xb + v.end, xmax) - xb);
    return v;
  };
  // Many points a column: drawn as one vertical run a column.
  const auto byColumns = [&](const ChartTimeline& t, const View& v) { return t.ascending && v.i1 - v.i0 > 2 * columns; };

  // Index where each pixel column starts, per shared time column.
  std::map<const ChartTimeline*, std::vector<int>> columnStarts;
  // Each column's smallest and largest value, per series and segment drawn by columns:
  // found for all of them at once on several cores before anything is painted.
  struct ColumnJob {
    const ChartSeries* series;
    int segment;
    int firstColumn = 0;  // extent[0] is this column's
    std::vector<std::pair<float, float>> extent;
  };
  std::vector<ColumnJob> jobs;
  for (const auto& sp : series_) {
    const ChartSeries& s = *sp;
    if (!s.Active() || s.Count() == 0) continue;
    const ChartTimeline& t = s.Timeline();
    for (int g = 0; g < t.SegmentCount(); ++g) {
      if (!byColumns(t, viewOf(t, g))) continue;
      std::vector<int>& starts = columnStarts[&t];
      if (starts.empty()) {
        const auto xb = t.x.begin();
        starts.resize(static_cast<std::size_t>(columns) + 1);
        for (int c = 0; c <= columns; ++c)
          starts[static_cast<std::size_t>(c)] = static_cast<int>(
              std::lower_bound(xb, t.x.end(), bottom_.PixelToValue(plot.left() + c)) - xb);
        // With many points a column, its edges snap to whole pyramid blocks: a point
        // may move to the neighbouring column, and no column reads single points
        // scattered over the whole recording.
        const int visible = static_cast<int>(std::upper_bound(xb, t.x.end(), xmax) -
                                             std::lower_bound(xb, t.x.end(), xmin));
        if (visible >= 8 * ChartSeries::kBlock * columns)
          for (int& st : starts) st = (st + ChartSeries::kBlock / 2) / ChartSeries::kBlock * ChartSeries::kBlock;
      }
      s.PreparePyramid();
      jobs.push_back(ColumnJob{&s, g, 0, {}});
    }
  }
  const int parts = std::min(static_cast<int>(jobs.size()), MemoryWorkers());
  RunParts(parts, [&](int part) {
    for (std::size_t j = static_cast<std::size_t>(part); j < jobs.size(); j += static_cast<std::size_t>(parts)) {
      ColumnJob& job = jobs[j];
      const ChartTimeline& t = job.series->Timeline();
      const View v = viewOf(t, job.segment);
      const std::vector<int>& starts = columnStarts.at(&t);
      // Only the columns the segment reaches.
      int c0 = 0, c1 = columns;
      while (c0 < c1 && starts[static_cast<std::size_t>(c0) + 1] <= v.i0) ++c0;
      while (c1 > c0 && starts[static_cast<std::size_t>(c1) - 1] >= v.i1) --c1;
      job.firstColumn = c0;
      job.extent.resize(static_cast<std::size_t>(c1 - c0));
      for (int c = c0; c < c1; ++c) {
        const int a = std::max(starts[static_cast<std::size_t>(c)], v.i0);
        const int z = std::min(starts[static_cast<std::size_t>(c) + 1], v.i1);
        if (a < z) job.extent[static_cast<std::size_t>(c - c0)] = job.series->MinMaxPair(a, z);
      }
    }
  });

  QPolygonF poly;
  std::size_t nextJob = 0;
  for (const auto& sp : series_) {
    const ChartSeries& s = *sp;
    if (!s.Active() || s.Count() == 0) continue;
    p.setPen(QPen(ToQColor(s.Color()), 0));
    const ChartTimeline& t = s.Timeline();
    const auto px = [&](int i) { return ClampPixel(bottom_.ValueToPixel(t.x[static_cast<std::size_t>(i)])); };
    const auto py = [&](double v) { return ClampPixel(left_.ValueToPixel(v)); };
    for (int g = 0; g < t.SegmentCount(); ++g) {
      const View v = viewOf(t, g);
      const int first = v.first, end = v.end, i0 = v.i0, i1 = v.i1;
      poly.clear();
      if (!t.ascending) {
        for (int i = first; i < end; ++i) poly << QPointF(px(i), py(s.YValue(i)));
      } else {
        const int from = std::max(first, i0 - 1), to = std::min(end, i1 + 1);
        if (!byColumns(t, v)) {
          for (int i = from; i < to; ++i) poly << QPointF(px(i), py(s.YValue(i)));
        } else {
          const std::vector<int>& starts = columnStarts.at(&t);
          const ColumnJob& job = jobs[nextJob++];
          // One vertical run of pixels a column, from the column's smallest to its
          // largest value, stretched to touch the previous column's run.
          const QRgb rgb = ToQColor(s.Color()).rgb();
          bool havePrev = false;
          int prevTop = 0, prevBottom = 0, firstX = 0, firstY = 0, lastX = 0, lastY = 0;
          for (int c = 0; c < columns; ++c) {
            const int a = std::max(starts[static_cast<std::size_t>(c)], i0);
            const int z = std::min(starts[static_cast<std::size_t>(c) + 1], i1);
            if (a >= z) continue;
            const auto [lo, hi] = job.extent[static_cast<std::size_t>(c - job.firstColumn)];
            const int top = static_cast<int>(std::lround(py(hi)));
            const int bottom = static_cast<int>(std::lround(py(lo)));
            int runTop = top, runBottom = bottom;
            if (havePrev) {
              runTop = std::min(runTop, prevBottom);
              runBottom = std::max(runBottom, prevTop);
            } else {
              firstX = plot.left() + c;
              firstY = (top + bottom) / 2;
            }
            FillColumn(image, plot, plot.left() + c, runTop, runBottom, rgb);
            havePrev = true;
            prevTop = top;
            prevBottom = bottom;
            lastX = plot.left() + c;
            lastY = (top + bottom) / 2;
          }
          // Lines in from the point before the view and out to the point after it.
          if (havePrev && from < i0) p.drawLine(QPointF(px(from), py(s.YValue(from))), QPointF(firstX, firstY));
          if (havePrev && to > i1) p.drawLine(QPointF(lastX, lastY), QPointF(px(i1), py(s.YValue(i1))));
          continue;
        }
      }
      if (poly.size() == 1)
        p.drawPoint(poly.front());
      else if (poly.size() > 1)
        p.drawPolyline(poly);
    }
  }
  p.restore();
}

void ChartWidget::PaintOverlay(QPainter& p, bool withRubberBand) {
  const QRect plot = PlotRect();
  p.save();
  p.setClipRect(plot);
  for (const auto& [id, line] : vlines_) {
    if (line.x < bottom_.Minimum() || line.x > bottom_.Maximum()) continue;
    const int px = static_cast<int>(std::lround(bottom_.ValueToPixel(line.x)));
    p.setPen(QPen(ToQColor(line.colour), 0));
    p.drawLine(px, plot.top(), px, plot.bottom());
  }
  p.restore();
  for (const auto& [id, label] : labels_) {
    QFont f = font();
    f.setPointSize(label.pointSize);
    p.setFont(f);
    p.setPen(ToQColor(label.colour));
    const QFontMetrics fm(f);
    p.drawText(label.at + QPoint(0, fm.ascent()), label.text);
  }
  if (withRubberBand && drag_ == Drag::Zoom && dragNow_ != dragStart_) {
    const TColor rgb = FromQColor(ToQColor(backColor_));
    p.setPen(QPen(ToQColor(0xFFFFFF & ~rgb), 0, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(dragStart_, dragNow_).normalized());
  }
}

