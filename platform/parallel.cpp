#include "platform/parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

int UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

int MemoryWorkers() { return std::min(UsableCores(), 16); }

void RunParts(int parts, const std::function<void(int part)>& body) {
  if (parts < 2) {
    body(0);
    return;
  }
  // What a part throws (out of memory) reaches the caller, as if it had run there.
  std::vector<std::exception_ptr> failed(static_cast<std::size_t>(parts));
  auto run = [&](int p) {
    try {
      body(p);
    } catch (...) {
      failed[static_cast<std::size_t>(p)] = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(parts) - 1);
  for (int p = 1; p < parts; ++p) {
    try {
      threads.emplace_back(run, p);
    } catch (const std::system_error&) {
      run(p);  // no thread to be had: the part runs here
    }
  }
  run(0);
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& e : failed)
    if (e) std::rethrow_exception(e);
}

void RunJobs(int jobs, int threads, const std::function<void(int job)>& body) {
  std::atomic<int> next{0};
  RunParts(std::min(jobs, threads), [&](int) {
    for (int j = next++; j < jobs; j = next++) body(j);
  });
}
