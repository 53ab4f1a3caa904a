#pragma once
// Geometry of a printed report page, in the page units of whatever draws it (preview
// image or paper): margins, the horizontal rules, the bands between them and which
// items each page holds. Integer arithmetic throughout, halves truncated toward zero.
//
// A page has N rules at y = T + 2·LH·j (j = 0 .. N-1) between x = L and x = W - L;
// band b lies between rules b and b + 1. Page 1 gives bands 0..2 to the header block
// and band 3 to the column headers; later pages give band 0 to the column headers.

#include <cstdint>

#include "output/pagemargins.h"

// Below this many rules page 1 has no band left for a report line: such a page shows
// no table at all.
constexpr int kMinTableRules = 6;

// N: the rules that start inside the usable height, ceil(U / 2LH); 0 when there is no
// usable height or no line height.
int RuleCount(int usable, int lineHeight);

// The column-header band of a page: 3 on page 1, 0 after.
inline int HeaderBand(std::int64_t page) { return page <= 1 ? 3 : 0; }

// Report lines (bands below the column headers) of a page; 0 without a table.
int LinesOnPage(std::int64_t page, int rules);

// How many items page 1 and each later page hold. A report type turns its own unit
// (records at a step, power-failure entries, statistics groups) into these two.
struct PageCapacity {
  std::int64_t first = 0;  // page 1
  std::int64_t later = 0;  // every later page
};

// Records (or alarm-list entries) at step k: a line every k items.
PageCapacity RecordCapacity(int rules, std::int64_t step);

// At least 1 page; further pages only while later pages hold something.
std::int64_t PageCountFor(std::int64_t items, const PageCapacity& cap);

// The items [first, end) of page p (from 0, relative to the report's first item),
// limited to the item count; an empty range beyond the last page.
struct ItemRange {
  std::int64_t first = 0;
  std::int64_t end = 0;
};
ItemRange ItemsOfPage(std::int64_t page, std::int64_t items, const PageCapacity& cap);

// The page that holds item x (from 0); items beyond what the pages hold fall on the
// last page that can hold anything.
std::int64_t PageOfItem(std::int64_t item, const PageCapacity& cap);

// A page number brought into [1, count].
std::int64_t ClampPage(std::int64_t page, std::int64_t count);

// Top y of the text in band b: T + 2·LH·b + LH/2.
inline int BandTextY(const PageMargins& m, int lineHeight, int band) {
  return m.top + 2 * lineHeight * band + lineHeight / 2;
}
// y of rule j.
inline int RuleY(const PageMargins& m, int lineHeight, int rule) {
  return m.top + 2 * lineHeight * rule;
}
