#include <gtest/gtest.h>

#include <QPainter>
#include <tuple>

#include "output/reportprint.h"
#include "support/listrecords.h"
#include "support/pdftools.h"
#include "support/recordingcanvas.h"
#include "support/statuspump.h"
#include "support/tempdir.h"

namespace {

using Span = std::pair<std::int64_t, std::int64_t>;

// A record time as pdftotext gives it back once blanks are removed.
QString Time(std::int64_t i) { return TestRecords::time(static_cast<int>(i)).remove(' '); }

}  // namespace

TEST(ReportPdf, ThePreviewPageIsThePaperPage) {
  TestRecords s(400, 3);
  s.names[0] = "温度";
  s.names[1] = "压力";
  s.shown[2] = 0;
  for (int i = 0; i < 400; ++i) s.value(i, 0, 20 + i * 0.5), s.value(i, 1, 100 - i * 0.25);
  TempDir dir;
  utPrinter printer;
  StatusRecorder rec;
  printer.SetNotifyWindow(&rec, &rec);
  const QString printTime = "2024-05-06 07:08:09";
  // The data report from page 3 black-and-white in 600-dpi units, the peaks from page 1 in
  // colour in the 300-dpi printer's own: the PDF reads as the page the preview draws.
  for (auto [kind, first, end, page] : {std::tuple(kReportData, 0, 400, 3), std::tuple(kReportPeak, 10, 20, 1)}) {
    const bool blackWhite = kind == kReportData;
    ReportContent c = BuildReportContent(s.src(), kind, first, end, 1);
    c.deviceName = "一号炉";
    const QString pdf = QString::fromStdString(dir.file(std::to_string(kind) + ".pdf"));
    printer.SetOutputFile(pdf, 300);
    printer.SetScaleTo600(blackWhite);
    const PageMetrics paper = printer.PaperMetrics();
    EXPECT_EQ(paper.unitsPerInchY, blackWhite ? 600 : 300);
    PreviewPage preview = RenderPreviewPage(printer, c, {500, 707}, paper, {}, page, printTime);
    RecordingCanvas shown(paper.unitsPerInchY);
    DrawReportPage(shown, c, preview.layout, page, printTime);
    PrintOutcome out = PrintReportPages(printer, c, preview.layout, page, {}, blackWhite, printTime);
    ASSERT_EQ(out.kind, PrintOutcome::Printed) << kind;
    EXPECT_TRUE(rec.msgs.empty());
    EXPECT_EQ(out.pageCount, preview.layout.pageCount);
    EXPECT_EQ((std::pair(out.firstPage, out.lastPage)), (Span(page, out.pageCount)));
    const PdfInfo info = ReadPdfInfo(pdf);
    EXPECT_EQ(info.pages, out.pageCount - page + 1);
    EXPECT_TRUE(info.a4);
    EXPECT_EQ(PdfPageText(pdf, 1), ReadingText(shown)) << kind;
    EXPECT_TRUE(PdfPageText(pdf, 1).contains(QString("第%1页/共%2页").arg(page).arg(out.pageCount)));
    EXPECT_TRUE(OverprintedWords(pdf, 1, 2).isEmpty()) << OverprintedWords(pdf, 1, 2).join('\n').toStdString();
    const QString all = PdfText(pdf);
    EXPECT_TRUE(all.contains("温度压力"));
    EXPECT_FALSE(all.contains("CH3"));
    if (blackWhite) {
      EXPECT_TRUE(all.contains(Time(399) + "219.50.2"));  // 219.5 and 0.25
      EXPECT_FALSE(all.contains("设备名称"));  // page 1 is not printed, so neither is its header
    } else {
      EXPECT_TRUE(all.contains("设备名称：一号炉")) << all.toStdString();
      EXPECT_TRUE(all.contains("最大值" + Time(19) + "=>29.5" + Time(10) + "=>97.5"));
    }
  }
}

// The overprint check finds two words drawn over each other.
TEST(ReportPdf, OverprintCheckSeesTextOverText) {
  TempDir dir;
  const QString pdf = QString::fromStdString(dir.file("over.pdf"));
  utPrinter printer;
  printer.SetOutputFile(pdf, 600);
  ASSERT_TRUE(printer.Open());
  ASSERT_TRUE(printer.BeginDoc());
  ASSERT_TRUE(printer.BeginPage());
  printer.DC()->setFont(CreateFontFromTFont(QFont(QString::fromUtf8("宋体"), 12), 0, printer.DpiY()));
  printer.DC()->drawText(400, 400, "12345.6");
  printer.DC()->drawText(450, 400, "78.9");
  printer.DC()->drawText(400, 900, "apart");
  printer.EndDoc();
  EXPECT_EQ(OverprintedWords(pdf, 1, 1), QStringList{"1: 12345.6 / 78.9"});
}
