#pragma once
// The fixed table of service names and their ports.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brelmark {

// The port of a service name (exact, case-sensitive), or 65535 for a name not in the table; the
// wildcard "any" is port 0.
std::uint16_t service_port(std::string_view name) noexcept;

// One row of the table.
struct ServiceRow {
  std::string_view name;
  std::uint16_t port;
};

// The rows of the table in ascending port order, for checks and tools; lookups
// use service_port. `index` must be below service_count().
std::size_t service_count() noexcept;
ServiceRow service_row(std::size_t index) noexcept;

}  // namespace brelmark
