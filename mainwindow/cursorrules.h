#pragma once
// Chart cursor rules over plain data: the record nearest a clicked time, the value
// panel texts, the marker value text, and the geometry of the value panel.

#include <QPoint>
#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "data/pubparam.h"
#include "mainwindow/channelrules.h"
#include "mainwindow/chartrules.h"

class ChartSeries;

// A record whose time text lies within text ± avgInterval seconds (binary search over
// the store's time texts), or -1 with status 2. An empty store finds nothing.
int FindRecordByTime(const utPubParam& store, const std::string& text, int avgInterval, int& status);

// What a left click at date-time x on the chart finds.
struct CursorHit {
  bool inSegment = false;  // x lies inside a run of records between power failures
  int record = -1;         // the cursor's record, -1 when none
  QString timeText;        // the time at x, "yyyy-M-d h:m:s" on one line
  QString message;         // "停电" (gap) or "无数据" (no record near), empty when found
};
// Searches text ± avgInterval, then the windows 30 seconds before to 29 after in turn.
CursorHit FindCursorRecord(const utPubParam& store, bool inSegment, double x, int avgInterval,
                           const LangLookup& lang);
// Whether x lies inside a segment of the curves (all channels share the segments).
bool CursorInSegment(const std::vector<ChartSeries*>& curveSeries, double x);

// Value column of the legend rows: "%0.1f" of the row's channel in the found record,
// or the hit's message; a row whose channel is no longer shown keeps its text (nullopt).
std::vector<std::optional<QString>> ValuePanelTexts(const utPubParam& store,
                                                    const std::vector<LegendRow>& rows,
                                                    const CursorHit& hit);
// Text of a new marker's value label: the last value written, or the message.
QString MarkerValueText(const std::vector<std::optional<QString>>& texts, const CursorHit& hit);

// Whether the cursor line and time text are drawn: the time at x, in whole seconds,
// inside the bottom axis range.
bool CursorTimeShown(double x, double axisMinimum, double axisMaximum);

// Height of the value panel for a channel count.
int ValuePanelHeight(int channelCount);

// New position of the value panel dragged by its title strip.
struct PanelDrag {
  QPoint panelPos;      // current Left, Top of pnlMove
  QSize panelSize;      // pnlMove
  QSize parentSize;     // the form
  QPoint pressAt;       // PanelDragX, PanelDragY
  QPoint mouseAt;       // X, Y of the move
  int pnl3Height = 0;
  int pnLineWidth = 0;
  int pnl9Width = 0;   // the left column as shown (its scroll area)
  int pnl9Height = 0;
};
QPoint DragValuePanel(const PanelDrag& d);

// A press on the chart acts only with curves and no load running.
inline bool ChartPressAccepted(bool haveCurves, bool busy) { return haveCurves && !busy; }
