#include "platform/headroom.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

std::size_t ThreadRoom() {
  constexpr std::size_t kThreadHeap = std::size_t{64} << 20;
  pthread_attr_t attr;
  std::size_t stack = 0, guard = 0;
  if (pthread_getattr_default_np(&attr) == 0) {
    pthread_attr_getstacksize(&attr, &stack);
    pthread_attr_getguardsize(&attr, &guard);
    pthread_attr_destroy(&attr);
  }
  return stack + guard + static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + kThreadHeap;
}

bool HasRoom(std::size_t bytes) {
  // Address space that is only reserved counts against the limit all the same, and
  // reserving it commits no memory.
  void* block = nullptr;
  if (bytes > 0) {
    block = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) return false;
  }
  // The limit is not the only thing that can refuse a thread; only a real one tells.
  pthread_t thread;
  const bool made = pthread_create(&thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr) == 0;
  if (made) pthread_join(thread, nullptr);
  if (block != nullptr) munmap(block, bytes);
  return made;
}
