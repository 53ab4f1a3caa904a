#pragma once
// A page canvas that keeps what a report page draws: each text with its font and the
// box it covers, and each rule, so tests read texts at their places and look for
// texts that meet.

#include <QLine>
#include <QRect>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

#include "output/pagefont.h"
#include "output/reportpages.h"

struct Drawn {
  int x, y;
  QString text;
  bool bold;
  QRect box;  // where the text lies, measured in its font
};

struct RecordingCanvas : PageCanvas {
  explicit RecordingCanvas(double dpi = 600) : dpi(dpi) {}
  double dpi;
  std::vector<Drawn> texts;
  std::vector<QLine> rules;
  const PageFont* font = nullptr;
  void SetFont(double points, bool bold) override { font = &GetPageFont(points, bold, dpi); }
  void Text(int x, int y, const QString& t) override {
    if (t.isEmpty()) return;
    const int w = static_cast<int>(std::ceil(font->Width(t)));
    texts.push_back({x, y, t, font->bold, QRect(x, y, w, font->height)});
  }
  void Line(int x1, int y1, int x2, int y2) override { rules.push_back(QLine(x1, y1, x2, y2)); }
  void Frame(int, int) override {}

  // Texts of the band whose text top is y, left to right.
  QStringList row(int y) const {
    std::vector<Drawn> r;
    for (const Drawn& d : texts)
      if (d.y == y) r.push_back(d);
    std::stable_sort(r.begin(), r.end(), [](const Drawn& a, const Drawn& b) { return a.x < b.x; });
    QStringList out;
    for (const Drawn& d : r) out << d.text;
    return out;
  }
  const Drawn* find(const QString& t) const {
    for (const Drawn& d : texts)
      if (d.text == t) return &d;
    return nullptr;
  }
  // A text that meets another text or crosses a rule, described; empty when none does.
  QString clash() const {
    std::vector<const Drawn*> byLeft;
    for (const Drawn& d : texts) byLeft.push_back(&d);
    std::sort(byLeft.begin(), byLeft.end(), [](const Drawn* a, const Drawn* b) { return a->box.left() < b->box.left(); });
    for (std::size_t i = 0; i < byLeft.size(); ++i) {
      const QRect& a = byLeft[i]->box;
      for (std::size_t j = i + 1; j < byLeft.size() && byLeft[j]->box.left() <= a.right(); ++j)
        if (a.intersects(byLeft[j]->box)) return byLeft[i]->text + " meets " + byLeft[j]->text;
      for (const QLine& r : rules) {
        const bool vertical = r.x1() == r.x2();
        const bool crosses = vertical ? r.x1() > a.left() && r.x1() < a.right() && std::max(r.y1(), r.y2()) > a.top() && std::min(r.y1(), r.y2()) < a.bottom()
                                      : r.y1() > a.top() && r.y1() < a.bottom() && std::max(r.x1(), r.x2()) > a.left() && std::min(r.x1(), r.x2()) < a.right();
        if (crosses) return byLeft[i]->text + " crosses a rule";
      }
    }
    return {};
  }
};


// The texts of a page in reading order (by line, then left to right), joined without
// blanks: what the page reads as.
inline QString ReadingText(const RecordingCanvas& cv) {
  std::vector<Drawn> t = cv.texts;
  std::stable_sort(t.begin(), t.end(), [](const Drawn& a, const Drawn& b) { return std::pair(a.y, a.x) < std::pair(b.y, b.x); });
  QString out;
  for (const Drawn& d : t) out += d.text;
  return out.remove(' ');
}
