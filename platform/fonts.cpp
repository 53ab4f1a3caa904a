#include "platform/fonts.h"

#include <QFont>

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
