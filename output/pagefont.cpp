#include "output/pagefont.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>

#include "output/Utprinter.h"
#include "platform/fonts.h"

namespace {

bool Ascii(const QString& text) {
  for (QChar c : text)
    if (c.unicode() >= 128) return false;
  return true;
}

// Whole characters: a surrogate pair is never split.
int CharEnd(const QString& text, int at) {
  return at < text.size() && text.at(at).isHighSurrogate() && at + 1 < text.size() ? at + 2 : at + 1;
}

}  // namespace

qreal PageFont::Width(const QString& text) const {
  if (Ascii(text)) {
    qreal w = 0;
    bool known = true;
    for (QChar c : text) {
      const ushort u = c.unicode();
      if (glyph[u] == 0 && u != ' ') known = false;
      w += advance[u];
    }
    if (known) return w;
  }
  auto it = widths_.constFind(text);
  if (it != widths_.constEnd()) return *it;
  const qreal w = QFontMetricsF(font).horizontalAdvance(text);
  if (widths_.size() > 4096) widths_.clear();
  widths_.insert(text, w);
  return w;
}

qreal PageFont::FormWidth(const QString& text) const {
  QString rest;
  int digits = 0;
  for (QChar c : text) {
    if (c.isDigit() && c.unicode() < 128) ++digits;
    else rest += c;
  }
  return Width(rest) + digits * widestDigit;
}

QString PageFont::Cut(const QString& text, int room) const {
  if (Width(text) <= room) return text;
  int fit = 0;
  for (int end = CharEnd(text, 0); end <= text.size(); end = CharEnd(text, end)) {
    if (Width(text.left(end)) > room) break;
    fit = end;
    if (end == text.size()) break;
  }
  return text.left(fit);
}

const PageFont& GetPageFont(double points, bool bold, double dpiY) {
  using Key = std::tuple<int, bool, long long>;
  static std::map<Key, std::unique_ptr<PageFont>> cache;
  const Key key{static_cast<int>(std::lround(points * 10)), bold, std::llround(dpiY * 100)};
  std::unique_ptr<PageFont>& slot = cache[key];
  if (slot) return *slot;
  slot = std::make_unique<PageFont>();
  PageFont& f = *slot;
  f.points = points;
  f.bold = bold;
  QFont base(QString::fromUtf8("宋体"));
  base.setPointSizeF(points);
  f.font = CreateFontFromTFont(base, bold ? 1 : 0, dpiY);
  f.font.setHintingPreference(QFont::PreferNoHinting);
  const QFontMetricsF fm(f.font);
  f.ascent = static_cast<int>(std::ceil(fm.ascent()));
  f.height = static_cast<int>(std::ceil(fm.ascent() + fm.descent()));
  // Latin runs from the twin face: a PDF printer then keeps them searchable.
  f.raw = QRawFont::fromFont(LatinTwin(f.font));
  for (int c = 32; c < 127; ++c) f.advance[static_cast<std::size_t>(c)] = fm.horizontalAdvance(QChar(c));
  if (f.raw.isValid()) {
    QString ascii;
    for (int c = 32; c < 127; ++c) ascii += QChar(c);
    const QVector<quint32> glyphs = f.raw.glyphIndexesForString(ascii);
    const QVector<QPointF> advances = f.raw.advancesForGlyphIndexes(glyphs);
    for (int c = 32; c < 127 && c - 32 < glyphs.size(); ++c) {
      f.glyph[static_cast<std::size_t>(c)] = glyphs[c - 32];
      if (glyphs[c - 32] != 0) f.advance[static_cast<std::size_t>(c)] = advances[c - 32].x();
    }
  }
  for (int d = '0'; d <= '9'; ++d) f.widestDigit = std::max(f.widestDigit, f.advance[static_cast<std::size_t>(d)]);
  return f;
}

bool TextsFit(double points, bool bold, double dpiY, const std::vector<FitNeed>& needs) {
  const PageFont& f = GetPageFont(points, bold, dpiY);
  return std::all_of(needs.begin(), needs.end(), [&](const FitNeed& n) {
    return n.text.isEmpty() || f.FormWidth(n.text) <= n.room;
  });
}

double FitPoints(double points, bool bold, double dpiY, const std::vector<FitNeed>& needs) {
  for (double p = points; p >= kMinPoints; p -= kPointStep)
    if (TextsFit(p, bold, dpiY, needs)) return p;
  return kMinPoints;
}

std::vector<RowCell> PlaceRow(std::vector<RowCell> cells, const PageFont& font, int rightEdge,
                              int gap) {
  const std::size_t n = cells.size();
  if (n == 0) return cells;
  std::vector<int> w(n);
  for (std::size_t i = 0; i < n; ++i) w[i] = static_cast<int>(std::ceil(font.Width(cells[i].text)));
  auto limit = [&](std::size_t i) { return i + 1 < n ? cells[i + 1].x - gap : rightEdge; };
  // The last text ends inside the edge, as far left as the one before it allows.
  if (n >= 1 && cells[n - 1].x + w[n - 1] > rightEdge) {
    const int floor = n >= 2 ? cells[n - 2].x + w[n - 2] + gap : cells[0].x;
    cells[n - 1].x = std::max(rightEdge - w[n - 1], std::min(floor, cells[n - 1].x));
  }
  // A text that runs into the next pushes it right, within the next one's own room.
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const int overlap = cells[i].x + w[i] + gap - cells[i + 1].x;
    const int slack = limit(i + 1) - (cells[i + 1].x + w[i + 1]);
    if (overlap > 0 && slack > 0) cells[i + 1].x += std::min(overlap, slack);
  }
  // What still does not fit is cut.
  for (std::size_t i = 0; i < n; ++i) {
    const int room = std::min(limit(i), rightEdge) - cells[i].x;
    if (w[i] > room) cells[i].text = room > 0 ? font.Cut(cells[i].text, room) : QString();
  }
  return cells;
}

std::vector<QString> StackTexts(const PageFont& font, const QStringList& texts, int room, int maxLines) {
  const QString joined = texts.join(QString());
  if (texts.size() <= 1 || font.Width(joined) <= room) return {font.Cut(joined, room)};
  const int lines = std::max(1, maxLines);
  std::vector<QString> out;
  for (int i = 0; i < texts.size() && static_cast<int>(out.size()) < lines - 1; ++i)
    out.push_back(font.Cut(texts[i], room));
  const QStringList rest = texts.mid(static_cast<int>(out.size()));
  if (rest.isEmpty()) return out;
  if (rest.size() == 1 || font.Width(rest.join(QString())) <= room) {
    out.push_back(font.Cut(rest.join(QString()), room));
    return out;
  }
  const QString more = QString(QChar(0x2026));
  QString last;
  for (const QString& t : rest) {
    if (font.Width(last + t + more) > room) break;
    last += t;
  }
  if (last.isEmpty()) last = font.Cut(rest.front(), room - static_cast<int>(std::ceil(font.Width(more))));
  out.push_back(font.Cut(last + more, room));
  return out;
}
