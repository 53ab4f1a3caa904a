#pragma once
// For a call that must never wait on a FIFO: should it still run after the limit, a
// writer comes and goes at the FIFO (and leaves a few bytes), so that an open() or a
// read() stuck there returns and the test fails instead of hanging.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

class FifoWatchdog {
 public:
  explicit FifoWatchdog(std::string fifo, std::chrono::milliseconds limit = std::chrono::seconds(3))
      : fifo_(std::move(fifo)) {
    thread_ = std::thread([this, limit] {
      std::unique_lock lock(mutex_);
      if (wake_.wait_for(lock, limit, [this] { return stop_; })) return;
      fired_ = true;
      while (!stop_) {
        lock.unlock();
        const int fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
          const char junk[512] = {1};
          [[maybe_unused]] const ssize_t n = ::write(fd, junk, sizeof junk);
          ::close(fd);
        }
        lock.lock();
        wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stop_; });
      }
    });
  }
  ~FifoWatchdog() { Stop(); }
  // Ends the watch; true when the call ran past the limit.
  bool Stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    return fired_;
  }

 private:
  std::string fifo_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::atomic<bool> fired_{false};
  std::thread thread_;
};
