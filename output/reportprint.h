#pragma once
// The report preview's two uses of the page code: one page into the preview image, and
// the pages from the shown one to the last onto paper (or a PDF file), both through the
// printer wrapper. The form and the benchmark call these; nothing here shows a window.

#include <QImage>
#include <QSize>
#include <cstdint>
#include <functional>

#include "output/Utprinter.h"
#include "output/reportpages.h"

// Margins in percent of the page (top, bottom, left = right), as the settings hold them.
struct MarginPercents {
  int top = 5;
  int bottom = 5;
  int left = 5;
};

struct PreviewPage {
  QImage image;
  ReportLayout layout;
  std::int64_t page = 1;  // the page drawn, brought into [1, page count]
};

// Draws page `page` of the report as the paper of the given metrics holds it, scaled
// into an image of the given size: same layout, same pages, same texts as on paper.
PreviewPage RenderPreviewPage(utPrinter& printer, const ReportContent& content, QSize size,
                              const PageMetrics& paper, const MarginPercents& margins,
                              std::int64_t page, const QString& printTime);

struct PrintOutcome {
  enum Kind { Printed, NothingToPrint, Failed } kind = Failed;
  std::int64_t firstPage = 0;  // paper pages printed, first..last
  std::int64_t lastPage = 0;
  std::int64_t pageCount = 0;  // of the paper's pagination
};

// Opens the printer (its name or output file already set), paginates the report for the
// paper and prints from the paper page holding the first item of the preview's shown
// page through the last (at most maxPages pages when maxPages > 0). afterPage runs
// after each page with the number of pages printed so far.
// blackWhite: 600-dpi units and greys.
PrintOutcome PrintReportPages(utPrinter& printer, const ReportContent& content,
                              const ReportLayout& preview, std::int64_t shownPage,
                              const MarginPercents& margins, bool blackWhite,
                              const QString& printTime, std::int64_t maxPages = 0,
                              const std::function<void(std::int64_t)>& afterPage = {});

// The record range a report prints: the data report from the first record of the data
// list's current page (as the list shows it) to the window's end; every other report
// the whole record window.
IndexRange ReportRangeFor(int type, std::int64_t windowFirst, std::int64_t windowEnd,
                          std::int64_t dataPage, std::int64_t step, std::int64_t recordCount);

// The header's time range of a report over the records [range.first, range.end): the
// times of its first and last record, "first=>last" as the chart's range reads; empty
// when the range holds no record.
QString ReportRangeText(const ReportSource& src, const IndexRange& range);
