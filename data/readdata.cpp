#include "data/readdata.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <new>
#include <cerrno>
#include <thread>
#include <vector>

#include "data/pubparam.h"
#include "data/recordparse.h"
#include "platform/appcursor.h"
#include "platform/largemem.h"
#include "platform/parallel.h"
#include "platform/safefile.h"
#include "platform/workerthread.h"

namespace {

struct ChannelSink : ParseSink {
  explicit ChannelSink(StatusChannel& c) : channel(c) {}
  void Notify(const StatusMsg& msg) override { channel.Send(msg); }
  // Large pages that stall (the kernel compacting memory, or a host backing memory it
  // had handed back) cost far more than the small ones that are to be had at once.
  void SlowStore() override { UseSmallPages(GetPubParam()->Records, sizeof(tagDataRecord) * kRecordCapacity); }
  StatusChannel& channel;
};

// With few cores the parse runs on one thread and a helper commits the store's small
// pages ahead of it, in chunks, on the other core (content never changed by it): the
// parse in parts gains nothing there, and large pages that stall would cost it.
constexpr int kCoresForParts = 4;

class Prefault {
 public:
  Prefault(void* start, std::size_t bytes, const std::atomic<bool>& stop) {
    constexpr std::uintptr_t kPage = 4096;
    const auto from = (reinterpret_cast<std::uintptr_t>(start) + kPage - 1) & ~(kPage - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kPage - 1);
    if (to <= from + (16u << 20)) return;  // small loads are not worth a thread
    thread_ = std::thread([from, to, &stop] {
      constexpr std::uintptr_t kChunk = 4u << 20;
      for (std::uintptr_t p = from; p < to && !stop.load(std::memory_order_relaxed); p += kChunk) {
        const std::uintptr_t end = p + kChunk < to ? p + kChunk : to;
        if (madvise(reinterpret_cast<void*>(p), end - p, MADV_POPULATE_WRITE) != 0) break;  // old kernel
      }
    });
  }
  ~Prefault() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

std::uint8_t* AllocateBuffer(std::size_t bytes) { return new (std::nothrow) std::uint8_t[bytes]; }
// Reads in parts on several cores: the copy and the page faults of the fresh buffer
// cost more than the file system. A part that comes up short ends the read there.
std::size_t ReadFile(std::uint8_t* to, std::size_t bytes, std::FILE* from) {
  constexpr std::size_t kPart = std::size_t{8} << 20;
  const int parts = static_cast<int>(std::min<std::size_t>(bytes / kPart, static_cast<std::size_t>(MemoryWorkers())));
  const long start = std::ftell(from);
  if (parts < 2 || start < 0) return std::fread(to, 1, bytes, from);
  std::vector<std::size_t> got(static_cast<std::size_t>(parts), 0);
  const int fd = fileno(from);
  auto partStart = [&](int p) { return bytes * static_cast<std::size_t>(p) / static_cast<std::size_t>(parts); };
  RunParts(parts, [&](int p) {
    const std::size_t a = partStart(p), b = partStart(p + 1);
    std::size_t& n = got[static_cast<std::size_t>(p)];
    while (a + n < b) {
      const ssize_t r = pread(fd, to + a + n, b - a - n, static_cast<off_t>(start) + static_cast<off_t>(a + n));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      n += static_cast<std::size_t>(r);
    }
  });
  std::size_t total = 0;
  for (int p = 0; p < parts; ++p) {
    total += got[static_cast<std::size_t>(p)];
    if (partStart(p) + got[static_cast<std::size_t>(p)] < partStart(p + 1)) break;
  }
  std::fseek(from, start + static_cast<long>(total), SEEK_SET);
  return total;
}
LoadAllocator g_allocate = &AllocateBuffer;
LoadReader g_read = &ReadFile;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void SetLoadHooks(LoadAllocator allocate, LoadReader read) {
  g_allocate = allocate ? allocate : &AllocateBuffer;
  g_read = read ? read : &ReadFile;
}

struct utReadData::Impl {
  explicit Impl(utReadData& o) : owner(o) {}

  void Body(WorkerThread& self) {
    while (!self.Terminated()) {
      // Only a buffer that LoadFile has just installed is parsed; a resume without
      // one goes straight back to idle.
      if (pending.exchange(false)) {
        utPubParam* store = GetPubParam();
        ChannelSink sink(channel);
        std::unique_ptr<Prefault> prefault;
        const bool fewCores = MemoryWorkers() < kCoresForParts;
        if (fewCores) {
          const std::int64_t records =
              RecordCountOf(store->DataHead.ModelCode, store->DataHead.ChannelCount, size) + 1;
          const std::size_t bytes =
              sizeof(tagDataRecord) * static_cast<std::size_t>(std::min<std::int64_t>(records, kRecordCapacity));
          UseSmallPages(store->Records, sizeof(tagDataRecord) * kRecordCapacity);
          prefault = std::make_unique<Prefault>(store->Records, bytes, stop);
        }
        try {
          // The buffer is parsed once: what is decoded goes back to the system.
          ParseRecords(buffer.get(), size, *store, sink, owner.DisorderPolicy, stop, fewCores ? 1 : 0, true);
        } catch (const std::bad_alloc&) {
          OutOfMemory(*store);
        }
        if (!stop.load()) SetAppCursor(AppCursor::Default);
      }
      if (!self.Park()) break;
    }
  }

  // No memory in the middle of a parse: the half-filled store would show a recording
  // that is not the file's. The user is told, and the load ends with no records.
  void OutOfMemory(utPubParam& store) {
    store.RecordCount = 0;
    store.AlarmIndex.clear();
    store.DataHead.PowerFailures.clear();
    StatusMsg msg;
    msg.code = kStatusOutOfMemory;
    msg.text = QString::fromStdString(path);
    channel.Send(msg);
    msg.code = kStatusParseDone;
    msg.text.clear();
    channel.Send(msg);
  }

  utReadData& owner;
  std::string path;  // of the file in the buffer
  StatusChannel channel;
  std::unique_ptr<std::uint8_t[]> buffer;  // the file's bytes and one 0 byte
  std::int64_t size = 0;
  std::atomic<bool> pending{false};
  std::atomic<bool> stop{false};
  std::unique_ptr<WorkerThread> thread;
};

utReadData::utReadData(bool createSuspended) : d(std::make_unique<Impl>(*this)) {
  d->thread = std::make_unique<WorkerThread>([this](WorkerThread& self) { d->Body(self); }, createSuspended);
}

utReadData::~utReadData() {
  const bool busy = !d->thread->Idle();
  // Stop first, so the parse ends at its next record; then release a send that is
  // waiting for the form, so the thread can be joined before anything is freed.
  d->stop = true;
  d->channel.Cancel();
  d->thread->Terminate();
  d->thread->Join();
  if (busy) SetAppCursor(AppCursor::Default);
}

void utReadData::SetNotifyWindow(StatusReceiver* receiver, QObject* context) {
  d->channel.SetReceiver(receiver, context);
}

void utReadData::SendText(int message, const std::string& text, int code) {
  if (message != WM_STATUSMSG) return;
  StatusMsg msg;
  msg.code = code;
  msg.text = QString::fromStdString(text);  // whole, however long
  d->channel.Send(msg);
}

bool utReadData::LoadFile(const std::string& path) {
  if (!Idle()) return false;  // the buffer and the store belong to a running parse
  SetAppCursor(AppCursor::HourGlass);
  // Every failure leaves the previous buffer, the store and the value range alone.
  auto fail = [&](int code) {
    SendText(WM_STATUSMSG, path, code);
    SetAppCursor(AppCursor::Default);
    return false;
  };

  // Only a regular file is read: a FIFO or a device would hold the window in open() or
  // read() for ever.
  const int fd = OpenRegularForReading(path);
  std::unique_ptr<std::FILE, FileCloser> file(fd < 0 ? nullptr : ::fdopen(fd, "rb"));
  if (fd >= 0 && !file) ::close(fd);
  struct stat st {};
  if (!file || fstat(fileno(file.get()), &st) != 0) return fail(kStatusOpenFailed);
  const std::int64_t fileSize = st.st_size;

  // The new buffer exists before the old one is released.
  std::unique_ptr<std::uint8_t[]> fresh(g_allocate(static_cast<std::size_t>(fileSize) + 1));
  if (!fresh) return fail(kStatusOutOfMemory);
  std::int64_t got = 0;
  while (got < fileSize) {
    const std::size_t n = g_read(fresh.get() + got, static_cast<std::size_t>(fileSize - got), file.get());
    if (n == 0) break;  // a short read keeps what was read
    got += static_cast<std::int64_t>(n);
  }
  fresh[static_cast<std::size_t>(got)] = 0;
  file.reset();

  if (!IsValidDataFile(fresh.get(), got)) return fail(kStatusInvalidFile);

  d->buffer.swap(fresh);
  d->size = got;
  d->path = path;
  d->channel.SetAction(QString::fromStdString(path));
  d->pending = true;
  utPubParam* store = GetPubParam();
  store->MinValue = 100000.0;
  store->MaxValue = -100000.0;
  ParseHeader();
  return true;
}

void utReadData::ParseHeader() {
  if (!d->buffer || !Idle()) return;
  ParseHeaderFields(d->buffer.get(), *GetPubParam());
  StatusMsg msg;
  msg.code = kStatusHeaderRead;
  d->channel.Send(msg);
}

void utReadData::Resume() { d->thread->Resume(); }

bool utReadData::Idle() const { return d->thread->Idle(); }

void utReadData::DecodeRecordTime(const std::uint8_t* bytes, int& year, int& month, int& day, int& hour,
                                  int& minute, int& second) {
  DecodeTimeFields(bytes, year, month, day, hour, minute, second);
}
