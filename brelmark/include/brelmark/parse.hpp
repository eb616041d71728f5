#pragma once
// Parse results and errors of the configuration grammars.
#include <string>

namespace brelmark {

std::string parse_error_placeholder();

}  // namespace brelmark
