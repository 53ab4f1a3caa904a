#include "output/reportgeometry.h"

#include <algorithm>

int RuleCount(int usable, int lineHeight) {
  if (usable <= 0 || lineHeight <= 0) return 0;
  const std::int64_t band = 2 * static_cast<std::int64_t>(lineHeight);
  return static_cast<int>((usable + band - 1) / band);
}

int LinesOnPage(std::int64_t page, int rules) {
  if (rules < kMinTableRules) return 0;
  return page <= 1 ? rules - 5 : rules - 2;
}

PageCapacity RecordCapacity(int rules, std::int64_t step) {
  const std::int64_t k = std::max<std::int64_t>(step, 1);
  return {LinesOnPage(1, rules) * k, LinesOnPage(2, rules) * k};
}

std::int64_t PageCountFor(std::int64_t items, const PageCapacity& cap) {
  if (items <= cap.first || cap.later <= 0) return 1;
  const std::int64_t rest = items - cap.first;
  return 1 + (rest + cap.later - 1) / cap.later;
}

ItemRange ItemsOfPage(std::int64_t page, std::int64_t items, const PageCapacity& cap) {
  ItemRange r;
  if (page <= 1) {
    r.end = std::clamp<std::int64_t>(cap.first, 0, std::max<std::int64_t>(items, 0));
    return r;
  }
  if (cap.later <= 0) return r;
  r.first = std::max<std::int64_t>(cap.first, 0) + cap.later * (page - 2);
  r.first = std::min(r.first, std::max<std::int64_t>(items, 0));
  r.end = std::min(r.first + cap.later, std::max<std::int64_t>(items, 0));
  return r;
}

std::int64_t PageOfItem(std::int64_t item, const PageCapacity& cap) {
  if (item < cap.first || cap.later <= 0) return 1;
  return 2 + (item - std::max<std::int64_t>(cap.first, 0)) / cap.later;
}

std::int64_t ClampPage(std::int64_t page, std::int64_t count) {
  return std::clamp<std::int64_t>(page, 1, std::max<std::int64_t>(count, 1));
}
