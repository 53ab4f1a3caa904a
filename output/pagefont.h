#pragma once
// The fonts of a printed page, in page units: what the layout measures and what the
// canvas draws with are the same font, so a text found to fit on the page fits where it
// is drawn, on paper and in the preview alike (the preview scales the paper page).

#include <QFont>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

// "宋体" at a point size for pages whose units stand for dpiY dots per inch.
struct PageFont {
  double points = 0;
  bool bold = false;
  QFont font;      // pixel size in page units, unhinted so that widths scale with the page
  QRawFont raw;    // glyphs of printable ASCII, drawn as one run per page
  int ascent = 0;
  int height = 0;  // ascent + descent
  std::array<quint32, 128> glyph{};  // 0: not in the font
  std::array<qreal, 128> advance{};
  qreal widestDigit = 0;

  qreal Width(const QString& text) const;
  // The width of text with every digit as wide as the widest one: what any time or
  // number of the same form needs.
  qreal FormWidth(const QString& text) const;
  // The longest head of text, in whole characters, that is no wider than room.
  QString Cut(const QString& text, int room) const;

 private:
  mutable QHash<QString, qreal> widths_;  // texts beyond ASCII, measured once
};

const PageFont& GetPageFont(double points, bool bold, double dpiY);

// The smallest size a table's font shrinks to, and the step it shrinks by.
constexpr double kMinPoints = 4.0;
constexpr double kPointStep = 0.5;

// A text of a table and the room its cell gives it.
struct FitNeed {
  QString text;
  int room = 0;
};
bool TextsFit(double points, bool bold, double dpiY, const std::vector<FitNeed>& needs);
// The largest size from `points` down to kMinPoints at which every text fits its room
// (digits counted at their widest); kMinPoints when none does.
double FitPoints(double points, bool bold, double dpiY, const std::vector<FitNeed>& needs);

// Cells of one text row (header or footer) placed from their measured widths: each at
// its designed x unless the text before it reaches it (then pushed right as far as its
// own room allows), the last pulled left to end inside rightEdge, and every text cut so
// that at least `gap` stays between neighbours.
struct RowCell {
  int x = 0;
  QString text;
};
std::vector<RowCell> PlaceRow(std::vector<RowCell> cells, const PageFont& font, int rightEdge,
                              int gap);

// The lines of a table cell that holds several texts (the alarms of a channel): all on
// one line where they fit room; else each on a line of its own, cut only where it alone
// does not fit. When the cell has more texts than maxLines (at least 1), the last line
// takes as many of the rest whole as fit and ends in "…", so that a cut never goes
// unnoticed.
std::vector<QString> StackTexts(const PageFont& font, const QStringList& texts, int room, int maxLines);
