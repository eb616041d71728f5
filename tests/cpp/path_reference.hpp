#pragma once
// The path accessors worked out again from the parser library's compiled pattern (a general
// regular-expression engine), its service table and, for IPv6 paths, the C library's address
// reader, for the C++ tests and the fuzz target to check the model's accessors against.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <re2/re2.h>

#include <brelmark/path.hpp>
#include <brelmark/services.hpp>
#include <brelmark/unicode.hpp>

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

// The groups of a path whose text after the optional partition is an IPv6 address as the device
// writes it ("/Common/2001:db8::1%2.443"), worked out with regular expressions for the shape and
// the C library's address reader for the address: the address whole, else with "%" and the route
// domain after it, else up to its last "."; after the "." the port digits or a service name.
// False, with `c` left empty, for any other text.
inline bool reference_ipv6(std::string_view text, brelmark::PathCaptures& c) {
  if (!brelmark::is_valid_utf8(text)) return false;
  // Groups: partition, address, route domain, port or service name.
  static const std::string prefix = R"(^(?:/?([^/:% ]+)/)?/?([0-9A-Fa-f:.]+))";
  static const std::string tail =
      R"(\.([^/:%.\t-\r \x{85}\x{a0}\x{1680}\x{2000}-\x{200a}\x{2028}\x{2029}\x{202f}\x{205f}\x{3000}]+))";
  static const RE2 shapes[] = {RE2(prefix + "()()$"), RE2(prefix + R"(%(\p{Nd}+)(?:)" + tail + ")?$"),
                               RE2(prefix + "()" + tail + "$")};
  static const RE2 digits(R"(\p{Nd}+)");
  const re2::StringPiece input(text.data(), text.size());
  for (const RE2& shape : shapes) {
    re2::StringPiece g[5];
    if (!shape.Match(input, 0, input.size(), RE2::ANCHOR_BOTH, g, 5)) continue;
    in6_addr address;
    if (inet_pton(AF_INET6, std::string(g[2].data(), g[2].size()).c_str(), &address) != 1) continue;
    auto view = [](re2::StringPiece p) { return std::string_view(p.data(), p.size()); };
    if (g[1].data() != nullptr) c.partition = view(g[1]);
    c.name = view(g[2]);
    if (!g[3].empty()) c.rd = view(g[3]);
    if (!g[4].empty()) (RE2::FullMatch(g[4], digits) ? c.port : c.svc) = view(g[4]);
    return true;
  }
  return false;
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
  const bool ipv6 = reference_ipv6(text, c);
  const bool matched = ipv6 || brelmark::PathPattern::get().match(text, c);
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
    address = ipv4 || ipv6 ? std::optional<std::string_view>(*c.name) : std::nullopt;
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
