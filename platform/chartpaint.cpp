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
  if (holdPicture_) {
    // Held before it ever painted: nothing to keep, and the series may not be read.
    if (base_.isNull()) {
      base_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
      base_.fill(ToQColor(panelColor_));
      baseValid_ = false;
      return;
    }
    if (base_.size() != size()) {
      QImage grown(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
      grown.fill(ToQColor(panelColor_));
      QPainter(&grown).drawImage(0, 0, base_);
      base_ = grown;
    }
    return;
  }
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
  // Per source: the view of each segment and, when some segment is drawn by columns,
  // the point where each pixel column starts.
  struct SourceViews {
    std::vector<View> views;
    std::vector<int> starts;
  };
  std::map<const ChartSource*, SourceViews> sources;
  const auto viewsOf = [&](const ChartSource& src) -> SourceViews& {
    auto [it, added] = sources.try_emplace(&src);
    if (added) {
      const ChartSegments& seg = src.Segments();
      for (int g = 0; g < seg.Count(); ++g) {
        View v{};
        v.first = seg.start[static_cast<std::size_t>(g)];
        v.end = seg.End(g, src.Count());
        v.i0 = src.LowerBound(v.first, v.end, xmin);
        v.i1 = src.UpperBound(v.i0, v.end, xmax);
        it->second.views.push_back(v);
      }
    }
    return it->second;
  };
  // Many points a column: drawn as one vertical run a column.
  const auto byColumns = [&](const ChartSource& src, const View& v) {
    return src.Segments().ascending && v.i1 - v.i0 > 2 * columns;
  };

  // Each column's smallest and largest value, per segment drawn by columns and for all
  // the series of its source at once: found on several cores before anything is painted.
  struct ColumnJob {
    const ChartSource* source;
    int segment;
    std::vector<const ChartSeries*> series;
    std::vector<int> curves;  // of series[k]
    int c0 = 0, c1 = 0;       // the columns the segment reaches
    std::vector<float> lo, hi;  // column c, series k: [(c - c0) * series + k]
  };
  std::vector<ColumnJob> jobs;
  std::map<std::pair<const ChartSource*, int>, std::size_t> jobOf;
  for (const auto& sp : series_) {
    const ChartSeries& s = *sp;
    if (!s.Active() || s.Count() == 0) continue;
    const ChartSource& src = *s.Source();
    SourceViews& sv = viewsOf(src);
    for (int g = 0; g < static_cast<int>(sv.views.size()); ++g) {
      if (!byColumns(src, sv.views[static_cast<std::size_t>(g)])) continue;
      std::vector<int>& starts = sv.starts;
      if (starts.empty()) {
        const int count = src.Count();
        starts.resize(static_cast<std::size_t>(columns) + 1);
        for (int c = 0; c <= columns; ++c)
          starts[static_cast<std::size_t>(c)] = src.LowerBound(0, count, bottom_.PixelToValue(plot.left() + c));
        // With many points a column, its edges snap to whole blocks: a point may move
        // to the neighbouring column, and no column reads single points scattered over
        // the whole recording.
        const int visible = src.UpperBound(0, count, xmax) - src.LowerBound(0, count, xmin);
        if (visible >= 8 * ChartSeries::kBlock * columns)
          for (int& st : starts) st = (st + ChartSeries::kBlock / 2) / ChartSeries::kBlock * ChartSeries::kBlock;
      }
      const auto [it, added] = jobOf.try_emplace({&src, g}, jobs.size());
      if (added) jobs.push_back(ColumnJob{&src, g, {}, {}, 0, 0, {}, {}});
      ColumnJob& job = jobs[it->second];
      job.series.push_back(&s);
      job.curves.push_back(s.Curve());
    }
  }
  // Work in chunks of columns, so that one segment of many series spreads over the cores.
  constexpr int kChunk = 32;
  std::vector<std::pair<std::size_t, int>> chunks;  // job, first column
  for (std::size_t j = 0; j < jobs.size(); ++j) {
    ColumnJob& job = jobs[j];
    const View& v = sources.at(job.source).views[static_cast<std::size_t>(job.segment)];
    const std::vector<int>& starts = sources.at(job.source).starts;
    int c0 = 0, c1 = columns;
    while (c0 < c1 && starts[static_cast<std::size_t>(c0) + 1] <= v.i0) ++c0;
    while (c1 > c0 && starts[static_cast<std::size_t>(c1) - 1] >= v.i1) --c1;
    job.c0 = c0;
    job.c1 = c1;
    const std::size_t cells = static_cast<std::size_t>(c1 - c0) * job.series.size();
    job.lo.assign(cells, 0.0f);
    job.hi.assign(cells, 0.0f);
    for (int c = c0; c < c1; c += kChunk) chunks.emplace_back(j, c);
  }
  RunJobs(static_cast<int>(chunks.size()), MemoryWorkers(), [&](int chunk) {
    const auto [j, cFirst] = chunks[static_cast<std::size_t>(chunk)];
    ColumnJob& job = jobs[j];
    const SourceViews& sv = sources.at(job.source);
    const View& v = sv.views[static_cast<std::size_t>(job.segment)];
    const std::size_t n = job.series.size();
    for (int c = cFirst; c < std::min(job.c1, cFirst + kChunk); ++c) {
      const int a = std::max(sv.starts[static_cast<std::size_t>(c)], v.i0);
      const int z = std::min(sv.starts[static_cast<std::size_t>(c) + 1], v.i1);
      const std::size_t cell = static_cast<std::size_t>(c - job.c0) * n;
      if (a < z) job.source->MinMax(job.curves, a, z, job.lo.data() + cell, job.hi.data() + cell);
    }
  });

  QPolygonF poly;
  for (const auto& sp : series_) {
    const ChartSeries& s = *sp;
    if (!s.Active() || s.Count() == 0) continue;
    p.setPen(QPen(ToQColor(s.Color()), 0));
    const ChartSource& src = *s.Source();
    const SourceViews& sv = sources.at(&src);
    const int curve = s.Curve();
    const auto px = [&](int i) { return ClampPixel(bottom_.ValueToPixel(src.X(i))); };
    const auto py = [&](double v) { return ClampPixel(left_.ValueToPixel(v)); };
    for (int g = 0; g < static_cast<int>(sv.views.size()); ++g) {
      const View v = sv.views[static_cast<std::size_t>(g)];
      const int first = v.first, end = v.end, i0 = v.i0, i1 = v.i1;
      poly.clear();
      if (!src.Segments().ascending) {
        for (int i = first; i < end; ++i) poly << QPointF(px(i), py(src.Y(curve, i)));
      } else {
        const int from = std::max(first, i0 - 1), to = std::min(end, i1 + 1);
        if (!byColumns(src, v)) {
          for (int i = from; i < to; ++i) poly << QPointF(px(i), py(src.Y(curve, i)));
        } else {
          const std::vector<int>& starts = sv.starts;
          const ColumnJob& job = jobs[jobOf.at({&src, g})];
          const std::size_t n = job.series.size();
          const std::size_t k = static_cast<std::size_t>(
              std::find(job.series.begin(), job.series.end(), &s) - job.series.begin());
          // One vertical run of pixels a column, from the column's smallest to its
          // largest value, stretched to touch the previous column's run.
          const QRgb rgb = ToQColor(s.Color()).rgb();
          bool havePrev = false;
          int prevTop = 0, prevBottom = 0, firstX = 0, firstY = 0, lastX = 0, lastY = 0;
          for (int c = 0; c < columns; ++c) {
            const int a = std::max(starts[static_cast<std::size_t>(c)], i0);
            const int z = std::min(starts[static_cast<std::size_t>(c) + 1], i1);
            if (a >= z) continue;
            const std::size_t cell = static_cast<std::size_t>(c - job.c0) * n + k;
            const float lo = job.lo[cell], hi = job.hi[cell];
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
          if (havePrev && from < i0) p.drawLine(QPointF(px(from), py(src.Y(curve, from))), QPointF(firstX, firstY));
          if (havePrev && to > i1) p.drawLine(QPointF(lastX, lastY), QPointF(px(i1), py(src.Y(curve, i1))));
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

