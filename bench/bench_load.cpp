// bench_load FILE [--policy P] [--baseline] [--runs N]
// Loads FILE through the reader exactly as the main form does (LoadFile on this
// thread, the parse on the reader thread, a 1102 answered with policy P, default 2)
// and prints one line:
//   records=N stored=C min=V max=V earliest=I latest=I markers=M codes=4,7,5,6 ms=T
// With --baseline it first times a plain loop writing as many 552-byte records into
// fresh memory and adds a second line with that time, the ratio and the peak memory.
// With --runs N it loads the file in N fresh processes one after the other (each a
// first load into an untouched store, as after a start of the program), prints the
// lines of the median run and then:
//   runs=N median_ms=T worst_ms=T best_ms=T
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "data/pubparam.h"
#include "data/readdata.h"
#include "data/recordparse.h"

namespace {

struct Receiver : QObject, StatusReceiver {
  utReadData* reader = nullptr;
  int policy = 2;
  std::vector<int> codes;
  std::int64_t fileRecords = 0;
  QEventLoop* loop = nullptr;
  void OnStatusMsg(const StatusMsg& msg) override {
    codes.push_back(msg.code);
    if (msg.code == kStatusRecordCount) fileRecords = msg.value;
    if (msg.code == kStatusDisorder) reader->DisorderPolicy = policy;
    if (msg.code == kStatusParseDone && loop != nullptr) loop->quit();
  }
};

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

std::int64_t FileRecords(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  unsigned char head[40] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, f);
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  if (got < sizeof head) return 0;
  return RecordCountOf(head[33], head[0], size);
}

// The yardstick: the same number of 552-byte records written into memory that has
// not been touched yet, as the store's array is on a first load.
double Baseline(std::int64_t n) {
  if (n <= 0) return 0.0;
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<tagDataRecord[]> array(new tagDataRecord[static_cast<std::size_t>(n)]);
  tagDataRecord work;
  std::memset(static_cast<void*>(&work), 0, sizeof work);
  for (std::int64_t i = 0; i < n; ++i) {
    work.Time = static_cast<double>(i);
    work.Channel[i % kMaxChannels].Value = static_cast<double>(i);
    array[static_cast<std::size_t>(i)] = work;
  }
  volatile double keep = array[static_cast<std::size_t>(n / 2)].Time;
  (void)keep;
  return Ms(start);
}

// Runs this program with args in a child process and returns what it printed.
std::string RunChild(const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char chunk[4096];
  ssize_t n;
  while ((n = read(out[0], chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(n));
  close(out[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return text;
}

int RunMany(int runs, const std::vector<std::string>& args) {
  std::vector<std::pair<double, std::string>> results;
  for (int i = 0; i < runs; ++i) {
    const std::string text = RunChild(args);
    const std::size_t at = text.find(" ms=");
    if (at == std::string::npos) {
      std::fprintf(stderr, "run %d failed\n%s", i + 1, text.c_str());
      return 1;
    }
    results.emplace_back(std::atof(text.c_str() + at + 4), text);
  }
  std::vector<std::pair<double, std::string>> sorted = results;
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::fputs(sorted[sorted.size() / 2].second.c_str(), stdout);
  std::printf("runs=%d median_ms=%.1f worst_ms=%.1f best_ms=%.1f\n", runs, sorted[sorted.size() / 2].first,
              sorted.back().first, sorted.front().first);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string path;
  int policy = 2;
  bool baseline = false;
  int runs = 0;
  std::vector<std::string> childArgs = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
      continue;
    }
    childArgs.push_back(a);
    if (a == "--policy" && i + 1 < argc) {
      policy = std::atoi(argv[++i]);
      childArgs.push_back(argv[i]);
    } else if (a == "--baseline") {
      baseline = true;
    } else if (path.empty() && a.rfind("--", 0) != 0) {
      path = a;
    } else {
      std::fprintf(stderr, "usage: bench_load FILE [--policy 0|1|2|3] [--baseline] [--runs N]\n");
      return 2;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: bench_load FILE [--policy 0|1|2|3] [--baseline] [--runs N]\n");
    return 2;
  }
  if (runs > 0) return RunMany(runs, childArgs);

  const double baseMs = baseline ? Baseline(FileRecords(path)) : 0.0;

  utPubParam* store = GetPubParam();
  utReadData reader;
  Receiver receiver;
  receiver.reader = &reader;
  receiver.policy = policy;
  reader.SetNotifyWindow(&receiver, &receiver);
  QEventLoop loop;
  receiver.loop = &loop;

  const auto start = std::chrono::steady_clock::now();
  const bool opened = reader.LoadFile(path);
  if (opened) {
    reader.Resume();
    loop.exec();
  }
  const double ms = Ms(start);

  std::string codes;
  for (int c : receiver.codes) {
    if (!codes.empty()) codes += ',';
    codes += std::to_string(c);
  }
  std::printf("records=%lld stored=%d min=%.6g max=%.6g earliest=%d latest=%d markers=%d codes=%s ms=%.1f\n",
              static_cast<long long>(receiver.fileRecords), store->RecordCount, store->MinValue, store->MaxValue,
              store->DataHead.EarliestIndex, store->DataHead.LatestIndex, store->DataHead.MarkerCount,
              codes.c_str(), ms);
  if (baseline)
    std::printf("baseline records=%lld ms=%.1f ratio=%.2f peak_rss_mb=%.0f\n",
                static_cast<long long>(FileRecords(path)), baseMs, baseMs > 0 ? ms / baseMs : 0.0,
                PeakRssKb() / 1024.0);
  return opened ? 0 : 1;
}
