#pragma once
// Unicode text classes shared by the parser library and the module.
#include <string>
#include <string_view>

namespace brelmark {

// True for the code points with the Unicode White_Space property.
bool is_white_space(char32_t c) noexcept;

// The text with White_Space removed from both ends (a slice of the same text).
// Only whole, well-formed white-space characters are removed; invalid bytes
// are kept and stop the trimming.
std::string_view trim_white_space(std::string_view text) noexcept;

// True when the text is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
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
