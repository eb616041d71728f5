#pragma once
// Object paths ("/partition/name%rd:port") and the pattern that reads them.
#include <optional>
#include <string>
#include <string_view>

namespace brelmark {

// The named groups of one match; a group that took no part is absent.
struct PathCaptures {
  std::optional<std::string_view> partition;
  std::optional<std::string_view> name;
  std::optional<std::string_view> rd;
  std::optional<std::string_view> port;
  std::optional<std::string_view> svc;
};

// The rest of a path that names an object in a folder ("/Tenant/App/web_pool"): the pattern
// reads the folder as the name and the rest as a service; here the rest is the `svc` group when
// it follows the name directly and begins with "/". Nothing for every other path.
inline std::optional<std::string_view> folder_rest(const PathCaptures& c) noexcept {
  if (!c.name || !c.svc || !c.svc->starts_with('/') || c.svc->data() != c.name->data() + c.name->size()) {
    return std::nullopt;
  }
  return c.svc;
}

// The compiled object-path pattern, built once per process on first use.
class PathPattern {
 public:
  static const PathPattern& get();
  static std::string_view text() noexcept;

  // Matches the whole text; the captures are slices of it. Digits are any Unicode
  // decimal digits and white space the White_Space characters; "$" is the very
  // end of the text. A text that is not well-formed UTF-8 does not match. On
  // failure `out` is left empty.
  bool match(std::string_view text, PathCaptures& out) const;
  std::optional<PathCaptures> match(std::string_view text) const;

 private:
  PathPattern();
  struct Impl;
  Impl* impl_;
};

// A path inside configuration text: a view, trimmed of White_Space at both ends.
class ObjectPath {
 public:
  ObjectPath() = default;
  explicit ObjectPath(std::string_view text) noexcept;

  std::string_view text() const noexcept { return text_; }
  std::string to_string() const { return std::string(text_); }
  bool empty() const noexcept { return text_.empty(); }

  // The `name` group, or nothing when the pattern does not match (the empty
  // path, for one).
  std::optional<std::string_view> name() const;
  // The `partition` group when it took part in a match, else the default.
  std::optional<std::string_view> partition(std::optional<std::string_view> dflt) const;

  friend bool operator==(const ObjectPath& a, const ObjectPath& b) noexcept {
    return a.text_ == b.text_;
  }

 private:
  std::string_view text_;
};

}  // namespace brelmark
