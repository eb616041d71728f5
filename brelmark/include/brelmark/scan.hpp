#pragma once
// Finding the first byte of a kind in a text: sixteen bytes at a time where the machine can.
#include <bit>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brelmark {

// The first place of [p, end) whose byte `stop(byte)` accepts, or `end`. While sixteen bytes
// remain they are looked at together: `stop16(bytes)` takes them as one SSE2 register and gives
// the mask of the ones `stop` accepts (bit i for byte i), through `_mm_movemask_epi8`. Written
// as a generic lambda that names its constants inside it, `stop16` is not compiled where the
// machine has no SSE2. The rest goes one byte at a time.
template <class Stop16, class Stop>
inline const char* find_first(const char* p, const char* end, Stop16&& stop16, Stop&& stop) noexcept {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    const auto mask = static_cast<unsigned>(stop16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    if (mask != 0) return p + std::countr_zero(mask);
  }
#else
  (void)stop16;
#endif
  while (p < end && !stop(static_cast<unsigned char>(*p))) ++p;
  return p;
}

}  // namespace brelmark
