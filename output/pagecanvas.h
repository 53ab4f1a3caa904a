#pragma once
// A report page drawn with a QPainter: on the preview image, on paper or into a PDF.

#include <QFont>
#include <QPointF>
#include <QRawFont>
#include <QVector>
#include <array>
#include <optional>

#include "output/reportpages.h"

class QPainter;

class PainterCanvas : public PageCanvas {
 public:
  // dpiY: the vertical resolution of the page units, for the font sizes.
  PainterCanvas(QPainter& painter, double dpiY);
  ~PainterCanvas() override;

  void SetFont(int pointSize, bool bold) override;
  void Text(int x, int y, const QString& text) override;
  void Line(int x1, int y1, int x2, int y2) override;
  void Frame(int width, int height) override;

 private:
  // Times and numbers (printable ASCII) are gathered into one glyph run per font and
  // drawn at once: a page holds over a thousand of them, and shaping each on its own
  // costs more than the rest of the page.
  struct Font {
    int size = 0;
    bool bold = false;
    QFont font;
    int ascent = 0;
    QRawFont raw;
    std::array<quint32, 128> glyph{};  // 0: not in the font, drawn as text
    std::array<qreal, 128> advance{};
  };
  void Flush();
  QVector<quint32> runGlyphs_;
  QVector<QPointF> runPositions_;
  QPainter& painter_;
  double dpiY_;
  std::array<std::optional<Font>, 4> fonts_;  // sizes 8 and 9, regular and bold
  std::optional<Font> other_;
  const Font* current_ = nullptr;
};
