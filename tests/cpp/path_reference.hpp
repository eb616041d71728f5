#pragma once
// The path accessors worked out again from the parser library's compiled pattern (a general
// regular-expression engine) and its service table, for the C++ tests and the fuzz target to
// check the model's accessors against.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <brelmark/path.hpp>
#include <brelmark/services.hpp>

#include "ltm/ltm_path.hpp"

namespace qv::test {

// One accessor's outcome as text: its value, "-" for nothing, or "error <n>" for a PathError.
template <class T>
std::string outcome(const std::optional<T>& value) {
  if (!value) return "-";
  if constexpr (std::is_same_v<T, std::uint16_t>) {
    return std::to_string(*value);
  } else {
    return "\"" + std::string(*value) + "\"";
  }
}
template <class T>
std::string outcome(const ltm::PathResult<T>& result) {
  if (!result) return "error " + std::to_string(static_cast<int>(result.error()));
  if constexpr (std::is_same_v<T, std::uint16_t>) {
    return std::to_string(result.value());
  } else if constexpr (std::is_same_v<T, std::optional<std::string_view>>) {
    return outcome(result.value());
  } else {
    return "\"" + std::string(result.value()) + "\"";
  }
}

// Every accessor of `text` (with `default_partition` where one is taken), in one line.
inline std::string accessors(std::string_view text, std::optional<std::string_view> default_partition) {
  return "partition " + outcome(ltm::ltmpath_impl_get_partition(text, default_partition)) + ", name " +
         outcome(ltm::ltmpath_impl_get_name(text)) + ", address " + outcome(ltm::ltmpath_impl_get_address(text)) +
         ", rd " + outcome(ltm::ltmpath_impl_get_route_domain(text)) + ", port " +
         outcome(ltm::ltmpath_impl_get_port(text)) + ", full " +
         outcome(ltm::ltmpath_impl_get_full_path(text, default_partition));
}

// The same line from the library's pattern.
inline std::string reference_accessors(std::string_view text, std::optional<std::string_view> default_partition) {
  using ltm::PathError;
  using ltm::PathResult;
  brelmark::PathCaptures c;
  const bool matched = brelmark::PathPattern::get().match(text, c);
  auto number = [](std::string_view digits) -> PathResult<std::uint16_t> {
    std::uint32_t value = 0;
    for (char d : digits) {
      if (d < '0' || d > '9') return PathError::invalid_digit;
      value = value * 10 + static_cast<std::uint32_t>(d - '0');
      if (value > 0xFFFF) return PathError::too_large;
    }
    return static_cast<std::uint16_t>(value);
  };
  // A path in a folder: the rest right after the name begins with "/".
  const bool folder = matched && c.svc && c.svc->starts_with('/') && c.svc->data() == c.name->data() + c.name->size();

  std::optional<std::string_view> partition = matched && c.partition ? c.partition : default_partition;
  PathResult<std::string_view> name = matched ? PathResult<std::string_view>(*c.name) : PathError::invalid_path;
  PathResult<std::optional<std::string_view>> address = PathError::invalid_path;
  if (matched) {
    // Four decimal octets of one to three ASCII digits, at most 255, no leading zero.
    std::string_view n = *c.name;
    bool ipv4 = true;
    for (int octet = 0; octet < 4 && ipv4; ++octet) {
      std::size_t end = octet < 3 ? n.find('.') : n.size();
      std::string_view part = n.substr(0, end);
      auto v = number(part);
      ipv4 = end != std::string_view::npos && !part.empty() && part.size() <= 3 && !(part.size() > 1 && part[0] == '0') &&
             v && v.value() <= 255 && (octet < 3 || part.size() == n.size());
      if (octet < 3 && ipv4) n.remove_prefix(end + 1);
    }
    address = ipv4 ? std::optional<std::string_view>(*c.name) : std::nullopt;
  }
  std::optional<std::uint16_t> rd;
  if (matched && c.rd) {
    auto v = number(*c.rd);
    if (v) rd = v.value();
  }
  PathResult<std::uint16_t> port = PathError::no_port;
  if (matched && c.port) {
    port = number(*c.port);
  } else if (matched && c.svc && !folder) {
    port = brelmark::service_port(*c.svc);
  }
  PathResult<std::string> full = PathError::no_partition;
  if (partition) {
    full = matched ? PathResult<std::string>("/" + std::string(*partition) + "/" + std::string(*c.name) +
                                             (folder ? std::string(*c.svc) : std::string()))
                   : PathResult<std::string>(PathError::invalid_path);
  }
  return "partition " + outcome(partition) + ", name " + outcome(name) + ", address " + outcome(address) + ", rd " +
         outcome(rd) + ", port " + outcome(port) + ", full " + outcome(full);
}

}  // namespace qv::test
