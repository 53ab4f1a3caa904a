#include <gtest/gtest.h>

#include "output/reportprint.h"
#include "support/listrecords.h"
#include "support/pdftools.h"
#include "support/statuspump.h"
#include "support/tempdir.h"

namespace {

// A record time as pdftotext gives it back once blanks are removed.
QString Time(std::int64_t i) { return TestRecords::time(static_cast<int>(i)).remove(' '); }

}  // namespace

TEST(ReportPdf, DataReportFromTheShownPageAndAStatisticsPage) {
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

  // The preview shows page 3 of its own pagination (at most 30 lines a page).
  const TextMetrics text{12, 12};
  PreviewPage preview = RenderPreviewPage(printer, c, {500, 700}, text, {}, 3, "T");
  const ItemRange shown = ItemsOfPage(3, c.items(), preview.layout.cap);
  const QString pdf = QString::fromStdString(dir.file("data.pdf"));
  printer.SetOutputFile(pdf, 600);
  PrintOutcome out = PrintReportPages(printer, c, preview.layout, 3, {}, true, "2024-05-06 07:08:09");
  ASSERT_EQ(out.kind, PrintOutcome::Printed);
  EXPECT_GT(out.firstPage, 1);
  EXPECT_EQ(out.lastPage, out.pageCount);
  EXPECT_TRUE(rec.msgs.empty());
  const PdfInfo info = ReadPdfInfo(pdf);
  EXPECT_EQ(info.pages, out.lastPage - out.firstPage + 1);
  EXPECT_TRUE(info.a4);
  const QString all = PdfText(pdf);
  // The first record the preview showed is printed, with its values; so is the last.
  EXPECT_TRUE(all.contains(Time(shown.first)));
  EXPECT_TRUE(all.contains(Time(399) + "219.50.2"));  // 219.5 and 0.25
  EXPECT_TRUE(all.contains("报表类型：数据报表"));
  EXPECT_TRUE(all.contains(QString("第%1页/共%1页").arg(out.pageCount)));
  EXPECT_TRUE(all.contains("温度压力"));
  EXPECT_FALSE(all.contains("CH3"));
  EXPECT_FALSE(all.contains("设备名称"));  // page 1 is not printed, so neither is its header

  // The peak page of the same records, printed from page 1 in colour (device metrics).
  ReportContent peaks = BuildReportContent(s.src(), kReportPeak, 10, 20, 1);
  peaks.deviceName = "一号炉";
  PreviewPage pp = RenderPreviewPage(printer, peaks, {500, 700}, text, {}, 1, "T");
  const QString peakPdf = QString::fromStdString(dir.file("peaks.pdf"));
  printer.SetOutputFile(peakPdf, 300);
  out = PrintReportPages(printer, peaks, pp.layout, 1, {}, false, "2024-05-06 07:08:09");
  ASSERT_EQ(out.kind, PrintOutcome::Printed);
  EXPECT_EQ(ReadPdfInfo(peakPdf).pages, 1);
  const QString stats = PdfText(peakPdf);
  EXPECT_TRUE(stats.contains("设备名称：一号炉")) << stats.toStdString();
  EXPECT_TRUE(stats.contains("峰值类别温度压力"));
  EXPECT_TRUE(stats.contains("最大值" + Time(19) + "=>29.5" + Time(10) + "=>97.5"));
  EXPECT_TRUE(stats.contains("最小值" + Time(10) + "=>25.0" + Time(19) + "=>95.2"));
  EXPECT_TRUE(stats.contains("第1页/共1页"));
}
