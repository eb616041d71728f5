#include "brelmark/unicode.hpp"

#include <utf8proc.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brelmark {

namespace {

using Byte = unsigned char;

constexpr bool is_ascii_white_space(Byte b) noexcept {
  return b == ' ' || (b >= 0x09 && b <= 0x0d);
}

// Length of the White_Space character that starts at p (0 when none starts
// there). The non-ASCII ones are U+0085, U+00A0 (C2 xx), U+1680 (E1 9A 80),
// U+2000..U+200A, U+2028, U+2029, U+202F (E2 80 xx), U+205F (E2 81 9F) and
// U+3000 (E3 80 80).
std::size_t white_space_length(const Byte* p, const Byte* end) noexcept {
  const Byte b0 = p[0];
  if (b0 < 0x80) return is_ascii_white_space(b0) ? 1 : 0;
  const std::ptrdiff_t avail = end - p;
  if (b0 == 0xc2) return avail >= 2 && (p[1] == 0x85 || p[1] == 0xa0) ? 2 : 0;
  if (avail < 3) return 0;
  const Byte b1 = p[1], b2 = p[2];
  switch (b0) {
    case 0xe1:
      return b1 == 0x9a && b2 == 0x80 ? 3 : 0;
    case 0xe2:
      if (b1 == 0x80)
        return (b2 >= 0x80 && b2 <= 0x8a) || b2 == 0xa8 || b2 == 0xa9 || b2 == 0xaf ? 3 : 0;
      return b1 == 0x81 && b2 == 0x9f ? 3 : 0;
    case 0xe3:
      return b1 == 0x80 && b2 == 0x80 ? 3 : 0;
    default:
      return 0;
  }
}

// Skips White_Space at the front; returns the first byte that is not part of it.
const Byte* skip_front(const Byte* p, const Byte* end) noexcept {
  while (p < end) {
    const std::size_t n = white_space_length(p, end);
    if (n == 0) break;
    p += n;
  }
  return p;
}

// Skips White_Space at the back; returns the end of what remains. A lead byte
// (C2, E1, E2, E3) is never a continuation byte, so a white-space sequence that
// ends the text is a whole character in a forward reading too: the cut never
// falls inside a character.
const Byte* skip_back(const Byte* begin, const Byte* end) noexcept {
  while (end > begin) {
    const Byte last = end[-1];
    if (last < 0x80) {
      if (!is_ascii_white_space(last)) break;
      --end;
    } else if (end - begin >= 2 && end[-2] == 0xc2 && white_space_length(end - 2, end) == 2) {
      end -= 2;
    } else if (end - begin >= 3 && white_space_length(end - 3, end) == 3) {
      end -= 3;
    } else {
      break;
    }
  }
  return end;
}

// True for characters written in the \u{...} form: those that are not
// printable (general category Cc, Cf, Cs, Co, Cn, Zl, Zp or Zs) and the
// grapheme-extending ones (Grapheme_Extend). utf8proc's Extend boundary class
// is Grapheme_Extend plus the emoji modifiers U+1F3FB..U+1F3FF, which are
// printable symbols and not escaped.
bool needs_hex_escape(char32_t cp) noexcept {
  const utf8proc_property_t* prop = utf8proc_get_property(static_cast<utf8proc_int32_t>(cp));
  switch (prop->category) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO:
    case UTF8PROC_CATEGORY_CN:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
    case UTF8PROC_CATEGORY_ZS:
      return cp != U' ';
    default:
      break;
  }
  return prop->boundclass == UTF8PROC_BOUNDCLASS_EXTEND && !(cp >= 0x1f3fb && cp <= 0x1f3ff);
}

void append_hex_escape(std::string& out, char32_t cp) {
  static constexpr char digits[] = "0123456789abcdef";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = digits[cp & 0xf];
    cp >>= 4;
  } while (cp != 0);
  out += "\\u{";
  while (n > 0) out += buf[--n];
  out += '}';
}

// Printable ASCII that stands for itself.
constexpr bool is_plain_ascii(Byte b) noexcept {
  return b >= 0x20 && b < 0x7f && b != '\\' && b != '"';
}

}  // namespace

bool is_white_space(char32_t c) noexcept {
  return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f ||
         c == 0x205f || c == 0x3000;
}

bool is_valid_utf8(std::string_view text) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    // Eight ASCII characters at a time.
    std::uint64_t word;
    if (end - p >= 8 && (std::memcpy(&word, p, sizeof word), (word & 0x8080808080808080u) == 0)) {
      p += 8;
      continue;
    }
    if (static_cast<Byte>(*p) < 0x80) {
      ++p;
      continue;
    }
    const Utf8Step step = decode_utf8(p, end);
    if (!step.ok) return false;
    p += step.length;
  }
  return true;
}

std::string_view trim_white_space(std::string_view text) noexcept {
  if (text.empty()) return text;
  const auto first = static_cast<Byte>(text.front());
  const auto last = static_cast<Byte>(text.back());
  // The usual case: printable ASCII at both ends.
  if (first > ' ' && first < 0x80 && last > ' ' && last < 0x80) return text;
  auto begin = reinterpret_cast<const Byte*>(text.data());
  const Byte* end = begin + text.size();
  begin = skip_front(begin, end);
  end = skip_back(begin, end);
  return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin)};
}

bool is_blank(std::string_view text) noexcept {
  auto p = reinterpret_cast<const Byte*>(text.data());
  const Byte* const end = p + text.size();
  return skip_front(p, end) == end;
}

// Invalid UTF-8 (possible only from C++ callers: Python texts are always
// valid) is written deterministically: each maximal ill-formed subpart becomes
// one \u{fffd}, the replacement character in escaped form, so the result is
// always valid UTF-8.
void append_debug_quoted(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* run = p;
    while (p < end && is_plain_ascii(static_cast<Byte>(*p))) ++p;
    if (p != run) out.append(run, static_cast<std::size_t>(p - run));
    if (p == end) break;
    const auto b = static_cast<Byte>(*p);
    if (b < 0x80) {
      switch (b) {
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\0': out += "\\0"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default: append_hex_escape(out, b); break;  // other controls and DEL
      }
      ++p;
      continue;
    }
    const Utf8Step step = decode_utf8(p, end);
    if (!step.ok) {
      append_hex_escape(out, 0xfffd);
    } else if (needs_hex_escape(step.code_point)) {
      append_hex_escape(out, step.code_point);
    } else {
      out.append(p, step.length);
    }
    p += step.length;
  }
  out += '"';
}

}  // namespace brelmark
