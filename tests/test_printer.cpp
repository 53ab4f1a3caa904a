// The printer wrapper: its metric rule, an unknown printer, PDF pages, and jobs that must
// not count as printed (a file not written whole, a queue rejecting jobs, a silent server).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <filesystem>
#include <set>
#include <tuple>

#include "output/Utprinter.h"
#include "support/faultchild.h"
#include "support/files.h"
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

// The metrics known before printing are those the printer prints with, in colour and in
// 黑白's 600-dpi units.
TEST(Printer, PaperMetricsAreThoseOfTheOpenedPrinter) {
  TempDir dir;
  for (bool gray : {false, true}) {
    utPrinter printer;
    printer.SetOutputFile(QString::fromStdString(dir.file("m.pdf")), 300);
    printer.SetToPrinter(1);
    printer.SetScaleTo600(gray);
    printer.SetGrayScale(gray);
    const PageMetrics before = printer.PaperMetrics();
    ASSERT_TRUE(printer.Open());
    const PageMetrics& m = printer.Metrics();
    EXPECT_EQ(std::tuple(before.width, before.height, before.lineHeight, before.charWidth, before.unitsPerInchY),
              std::tuple(m.width, m.height, m.lineHeight, m.charWidth, m.unitsPerInchY));
    printer.EndDoc();
  }
}

namespace {

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

QString Run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
  QProcess p;
  p.start(program, args);
  p.waitForFinished(30000);
  if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// A CUPS queue of this test's own (the shared one must keep taking jobs for the others),
// removed at the end.
class OwnQueue {
 public:
  OwnQueue() : name_(QString("quno-reject-%1").arg(::getpid())) {
    int rc = -1;
    Run("lpadmin", {"-p", name_, "-E", "-v", "cups-pdf:/", "-m", "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"}, &rc);
    made_ = rc == 0;
  }
  ~OwnQueue() {
    if (made_) Run("lpadmin", {"-x", name_});
  }
  bool Made() const { return made_; }
  const QString& Name() const { return name_; }
  bool Reject() {
    int rc = -1;
    Run("cupsreject", {name_}, &rc);
    return rc == 0;
  }
  QString Jobs() { return Run("lpstat", {"-W", "all", "-o", name_}).trimmed(); }

 private:
  QString name_;
  bool made_ = false;
};

}  // namespace

// A PDF that cannot be written whole (a file-size limit in a child, as a full disk): told
// once, not printed, the earlier file at the name kept and nothing else left; the same page
// without the limit is a whole PDF.
TEST(Printer, PdfNotWrittenWholeIsNotPrintedAndKeepsTheEarlierFile) {
  TempDir dir;
  const std::string earlier = "%PDF-earlier";
  WriteBytes(dir.file("kept.pdf"), earlier);
  const struct {
    const char* name;
    const char* fsize;
  } cases[] = {{"kept.pdf", "4096"}, {"none.pdf", "4096"}, {"whole.pdf", nullptr}};
  for (const auto& c : cases) {
    const auto before = Names(dir.path());
    QStringList args;
    if (c.fsize) args << "--fsize" << c.fsize;
    args << "pdf" << QString::fromStdString(dir.file(c.name));
    const ChildRun run = RunFaultChild(args);
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0) << c.name << " crashed or hung";
    EXPECT_EQ(run.get("printed"), c.fsize ? "0" : "1") << c.name;
    EXPECT_EQ(run.get("codes"), c.fsize ? "12" : "") << c.name;
    if (!c.fsize) {
      EXPECT_EQ(ReadPdfInfo(QString::fromStdString(dir.file(c.name))).pages, 1);
      continue;
    }
    EXPECT_TRUE(run.get("reason").endsWith("File too large")) << run.get("reason").toStdString();
    EXPECT_EQ(Names(dir.path()), before) << c.name;
  }
  EXPECT_EQ(ReadBytes(dir.file("kept.pdf")), earlier);
}

// A queue that cannot take the job: its spool file not written whole (a size limit in a
// child), then the queue rejecting jobs. Each is told once, counts as not printed, and no
// job reaches the queue.
TEST(PrinterQueue, JobsTheQueueDoesNotTakeAreNotPrinted) {
  OwnQueue queue;
  if (!queue.Made()) FAULT_UNAVAILABLE("cannot make a CUPS queue (lpadmin)");
  const ChildRun spool = RunFaultChild({"--fsize", "4096", "queue", queue.Name()});
  ASSERT_TRUE(spool.finished && !spool.crashed && spool.exitCode == 0);
  EXPECT_EQ(spool.get("printed"), "0");
  EXPECT_EQ(spool.get("codes"), "12");
  EXPECT_TRUE(spool.get("reason").endsWith("File too large")) << spool.get("reason").toStdString();

  ASSERT_TRUE(queue.Reject());
  StatusRecorder rec;
  utPrinter printer;
  printer.SetNotifyWindow(&rec, &rec);
  printer.SetPrinterName(queue.Name().toStdString());
  printer.SetToPrinter(1);
  bool drawn = false;
  if (printer.Open() && printer.BeginDoc() && printer.BeginPage()) printer.Run([&] { drawn = true; });
  printer.EndDoc();
  EXPECT_EQ(rec.codes(), std::vector<int>{kPrinterFailedCode});
  EXPECT_FALSE(printer.Printed());
  EXPECT_FALSE(drawn);
  EXPECT_TRUE(printer.FailureReason().contains("not accepting jobs")) << printer.FailureReason().toStdString();
  EXPECT_EQ(queue.Jobs(), QString());
}

// A print server that takes connections and never answers (a listening socket nobody
// reads), set for a child: both previews open and a PDF file is printed without waiting
// for it, and a print to one of its queues ends with the printer error within 10 s.
TEST(Printer, SilentPrintServerIsNotWaitedOn) {
  const int server = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(server, 64), 0);
  ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  TempDir dir;
  const QString pdf = QString::fromStdString(dir.file("chart.pdf"));
  const ChildRun run = RunFaultChild({"previews", pdf, "PDF"},
                                     {{"CUPS_SERVER", QString("127.0.0.1:%1").arg(ntohs(addr.sin_port))}});
  ::close(server);
  ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0);
  for (const char* step : {"chart_preview_ms", "report_preview_ms", "pdf_ms", "queue_ms"})
    EXPECT_LT(run.get(step).toInt(), 10000) << step;
  EXPECT_EQ(run.get("pdf_printed"), "1");
  EXPECT_EQ(ReadPdfInfo(pdf).pages, 1);
  EXPECT_EQ(run.get("queue_printed"), "0");
  EXPECT_EQ(run.get("queue_codes"), "12");
  EXPECT_EQ(run.get("box"), QString());
}
