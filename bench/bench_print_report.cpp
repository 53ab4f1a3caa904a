// bench_print_report [--kind K] [--channels C] [--pages N] [--out PATH] [--printer NAME]
// The demo file (680,000 records of 32 channels, alarms, 5 power failures) is written,
// then loaded through the reader as the main form loads it, with the first C channels
// shown (default all). Its report of kind K (default 1, the data report at step 1) over
// the whole recording is printed through the preview's print code to a PDF file at
// 600 dpi in black-and-white, N pages (default 2000). Two lines:
//   pages=N pages_per_s=R rss_growth_mb=M page_turn_ms=P
//   preview_pages=V paper_pages=Q first_open_ms=T
// M: growth of resident memory from page 100 (page 1 in a shorter report) to page N; P:
// median time to draw one preview page (default zoom and margins). V and Q: the whole
// report's pages in the preview and on paper. T: see FirstOpenMs.
// With --printer the pages go through that CUPS queue instead of a PDF file. A failed
// job (an unknown queue included) ends the program with exit code 1 and the error on
// its last line.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "data/pubparam.h"
#include "data/readdata.h"
#include "data/recordparse.h"
#include "data/syspar.h"
#include "output/reportprint.h"
#include "output/utfaterPint.h"

namespace {

struct Receiver : QObject, StatusReceiver {
  utReadData* reader = nullptr;
  QEventLoop* loop = nullptr;
  void OnStatusMsg(const StatusMsg& msg) override {
    if (msg.code == kStatusDisorder) reader->DisorderPolicy = 2;
    if (msg.code == kStatusParseDone && loop != nullptr) loop->quit();
  }
};

double RssMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024.0;
  return 0.0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Usage() {
  std::fprintf(stderr, "usage: bench_print_report [--kind 1|3|4|5|6] [--channels 1..32] [--pages N] [--out PATH] [--printer NAME]\n");
  return 2;
}

// The first opening of the report preview: from making the form, as the main form's
// print button does, to its first page image shown.
double FirstOpenMs(int kind, const IndexRange& range, const QString& rangeText) {
  const auto t0 = std::chrono::steady_clock::now();
  TfrmfaterPrit* preview = CreateReportPreview(nullptr);
  preview->SetRangeText(rangeText);
  preview->SetStartIndex(static_cast<int>(range.first));
  preview->SetEndIndex(static_cast<int>(range.end));
  preview->SetReportType(kind);
  preview->SetInterval(1);
  preview->show();  // renders the first page before it returns
  const double ms = Seconds(t0) * 1000.0;
  preview->close();
  delete preview;
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  int kind = kReportData;
  int channels = kMaxChannels;
  long long pages = 2000;
  QString out = QDir::temp().filePath("bench_print_report.pdf");
  std::string queue;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--kind" && i + 1 < argc) kind = std::atoi(argv[++i]);
    else if (a == "--pages" && i + 1 < argc) pages = std::atoll(argv[++i]);
    else if (a == "--channels" && i + 1 < argc) channels = std::atoi(argv[++i]);
    else if (a == "--out" && i + 1 < argc) out = QString::fromLocal8Bit(argv[++i]);
    else if (a == "--printer" && i + 1 < argc) queue = argv[++i];
    else return Usage();
  }
  if (pages < 1 || channels < 1 || channels > kMaxChannels || (kind != 1 && kind != 3 && kind != 4 && kind != 5 && kind != 6)) return Usage();

  // The demo file, as the run command writes it.
  const std::string demo = QDir::temp().filePath("bench_print_report_demo.qmd").toStdString();
  if (!WriteDemoFile(demo, 0)) {
    std::fprintf(stderr, "cannot write %s\n", demo.c_str());
    return 1;
  }
  utPubParam* store = GetPubParam();
  ReadGlobalPar();  // as the main form does when it first shows: every channel shown
  store->ReadFilePar(QFileInfo(QString::fromStdString(demo)).fileName().toStdString());
  for (int k = 0; k < kMaxChannels; ++k) store->SysPar.ChannelShown[k] = k < channels ? 1 : 0;
  utReadData reader;
  Receiver receiver;
  receiver.reader = &reader;
  reader.SetNotifyWindow(&receiver, &receiver);
  QEventLoop loop;
  receiver.loop = &loop;
  if (!reader.LoadFile(demo)) {
    std::fprintf(stderr, "cannot load %s\n", demo.c_str());
    return 1;
  }
  reader.Resume();
  loop.exec();
  std::remove(demo.c_str());

  // The report as the print button hands it over: the whole recording, data page 1, step 1.
  const ReportSource src = StoreSource();
  const IndexRange range = ReportRangeFor(kind, 0, src.count, 1, 1, src.count);
  const QString rangeText = src.timeText(range.first) + "=>" + src.timeText(range.end - 1);
  int* pos = store->SysPar.DATAPOS;
  pos[0] = pos[1] = pos[2] = 5;
  pos[3] = 65;
  const double firstOpenMs = FirstOpenMs(kind, range, rangeText);

  ReportContent content = BuildReportContent(src, kind, range.first, range.end, 1);
  content.rangeText = rangeText;
  const MarginPercents margins{5, 5, 5};
  const QString printTime = PrintTimeText();

  // Page turns of the preview at the default zoom, showing the paper it prints on.
  utPrinter printer;
  if (queue.empty()) printer.SetOutputFile(out, 600);
  else printer.SetPrinterName(queue);  // the queue's own paper, as the preview shows it
  printer.SetScaleTo600(true);
  printer.SetGrayScale(true);
  const PageMetrics paper = printer.PaperMetrics();
  const QSize size = PreviewImageSize(paper, 96, 96, 65);
  std::vector<double> turns;
  PreviewPage preview;
  for (int p = 1; p <= 41; ++p) {
    const auto t0 = std::chrono::steady_clock::now();
    preview = RenderPreviewPage(printer, content, size, paper, margins, p * 7, printTime);
    turns.push_back(Seconds(t0) * 1000.0);
  }
  std::sort(turns.begin(), turns.end());
  preview = RenderPreviewPage(printer, content, size, paper, margins, 1, printTime);

  // Printing from page 1, as the print button does with page 1 shown.
  double rssAt100 = 0.0;
  long long printedPages = 0;
  const auto t0 = std::chrono::steady_clock::now();
  const PrintOutcome result =
      PrintReportPages(printer, content, preview.layout, 1, margins, true, printTime, pages,
                       [&](std::int64_t printed) {
                         printedPages = printed;
                         if (printed == 1 || printed == 100) rssAt100 = RssMb();  // page 1 for shorter reports
                       });
  const double rssEnd = RssMb();
  const double seconds = Seconds(t0);
  if (result.kind != PrintOutcome::Printed) {
    std::fprintf(stderr, "printing failed after %.1f s\n", seconds);
    std::fflush(stderr);
    std::printf("%s\n", printer.FailureReason().toLocal8Bit().constData());
    return 1;
  }
  std::printf("pages=%lld pages_per_s=%.1f rss_growth_mb=%.1f page_turn_ms=%.2f\n", printedPages,
              seconds > 0 ? printedPages / seconds : 0.0, rssEnd - rssAt100, turns[turns.size() / 2]);
  std::printf("preview_pages=%lld paper_pages=%lld first_open_ms=%.0f\n",
              static_cast<long long>(preview.layout.pageCount), static_cast<long long>(result.pageCount),
              firstOpenMs);
  return 0;
}
