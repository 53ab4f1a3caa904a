// bench_export FILE --kind K [--step S] [--page P] [--hide 3,7] --out PATH [--baseline]
// Loads FILE through the reader as the main form does (a time-order question answered
// 2), takes the whole loaded record window, the default channel names, every channel
// shown but the hidden ones (1-based) and the alarm list of the window as the alarm tab
// builds it, writes PATH through the export thread as the export button does and prints
// one line:
//   bytes=N ms=T mb_s=R
// ms runs from handing the thread its arguments to its notification of the written
// file. With --baseline the line adds baseline_ms=, the time one plain buffered write
// loop takes for the same number of bytes.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "data/pubparam.h"
#include "data/readdata.h"
#include "data/recordparse.h"
#include "data/syspar.h"
#include "reports/Utpage.h"
#include "mainwindow/windowrules.h"
#include "output/exportfile.h"
#include "output/utexeclthread.h"

namespace {

struct Receiver : QObject, StatusReceiver {
  utReadData* reader = nullptr;
  QEventLoop* loop = nullptr;
  StatusMsg last;
  void OnStatusMsg(const StatusMsg& msg) override {
    if (msg.code == kStatusDisorder && reader) reader->DisorderPolicy = 2;
    const bool exportEnd = reader == nullptr && (msg.code == kStatusExportDone || msg.code == kStatusExportFailed);
    if ((msg.code == kStatusParseDone && reader) || exportEnd) {
      last = msg;
      loop->quit();
    }
  }
};

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// The yardstick: bytes written through one stdio stream in row-sized pieces.
double Baseline(const std::string& path, long long bytes) {
  std::string row(280, 'x');
  row.replace(row.size() - 2, 2, "\r\n");
  const auto start = std::chrono::steady_clock::now();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return -1;
  for (long long done = 0; done < bytes; done += static_cast<long long>(row.size()))
    std::fwrite(row.data(), 1, static_cast<std::size_t>(std::min<long long>(bytes - done, row.size())), f);
  std::fclose(f);
  const double ms = Ms(start);
  std::remove(path.c_str());
  return ms;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bench_export FILE --kind K [--step S] [--page P] [--hide 3,7] --out PATH [--baseline]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string file, out;
  int kind = -1000;
  long long step = 1, page = 1;
  std::vector<int> hide;
  bool baseline = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--kind" && hasValue) kind = std::atoi(argv[++i]);
    else if (a == "--step" && hasValue) step = std::atoll(argv[++i]);
    else if (a == "--page" && hasValue) page = std::atoll(argv[++i]);
    else if (a == "--out" && hasValue) out = argv[++i];
    else if (a == "--hide" && hasValue) {
      std::stringstream list(argv[++i]);
      for (std::string n; std::getline(list, n, ',');) hide.push_back(std::atoi(n.c_str()));
    } else if (a == "--baseline") baseline = true;
    else if (file.empty() && a.rfind("--", 0) != 0) file = a;
    else return Usage();
  }
  if (file.empty() || out.empty() || kind == -1000) return Usage();

  utPubParam* store = GetPubParam();
  ReadGlobalPar();  // default names, every channel shown
  QEventLoop loop;
  {
    utReadData reader;
    Receiver r;
    r.reader = &reader;
    r.loop = &loop;
    reader.SetNotifyWindow(&r, &r);
    if (!reader.LoadFile(file)) {
      std::fprintf(stderr, "cannot load %s\n", file.c_str());
      return 1;
    }
    reader.Resume();
    loop.exec();
  }
  for (int n : hide)
    if (n >= 1 && n <= kMaxChannels) store->SysPar.ChannelShown[n - 1] = 0;
  const int first = 0;
  const int end = LoadedWindowEnd(store->Records, store->RecordCount);
  BuildAlarmIndex(first, end);

  Receiver r;
  r.loop = &loop;
  const auto start = std::chrono::steady_clock::now();
  utExeclthread thread(true);
  thread.SetFileName(out);
  thread.SetReportType(kind);
  thread.SetStartIndex(ExportStartIndex(kind, first, page, step));
  thread.SetEndIndex(end);
  thread.SetInterval(step);
  thread.SetNotifyWindow(&r, &r);
  thread.SetAlarmIndex(store->AlarmIndex);
  thread.Resume();
  loop.exec();
  const double ms = Ms(start);
  if (r.last.code != kStatusExportDone) {
    std::fprintf(stderr, "%s\n", r.last.text.toLocal8Bit().constData());
    return 1;
  }

  struct stat st {};
  const long long bytes = ::stat(out.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  std::printf("bytes=%lld ms=%.1f mb_s=%.1f", bytes, ms, ms > 0 ? bytes / 1e6 / (ms / 1000.0) : 0.0);
  if (baseline) std::printf(" baseline_ms=%.1f", Baseline(out + ".baseline", bytes));
  std::printf("\n");
  return 0;
}
