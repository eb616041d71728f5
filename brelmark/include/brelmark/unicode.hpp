#pragma once
// Unicode text classes shared by the parser library and the module.
#include <string_view>

namespace brelmark {

// True for the code points with the Unicode White_Space property.
bool is_white_space(char32_t c) noexcept;

}  // namespace brelmark
