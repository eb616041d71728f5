#pragma once
// Unicode text classes shared by the parser library and the module.
#include <cstddef>
#include <string>
#include <string_view>

namespace brelmark {

// True for the code points with the Unicode White_Space property.
bool is_white_space(char32_t c) noexcept;

// The text with White_Space removed from both ends (a slice of the same text).
// Only whole, well-formed white-space characters are removed; invalid bytes
// are kept and stop the trimming.
std::string_view trim_white_space(std::string_view text) noexcept;

// ---- UTF-8, one code point at a time ----
// Well-formed UTF-8 throughout: no overlong forms, no surrogates, nothing above
// U+10FFFF. (Inline: the readers call them for every non-ASCII character.)

// The length of the sequence that a lead byte begins: 1 for ASCII, 2 to 4 for
// C2..F4, and 0 for a byte that begins none (a continuation byte, C0, C1, F5..FF).
constexpr unsigned utf8_lead_length(unsigned char lead) noexcept {
  if (lead < 0x80) return 1;
  if (lead < 0xc2) return 0;
  if (lead < 0xe0) return 2;
  if (lead < 0xf0) return 3;
  return lead < 0xf5 ? 4 : 0;
}

// One step of decoding at `p` (before `end`). On success `length` is the length
// of the sequence and `ok` is set; otherwise `length` is the length of the
// maximal ill-formed subpart (at least 1): the longest prefix that could still
// have begun a valid sequence, the unit that a decoder replaces by one U+FFFD
// (Python's "replace" error handler does the same).
struct Utf8Step {
  char32_t code_point;
  unsigned length;
  bool ok;
};

constexpr Utf8Step decode_utf8(const char* p, const char* end) noexcept {
  const auto lead = static_cast<unsigned char>(p[0]);
  const unsigned n = utf8_lead_length(lead);
  if (n == 1) return {lead, 1, true};
  if (n == 0) return {0, 1, false};
  // The range of the first continuation byte leaves out overlong forms (E0, F0),
  // surrogates (ED) and code points above U+10FFFF (F4).
  unsigned char lo = 0x80, hi = 0xbf;
  if (lead == 0xe0) lo = 0xa0;
  else if (lead == 0xed) hi = 0x9f;
  else if (lead == 0xf0) lo = 0x90;
  else if (lead == 0xf4) hi = 0x8f;
  char32_t cp = lead & (0x7f >> n);
  for (unsigned len = 1; len < n; ++len) {
    if (end - p <= static_cast<std::ptrdiff_t>(len)) return {0, len, false};
    const auto b = static_cast<unsigned char>(p[len]);
    if (len == 1 ? (b < lo || b > hi) : (b & 0xc0) != 0x80) return {0, len, false};
    cp = (cp << 6) | (b & 0x3f);
  }
  return {cp, n, true};
}

// The length of the well-formed sequence at `p` (1 for ASCII), or 0 when none
// starts there.
constexpr unsigned utf8_sequence_length(const char* p, const char* end) noexcept {
  const Utf8Step step = decode_utf8(p, end);
  return step.ok ? step.length : 0;
}

// Appends the UTF-8 form of a Unicode scalar value (not a surrogate, at most
// U+10FFFF).
inline void append_utf8(std::string& out, char32_t cp) {
  char b[4];
  std::size_t n;
  if (cp < 0x80) {
    b[0] = static_cast<char>(cp);
    n = 1;
  } else if (cp < 0x800) {
    b[0] = static_cast<char>(0xc0 | (cp >> 6));
    n = 2;
  } else if (cp < 0x10000) {
    b[0] = static_cast<char>(0xe0 | (cp >> 12));
    n = 3;
  } else {
    b[0] = static_cast<char>(0xf0 | (cp >> 18));
    n = 4;
  }
  for (std::size_t k = 1; k < n; ++k) b[k] = static_cast<char>(0x80 | ((cp >> (6 * (n - 1 - k))) & 0x3f));
  out.append(b, n);
}

// True when the text is well-formed UTF-8.
bool is_valid_utf8(std::string_view text) noexcept;

// True when nothing is left of the text once White_Space is trimmed from both ends.
bool is_blank(std::string_view text) noexcept;

// Appends the text as a quoted, escaped string: a double quote, the text with the
// escapes of the parse-error texts, a double quote. Tab, CR, LF, NUL, backslash
// and double quote get backslash escapes; characters that are not printable or
// are grapheme-extending are written as \u{hex}; each ill-formed UTF-8
// subpart is written as \u{fffd}.
void append_debug_quoted(std::string& out, std::string_view text);

}  // namespace brelmark
