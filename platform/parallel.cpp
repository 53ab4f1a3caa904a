#include "platform/parallel.h"

#include <sched.h>

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

void RunParts(int parts, const std::function<void(int part)>& body) {
  std::vector<std::thread> threads;
  if (parts > 1) threads.reserve(static_cast<std::size_t>(parts) - 1);
  for (int p = 1; p < parts; ++p) {
    try {
      threads.emplace_back(body, p);
    } catch (const std::system_error&) {
      body(p);  // no thread to be had: the part runs here, later
    }
  }
  body(0);
  for (std::thread& t : threads) t.join();
}
