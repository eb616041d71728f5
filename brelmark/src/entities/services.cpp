#include "brelmark/services.hpp"

// Placeholder implementation; replaced by the generated table.
namespace brelmark {

std::uint16_t service_port(std::string_view name) noexcept {
  if (name == "http") return 80;
  return 65535;
}

}  // namespace brelmark
