#include <re2/re2.h>

#include <cstdlib>

#include "brelmark/path.hpp"
#include "brelmark/unicode.hpp"

namespace brelmark {

namespace {

// The pattern as written for the configuration's object paths. Its \d means
// any Unicode decimal digit (category Nd) and its \S any character without the
// White_Space property; "^" and "$" are the ends of the whole text.
constexpr std::string_view kPatternText =
    "^(?:(?:/?)(?P<partition>[^/:% ]+?)/)?(?:(?:/?)(?P<name>[^/:% ]+))(?:%(?P<rd>\\d+)(?::?))?"
    "(?::?(?:(?P<port>\\d+)|(?P<svc>\\S+)))?$";

// The same pattern in the syntax of RE2, whose \d and \S are ASCII-only:
// \d becomes \p{Nd} and \S the complement of the 25 White_Space code points.
// RE2's negated classes take line feeds, "$" without multi-line mode is the
// very end of the text, and the match is leftmost-first with the lazy
// partition, so the groups are those of the pattern above.
constexpr const char kRe2Text[] =
    R"(^(?:(?:/?)(?P<partition>[^/:% ]+?)/)?(?:(?:/?)(?P<name>[^/:% ]+)))"
    R"((?:%(?P<rd>\p{Nd}+)(?::?))?)"
    R"((?::?(?:(?P<port>\p{Nd}+)|(?P<svc>[^\t-\r \x{85}\x{a0}\x{1680}\x{2000}-\x{200a})"
    R"(\x{2028}\x{2029}\x{202f}\x{205f}\x{3000}]+)))?$)";

// Group numbers of the named groups (0 is the whole match).
enum Group : int { kPartition = 1, kName, kRd, kPort, kSvc, kGroups };

RE2::Options pattern_options() {
  RE2::Options o;
  o.set_encoding(RE2::Options::EncodingUTF8);
  o.set_case_sensitive(true);
  o.set_log_errors(false);
  // Paths as long as a whole listing must still be matched.
  o.set_max_mem(64 << 20);
  return o;
}

}  // namespace

struct PathPattern::Impl {
  RE2 re{kRe2Text, pattern_options()};
};

PathPattern::PathPattern() : impl_(new Impl) {
  // A pattern that does not compile, or whose groups are not where the code
  // expects them, is a build fault, not a run-time condition.
  const RE2& re = impl_->re;
  const auto& groups = re.NamedCapturingGroups();
  auto at = [&](const char* g) {
    auto it = groups.find(g);
    return it == groups.end() ? -1 : it->second;
  };
  if (!re.ok() || re.NumberOfCapturingGroups() != kGroups - 1 || at("partition") != kPartition ||
      at("name") != kName || at("rd") != kRd || at("port") != kPort || at("svc") != kSvc)
    std::abort();
}

// Built once by the thread-safe initialisation of a local static; it lives
// until the process ends and is only read, so matches may run on any thread.
const PathPattern& PathPattern::get() {
  static const PathPattern pattern;
  return pattern;
}

std::string_view PathPattern::text() noexcept { return kPatternText; }

// A text that is not well-formed UTF-8 never matches: path texts are UTF-8,
// and this keeps RE2's handling of stray bytes out of the results.
bool PathPattern::match(std::string_view text, PathCaptures& out) const {
  out = PathCaptures{};
  if (!is_valid_utf8(text)) return false;
  re2::StringPiece groups[kGroups];
  const re2::StringPiece input(text.data(), text.size());
  if (!impl_->re.Match(input, 0, input.size(), RE2::ANCHOR_BOTH, groups, kGroups)) return false;
  auto take = [&](int g) -> std::optional<std::string_view> {
    // A group that took no part has no data pointer.
    if (groups[g].data() == nullptr) return std::nullopt;
    return std::string_view(groups[g].data(), groups[g].size());
  };
  out.partition = take(kPartition);
  out.name = take(kName);
  out.rd = take(kRd);
  out.port = take(kPort);
  out.svc = take(kSvc);
  return true;
}

std::optional<PathCaptures> PathPattern::match(std::string_view text) const {
  PathCaptures c;
  if (!match(text, c)) return std::nullopt;
  return c;
}

ObjectPath::ObjectPath(std::string_view text) noexcept : text_(trim_white_space(text)) {}

std::optional<std::string_view> ObjectPath::name() const {
  PathCaptures c;
  if (!PathPattern::get().match(text_, c)) return std::nullopt;
  return c.name;
}

std::optional<std::string_view> ObjectPath::partition(std::optional<std::string_view> dflt) const {
  PathCaptures c;
  if (PathPattern::get().match(text_, c) && c.partition) return c.partition;
  return dflt;
}

}  // namespace brelmark
