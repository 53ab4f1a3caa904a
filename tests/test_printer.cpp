// The printer wrapper: its metric rule, an unknown printer, PDF pages, jobs that must not
// count as printed (a file not written whole, a queue rejecting jobs, a silent server), and
// report pages printed to PDF as the preview draws them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cups/cups.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QThread>
#include <cerrno>
#include <future>
#include <map>
#include <tuple>

#include "data/lanchg.h"

#include "output/reportprint.h"
#include "support/faultchild.h"
#include "support/files.h"
#include "support/listrecords.h"
#include "support/pdftools.h"
#include "support/recordingcanvas.h"
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
  // The server answers: no printer chosen is a printer that does not exist.
  EXPECT_EQ(printer.FailureKind(), PrintFailure::NoPrinter);
  // The preview draws whatever the printer did.
  printer.SetToPrinter(0);
  printer.Run([&] { drawn = true; });
  EXPECT_TRUE(drawn);
}

// Black-and-white in 600-dpi units and colour in the 300-dpi printer's own: the metrics
// known before printing are those it prints with, and the page fills the A4 sheet.
TEST(Printer, PdfPageInEitherUnitsFillsTheA4Sheet) {
  TempDir dir;
  for (bool gray : {true, false}) {
    const QString path = QString::fromStdString(dir.file(gray ? "gray.pdf" : "colour.pdf"));
    StatusRecorder rec;
    utPrinter printer;
    printer.SetNotifyWindow(&rec, &rec);
    printer.SetOutputFile(path, 300);
    printer.SetToPrinter(1);
    printer.SetScaleTo600(gray);
    printer.SetGrayScale(gray);
    const PageMetrics before = printer.PaperMetrics();
    ASSERT_TRUE(printer.Open());
    const PageMetrics& m = printer.Metrics();
    EXPECT_EQ(std::tuple(before.width, before.height, before.lineHeight, before.charWidth, before.unitsPerInchY),
              std::tuple(m.width, m.height, m.lineHeight, m.charWidth, m.unitsPerInchY));
    EXPECT_DOUBLE_EQ(printer.DpiY(), gray ? 600 : 300);
    ASSERT_TRUE(printer.BeginDoc() && printer.BeginPage());
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
    EXPECT_EQ(std::pair(info.pages, info.a4), std::pair(1, true));
    EXPECT_TRUE(PdfText(path).contains(QString::fromUtf8("打印测试Printing")));
    // The square lands at the sheet's far corner, not at its middle as device pixels taken
    // for 600-dpi units would put it.
    const QImage page = PdfPage(path, 50);
    ASSERT_FALSE(page.isNull());
    int darkRight = 0, darkBottom = 0;
    for (int x = 0; x < page.width(); ++x)
      for (int y = 0; y < page.height(); ++y)
        if (qGray(page.pixel(x, y)) < 64) darkRight = std::max(darkRight, x), darkBottom = std::max(darkBottom, y);
    EXPECT_GT(darkRight, page.width() * 0.85) << gray;
    EXPECT_GT(darkBottom, page.height() * 0.85) << gray;
  }
}

namespace {

using Span = std::pair<std::int64_t, std::int64_t>;

// A record time as pdftotext gives it back once blanks are removed.
QString Time(std::int64_t i) { return TestRecords::time(static_cast<int>(i)).remove(' '); }

// Runs a CUPS command: its exit code, or -1 when it did not run; its output in out.
int Cups(const QString& program, const QStringList& args, QString* out = nullptr) {
  QProcess p;
  p.start(program, args);
  const bool ran = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
  if (out) *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
  return ran ? p.exitCode() : -1;
}

// A CUPS queue of this test's own (the shared one must keep taking jobs), removed at the end.
struct OwnQueue {
  const QString name = QString("quno-reject-%1").arg(::getpid());
  const bool made = Cups("lpadmin", {"-p", name, "-E", "-v", "cups-pdf:/", "-m", "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"}) == 0;
  ~OwnQueue() {
    if (made) Cups("lpadmin", {"-x", name});
  }
};

}  // namespace

// A PDF that cannot be written whole (a file-size limit in a child, as a full disk): told
// once, not printed, the earlier file at the name kept and nothing else left.
TEST(Printer, PdfNotWrittenWholeIsNotPrintedAndKeepsTheEarlierFile) {
  TempDir dir;
  WriteBytes(dir.file("kept.pdf"), "%PDF-earlier");
  for (const char* name : {"kept.pdf", "none.pdf"}) {
    const auto before = FolderNames(dir.path());
    const ChildRun run = RunFaultChild({"--fsize", "4096", "pdf", QString::fromStdString(dir.file(name))});
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0) << name << " crashed or hung";
    EXPECT_EQ(run.get("printed"), "0") << name;
    EXPECT_EQ(run.get("codes"), "12") << name;
    EXPECT_TRUE(run.get("reason").endsWith("File too large")) << run.get("reason").toStdString();
    EXPECT_EQ(run.get("kind").toInt(), static_cast<int>(PrintFailure::NoSpace)) << name;
    EXPECT_EQ(FolderNames(dir.path()), before) << name;
  }
  EXPECT_EQ(ReadBytes(dir.file("kept.pdf")), "%PDF-earlier");
}

// A queue that cannot take the job: its spool file not written whole (a size limit in a
// child), then the queue rejecting jobs. Each is told once, counts as not printed, and no
// job reaches the queue.
TEST(PrinterQueue, JobsTheQueueDoesNotTakeAreNotPrinted) {
  OwnQueue queue;
  if (!queue.made) FAULT_UNAVAILABLE("cannot make a CUPS queue (lpadmin)");
  const ChildRun spool = RunFaultChild({"--fsize", "4096", "queue", queue.name});
  ASSERT_TRUE(spool.finished && !spool.crashed && spool.exitCode == 0);
  EXPECT_EQ(spool.get("printed"), "0");
  EXPECT_EQ(spool.get("codes"), "12");
  EXPECT_TRUE(spool.get("reason").endsWith("File too large")) << spool.get("reason").toStdString();
  EXPECT_EQ(spool.get("kind").toInt(), static_cast<int>(PrintFailure::NoSpace));

  ASSERT_EQ(Cups("cupsreject", {queue.name}), 0);
  StatusRecorder rec;
  utPrinter printer;
  printer.SetNotifyWindow(&rec, &rec);
  printer.SetPrinterName(queue.name.toStdString());
  printer.SetToPrinter(1);
  bool drawn = false;
  if (printer.Open() && printer.BeginDoc() && printer.BeginPage()) printer.Run([&] { drawn = true; });
  printer.EndDoc();
  EXPECT_EQ(rec.codes(), std::vector<int>{kPrinterFailedCode});
  EXPECT_FALSE(printer.Printed());
  EXPECT_FALSE(drawn);
  EXPECT_TRUE(printer.FailureReason().contains("not accepting jobs")) << printer.FailureReason().toStdString();
  EXPECT_EQ(printer.FailureKind(), PrintFailure::QueueRejects);
  QString jobs;
  Cups("lpstat", {"-W", "all", "-o", queue.name}, &jobs);
  EXPECT_EQ(jobs, QString());
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
  EXPECT_EQ(run.get("queue_kind").toInt(), static_cast<int>(PrintFailure::NoAnswer));
  EXPECT_EQ(run.get("box"), QString());
}

namespace {

// The print server at 127.0.0.1:631, or a misbehaving one in front of it
// (tests/helpers/print_proxy.cpp) for args, ended with the test.
struct PrintProxy {
  QProcess process;
  int port = 631;
  explicit PrintProxy(const QStringList& args) {
    if (args.isEmpty()) return;
    process.start(QStringLiteral(QUNO_PRINT_PROXY), args);
    const QByteArray line = process.waitForReadyRead(5000) ? process.readLine().trimmed() : QByteArray();
    port = line.startsWith("port=") ? line.mid(5).toInt() : 0;
  }
  ~PrintProxy() { process.kill(), process.waitForFinished(5000); }
};

struct Job {
  int id;
  ipp_jstate_t state;
};

// The jobs a user sent to the queue "PDF", asked over the local socket.
std::vector<Job> JobsOf(const QString& user) {
  cups_job_t* jobs = nullptr;
  const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "PDF", 0, CUPS_WHICHJOBS_ALL);
  std::vector<Job> out;
  for (int i = 0; i < n; ++i)
    if (jobs[i].user && user == QString::fromUtf8(jobs[i].user)) out.push_back({jobs[i].id, jobs[i].state});
  cupsFreeJobs(n, jobs);
  return out;
}

// The states of a user's jobs; those still waiting are cancelled after.
std::vector<ipp_jstate_t> TakeJobsOf(const QString& user) {
  std::vector<ipp_jstate_t> states;
  for (const Job& job : JobsOf(user)) {
    states.push_back(job.state);
    if (job.state < IPP_JSTATE_CANCELED) cupsCancelJob2(CUPS_HTTP_DEFAULT, "PDF", job.id, 0);
  }
  return states;
}

bool HaveTcpPdfQueue() {
  http_t* tcp = httpConnect2("127.0.0.1", 631, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1, 3000, nullptr);
  if (tcp) httpClose(tcp);
  return tcp && CheckQueue("PDF").accepting;
}

// A job of user on the queue "PDF" as another print leaves it while its document is on
// the way: named "Printing", held, without a document; made over TCP from this machine,
// or recorded as made on the machine origin (as the server's gateway for other machines'
// jobs records them). Its id, 0 when it was not made.
int HeldEmptyJob(const QString& user, const char* origin = nullptr) {
  http_t* http = httpConnect2("127.0.0.1", 631, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1, 3000, nullptr);
  if (!http) return 0;
  ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/printers/PDF");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.toUtf8().constData());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "Printing");
  if (origin) ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, "job-originating-host-name", nullptr, origin);
  ipp_t* response = cupsDoRequest(http, request, "/printers/PDF");
  ipp_attribute_t* id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
  const int job = id ? ippGetInteger(id, 0) : 0;
  ippDelete(response);
  httpClose(http);
  return job;
}

}  // namespace

// The chart preview printing over TCP to the server, or to a proxy that answers a job's
// creation and document with success but no job id, or goes quiet mid-document (after
// 20 KB or 100 KB of each connection, or 20 KB in all so that the cancel meets silence
// too) or while the printer is looked up (3 KB in all) or from the start (so that the
// printer list never comes), or answers a job's creation only after the print gave up.
// Each step ends within 10 s; a failure is told once with its reason, never counts as
// printed, and its job never completes, cancelled wherever the server still answers.
TEST(PrinterQueue, MisbehavingServerFailsPromptlyAndPrintsNothing) {
  if (!HaveTcpPdfQueue()) FAULT_UNAVAILABLE("the print server does not listen on 127.0.0.1:631 or has no queue PDF");
  const struct {
    QStringList proxy;
    const char* why;  // the box's reason, or null for a print that counts
    int jobs;         // made on the server, -1 when not counted
    bool cancelled;
  } cases[] = {{{}, nullptr, -1, false},
               {{"nojobid"}, "打印服务器没有接受作业", 0, false},
               {{"stall", "20000"}, "打印服务器没有应答", 1, true},
               {{"stall", "100000"}, "打印服务器没有应答", 1, true},
               {{"stallall", "20000"}, "打印服务器没有应答", 1, false},
               {{"stallall", "3000"}, "打印服务器没有应答", 0, false},
               {{"stallall", "0"}, "打印服务器没有应答", 0, false},
               {{"holdcreate", "15000"}, "打印服务器没有应答", 1, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.proxy.join(' ').toStdString());
    PrintProxy proxy(c.proxy);
    ASSERT_GT(proxy.port, 0);
    const QString user = QString("quno-%1-%2").arg(c.proxy.join('-')).arg(::getpid());
    QElapsedTimer t;
    t.start();
    const ChildRun run = RunFaultChild({"chartqueue", "PDF"},
                                       {{"CUPS_SERVER", QString("127.0.0.1:%1").arg(proxy.port)}, {"CUPS_USER", user}});
    EXPECT_LT(t.elapsed(), 20000);
    const std::vector<ipp_jstate_t> jobs = TakeJobsOf(user);
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0);
    EXPECT_LT(run.get("show_ms").toInt(), 10000);
    EXPECT_LT(run.get("ms").toInt(), 10000);
    EXPECT_EQ(run.get("printed"), c.why ? "0" : "1") << run.get("reason").toStdString();
    EXPECT_EQ(run.get("boxes"), c.why ? "1" : "0");
    EXPECT_EQ(run.get("box"), c.why ? QString::fromUtf8("打印机加载失败!请重新加载. | ") + QString::fromUtf8(c.why) : "");
    if (c.jobs < 0) continue;
    EXPECT_EQ(jobs.size(), static_cast<std::size_t>(c.jobs));
    for (ipp_jstate_t state : jobs)
      EXPECT_TRUE(c.cancelled ? state == IPP_JSTATE_CANCELED : state != IPP_JSTATE_COMPLETED) << state;
  }
}

// A link that passes the client's bytes on at 60 KB/s: the chart of noise (some hundred
// kilobytes) takes several seconds to go, much longer than the server may stay silent,
// and the server is waited for as long as it takes them. The job completes from the
// whole document: the PDF writer's file holds the picture, which no compression shrinks.
TEST(PrinterQueue, SlowLinkPrintsTheWholeDocument) {
  if (!HaveTcpPdfQueue()) FAULT_UNAVAILABLE("the print server does not listen on 127.0.0.1:631 or has no queue PDF");
  PrintProxy proxy({"rate", "60000"});
  ASSERT_GT(proxy.port, 0);
  const QString user = QString("quno-rate-%1").arg(::getpid());
  const ChildRun run = RunFaultChild({"chartqueue", "PDF"},
                                     {{"CUPS_SERVER", QString("127.0.0.1:%1").arg(proxy.port)}, {"CUPS_USER", user}});
  ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0);
  EXPECT_EQ(run.get("printed"), "1") << run.get("reason").toStdString();
  EXPECT_EQ(run.get("boxes"), "0");
  EXPECT_GT(run.get("ms").toInt(), 5000) << "the document went faster than the link should let it";
  std::vector<Job> jobs = JobsOf(user);
  for (QDeadlineTimer end(60000); jobs.size() == 1 && jobs[0].state < IPP_JSTATE_STOPPED && !end.hasExpired();)
    QThread::msleep(200), jobs = JobsOf(user);
  TakeJobsOf(user);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
  // The PDF printer writes the pages of a user it does not know into its anonymous folder.
  const QFileInfoList out = QDir("/var/spool/cups-pdf/ANONYMOUS").entryInfoList({QString("*job_%1.pdf").arg(jobs[0].id)});
  ASSERT_EQ(out.size(), 1);
  EXPECT_EQ(ReadPdfInfo(out[0].filePath()).pages, 1);
  EXPECT_GT(out[0].size(), 300000);
  QFile::remove(out[0].filePath());
}

// A print whose job's creation is answered only after it gave up cancels the job that
// creation made and no other of the same user and title: not one made before the print
// (earlier and with a lower id), nor one made while it waited on another machine (told
// apart by origin alone: every connection here comes from this machine). Where the
// server's job list gives the names no value, no job is taken for the print's.
TEST(PrinterQueue, LateCreationCancelsOnlyItsOwnJob) {
  if (!HaveTcpPdfQueue()) FAULT_UNAVAILABLE("the print server does not listen on 127.0.0.1:631 or has no queue PDF");
  for (const bool noName : {false, true}) {
    SCOPED_TRACE(noName ? "names without a value" : "names");
    const QString user = QString("quno-late-%1-%2").arg(noName).arg(::getpid());
    const int before = HeldEmptyJob(user);
    ASSERT_GT(before, 0);
    PrintProxy proxy(QStringList{"holdcreate", "8000"} + (noName ? QStringList{"noname"} : QStringList()));
    ASSERT_GT(proxy.port, 0);
    std::future<ChildRun> child = std::async(std::launch::async, [&] {
      return RunFaultChild({"chartqueue", "PDF"},
                           {{"CUPS_SERVER", QString("127.0.0.1:%1").arg(proxy.port)}, {"CUPS_USER", user}});
    });
    int during = 0;
    for (QDeadlineTimer end(10000); during == 0 && !end.hasExpired(); QThread::msleep(50))
      if (JobsOf(user).size() == 2) during = HeldEmptyJob(user, "other-pc");
    const ChildRun run = child.get();
    std::map<int, ipp_jstate_t> states;
    for (const Job& job : JobsOf(user)) states[job.id] = job.state;
    TakeJobsOf(user);
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0);
    EXPECT_EQ(run.get("box"), QString::fromUtf8("打印机加载失败!请重新加载. | 打印服务器没有应答"));
    ASSERT_GT(during, 0);
    ASSERT_EQ(states.size(), 3u);
    for (const auto& [id, state] : states)
      EXPECT_EQ(state, id == before || id == during || noName ? IPP_JSTATE_HELD : IPP_JSTATE_CANCELED) << id;
  }
}

// A relay that passes the client's bytes at a set rate and refuses new connections once
// the document is on its way, so that no cancel reaches the server. A print that gives up
// while its document is still leaving this machine (a chart of noise, some 400 KB, at
// 20 KB/s) sends nothing more: its job never completes, though the relay would have
// passed the whole document within 25 s. One whose whole document had left (a page of
// text that the relay takes at once, passed on at 2 KB/s) says that its job, by id, is
// left on the server and may still print.
TEST(PrinterQueue, GivenUpPrintSendsNoMoreOrTellsItsJobIsLeft) {
  if (!HaveTcpPdfQueue()) FAULT_UNAVAILABLE("the print server does not listen on 127.0.0.1:631 or has no queue PDF");
  {
    PrintProxy proxy({"rate", "20000", "4096"});
    ASSERT_GT(proxy.port, 0);
    const QString user = QString("quno-dropped-%1").arg(::getpid());
    const ChildRun run = RunFaultChild({"chartqueue", "PDF"},
                                       {{"CUPS_SERVER", QString("127.0.0.1:%1").arg(proxy.port)}, {"CUPS_USER", user}});
    std::vector<Job> jobs = JobsOf(user);
    for (QDeadlineTimer end(25000); jobs.size() == 1 && jobs[0].state < IPP_JSTATE_STOPPED && !end.hasExpired();)
      QThread::msleep(500), jobs = JobsOf(user);
    TakeJobsOf(user);
    ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0);
    EXPECT_EQ(run.get("printed"), "0");
    EXPECT_EQ(run.get("box"), QString::fromUtf8("打印机加载失败!请重新加载. | 打印服务器没有应答"));
    EXPECT_LT(run.get("ms").toInt(), 20000);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_HELD);
  }
  PrintProxy proxy({"rate", "2000", "4096"});
  ASSERT_GT(proxy.port, 0);
  const QString user = QString("quno-left-%1").arg(::getpid());
  const ChildRun run = RunFaultChild({"queue", "PDF"},
                                     {{"CUPS_SERVER", QString("127.0.0.1:%1").arg(proxy.port)}, {"CUPS_USER", user}});
  const std::vector<Job> jobs = JobsOf(user);
  TakeJobsOf(user);
  ASSERT_TRUE(run.finished && !run.crashed && run.exitCode == 0);
  EXPECT_EQ(run.get("printed"), "0");
  EXPECT_EQ(run.get("kind").toInt(), static_cast<int>(PrintFailure::LeftOnServer)) << run.get("reason").toStdString();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_NE(jobs[0].state, IPP_JSTATE_CANCELED);
  EXPECT_TRUE(run.get("why").contains(QString(" %1 ").arg(jobs[0].id))) << run.get("why").toStdString();
  const QDir pdfs("/var/spool/cups-pdf/ANONYMOUS");
  for (const QString& out : pdfs.entryList({QString("*job_%1.pdf").arg(jobs[0].id)})) QFile::remove(pdfs.filePath(out));
}

// The failure box's second line: a text of its own for each kind of failure, the same in
// the Chinese language file as by default, and English in the English one.
TEST(PrintFailureText, OneLinePerKindInEitherLanguage) {
  std::map<std::string, QStringList> texts;
  for (const std::string file : {"", "lang/langchs.ini", "lang/langeng.ini"}) {
    GetLanchg()->SetLangFile(file.empty() ? file : SourceFile(file));
    for (int k = static_cast<int>(PrintFailure::NoPrinter); k <= static_cast<int>(PrintFailure::LeftOnServer); ++k)
      texts[file] << PrintFailureText(static_cast<PrintFailure>(k), 4711);
    EXPECT_FALSE(texts[file].contains(QString()) || QStringList(texts[file]).removeDuplicates() > 0) << file;
    // A job left on the server is named by its id.
    EXPECT_TRUE(texts[file].last().contains(" 4711 ")) << file;
  }
  GetLanchg()->SetLangFile("");
  EXPECT_EQ(PrintFailureMessage("first", PrintFailure::None), "first");
  EXPECT_EQ(texts["lang/langchs.ini"], texts[""]);
  const QStringList& en = texts["lang/langeng.ini"];
  EXPECT_EQ((QStringList{en[1], en[2], en[4]}),
            (QStringList{"the queue does not accept jobs", "no answer from the print server", "no space left on the device"}));
  for (int error : {ENOSPC, EDQUOT, EFBIG, EACCES, EIO})
    EXPECT_EQ(FileFailureKind(error), error == EACCES || error == EIO ? PrintFailure::FileNotWritten : PrintFailure::NoSpace);
}

// A bench whose print fails ends at once with exit code 1 and the failure on its last
// line: no box waits for a user, and an unknown queue is not a printed report.
TEST(PrintBenches, AFailedPrintEndsWithExitCodeOne) {
  TempDir dir;
  for (const auto& [bench, args] :
       {std::pair(QStringLiteral(QUNO_BENCH_PRINT_CHART), QStringList{"--out", QString::fromStdString(dir.file("no/out.pdf"))}),
        std::pair(QStringLiteral(QUNO_BENCH_PRINT_REPORT), QStringList{"--printer", "quno-no-such-queue", "--pages", "1"})}) {
    QProcess p;  // offscreen, as the test; killed with the object
    p.start(bench, args);
    ASSERT_TRUE(p.waitForFinished(120000)) << bench.toStdString() << " waits (on a box?)";
    EXPECT_EQ(p.exitCode(), 1) << bench.toStdString();
    const QString last = QString::fromUtf8(p.readAllStandardOutput()).trimmed().split('\n').last();
    EXPECT_FALSE(last.isEmpty() || last.startsWith("pages=") || last.startsWith("chart_pdf_ms=")) << last.toStdString();
  }
}

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
    EXPECT_EQ(PdfText(pdf, 1), ReadingText(shown)) << kind;
    EXPECT_TRUE(PdfText(pdf, 1).contains(QString("第%1页/共%2页").arg(page).arg(out.pageCount)));
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
