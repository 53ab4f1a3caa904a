#pragma once
// The chart page as one A4 page: its margins, the three-row header and the turned chart
// picture between the margins; drawn by one routine for the preview image and the paper.
// All geometry is integer arithmetic in the printer wrapper's units.

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include "output/pagemargins.h"

class QPainter;

// Where the picture goes: the part of the picture shown (inside it, the same on the preview
// and on paper) and its place on the page below the header. Empty when the margins leave
// no room, so nothing is drawn.
struct PictureRects {
  QRect source;
  QRect dest;
  bool Drawn() const { return !source.isEmpty() && !dest.isEmpty(); }
};
PictureRects ChartPictureRects(int pageWidth, const PageMargins& m, int lineHeight,
                               QSize picture);


// "%s%d%": the caption of a margin or zoom label, for example "上:5%".
QString MarginCaption(const QString& label, int value);

// What one chart page shows.
struct ChartPageContent {
  int width = 0, height = 0, lineHeight = 0, charWidth = 0;  // W, H, LH, CW
  double dpiY = 96;  // resolution of the units, for the header font
  int topPct = 5, bottomPct = 5, leftPct = 5;
  QString device;     // "设备名称：" + DEVNAME
  QString printTime;  // "打印时间：" + the time of drawing
  QString timeRange;  // "时间范围：" + the range text
  QString unit;       // "单位名称：" + COPYNAME
  const QImage* picture = nullptr;  // the turned chart picture, may be null
  QSize pictureSize;  // its size as the launcher gave it (the picture's own when empty)
  bool grayScale = false;  // 黑白: the picture in greys (texts and rules are black anyway)
};

// Draws the page: frame, header rules and texts (placed from their measured widths so
// that they never meet), and the picture (smoothly scaled).
void DrawChartPage(QPainter& painter, const ChartPageContent& page);
