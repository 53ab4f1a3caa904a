#pragma once
// Rules of the main window's layout over plain sizes: how the left column fits a small
// screen, and where the floating value panel stands and how wide it is. The form only
// measures its widgets and applies what these decide.

#include <QPoint>
#include <QRect>
#include <QSize>

// Width of the left column's scroll area: the column's own width, plus the width of the
// scroll bar when the column needs more height than the room it has (a small screen).
// Where the room is enough the column keeps its design width and shows no bar.
int LeftColumnWidth(int columnWidth, int columnMinHeight, int roomHeight, int scrollBarWidth);

// Where the value panel may stand in its parent (the form's central widget, above the
// status bar): below the top bar, one pixel from the left, two from the right and not
// past the bottom, so its whole border shows.
struct PanelBounds {
  QSize parent;    // the panel's parent: the form's central widget
  int topBar = 0;  // height of the file bar (pnl3)
};
// The nearest place to wanted at which the whole panel lies inside the bounds; a panel
// larger than its parent keeps its top left corner inside.
QPoint KeepPanelInside(QPoint wanted, QSize panel, const PanelBounds& b);

// The value panel's place. Until the user drags it, it stands at the design place: 35
// pixels below the top bar, its right edge 5 pixels inside the chart's right edge.
// Once dragged, it keeps the place the user gave it whatever the window's size, moved
// in only as far as needed to stay whole inside the window (and back out to that place
// when the window grows again).
struct PanelPlacement {
  PanelBounds bounds;
  QSize panel;
  int leftColumnWidth = 0;  // the left column with its scroll bar, if any
  int chartWidth = 0;       // pnLine
  bool userPlaced = false;
  QPoint userPos;           // the place the last drag left it at
};
QPoint PlaceValuePanel(const PanelPlacement& p);

// The value panel's width: the design width, or wider when the value column (what is
// left beside the colour and label columns) cannot hold the widest value text with a
// margin on its right.
int ValuePanelWidth(int designWidth, int besideValues, int widestValue, int rightMargin);
