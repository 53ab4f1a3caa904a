#include "output/chartpage.h"

#include <QPainter>

#include <algorithm>

#include "output/Utprinter.h"
#include "output/pagefont.h"
#include "platform/fonts.h"

PictureRects ChartPictureRects(int pageWidth, const PageMargins& m, int lineHeight,
                               QSize picture) {
  PictureRects r;
  // The chart's outer ten pixels (its frame) are left out; what remains must lie inside
  // the picture.
  r.source = QRect(10, 10, picture.width() - 9, picture.height() - 8) &
             QRect(QPoint(0, 0), picture);
  r.dest = QRect(m.left + 1, m.top + 6 * lineHeight + 1, pageWidth - 2 * m.left - 1,
                 m.usable - 6 * lineHeight - 1);
  if (r.source.width() <= 0 || r.source.height() <= 0) r.source = QRect();
  if (r.dest.width() <= 0 || r.dest.height() <= 0) r.dest = QRect();
  return r;
}

QString MarginCaption(const QString& label, int value) {
  return label + QString::number(value) + QLatin1Char('%');
}

void DrawChartPage(QPainter& painter, const ChartPageContent& page) {
  const int W = page.width, H = page.height, LH = page.lineHeight, CW = page.charWidth;
  const PageMargins m = ComputeMargins(W, H, page.topPct, page.bottomPct, page.leftPct);
  const int T = m.top, L = m.left, Hb = m.usable;

  painter.save();
  painter.setPen(CreatePenFromTPen(QPen(Qt::black)));
  painter.setBrush(Qt::white);
  painter.drawRect(0, 0, W - 1, H - 1);

  // The picture before the rules: where a device rounds the picture's edges outward,
  // the frame still shows.
  if (page.picture && !page.picture->isNull()) {
    const QSize own = page.picture->size();
    const QSize given = page.pictureSize.isEmpty() ? own : page.pictureSize.boundedTo(own);
    const PictureRects r = ChartPictureRects(W, m, LH, given);
    if (r.Drawn()) {
      painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
      // The PDF device has no grey mode of its own: the picture is turned grey here.
      if (page.grayScale) painter.drawImage(r.dest, page.picture->convertToFormat(QImage::Format_Grayscale8), r.source);
      else painter.drawImage(r.dest, *page.picture, r.source);
    }
  }

  for (int k = 0; k < 4; ++k) painter.drawLine(L, T + 2 * k * LH, W - L, T + 2 * k * LH);
  painter.drawLine(L, T, L, T + Hb);
  painter.drawLine(W - L, T, W - L, T + Hb);
  painter.drawLine(L, T + Hb, W - L, T + Hb);

  const PageFont& font = GetPageFont(8, true, page.dpiY);
  painter.setFont(font.font);
  const int gap = std::max(1, CW / 4);
  const auto row = [&](int y, std::vector<RowCell> cells) {
    for (const RowCell& c : PlaceRow(std::move(cells), font, W - L - gap, gap))
      DrawTextWithLatinTwin(painter, QPointF(c.x, y + font.ascent), c.text);
  };
  row(T + LH / 2, {{L + CW / 2, page.device}, {(W - 2 * L) / 2 + 3 * CW, page.printTime}});
  row(T + 2 * LH + LH / 2, {{L + CW / 2, page.timeRange}});
  row(T + 4 * LH + LH / 2, {{L + CW / 2, page.unit}});

  painter.restore();
}
