// Large buffers: asking for huge pages.
#include "brelmark/memory.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace brelmark {

void prefer_huge_pages(const void* data, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  if (bytes < kHugePageMinimum) return;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (start + bytes) & ~(kHuge - 1);
  if (end <= first) return;
  // Advice only: where it is refused (no huge pages, an old kernel) the buffer works as before.
  (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

void reserve_preferring_huge_pages(std::string& text, std::size_t capacity) {
  if (capacity <= text.capacity()) return;
  if (capacity < kHugePageMinimum) {
    text.reserve(capacity);
    return;
  }
  std::string grown;
  grown.reserve(capacity);
  prefer_huge_pages(grown.data(), grown.capacity());
  grown.assign(text);
  text.swap(grown);
}

}  // namespace brelmark
