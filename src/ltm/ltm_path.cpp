#include "ltm/ltm_path.hpp"

#include <utf8proc.h>

#include <brelmark/unicode.hpp>

namespace qv::ltm {

std::string normalize_object_path(std::string_view text) { return brelmark::ObjectPath(text).to_string(); }

// ---- The pattern ----------------------------------------------------------------------------
//
//   ^(?:(?:/?)(?P<partition>[^/:% ]+?)/)?(?:(?:/?)(?P<name>[^/:% ]+))(?:%(?P<rd>\d+)(?::?))?
//   (?::?(?:(?P<port>\d+)|(?P<svc>\S+)))?$
//
// What backtracking in priority order comes to, part by part (N is the class [^/:% ]):
// - partition: N excludes "/", so the lazy run can only end at the first character outside N,
//   which must be "/". When the rest then fails, the only other choice is no partition at all.
// - name: a leading "/" is skipped, then the longest run of N (at least one). A shorter name never
//   helps: the character after the full run is "/", ":", "%" or a blank, and whatever the tail
//   could do from inside the run it can also do from that character (or not at all, for a blank).
// - rd: after "%", the longest run of digits; a shorter run never helps for the same reason.
//   Then ":" taken before not taken; when neither leads to the end, no rd and the "%" goes to
//   the tail.
// - tail: ":" taken before not taken; then all of the rest as digits (port), else all of the rest
//   without white space (svc); or nothing at the very end.
// Each part scans forward from where the previous one ended, so a match costs a few passes over
// the text at most.

namespace {

using Captures = brelmark::PathCaptures;

// The code point at `i` of well-formed UTF-8; `i` moves past it.
char32_t decode(std::string_view s, std::size_t& i) noexcept {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b = byte(i);
  if (b < 0x80) {
    ++i;
    return b;
  }
  std::size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
  char32_t c = b & (0x3F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
  i += extra + 1;
  return c;
}

bool is_decimal_digit(char32_t c) noexcept {
  if (c < 0x80) return c >= '0' && c <= '9';
  return utf8proc_category(static_cast<utf8proc_int32_t>(c)) == UTF8PROC_CATEGORY_ND;
}

bool is_white_space(char32_t c) noexcept {
  if (c < 0x80) return c == ' ' || (c >= 0x09 && c <= 0x0D);
  return brelmark::is_white_space(c);
}

// The class of partition and name characters. Bytes of multi-byte characters never equal the
// four excluded ones, so the class can be tested byte by byte.
bool in_name_class(char c) noexcept { return c != '/' && c != ':' && c != '%' && c != ' '; }

std::size_t name_run_end(std::string_view s, std::size_t from) noexcept {
  while (from < s.size() && in_name_class(s[from])) ++from;
  return from;
}

std::size_t digit_run_end(std::string_view s, std::size_t from) noexcept {
  std::size_t i = from;
  while (i < s.size()) {
    std::size_t next = i;
    if (!is_decimal_digit(decode(s, next))) break;
    i = next;
  }
  return i;
}

bool rest_is_digits(std::string_view s, std::size_t from) noexcept {
  return from < s.size() && digit_run_end(s, from) == s.size();
}

bool rest_has_no_white_space(std::string_view s, std::size_t from) noexcept {
  if (from >= s.size()) return false;
  for (std::size_t i = from; i < s.size();) {
    if (is_white_space(decode(s, i))) return false;
  }
  return true;
}

std::string_view slice(std::string_view s, std::size_t from, std::size_t to) noexcept {
  return s.substr(from, to - from);
}

// (?::?(?:(?P<port>\d+)|(?P<svc>\S+)))?$ from position p.
bool match_tail(std::string_view s, std::size_t p, Captures& out) noexcept {
  if (p == s.size()) return true;
  for (std::size_t start : {p + 1, p}) {
    if (start == p + 1 && s[p] != ':') continue;
    if (rest_is_digits(s, start)) {
      out.port = s.substr(start);
      return true;
    }
    if (rest_has_no_white_space(s, start)) {
      out.svc = s.substr(start);
      return true;
    }
  }
  return false;
}

// Name, route domain and tail from position b.
bool match_from_name(std::string_view s, std::size_t b, Captures& out) noexcept {
  if (b < s.size() && s[b] == '/') ++b;
  std::size_t name_end = name_run_end(s, b);
  if (name_end == b) return false;
  out.name = slice(s, b, name_end);
  if (name_end < s.size() && s[name_end] == '%') {
    std::size_t rd_end = digit_run_end(s, name_end + 1);
    if (rd_end > name_end + 1) {
      if ((rd_end < s.size() && s[rd_end] == ':' && match_tail(s, rd_end + 1, out)) || match_tail(s, rd_end, out)) {
        out.rd = slice(s, name_end + 1, rd_end);
        return true;
      }
    }
  }
  return match_tail(s, name_end, out);
}

}  // namespace

bool LtmPathPattern::match(std::string_view text, Captures& out) noexcept {
  out = Captures{};
  if (!brelmark::is_valid_utf8(text)) return false;
  std::size_t start = !text.empty() && text[0] == '/' ? 1 : 0;
  std::size_t partition_end = name_run_end(text, start);
  if (partition_end > start && partition_end < text.size() && text[partition_end] == '/') {
    if (match_from_name(text, partition_end + 1, out)) {
      out.partition = slice(text, start, partition_end);
      return true;
    }
    out = Captures{};
  }
  return match_from_name(text, 0, out);
}

std::optional<std::string_view> ltmpath_impl_get_partition(std::string_view path,
                                                           std::optional<std::string_view> default_partition) {
  Captures captures;
  if (LtmPathPattern::match(path, captures) && captures.partition) return captures.partition;
  return default_partition;
}

}  // namespace qv::ltm
