#include "output/pagecanvas.h"

#include <QFontMetrics>
#include <QPainter>

PainterCanvas::PainterCanvas(QPainter& painter, double dpiY) : painter_(painter), dpiY_(dpiY) {
  painter_.setPen(CreatePenFromTPen(QPen(Qt::black)));
  painter_.setBrush(Qt::NoBrush);
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
    *slot = f;
  }
  if (current_ != &**slot) {
    current_ = &**slot;
    painter_.setFont(current_->font);
  }
}

void PainterCanvas::Text(int x, int y, const QString& text) {
  if (text.isEmpty()) return;
  if (!current_) SetFont(9, false);
  // Texts are placed by their top-left corner; the painter wants the baseline.
  painter_.drawText(x, y + current_->ascent, text);
}

void PainterCanvas::Line(int x1, int y1, int x2, int y2) { painter_.drawLine(x1, y1, x2, y2); }

void PainterCanvas::Frame(int width, int height) {
  painter_.fillRect(0, 0, width, height, Qt::white);
  painter_.drawRect(0, 0, width - 1, height - 1);
}
