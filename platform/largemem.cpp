#include "platform/largemem.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr std::uintptr_t kSmallPage = 4096;

std::size_t PageRound(std::size_t bytes) { return (bytes + kSmallPage - 1) & ~(kSmallPage - 1); }

}  // namespace

void* MapLarge(std::size_t bytes) {
  const std::size_t size = PageRound(bytes == 0 ? 1 : bytes);
  // Over-allocate by a large page, keep the 2 MB aligned part, give the rest back.
  const std::size_t span = size + kLargePage - kSmallPage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kLargePage - 1) & ~(std::uintptr_t{kLargePage} - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = aligned + size;
  if (start + span > end) munmap(reinterpret_cast<void*>(end), start + span - end);
  // Only whole large pages: a partly used last one would commit memory nobody asked for.
  const std::size_t whole = size & ~(kLargePage - 1);
  if (whole > 0) madvise(reinterpret_cast<void*>(aligned), whole, MADV_HUGEPAGE);  // refused where THP is off
  return reinterpret_cast<void*>(aligned);
}

void UnmapLarge(void* p, std::size_t bytes) {
  if (p != nullptr) munmap(p, PageRound(bytes == 0 ? 1 : bytes));
}

void UseSmallPages(void* p, std::size_t bytes) {
  if (p != nullptr && bytes > 0) madvise(p, PageRound(bytes), MADV_NOHUGEPAGE);
}

void ReleasePages(const void* first, const void* end) {
  const std::uintptr_t a = (reinterpret_cast<std::uintptr_t>(first) + kSmallPage - 1) & ~(kSmallPage - 1);
  const std::uintptr_t b = reinterpret_cast<std::uintptr_t>(end) & ~(kSmallPage - 1);
  if (b > a) madvise(reinterpret_cast<void*>(a), b - a, MADV_DONTNEED);
}
