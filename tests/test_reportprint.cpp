#include <gtest/gtest.h>

#include <QPainter>

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
  for (int i = 0; i < 400; ++i) {
    s.value(i, 0, 20 + i * 0.5);
    s.value(i, 1, 100 - i * 0.25);
  }
  TempDir dir;
  utPrinter printer;
  StatusRecorder rec;
  printer.SetNotifyWindow(&rec, &rec);
  ReportContent c = BuildReportContent(s.src(), kReportData, 0, 400, 1);
  c.deviceName = "一号炉";
  const QString printTime = "2024-05-06 07:08:09";

  // The preview shows page 3 of the paper it prints on, black-and-white at 300 dpi.
  const QString pdf = QString::fromStdString(dir.file("data.pdf"));
  printer.SetOutputFile(pdf, 300);
  printer.SetScaleTo600(true);
  const PageMetrics paper = printer.PaperMetrics();
  EXPECT_EQ(paper.unitsPerInchY, 600);
  PreviewPage preview = RenderPreviewPage(printer, c, {500, 707}, paper, {}, 3, printTime);
  RecordingCanvas shown;
  DrawReportPage(shown, c, preview.layout, 3, printTime);
  PrintOutcome out = PrintReportPages(printer, c, preview.layout, 3, {}, true, printTime);
  ASSERT_EQ(out.kind, PrintOutcome::Printed);
  EXPECT_TRUE(rec.msgs.empty());
  EXPECT_EQ(out.pageCount, preview.layout.pageCount);
  EXPECT_EQ((std::pair(out.firstPage, out.lastPage)), (Span(3, out.pageCount)));
  const PdfInfo info = ReadPdfInfo(pdf);
  EXPECT_EQ(info.pages, out.pageCount - 2);
  EXPECT_TRUE(info.a4);
  // The same texts in the same order.
  EXPECT_EQ(PdfPageText(pdf, 1), ReadingText(shown));
  EXPECT_TRUE(PdfPageText(pdf, 1).contains(QString("第3页/共%1页").arg(out.pageCount)));
  const QString all = PdfText(pdf);
  EXPECT_TRUE(all.contains(Time(399) + "219.50.2"));  // 219.5 and 0.25
  EXPECT_TRUE(all.contains("温度压力"));
  EXPECT_FALSE(all.contains("CH3"));
  EXPECT_FALSE(all.contains("设备名称"));  // page 1 is not printed, so neither is its header
  EXPECT_TRUE(OverprintedWords(pdf, 1, 2).isEmpty()) << OverprintedWords(pdf, 1, 2).join('\n').toStdString();

  // The peak page of the same records, printed from page 1 in colour (device metrics).
  ReportContent peaks = BuildReportContent(s.src(), kReportPeak, 10, 20, 1);
  peaks.deviceName = "一号炉";
  const QString peakPdf = QString::fromStdString(dir.file("peaks.pdf"));
  printer.SetOutputFile(peakPdf, 300);
  printer.SetScaleTo600(false);
  PreviewPage pp = RenderPreviewPage(printer, peaks, {500, 707}, printer.PaperMetrics(), {}, 1, printTime);
  out = PrintReportPages(printer, peaks, pp.layout, 1, {}, false, printTime);
  ASSERT_EQ(out.kind, PrintOutcome::Printed);
  EXPECT_EQ(ReadPdfInfo(peakPdf).pages, 1);
  const QString stats = PdfText(peakPdf);
  EXPECT_TRUE(stats.contains("设备名称：一号炉")) << stats.toStdString();
  EXPECT_TRUE(stats.contains("峰值类别温度压力"));
  EXPECT_TRUE(stats.contains("最大值" + Time(19) + "=>29.5" + Time(10) + "=>97.5"));
  EXPECT_TRUE(stats.contains("最小值" + Time(10) + "=>25.0" + Time(19) + "=>95.2"));
  EXPECT_TRUE(stats.contains("第1页/共1页"));
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
