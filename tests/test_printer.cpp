#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <tuple>

#include "output/Utprinter.h"
#include "support/pdftools.h"
#include "support/statuspump.h"
#include "support/tempdir.h"

TEST(PrinterMetrics, SixHundredDpiUnitsPerAxis) {
  // 300 dpi, A4 printable area 2480 x 3508, "国" 40 wide, "中" 50 high.
  PageMetrics m = ComputePageMetrics(300, 300, 2480, 3508, 40, 50, true);
  // Twice the text height, plus 3 on the scaled path only.
  EXPECT_EQ(std::tuple(m.width, m.height, m.charWidth, m.lineHeight), std::tuple(4960, 7016, 80, 103));
  m = ComputePageMetrics(300, 300, 2480, 3508, 40, 50, false);
  EXPECT_EQ(std::tuple(m.width, m.height, m.charWidth, m.lineHeight), std::tuple(2480, 3508, 40, 50));
  // A 600-dpi printer keeps its own metrics, with or without the 600-dpi mode.
  for (bool scale : {true, false}) EXPECT_EQ(ComputePageMetrics(600, 600, 4960, 7016, 80, 100, scale).lineHeight, 100);
  // The axes are decided separately.
  m = ComputePageMetrics(300, 600, 2480, 7016, 40, 100, true);
  EXPECT_EQ(std::tuple(m.width, m.height, m.charWidth, m.lineHeight), std::tuple(4960, 7016, 80, 100));

  // The page drawn in 600-dpi units covers the device page at any resolution.
  for (double dpi : {300.0, 1200.0, 360.0}) {
    const int horz = static_cast<int>(8.27 * dpi), vert = static_cast<int>(11.69 * dpi);
    m = ComputePageMetrics(dpi, dpi, horz, vert, 10, 10, true);
    EXPECT_NEAR(m.width * m.deviceScaleX, horz, 1.0) << dpi;
    EXPECT_NEAR(m.height * m.deviceScaleY, vert, 1.0) << dpi;
  }
}

TEST(Printer, UnknownPrinterIsReportedOncePerJobAndNothingPrints) {
  QImage image(200, 300, QImage::Format_RGB32);
  QPainter preview(&image);
  StatusRecorder rec;
  utPrinter printer;
  printer.SetNotifyWindow(&rec, &rec);
  printer.SetDC(&preview);
  printer.SetToPrinter(1);
  printer.SetPrinterName("no such printer here");
  bool drawn = false;
  EXPECT_FALSE(printer.Open());
  EXPECT_FALSE(printer.BeginDoc());
  printer.Run([&] { drawn = true; });
  printer.EndDoc();
  EXPECT_EQ(rec.codes(), std::vector<int>{kPrinterFailedCode});
  EXPECT_FALSE(drawn);
  EXPECT_FALSE(printer.Printed());
  EXPECT_FALSE(printer.EndPage());

  printer.SetPrinterName("");
  EXPECT_FALSE(printer.Open());
  printer.EndDoc();
  EXPECT_EQ(rec.msgs.size(), 2u);
  // The preview draws whatever the printer did.
  printer.SetToPrinter(0);
  printer.Run([&] { drawn = true; });
  EXPECT_TRUE(drawn);
}

TEST(Printer, PdfPageInSixHundredDpiUnitsFillsTheA4Sheet) {
  TempDir dir;
  const QString path = QString::fromStdString(dir.file("page.pdf"));
  StatusRecorder rec;
  utPrinter printer;
  printer.SetNotifyWindow(&rec, &rec);
  printer.SetOutputFile(path, 300);
  printer.SetToPrinter(1);
  printer.SetScaleTo600(true);
  ASSERT_TRUE(printer.Open());
  EXPECT_DOUBLE_EQ(printer.DpiY(), 600);
  ASSERT_TRUE(printer.BeginDoc());
  ASSERT_TRUE(printer.BeginPage());
  printer.Run([&] {
    QPainter* p = printer.DC();
    p->fillRect(printer.PageWidth() - 300, printer.PageHeight() - 300, 300, 300, Qt::black);
    p->setFont(CreateFontFromTFont(QFont(QString::fromUtf8("宋体"), 12), 1, printer.DpiY()));
    p->drawText(100, 400, QString::fromUtf8("打印测试 Printing"));
  });
  EXPECT_TRUE(printer.EndPage());
  printer.EndDoc();
  EXPECT_TRUE(printer.Printed());
  EXPECT_TRUE(rec.msgs.empty());

  const PdfInfo info = ReadPdfInfo(path);
  EXPECT_EQ(info.pages, 1);
  EXPECT_TRUE(info.a4);
  EXPECT_TRUE(PdfText(path).contains(QString::fromUtf8("打印测试Printing")));
  // The square lands at the sheet's far corner, not at its middle as device pixels taken
  // for 600-dpi units would put it.
  const QImage page = PdfPage(path, 50);
  ASSERT_FALSE(page.isNull());
  int darkRight = 0, darkBottom = 0;
  for (int x = 0; x < page.width(); ++x)
    for (int y = 0; y < page.height(); ++y)
      if (qGray(page.pixel(x, y)) < 64) darkRight = std::max(darkRight, x), darkBottom = std::max(darkBottom, y);
  EXPECT_GT(darkRight, page.width() * 0.85);
  EXPECT_GT(darkBottom, page.height() * 0.85);
}

// 黑白 prints in greys: a red square comes out grey; in colour it stays red. The metrics
// known before printing are those the printer prints with.
TEST(Printer, BlackWhitePrintsInGreys) {
  TempDir dir;
  for (bool gray : {false, true}) {
    const QString path = QString::fromStdString(dir.file(gray ? "gray.pdf" : "colour.pdf"));
    utPrinter printer;
    printer.SetOutputFile(path, 300);
    printer.SetToPrinter(1);
    printer.SetScaleTo600(gray);
    printer.SetGrayScale(gray);
    const PageMetrics before = printer.PaperMetrics();
    ASSERT_TRUE(printer.Open());
    const PageMetrics& m = printer.Metrics();
    EXPECT_EQ(std::tuple(before.width, before.height, before.lineHeight, before.charWidth, before.unitsPerInchY),
              std::tuple(m.width, m.height, m.lineHeight, m.charWidth, m.unitsPerInchY));
    ASSERT_TRUE(printer.BeginDoc());
    ASSERT_TRUE(printer.BeginPage());
    printer.DC()->fillRect(0, 0, m.width / 2, m.height / 2, Qt::red);
    printer.EndDoc();
    const QImage page = PdfPage(path, 20);
    ASSERT_FALSE(page.isNull());
    const QRgb at = page.pixel(page.width() / 4, page.height() / 4);
    EXPECT_EQ(qRed(at) == qGreen(at), gray) << qRed(at) << " " << qGreen(at);
  }
}
