#pragma once
// JSON reading and writing.
#include <string>
#include <string_view>

namespace quilvarn::json {

void append_escaped(std::string& out, std::string_view text);

}  // namespace quilvarn::json
