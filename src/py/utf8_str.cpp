#include "py/utf8_str.hpp"

#include <brelmark/memory.hpp>

#include <cstdint>
#include <cstring>

#include "py/error.hpp"

namespace qv::py {

namespace {

bool is_ascii(const char* p, std::size_t n) noexcept {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; i < n; ++i) {
    if (static_cast<unsigned char>(p[i]) & 0x80) return false;
  }
  return true;
}

}  // namespace

Ref utf8_str(std::string_view text) {
  const auto n = static_cast<Py_ssize_t>(text.size());
  if (!is_ascii(text.data(), text.size())) return checked(PyUnicode_DecodeUTF8(text.data(), n, nullptr));
  Ref str = checked(PyUnicode_New(n, 127));
  char* data = reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(str.get()));
  brelmark::prefer_huge_pages(data, text.size());
  std::memcpy(data, text.data(), text.size());
  return str;
}

}  // namespace qv::py
