#include "output/pagecanvas.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>

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

void PainterCanvas::SetFont(int pointSize, bool bold) {
  // The page uses four fonts; each is made once per page.
  std::optional<Font>* slot = &other_;
  if (pointSize == 8 || pointSize == 9)
    slot = &fonts_[static_cast<std::size_t>((pointSize - 8) * 2 + (bold ? 1 : 0))];
  if (!*slot || (*slot)->size != pointSize || (*slot)->bold != bold) {
    Font f;
    f.size = pointSize;
    f.bold = bold;
    f.font = CreateFontFromTFont(QFont(QString::fromUtf8("宋体"), pointSize), bold ? 1 : 0, dpiY_);
    f.ascent = QFontMetrics(f.font, painter_.device()).ascent();
    f.raw = QRawFont::fromFont(f.font);
    if (f.raw.isValid()) {
      QString ascii;
      for (int c = 32; c < 127; ++c) ascii += QChar(c);
      const QVector<quint32> glyphs = f.raw.glyphIndexesForString(ascii);
      const QVector<QPointF> advances = f.raw.advancesForGlyphIndexes(glyphs);
      for (int c = 32; c < 127 && c - 32 < glyphs.size(); ++c) {
        f.glyph[static_cast<std::size_t>(c)] = glyphs[c - 32];
        f.advance[static_cast<std::size_t>(c)] = advances[c - 32].x();
      }
    }
    *slot = f;
  }
  if (current_ != &**slot) {
    Flush();
    current_ = &**slot;
    painter_.setFont(current_->font);
  }
}

void PainterCanvas::Text(int x, int y, const QString& text) {
  if (text.isEmpty()) return;
  if (!current_) SetFont(9, false);
  // Texts are placed by their top-left corner; the painter wants the baseline.
  const int baseline = y + current_->ascent;
  bool plain = true;
  for (QChar c : text) {
    const ushort u = c.unicode();
    if (u >= 128 || current_->glyph[u] == 0) {
      plain = false;
      break;
    }
  }
  if (!plain) {
    painter_.drawText(x, baseline, text);
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
