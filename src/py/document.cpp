#include "py/document.hpp"

#include <brelmark/memory.hpp>

#include <cstdint>
#include <cstring>

#include "py/convert.hpp"
#include "py/error.hpp"

namespace qv::py {

namespace {

bool is_ascii(std::string_view text) noexcept {
  const char* p = text.data();
  std::size_t n = text.size();
  std::uint64_t any = 0;
  for (; n >= 32; p += 32, n -= 32) {
    std::uint64_t w[4];
    std::memcpy(w, p, sizeof w);
    any |= w[0] | w[1] | w[2] | w[3];
  }
  for (; n != 0; ++p, --n) any |= static_cast<unsigned char>(*p);
  return (any & 0x8080808080808080ULL) == 0;
}

}  // namespace

Ref document_str(std::string_view text) {
  if (text.size() < brelmark::kHugePageMinimum || !is_ascii(text)) return str_from(text);
  Ref str = checked(PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127));
  char* data = static_cast<char*>(PyUnicode_DATA(str.get()));
  brelmark::prefer_huge_pages(data, text.size());
  std::memcpy(data, text.data(), text.size());
  return str;
}

}  // namespace qv::py
