#pragma once
// Object paths ("/partition/name%rd:port") as a value of the model: the pattern, the stored form and
// the accessors. The Python class LtmPath is in ltm_path_py.cpp.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <brelmark/path.hpp>

#include "record/text.hpp"

namespace qv::ltm {

// The module's copy of the object-path pattern (the text of brelmark::PathPattern, same groups,
// same matches), built as a dedicated matcher: one pass over the text with no allocation.
// Anchored at both ends; priority as in Perl-style engines (optional parts tried present first,
// the partition as short as possible, the name and the digit runs as long as possible, `port`
// before `svc`); \d is any Unicode decimal digit (Nd), \S any character without White_Space.
// Text that is not well-formed UTF-8 does not match.
class LtmPathPattern {
 public:
  static std::string_view text() noexcept { return brelmark::PathPattern::text(); }
  // Matches the whole text; the captures are slices of it.
  static bool match(std::string_view text, brelmark::PathCaptures& out) noexcept;
};

// The text without Unicode White_Space at either end. Every place that takes a path from
// configuration text or from a Python string stores it through here. A text with printable ASCII
// at both ends, as nearly every name is, is its own answer without a call.
std::string_view trimmed_object_path(std::string_view text) noexcept;
inline std::string_view normalize_object_path(std::string_view text) noexcept {
  if (!text.empty()) {
    const auto first = static_cast<unsigned char>(text.front()), last = static_cast<unsigned char>(text.back());
    if (first > ' ' && first < 0x80 && last > ' ' && last < 0x80) return text;
  }
  return trimmed_object_path(text);
}

// An object path: one owned text. Any text is a value; the accessors that need the text to match
// the object-path pattern say what they do when it does not.
struct LtmPath {
  record::Text path;
};

// Why a path accessor has no answer. The Python classes raise each as one exception with one text.
enum class PathError : std::uint8_t {
  invalid_path,   // the object-path pattern does not match the path
  no_port,        // no port digits and no service name (a path in a folder has none)
  invalid_digit,  // port digits outside ASCII 0-9 (other Unicode decimal digits)
  too_large,      // port digits above 65535
  no_partition,   // neither the path nor the caller gives a partition
};

// An accessor's answer or why it has none.
template <class T>
class PathResult {
 public:
  PathResult(T value) : value_(std::move(value)) {}        // NOLINT: implicit
  PathResult(PathError error) : value_(), error_(error) {}  // NOLINT: implicit
  bool ok() const noexcept { return value_.has_value(); }
  explicit operator bool() const noexcept { return ok(); }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  PathError error() const noexcept { return error_; }
  friend bool operator==(const PathResult&, const PathResult&) = default;

 private:
  std::optional<T> value_;
  PathError error_ = PathError::invalid_path;
};

// The accessors over a path text. Each matches the whole text against the object-path pattern,
// except a path whose text after the optional partition is an IPv6 address as the device writes
// it: valid as a whole or up to its last ".", optionally "%" and a route domain after the address,
// then "." and the port digits or a service name ("/Common/2001:db8::10.8443", "fe80::1%2.443",
// "/Common/::1"). Its groups are the partition, the address as the name, the route domain and
// the port or service name. A text without two ":" is never such a path.

// The address of a path of that IPv6 shape, else nothing.
std::optional<std::string_view> ltmpath_ipv6_address(std::string_view path) noexcept;

// The `partition` group of a path that the pattern matches, else the default (nothing when there
// is none).
std::optional<std::string_view> ltmpath_impl_get_partition(std::string_view path,
                                                           std::optional<std::string_view> default_partition);
// The `name` group; invalid_path.
PathResult<std::string_view> ltmpath_impl_get_name(std::string_view path);
// The name when it is an IPv4 address in dotted-quad form or the address of an IPv6 path, else
// nothing; invalid_path.
PathResult<std::optional<std::string_view>> ltmpath_impl_get_address(std::string_view path);
// The port digits, or the port of the service name (0 for the wildcard "any", 65535 for a name not
// in the table); no_port, invalid_digit (the first fault from the left decides), too_large.
PathResult<std::uint16_t> ltmpath_impl_get_port(std::string_view path);
// The route domain; nothing when absent, when the path does not match, or when it is not an
// unsigned 16-bit number of ASCII digits.
std::optional<std::uint16_t> ltmpath_impl_get_route_domain(std::string_view path);
// "/" + partition + "/" + name, and for a path in a folder the folder's rest ("/a/b/c" stays
// "/a/b/c"): the path's own partition, else the default. no_partition without either (checked
// first), else invalid_path when the path does not match.
PathResult<std::string> ltmpath_impl_get_full_path(std::string_view path,
                                                   std::optional<std::string_view> default_partition);

}  // namespace qv::ltm
