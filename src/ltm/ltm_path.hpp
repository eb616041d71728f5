#pragma once
// Object paths ("/partition/name%rd:port") as a value of the model: the pattern, the stored form and
// the partition of a path. The Python class LtmPath and its other accessors are in ltm_path_py.cpp.
#include <optional>
#include <string>
#include <string_view>

#include <brelmark/path.hpp>

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

// The `partition` group of a path that the object-path pattern matches, else the default
// (nothing when there is none).
std::optional<std::string_view> ltmpath_impl_get_partition(std::string_view path,
                                                           std::optional<std::string_view> default_partition);

}  // namespace qv::ltm
