#include "output/reportprint.h"

#include <QPainter>

#include "output/pagecanvas.h"
#include "platform/datetime.h"

namespace {

void DrawWith(utPrinter& printer, const ReportContent& content, const ReportLayout& layout,
              std::int64_t page, const QString& printTime) {
  printer.Run([&] {
    QPainter* dc = printer.DC();
    if (!dc) return;
    PainterCanvas canvas(*dc, printer.DpiY());
    DrawReportPage(canvas, content, layout, page, printTime);
  });
}

}  // namespace

PreviewPage RenderPreviewPage(utPrinter& printer, const ReportContent& content, QSize size,
                              const PageMetrics& paper, const MarginPercents& margins,
                              std::int64_t page, const QString& printTime) {
  PreviewPage out;
  out.image = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  out.image.fill(Qt::white);
  QPainter painter(&out.image);
  painter.setRenderHint(QPainter::TextAntialiasing);
  if (paper.width > 0 && paper.height > 0)
    painter.scale(static_cast<double>(out.image.width()) / paper.width,
                  static_cast<double>(out.image.height()) / paper.height);
  printer.SetToPrinter(0);
  printer.SetDC(&painter);
  printer.SetMetrics(paper);
  out.layout = LayoutReport(content, printer.Metrics(), margins.top, margins.bottom, margins.left);
  // The page count may have shrunk with a new zoom or margin: stay on a real page.
  out.page = ClampPage(page, out.layout.pageCount);
  DrawWith(printer, content, out.layout, out.page, printTime);
  printer.SetDC(nullptr);
  painter.end();
  return out;
}

PrintOutcome PrintReportPages(utPrinter& printer, const ReportContent& content,
                              const ReportLayout& preview, std::int64_t shownPage,
                              const MarginPercents& margins, bool blackWhite,
                              const QString& printTime, std::int64_t maxPages,
                              const std::function<void(std::int64_t)>& afterPage) {
  PrintOutcome out;
  printer.SetToPrinter(1);
  printer.SetScaleTo600(blackWhite);
  printer.SetGrayScale(blackWhite);
  if (!printer.Open()) return out;  // the wrapper has reported it
  const ReportLayout paper =
      LayoutReport(content, printer.Metrics(), margins.top, margins.bottom, margins.left);
  out.pageCount = paper.pageCount;
  const std::int64_t start = PrintStartPage(content, preview, shownPage, paper);
  if (start > paper.pageCount) {
    out.kind = PrintOutcome::NothingToPrint;
    printer.EndDoc();
    return out;
  }
  std::int64_t last = paper.pageCount;
  if (maxPages > 0) last = std::min(last, start + maxPages - 1);
  std::int64_t printed = 0;
  if (printer.BeginDoc()) {
    for (std::int64_t p = start; p <= last; ++p) {
      if (!printer.BeginPage()) break;
      DrawWith(printer, content, paper, p, printTime);
      printer.EndPage();
      ++printed;
      if (afterPage) afterPage(printed);
    }
  }
  printer.EndDoc();
  if (printer.Printed()) {
    out.kind = PrintOutcome::Printed;
    out.firstPage = start;
    out.lastPage = start + printed - 1;
  }
  return out;
}

IndexRange ReportRangeFor(int type, std::int64_t windowFirst, std::int64_t windowEnd,
                          std::int64_t dataPage, std::int64_t step, std::int64_t recordCount) {
  const IndexRange window = ClampRange(windowFirst, windowEnd, recordCount);
  if (type != kReportData) return window;
  const PageRange page = PageRangeOf(dataPage, window.first, step, window.end, recordCount);
  return {page.start, window.end};
}

QString ReportRangeText(const ReportSource& src, const IndexRange& range) {
  const IndexRange r = ClampRange(range.first, range.end, src.records ? src.count : 0);
  if (r.empty()) return {};
  return DateTimeToStr(src.records[r.first].Time) + QStringLiteral("=>") +
         DateTimeToStr(src.records[r.end - 1].Time);
}
