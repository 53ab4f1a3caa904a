#pragma once
// Memory for large arrays (the record store): anonymous mappings that the kernel may
// back with 2 MB pages where it offers them, so that filling them takes one page fault
// per 2 MB instead of one per 4 KB. Nothing is committed until it is written; the
// contents start as zeros.

#include <cstddef>

constexpr std::size_t kLargePage = std::size_t{2} << 20;

// Null when the address space is exhausted.
void* MapLarge(std::size_t bytes);
void UnmapLarge(void* p, std::size_t bytes);

// Small pages from here on for [p, p + bytes) of a MapLarge range (where large ones
// turn out to be slow to come by); what is committed stays as it is.
void UseSmallPages(void* p, std::size_t bytes);

// Gives the whole small pages inside [first, end) back to the system: they read as
// zeros afterwards. For a buffer read once, front to back, and no more.
void ReleasePages(const void* first, const void* end);
