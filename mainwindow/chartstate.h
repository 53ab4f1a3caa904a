#pragma once
// What the main form keeps for its curve chart, channel panel, cursor and marker
// lines. The form owns one of these (TfrmQuna::Chart()); the chart, channel and cursor
// units of the main form share it.

#include <QObject>
#include <QPoint>
#include <memory>
#include <vector>

#include "data/pubparam.h"
#include "mainwindow/channelrules.h"

class ChartSeries;
class ChartWidget;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class TfrmQuna;

struct ChartState {
  // Curve of channel c: curveSeries[c] (one series per channel, power failures are
  // breaks inside it).
  std::vector<ChartSeries*> curveSeries;
  int cursorLine = 0;  // chart line id of the cursor, 0 when none is drawn

  // Marker lines: element i of each vector belongs to marker i (time and value labels
  // are chart text labels; a placing click outside the axis range adds only a value label).
  std::vector<int> flagLines, flagTimeLabels, flagValueLabels;
  bool flagPending = false;  // the next left click places a marker line
  bool cursorDragging = false;
  bool rightPressed = false;
  int lastMouseX = 0, lastMouseY = 0;

  bool panelDragging = false;
  int panelDragX = 0, panelDragY = 0;
  // Once dragged, the value panel keeps its place when the window is resized.
  bool panelUserPlaced = false;
  QPoint panelUserPos;

  bool lv8Selected = false, lv2Selected = false, legendSelected = false;
  // Rows of lstline and the channel each stands for.
  std::vector<LegendRow> legendRows;

  std::unique_ptr<QObject> events;  // event filter of the swatches, edits and value panel
};

// Row heights: a channel row stands beside its swatch (16 pixels and 1 apart, tight
// enough for the left column to fit a 768-row screen); the value panel's height allows
// 14 pixels a legend row.
constexpr int kChannelRowHeight = 17;
constexpr int kLegendRowHeight = 14;

// Chart unit routines the form's handlers call (implemented in utQunaChart.cpp,
// utQunaChannels.cpp and utQunaCursor.cpp).
namespace chartunit {
// Connects the chart, lists, swatches, buttons and edits to their handlers.
void Wire(TfrmQuna& form, ChartState& state);
void PaintSwatch(QLabel* swatch, TColor colour);
QLabel* Swatch(TfrmQuna& form, int channel);  // img101..img116, img201..img216
void RebuildLegend(TfrmQuna& form, bool keepValues = true);
void PaintLegend(TfrmQuna& form);
void ApplyChannelSelection(TfrmQuna& form, int which, QTreeWidgetItem* item);
void EditChannelLabel(TfrmQuna& form, int which);
void SwatchClick(TfrmQuna& form, int number);
void LegendDoubleClick(TfrmQuna& form);
void ChartMouseDown(TfrmQuna& form, Qt::MouseButton button, int x, int y);
void ChartMouseMove(TfrmQuna& form);
void ChartMouseUp(TfrmQuna& form);
void ChartDoubleClick(TfrmQuna& form);
void ChartZoomed(TfrmQuna& form);
void ChartUndoZoomed(TfrmQuna& form);
void RemoveCursor(TfrmQuna& form);
void AddFlagClick(TfrmQuna& form);
void ClearFlagClick(TfrmQuna& form);
// Value panel drag: press, move and release at pixels of the widget pressed.
void PanelMouseDown(TfrmQuna& form, int x, int y);
void PanelMouseMove(TfrmQuna& form, int x, int y);
void PanelMouseUp(TfrmQuna& form);
}  // namespace chartunit
