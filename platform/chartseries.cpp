#include "platform/chartseries.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/chartwidget.h"

namespace {

float ToDrawValue(double y) {
  // Drawing only: the values shown to the user are read from where they are kept.
  if (std::isnan(y)) return 0.0f;
  return static_cast<float>(std::clamp(y, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

}  // namespace

ChartSeries::ChartSeries(ChartWidget* chart) : chart_(chart) {}

void ChartSeries::Changed() {
  if (chart_) chart_->SeriesChanged();
}

ChartPointList& ChartSeries::OwnPoints() {
  if (!own_) {
    auto list = std::make_shared<ChartPointList>();
    if (source_) {
      const ChartSegments& seg = source_->Segments();
      for (int g = 0; g < seg.Count(); ++g) {
        list->Break();
        for (int i = seg.start[static_cast<std::size_t>(g)]; i < seg.End(g, source_->Count()); ++i)
          list->Append(source_->X(i), source_->Y(curve_, i));
      }
    }
    own_ = list.get();
    source_ = std::move(list);
    curve_ = 0;
  }
  return *own_;
}

void ChartSeries::AddXY(double x, double y) {
  OwnPoints().Append(x, ToDrawValue(y));
  Changed();
}

void ChartSeries::BreakSegment() { OwnPoints().Break(); }

void ChartSeries::Clear() { SetSource(nullptr, 0); }

void ChartSeries::SetSource(std::shared_ptr<const ChartSource> source, int curve) {
  source_ = std::move(source);
  own_ = nullptr;
  curve_ = curve;
  Changed();
}

std::pair<float, float> ChartSeries::MinMaxPair(int first, int end) const {
  std::pair<float, float> r;
  const int curve = curve_;
  source_->MinMax(std::span<const int>(&curve, 1), first, end, &r.first, &r.second);
  return r;
}

void ChartSeries::SetActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  if (chart_) chart_->SeriesChanged();
}

void ChartSeries::SetColor(TColor colour) {
  if (color_ == colour) return;
  color_ = colour;
  if (chart_) chart_->SeriesChanged();
}
