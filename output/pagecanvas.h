#pragma once
// A report page drawn with a QPainter: on the preview image, on paper or into a PDF.
// The painter's transform maps page units onto its device.

#include <QPointF>
#include <QVector>

#include "output/pagefont.h"
#include "output/reportpages.h"

class QPainter;

class PainterCanvas : public PageCanvas {
 public:
  // dpiY: the vertical resolution of the page units, for the font sizes.
  PainterCanvas(QPainter& painter, double dpiY);
  ~PainterCanvas() override;

  void SetFont(double pointSize, bool bold) override;
  void Text(int x, int y, const QString& text) override;
  void Line(int x1, int y1, int x2, int y2) override;
  void Frame(int width, int height) override;

 private:
  // Times and numbers (printable ASCII) are gathered into one glyph run per font and
  // drawn at once: a page holds over a thousand of them, and shaping each on its own
  // costs more than the rest of the page.
  void Flush();
  QVector<quint32> runGlyphs_;
  QVector<QPointF> runPositions_;
  QPainter& painter_;
  double dpiY_;
  const PageFont* current_ = nullptr;
};
