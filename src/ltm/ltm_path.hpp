#pragma once
// Object paths ("/partition/name%rd:port") as a value of the model and as the Python class LtmPath.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <brelmark/path.hpp>

#include "py_class.hpp"

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
// configuration text or from a Python string stores it through here.
std::string normalize_object_path(std::string_view text);

// An object path: one owned text. Any text is a value; the accessors that need the text to match
// the object-path pattern say what they do when it does not.
struct LtmPath {
  std::string path;
};

// The accessors over a path text. Each matches the whole text against the object-path pattern.
// Where a path that does not match has no answer, they raise ValueError
// "Invalid object path: " + repr(path) (a Python error, thrown as py::ErrorAlreadySet).

// The `partition` group, else the default (nothing when there is none).
std::optional<std::string_view> ltmpath_impl_get_partition(std::string_view path,
                                                           std::optional<std::string_view> default_partition);
// The `name` group; ValueError for a path that does not match.
std::string_view ltmpath_impl_get_name(std::string_view path);
// The name when it is an IPv4 address in dotted-quad form; ValueError for a path that does not match.
std::optional<std::string_view> ltmpath_impl_get_address(std::string_view path);
// "/" + partition + "/" + name; RuntimeError "Invalid partition name!" without a partition, else
// ValueError for a path that does not match.
std::string ltmpath_impl_get_full_path(std::string_view path, std::optional<std::string_view> default_partition);
// The port digits, or the port of the service name (65535 for an unknown name); ValueError
// "No port found!", "number too large to fit in target type" or "invalid digit found in string".
std::uint16_t ltmpath_impl_get_port(std::string_view path);
// The route domain, nothing when absent or not an unsigned 16-bit number.
std::optional<std::uint16_t> ltmpath_impl_get_route_domain(std::string_view path);

// The text form of a path: its text, nothing before or after.
inline std::string_view ltmpath_display(const LtmPath& value) noexcept { return value.path; }

// A copy of the text of an LtmPath object (TypeError naming LtmPath; "Already mutably borrowed").
std::string extract_ltmpath(PyObject* object);
// A shared borrow of an LtmPath object's value, with the same checks.
py::Shared<LtmPath> borrow_ltmpath(PyObject* object);
// A new LtmPath object holding the value.
py::Ref new_instance_ltmpath(LtmPath&& value);

}  // namespace qv::ltm

namespace qv::py {
template <>
struct ClassInfo<ltm::LtmPath> {
  static constexpr const char* name = "LtmPath";
  static std::span<const Item> items();
};
}  // namespace qv::py
