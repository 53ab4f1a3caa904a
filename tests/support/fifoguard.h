#pragma once
// For a call that must never wait on a FIFO: should it still run after the limit, a
// writer comes and goes at the FIFO (and leaves a few bytes), so that an open() or a
// read() stuck there returns and the test fails instead of hanging.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

class FifoWatchdog {
 public:
  explicit FifoWatchdog(const std::string& fifo) {
    thread_ = std::thread([this, fifo, end = std::chrono::steady_clock::now() + std::chrono::seconds(3)] {
      for (; !stop_; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() < end) continue;
        fired_ = true;
        if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
          const char junk[512] = {1};
          [[maybe_unused]] const ssize_t n = ::write(fd, junk, sizeof junk);
          ::close(fd);
        }
      }
    });
  }
  ~FifoWatchdog() { Stop(); }
  // Ends the watch; true when the call ran past the limit.
  bool Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return fired_;
  }

 private:
  std::atomic<bool> stop_{false}, fired_{false};
  std::thread thread_;
};
