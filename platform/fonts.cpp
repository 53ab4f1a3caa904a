#include "platform/fonts.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPointF>

QStringList SongFaces() {
  // Debian's fonts-arphic-uming; its Latin letters and digits are half-width like
  // those of "宋体". The serif faces of fonts-noto-cjk stand in where it is missing.
  return {"AR PL UMing CN", "AR PL UMing TW", "Noto Serif CJK SC", "Noto Serif CJK"};
}

void SetUpFontSubstitutes() {
  const QStringList song = SongFaces();
  QFont::insertSubstitutions(QString::fromUtf8("宋体"), song);
  // Sans faces of the Arial proportions; their missing Chinese glyphs come from the
  // Song face.
  const QStringList sans = {"Liberation Sans", "Nimbus Sans", "Arimo"};
  QFont::insertSubstitutions("Arial", sans + song);
  QFont::insertSubstitutions("MS Sans Serif", sans + song);
}

QFont LatinTwin(const QFont& font) {
  static const QStringList faces = {"AR PL UMing CN", "AR PL UMing TW", "Noto Serif CJK SC"};
  static const QStringList twins = {"AR PL UMing HK", "AR PL UMing HK", "Noto Serif CJK TC"};
  const qsizetype i = faces.indexOf(QFontInfo(font).family());
  if (i < 0) return font;
  QFont twin = font;
  twin.setFamilies({twins[i]});
  return twin;
}

void DrawTextWithLatinTwin(QPainter& painter, const QPointF& baseline, const QString& text) {
  const QFont base = painter.font();
  const QFont twin = LatinTwin(base);
  const auto ascii = [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; };
  qreal x = baseline.x();
  for (qsizetype i = 0; i < text.size();) {
    qsizetype end = i;
    while (end < text.size() && ascii(text[end]) == ascii(text[i])) ++end;
    const QString run = text.mid(i, end - i);
    painter.setFont(ascii(text[i]) ? twin : base);
    painter.drawText(QPointF(x, baseline.y()), run);
    x += QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(run);
    i = end;
  }
  painter.setFont(base);
}
