#include "output/utexeclthread.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>

#include "data/lanchg.h"
#include "data/pubparam.h"
#include "output/exportfile.h"
#include "platform/statusmsg.h"
#include "platform/workerthread.h"

namespace {

std::string Reason(int error) { return std::system_category().message(error); }

// The export file on disk: every write checked, as a full disk or a file-size limit
// must never pass for a finished export.
class FileSink : public ExportSink {
 public:
  FileSink(const std::atomic<bool>& stop) : stop_(stop) {}
  ~FileSink() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) error_ = errno;
    return fd_ >= 0;
  }
  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      if (stop_.load(std::memory_order_relaxed)) return false;
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? errno : ENOSPC;
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
      error_ = errno;
      return false;
    }
    return true;
  }
  int Error() const { return error_; }
  void SetError(int error) { error_ = error; }

 private:
  const std::atomic<bool>& stop_;
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace

struct utExeclthread::Impl {
  void Body() {
    StatusMsg msg;
    msg.code = Write(msg.text) ? kStatusExportDone : kStatusExportFailed;
    if (!stop.load()) channel.Send(msg);
    std::lock_guard lock(mutex);
    ended = true;
    endedChanged.notify_all();
  }

  // The file of the job; on failure the partial file is removed and text says why.
  bool Write(QString& text) {
    FileSink file(stop);
    const auto fail = [&](const QString& what) {
      text = QStringLiteral("%1-%2\n%3")
                 .arg(what, QString::fromStdString(path), QString::fromStdString(Reason(file.Error())));
      return false;
    };
    if (!file.Open(path)) return fail(createFailed);
    bool written = false;
    try {
      written = WriteExport(job, file);
    } catch (const std::exception&) {  // no memory for a piece of the file
      file.SetError(ENOMEM);
    }
    const bool closed = file.Close();
    if (written && closed && !stop.load()) return true;
    ::unlink(path.c_str());
    return fail(writeFailed);
  }

  // Settings the thread needs, copied on the user-interface thread.
  void TakeSnapshot() {
    const utPubParam& store = *GetPubParam();
    job.src = MakeSource(store);
    for (int k = 0; k < kMaxChannels; ++k) {
      names[k] = store.SysPar.ChannelName[k];
      shown[k] = store.SysPar.ChannelShown[k];
    }
    job.src.channelNames = names;
    job.src.shownFlags = shown;
    if (!alarmIndexSet) job.alarmIndex = store.AlarmIndex;
    job.texts = LoadExportTexts();
    createFailed = GetLangString("utExeclthread", "Error15", QStringLiteral("导出文件无法创建"));
    writeFailed = GetLangString("utExeclthread", "Error16", QStringLiteral("导出文件写入失败,文件已删除"));
  }

  std::string path;
  ExportJob job;
  bool alarmIndexSet = false;
  std::string names[kMaxChannels];
  std::int32_t shown[kMaxChannels] = {};
  QString createFailed, writeFailed;
  StatusChannel channel;
  std::atomic<bool> stop{false};
  bool started = false;
  mutable std::mutex mutex;
  mutable std::condition_variable endedChanged;
  bool ended = false;
  std::unique_ptr<WorkerThread> thread;
};

utExeclthread::utExeclthread(bool createSuspended) : d(std::make_unique<Impl>()) {
  d->thread = std::make_unique<WorkerThread>([this](WorkerThread&) { d->Body(); }, true);
  if (!createSuspended) Resume();
}

utExeclthread::~utExeclthread() {
  // Stop at the next piece, release a notification waiting for the window, then join;
  // the body removes what it had written.
  d->stop = true;
  d->channel.Cancel();
  d->thread->Terminate();
  d->thread->Join();
}

void utExeclthread::SetFileName(const std::string& path) { d->path = path; }

void utExeclthread::SetNotifyWindow(StatusReceiver* receiver, QObject* context) {
  d->channel.SetReceiver(receiver, context);
}

void utExeclthread::SetStartIndex(std::int64_t index) { d->job.first = index; }

void utExeclthread::SetEndIndex(std::int64_t index) { d->job.end = index; }

void utExeclthread::SetInterval(std::int64_t step) { d->job.step = step; }  // the file counts a step below 1 as 1

void utExeclthread::SetReportType(int reportType) { d->job.reportType = reportType; }

void utExeclthread::SetAlarmIndex(std::vector<std::int32_t> alarmIndex) {
  d->job.alarmIndex = std::move(alarmIndex);
  d->alarmIndexSet = true;
}

void utExeclthread::Resume() {
  if (d->started) return;
  d->started = true;
  d->TakeSnapshot();
  d->thread->Resume();
}

bool utExeclthread::Running() const {
  std::lock_guard lock(d->mutex);
  return d->started && !d->ended;
}

bool utExeclthread::WaitEnded(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(d->mutex);
  return d->endedChanged.wait_for(lock, timeout, [this] { return !d->started || d->ended; });
}
