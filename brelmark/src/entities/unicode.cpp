#include "brelmark/unicode.hpp"

// Placeholder implementation (ASCII only); replaced by the full Unicode version.
namespace brelmark {

bool is_white_space(char32_t c) noexcept {
  return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f ||
         c == 0x205f || c == 0x3000;
}

std::string_view trim_white_space(std::string_view text) noexcept {
  auto ws = [](char c) { return c == ' ' || (c >= 0x09 && c <= 0x0d); };
  while (!text.empty() && ws(text.front())) text.remove_prefix(1);
  while (!text.empty() && ws(text.back())) text.remove_suffix(1);
  return text;
}

bool is_blank(std::string_view text) noexcept { return trim_white_space(text).empty(); }

void append_debug_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default: out += c;
    }
  }
  out += '"';
}

}  // namespace brelmark
