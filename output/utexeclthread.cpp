#include "output/utexeclthread.h"

#include <QString>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "data/lanchg.h"
#include "data/pubparam.h"
#include "output/exportfile.h"
#include "platform/safefile.h"
#include "platform/statusmsg.h"

namespace {

// How long stopping an export waits for its thread.
constexpr std::chrono::milliseconds kStopWait(1000);

std::function<void()>& PieceHook() {
  static std::function<void()> hook;
  return hook;
}

QString Reason(int error) { return QString::fromStdString(std::system_category().message(error)); }

// The export's pieces into the new file; a stop ends the export at the next piece.
class FileSink : public ExportSink {
 public:
  FileSink(ReplacingFile& file, const std::atomic<bool>& stop, const std::function<void()>& hook)
      : file_(file), stop_(stop), hook_(hook) {}
  bool Write(std::string_view bytes) override {
    if (stop_.load(std::memory_order_relaxed) || !file_.Write(bytes)) return false;
    if (!written_ && hook_) hook_();
    written_ = true;
    return !stop_.load(std::memory_order_relaxed);
  }

 private:
  ReplacingFile& file_;
  const std::atomic<bool>& stop_;
  const std::function<void()>& hook_;
  bool written_ = false;
};

}  // namespace

// What the thread uses. Shared with the thread, so that a thread left behind by a stop
// still has it when it returns.
struct ExportShared {
  void Body() {
    StatusMsg msg;
    msg.code = Write(msg.text) ? kStatusExportDone : kStatusExportFailed;
    if (!stop.load()) channel.Send(msg);
    std::lock_guard lock(mutex);
    ended = true;
    endedChanged.notify_all();
  }

  // The file of the job; on failure text says what failed, on which file and why.
  bool Write(QString& text) {
    ReplacingFile file;
    const auto fail = [&](const QString& what) {
      if (stop.load()) return false;  // stopped: nobody is told
      // No memory is told as such, with the export's file as what was being done.
      const bool noMemory = file.Error() == ENOMEM;
      text = (noMemory ? outOfMemory : what) + QLatin1Char('-') + QString::fromStdString(path);
      if (!file.Refused() && !noMemory) text += QLatin1Char('\n') + Reason(file.Error());
      if (file.HadEarlierFile()) text += QLatin1Char('\n') + unchanged;
      return false;
    };
    if (!file.Begin(path, Keep::ReadOnly)) return fail(file.Refused() ? refused : createFailed);
    FileSink sink(file, stop, hook);
    bool written = false;
    try {
      written = WriteExport(job, sink);
    } catch (const std::exception&) {  // no memory for a piece of the file
      file.SetError(ENOMEM);
    }
    if (stop.load()) {
      file.Abort();
      return false;
    }
    if (written && file.Finish()) return true;
    file.Abort();
    return fail(file.Refused() ? refused : writeFailed);
  }

  std::string path;
  ExportJob job;
  std::string names[kMaxChannels];
  std::int32_t shown[kMaxChannels] = {};
  QString createFailed, writeFailed, refused, unchanged, outOfMemory;
  std::function<void()> hook;
  StatusChannel channel;
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable endedChanged;
  bool ended = false;
};

struct utExeclthread::Impl {
  // Settings the thread needs, copied on the user-interface thread.
  void TakeSnapshot() {
    ExportShared& s = *shared;
    const utPubParam& store = *GetPubParam();
    s.job.src = MakeSource(store);
    for (int k = 0; k < kMaxChannels; ++k) {
      s.names[k] = store.SysPar.ChannelName[k];
      s.shown[k] = store.SysPar.ChannelShown[k];
    }
    s.job.src.channelNames = s.names;
    s.job.src.shownFlags = s.shown;
    if (!alarmIndexSet) s.job.alarmIndex = store.AlarmIndex;
    s.job.texts = LoadExportTexts();
    s.createFailed = GetLangString("utExeclthread", "Error15", QStringLiteral("导出文件无法创建"));
    s.writeFailed = GetLangString("utExeclthread", "Error16", QStringLiteral("导出文件写入失败,未写完的文件已删除"));
    s.refused = GetLangString("utExeclthread", "Error19",
                              QStringLiteral("导出目标不是普通文件(文件夹、管道、设备或套接字),没有写入"));
    s.unchanged = GetLangString("utExeclthread", "Error20", QStringLiteral("原有文件未改变"));
    s.outOfMemory = GetLangString("frmQuna", "Error2", QStringLiteral("内存分配失败"));
    s.hook = PieceHook();
  }

  std::shared_ptr<ExportShared> shared = std::make_shared<ExportShared>();
  bool alarmIndexSet = false;
  bool started = false;
  std::thread thread;
};

void SetExportPieceHook(std::function<void()> hook) { PieceHook() = std::move(hook); }

utExeclthread::utExeclthread(bool createSuspended) : d(std::make_unique<Impl>()) {
  if (!createSuspended) Resume();
}

utExeclthread::~utExeclthread() {
  // Stop at the next piece and release a notification waiting for the window; the body
  // removes what it had written.
  d->shared->stop = true;
  d->shared->channel.Cancel();
  if (!d->thread.joinable()) return;
  if (WaitEnded(kStopWait)) d->thread.join();
  else d->thread.detach();  // held up in the system: it cleans up once it returns
}

void utExeclthread::SetFileName(const std::string& path) { d->shared->path = path; }

void utExeclthread::SetNotifyWindow(StatusReceiver* receiver, QObject* context) {
  d->shared->channel.SetReceiver(receiver, context);
}

void utExeclthread::SetStartIndex(std::int64_t index) { d->shared->job.first = index; }

void utExeclthread::SetEndIndex(std::int64_t index) { d->shared->job.end = index; }

void utExeclthread::SetInterval(std::int64_t step) { d->shared->job.step = step; }  // the file counts a step below 1 as 1

void utExeclthread::SetReportType(int reportType) { d->shared->job.reportType = reportType; }

void utExeclthread::SetAlarmIndex(std::vector<std::int32_t> alarmIndex) {
  d->shared->job.alarmIndex = std::move(alarmIndex);
  d->alarmIndexSet = true;
}

void utExeclthread::Resume() {
  if (d->started) return;
  d->started = true;
  d->TakeSnapshot();
  IgnoreFileSizeSignal();
  d->thread = std::thread([shared = d->shared] { shared->Body(); });
}

bool utExeclthread::Running() const {
  std::lock_guard lock(d->shared->mutex);
  return d->started && !d->shared->ended;
}

bool utExeclthread::WaitEnded(std::chrono::milliseconds timeout) const {
  ExportShared& s = *d->shared;
  std::unique_lock lock(s.mutex);
  return s.endedChanged.wait_for(lock, timeout, [&] { return !d->started || s.ended; });
}
