#pragma once
// For calls that must never wait on a FIFO.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

// Runs call; should it still run after 3 s, a writer comes and goes at the FIFO (and leaves
// a few bytes) until it returns, so that an open() or a read() stuck there returns and the
// test fails instead of hanging. True when the call ended within the 3 s.
template <class Call>
bool DoesNotWaitOn(const std::string& fifo, Call call) {
  using Clock = std::chrono::steady_clock;
  std::atomic<bool> done{false}, waited{false};
  std::thread writer([&, end = Clock::now() + std::chrono::seconds(3)] {
    for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
      if (Clock::now() < end) continue;
      waited = true;
      if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
        const char junk[512] = {1};
        [[maybe_unused]] const ssize_t n = ::write(fd, junk, sizeof junk);
        ::close(fd);
      }
    }
  });
  call();
  done = true;
  writer.join();
  return !waited;
}
