#include "brelmark/path.hpp"
#include "brelmark/unicode.hpp"

// Placeholder implementation; replaced by the RE2 version.
namespace brelmark {

struct PathPattern::Impl {};

PathPattern::PathPattern() : impl_(nullptr) {}

const PathPattern& PathPattern::get() {
  static const PathPattern pattern;
  return pattern;
}

std::string_view PathPattern::text() noexcept {
  return "^(?:(?:/?)(?P<partition>[^/:% ]+?)/)?(?:(?:/?)(?P<name>[^/:% ]+))(?:%(?P<rd>\\d+)(?::?))?"
         "(?::?(?:(?P<port>\\d+)|(?P<svc>\\S+)))?$";
}

bool PathPattern::match(std::string_view text, PathCaptures& out) const {
  out = PathCaptures{};
  if (text.empty()) return false;
  out.name = text;
  return true;
}

std::optional<PathCaptures> PathPattern::match(std::string_view text) const {
  PathCaptures c;
  if (!match(text, c)) return std::nullopt;
  return c;
}

ObjectPath::ObjectPath(std::string_view text) noexcept : text_(trim_white_space(text)) {}

std::optional<std::string_view> ObjectPath::name() const {
  auto m = PathPattern::get().match(text_);
  if (!m) return std::nullopt;
  return m->name;
}

std::optional<std::string_view> ObjectPath::partition(std::optional<std::string_view> dflt) const {
  auto m = PathPattern::get().match(text_);
  if (m && m->partition) return m->partition;
  return dflt;
}

}  // namespace brelmark
