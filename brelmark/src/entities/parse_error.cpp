#include "brelmark/parse.hpp"

namespace brelmark {

std::string parse_error_placeholder() { return "Parsing Error"; }

}  // namespace brelmark
