#include "output/pagecanvas.h"

#include <QPainter>
#include <cmath>

QFont PrintFont(int pointSize, bool bold, double dpiY) {
  QFont f;
  f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                 QStringLiteral("Noto Sans CJK SC")});
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize * dpiY / 72.0))));
  f.setWeight(bold ? QFont::Bold : QFont::Normal);
  // Device-independent glyph positions, so the preview and the paper place text alike.
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

PainterCanvas::PainterCanvas(QPainter& painter, double dpiY) : painter_(painter), dpiY_(dpiY) {
  painter_.setPen(QPen(Qt::black, 1));
  painter_.setBrush(Qt::NoBrush);
}

void PainterCanvas::SetFont(int pointSize, bool bold) {
  std::optional<Font>* slot = &other_;
  if (pointSize == 8 || pointSize == 9) slot = &fonts_[static_cast<std::size_t>((pointSize - 8) * 2 + (bold ? 1 : 0))];
  if (!*slot || (*slot)->size != pointSize || (*slot)->bold != bold) {
    Font f;
    f.size = pointSize;
    f.bold = bold;
    f.font = PrintFont(pointSize, bold, dpiY_);
    f.ascent = QFontMetrics(f.font, painter_.device()).ascent();
    *slot = f;
  }
  if (current_ != &**slot) {
    current_ = &**slot;
    painter_.setFont(current_->font);
  }
}

void PainterCanvas::Text(int x, int y, const QString& text) {
  if (!current_) SetFont(9, false);
  painter_.drawText(x, y + current_->ascent, text);
}

void PainterCanvas::Line(int x1, int y1, int x2, int y2) { painter_.drawLine(x1, y1, x2, y2); }

void PainterCanvas::Frame(int width, int height) {
  painter_.fillRect(0, 0, width, height, Qt::white);
  painter_.drawRect(0, 0, width - 1, height - 1);
}
