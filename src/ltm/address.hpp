#pragma once
// The address text of the model's representations ("VS: 0x7f..., ...").
#include <charconv>
#include <cstdint>
#include <string>

namespace qv::ltm {

// "0x" and the address in lower-case hexadecimal digits without leading zeros.
inline void append_address(std::string& out, const void* address) {
  char digits[2 * sizeof(std::uintptr_t)];
  auto result = std::to_chars(digits, digits + sizeof digits, reinterpret_cast<std::uintptr_t>(address), 16);
  out += "0x";
  out.append(digits, result.ptr);
}

}  // namespace qv::ltm
