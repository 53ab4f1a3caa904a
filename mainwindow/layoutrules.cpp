#include "mainwindow/layoutrules.h"

#include <algorithm>

int LeftColumnWidth(int columnWidth, int columnMinHeight, int roomHeight, int scrollBarWidth) {
  return columnMinHeight > roomHeight ? columnWidth + std::max(scrollBarWidth, 0) : columnWidth;
}

QPoint KeepPanelInside(QPoint wanted, QSize panel, const PanelBounds& b) {
  const int minLeft = 1, minTop = b.topBar + 1;
  const int maxLeft = std::max(minLeft, b.parent.width() - panel.width() - 2);
  const int maxTop = std::max(minTop, b.parent.height() - panel.height());
  return QPoint(std::clamp(wanted.x(), minLeft, maxLeft), std::clamp(wanted.y(), minTop, maxTop));
}

QPoint PlaceValuePanel(const PanelPlacement& p) {
  const QPoint design(p.chartWidth + p.leftColumnWidth - p.panel.width() - 5, p.bounds.topBar + 35);
  return KeepPanelInside(p.userPlaced ? p.userPos : design, p.panel, p.bounds);
}

int ValuePanelWidth(int designWidth, int besideValues, int widestValue, int rightMargin) {
  return std::max(designWidth, besideValues + widestValue + rightMargin);
}
