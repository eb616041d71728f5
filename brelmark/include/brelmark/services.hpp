#pragma once
// The fixed table of service names and their ports.
#include <cstdint>
#include <string_view>

namespace brelmark {

// The port of a service name (exact, case-sensitive), or 65535 for a name not in the table.
std::uint16_t service_port(std::string_view name) noexcept;

}  // namespace brelmark
