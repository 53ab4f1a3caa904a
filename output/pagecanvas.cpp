#include "output/pagecanvas.h"

#include <QGlyphRun>
#include <QPainter>

#include "output/Utprinter.h"
#include "platform/fonts.h"

PainterCanvas::PainterCanvas(QPainter& painter, double dpiY) : painter_(painter), dpiY_(dpiY) {
  painter_.setPen(CreatePenFromTPen(QPen(Qt::black)));
  painter_.setBrush(Qt::NoBrush);
}

PainterCanvas::~PainterCanvas() { Flush(); }

void PainterCanvas::Flush() {
  if (runGlyphs_.isEmpty() || !current_) return;
  QGlyphRun run;
  run.setRawFont(current_->raw);
  run.setGlyphIndexes(runGlyphs_);
  run.setPositions(runPositions_);
  painter_.drawGlyphRun(QPointF(0, 0), run);
  runGlyphs_.clear();
  runPositions_.clear();
}

void PainterCanvas::SetFont(double pointSize, bool bold) {
  const PageFont* f = &GetPageFont(pointSize, bold, dpiY_);
  if (f == current_) return;
  Flush();
  current_ = f;
  painter_.setFont(current_->font);
}

void PainterCanvas::Text(int x, int y, const QString& text) {
  if (text.isEmpty()) return;
  if (!current_) SetFont(9, false);
  // Texts are placed by their top-left corner; the painter wants the baseline.
  const int baseline = y + current_->ascent;
  bool plain = current_->raw.isValid();
  for (QChar c : text) {
    const ushort u = c.unicode();
    if (u >= 128 || current_->glyph[u] == 0) {
      plain = false;
      break;
    }
  }
  if (!plain) {
    DrawTextWithLatinTwin(painter_, QPointF(x, baseline), text);
    return;
  }
  qreal pen = x;
  for (QChar c : text) {
    const ushort u = c.unicode();
    runGlyphs_.push_back(current_->glyph[u]);
    runPositions_.push_back(QPointF(pen, baseline));
    pen += current_->advance[u];
  }
}

void PainterCanvas::Line(int x1, int y1, int x2, int y2) { painter_.drawLine(x1, y1, x2, y2); }

void PainterCanvas::Frame(int width, int height) {
  Flush();
  painter_.fillRect(0, 0, width, height, Qt::white);
  painter_.drawRect(0, 0, width - 1, height - 1);
}
