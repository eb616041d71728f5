#include "formats/json.hpp"

namespace quilvarn::json {

void append_escaped(std::string& out, std::string_view text) {
  out += '"';
  out += text;
  out += '"';
}

}  // namespace quilvarn::json
