#include "ltm/ltm_path.hpp"

#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <utf8proc.h>

#include <brelmark/services.hpp>
#include <brelmark/unicode.hpp>

namespace qv::ltm {

std::string_view trimmed_object_path(std::string_view text) noexcept { return brelmark::ObjectPath(text).text(); }

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
  const brelmark::Utf8Step step = brelmark::decode_utf8(s.data() + i, s.data() + s.size());
  i += step.length;
  return step.code_point;
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
constexpr bool in_name_class(char c) noexcept { return c != '/' && c != ':' && c != '%' && c != ' '; }

std::size_t name_run_end(std::string_view s, std::size_t from) noexcept {
  while (from < s.size() && in_name_class(s[from])) ++from;
  return from;
}

std::size_t digit_run_end(std::string_view s, std::size_t from) noexcept {
  std::size_t i = from;
  while (i < s.size()) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {  // the usual case, without decoding
      if (s[i] < '0' || s[i] > '9') break;
      ++i;
      continue;
    }
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
    if (static_cast<unsigned char>(s[i]) < 0x80) {  // the usual case, without decoding
      if (is_white_space(static_cast<char32_t>(s[i++]))) return false;
      continue;
    }
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

// ---- The usual shapes at once ----------------------------------------------------------------
//
// The names of a listing are nearly all ASCII "/partition/name", "/partition/name:port" or
// "/partition/name%rd[:port]" with digits for rd and port. For such a text the walk above comes to
// where the four excluded characters lie and whether what follows them is all digits, and both
// are read off two bit masks made in one look at the text. Every other text (a byte outside ASCII,
// another shape, more than 64 bytes) is left to the walk.

// Bit i of `excluded`: byte i is "/", ":", "%", " " or not ASCII; of `non_digit`: byte i is not
// an ASCII digit.
struct ByteMasks {
  std::uint64_t excluded = 0;
  std::uint64_t non_digit = 0;
};

constexpr unsigned char kExcluded = 1, kNonDigit = 2;
constexpr auto kByteClass = [] {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    if (b >= 0x80 || !in_name_class(static_cast<char>(b))) table[b] |= kExcluded;
    if (b < '0' || b > '9') table[b] |= kNonDigit;
  }
  return table;
}();

// The masks of n <= 64 bytes: sixteen at a time where the machine can (the last sixteen overlap
// the ones before them), else one at a time.
ByteMasks byte_masks(const char* p, std::size_t n) noexcept {
  ByteMasks m;
#if defined(__SSE2__)
  if (n >= 16) {
    auto sixteen = [&](std::size_t at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
      const __m128i excluded =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('/')), _mm_cmpeq_epi8(v, _mm_set1_epi8(':'))),
                       _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('%')), _mm_cmpeq_epi8(v, _mm_set1_epi8(' '))));
      // "0".."9" move to -128..-119 and every other byte above -119.
      const __m128i non_digit =
          _mm_cmpgt_epi8(_mm_add_epi8(v, _mm_set1_epi8(0x50)), _mm_set1_epi8(static_cast<char>(-119)));
      // The sign bit of a byte outside ASCII marks it as excluded too.
      m.excluded |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(excluded, v)))} << at;
      m.non_digit |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(non_digit))} << at;
    };
    for (std::size_t at = 0; at + 16 < n; at += 16) sixteen(at);
    sixteen(n - 16);
    return m;
  }
#endif
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = kByteClass[static_cast<unsigned char>(p[i])];
    m.excluded |= std::uint64_t{(c & kExcluded) != 0} << i;
    m.non_digit |= std::uint64_t{(c & kNonDigit) != 0} << i;
  }
  return m;
}

// The groups of a text of the usual shapes, every group set or cleared; false, with `out`
// untouched, for any other text.
bool match_usual_shape(std::string_view s, Captures& out) noexcept {
  const std::size_t n = s.size();
  if (n < 4 || n > 64 || s[0] != '/') return false;
  const char* p = s.data();
  const ByteMasks m = byte_masks(p, n);
  std::uint64_t excluded = m.excluded & ~std::uint64_t{1};  // the leading "/"
  if (excluded == 0) return false;
  const auto partition_end = static_cast<std::size_t>(std::countr_zero(excluded));
  if (partition_end == 1 || p[partition_end] != '/') return false;
  excluded &= excluded - 1;
  const std::size_t name_begin = partition_end + 1;
  const std::size_t name_end = excluded == 0 ? n : static_cast<std::size_t>(std::countr_zero(excluded));
  if (name_end == name_begin) return false;  // no name, or a second "/" before it
  std::size_t tail = name_end;               // n, or the ":" before the port
  std::size_t rd_begin = 0;
  if (tail < n && p[tail] == '%') {
    rd_begin = tail + 1;
    if (rd_begin == n) return false;
    const std::uint64_t after = m.non_digit >> rd_begin;
    tail = after == 0 ? n : rd_begin + static_cast<std::size_t>(std::countr_zero(after));
    if (tail == rd_begin) return false;
  }
  if (tail < n && (p[tail] != ':' || tail + 1 == n || (m.non_digit >> (tail + 1)) != 0)) return false;
  out.partition.emplace(p + 1, partition_end - 1);
  out.name.emplace(p + name_begin, name_end - name_begin);
  if (rd_begin != 0) {
    out.rd.emplace(p + rd_begin, tail - rd_begin);
  } else {
    out.rd.reset();
  }
  if (tail < n) {
    out.port.emplace(p + tail + 1, n - tail - 1);
  } else {
    out.port.reset();
  }
  out.svc.reset();
  return true;
}

// No group set; only the flags are written.
void clear(Captures& c) noexcept {
  c.partition.reset();
  c.name.reset();
  c.rd.reset();
  c.port.reset();
  c.svc.reset();
}

// The walk over any text, kept out of the usual shapes' way (which then need few registers).
[[gnu::noinline]] bool match_walk(std::string_view text, Captures& out) noexcept {
  clear(out);
  if (!brelmark::is_valid_utf8(text)) return false;
  std::size_t start = !text.empty() && text[0] == '/' ? 1 : 0;
  std::size_t partition_end = name_run_end(text, start);
  if (partition_end > start && partition_end < text.size() && text[partition_end] == '/') {
    if (match_from_name(text, partition_end + 1, out)) {
      out.partition = slice(text, start, partition_end);
      return true;
    }
    clear(out);
  }
  return match_from_name(text, 0, out);
}

}  // namespace

bool LtmPathPattern::match(std::string_view text, Captures& out) noexcept {
  return match_usual_shape(text, out) || match_walk(text, out);
}

namespace {

enum class NumberError { none, invalid_digit, too_large };

// A decimal unsigned 16-bit number of ASCII digits, leading zeros allowed; the first fault from
// the left decides the error.
NumberError parse_u16(std::string_view digits, std::uint16_t& out) {
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return NumberError::invalid_digit;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > 0xFFFF) return NumberError::too_large;
  }
  out = static_cast<std::uint16_t>(value);
  return NumberError::none;
}

// One to three ASCII digits, at most 255, no leading zero except a lone "0".
bool is_ipv4_octet(std::string_view part) {
  if (part.empty() || part.size() > 3) return false;
  if (part.size() > 1 && part[0] == '0') return false;
  std::uint16_t value = 0;
  return parse_u16(part, value) == NumberError::none && value <= 255;
}

bool is_ipv4_address(std::string_view text) {
  for (int octet = 0; octet < 4; ++octet) {
    std::size_t dot = text.find('.');
    bool last = octet == 3;
    if (last != (dot == std::string_view::npos)) return false;
    if (!is_ipv4_octet(text.substr(0, dot))) return false;
    if (!last) text.remove_prefix(dot + 1);
  }
  return true;
}

// ---- IPv6 destinations ------------------------------------------------------------------------
//
// The device writes an IPv6 destination with "." before the port ("/Common/2001:db8::10.8443",
// "fe80::1%2.443"), a shape the pattern cannot take apart: its name stops at the first ":". The
// accessors read such a path here instead: an optional partition as the pattern takes it, then an
// IPv6 address that is valid as a whole or up to its last ".", optionally "%" and route-domain
// digits between the address and that ".", and after it the port digits or a service name.
// An address valid as a whole is read so before the one up to its last "."; both cannot be valid
// at once ("::ffff:1.2.3.4" is whole; "::ffff:1.2.3.4.80" has the port 80).

constexpr bool is_hex_digit(char c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The textual forms of an IPv6 address: eight groups of one to four hex digits separated by ":",
// or fewer with one "::" standing for one or more zero groups, the last two groups optionally
// written as a dotted IPv4 quad ("::ffff:10.0.0.1").
bool is_ipv6_address(std::string_view s) noexcept {
  const std::size_t n = s.size();
  if (n < 2 || (s[0] == ':' && s[1] != ':')) return false;
  int groups = 0;
  bool gap = false;
  std::size_t i = 0;
  if (s.starts_with("::")) {
    gap = true;
    i = 2;
  }
  while (i < n) {
    std::size_t j = i;
    while (j < n && j - i <= 4 && is_hex_digit(s[j])) ++j;
    if (j < n && s[j] == '.') {  // the IPv4 quad ends the address
      if (!is_ipv4_address(s.substr(i))) return false;
      groups += 2;
      break;
    }
    if (j == i || j - i > 4 || ++groups > 8) return false;
    if (j == n) break;
    if (s[j] != ':') return false;
    if (j + 1 < n && s[j + 1] == ':') {
      if (gap) return false;
      gap = true;
      i = j + 2;
    } else {
      i = j + 1;
      if (i == n) return false;  // a single ":" at the end
    }
  }
  return gap ? groups < 8 : groups == 8;
}

// The text after an IPv6 address's ".": one or more characters other than "/", ":", "%", "."
// and white space; digits are the port, anything else a service name.
bool match_ipv6_port(std::string_view s, std::size_t from, Captures& out) noexcept {
  if (from >= s.size() || !rest_has_no_white_space(s, from)) return false;
  for (std::size_t i = from; i < s.size(); ++i) {
    if (!in_name_class(s[i]) || s[i] == '.') return false;
  }
  if (rest_is_digits(s, from)) {
    out.port = s.substr(from);
  } else {
    out.svc = s.substr(from);
  }
  return true;
}

// The groups of a path of the IPv6 shape above, the address as the name; false, with `out`
// cleared, for any other text. A text without two ":" is no IPv6 address and costs two scans.
bool match_ipv6_path(std::string_view s, Captures& out) noexcept {
  clear(out);
  const std::size_t first_colon = s.find(':');
  if (first_colon == std::string_view::npos || s.find(':', first_colon + 1) == std::string_view::npos) return false;
  if (!brelmark::is_valid_utf8(s)) return false;
  std::size_t b = s[0] == '/' ? 1 : 0;  // the text holds two ":"
  const std::size_t partition_end = name_run_end(s, b);
  if (partition_end > b && partition_end < s.size() && s[partition_end] == '/') {
    out.partition = slice(s, b, partition_end);
    b = partition_end + 1;
    if (b < s.size() && s[b] == '/') ++b;  // as the pattern's name, one "/" before the address
  }
  const std::string_view rest = s.substr(b);
  bool matched = false;
  if (const std::size_t percent = rest.find('%'); percent != std::string_view::npos) {
    const std::size_t rd_begin = b + percent + 1, rd_end = digit_run_end(s, rd_begin);
    if (rd_end > rd_begin && is_ipv6_address(rest.substr(0, percent)) &&
        (rd_end == s.size() || (s[rd_end] == '.' && match_ipv6_port(s, rd_end + 1, out)))) {
      out.name = rest.substr(0, percent);
      out.rd = slice(s, rd_begin, rd_end);
      matched = true;
    }
  } else if (is_ipv6_address(rest)) {
    out.name = rest;
    matched = true;
  } else if (const std::size_t dot = rest.rfind('.');
             dot != std::string_view::npos && is_ipv6_address(rest.substr(0, dot)) && match_ipv6_port(s, b + dot + 1, out)) {
    out.name = rest.substr(0, dot);
    matched = true;
  }
  if (!matched) clear(out);
  return matched;
}

// The groups of a path of the IPv6 shape, else those of the object-path pattern; false when
// neither reads it.
bool match_parts(std::string_view path, Captures& captures) noexcept {
  return match_ipv6_path(path, captures) || LtmPathPattern::match(path, captures);
}

std::optional<Captures> match_path(std::string_view path) {
  Captures captures;
  if (!match_parts(path, captures)) return std::nullopt;
  return captures;
}

}  // namespace

std::optional<std::string_view> ltmpath_ipv6_address(std::string_view path) noexcept {
  Captures captures;
  if (!match_ipv6_path(path, captures)) return std::nullopt;
  return captures.name;
}

std::optional<std::string_view> ltmpath_impl_get_partition(std::string_view path,
                                                           std::optional<std::string_view> default_partition) {
  Captures captures;
  if (match_parts(path, captures) && captures.partition) return captures.partition;
  return default_partition;
}

PathResult<std::string_view> ltmpath_impl_get_name(std::string_view path) {
  auto captures = match_path(path);
  if (!captures) return PathError::invalid_path;
  return *captures->name;
}

PathResult<std::optional<std::string_view>> ltmpath_impl_get_address(std::string_view path) {
  auto name = ltmpath_impl_get_name(path);
  if (!name) return name.error();
  // The pattern's name never holds ":", so a name with one is the address of an IPv6 path.
  if (name.value().find(':') == std::string_view::npos && !is_ipv4_address(name.value())) {
    return std::optional<std::string_view>();
  }
  return std::optional<std::string_view>(name.value());
}

PathResult<std::uint16_t> ltmpath_impl_get_port(std::string_view path) {
  auto captures = match_path(path);
  if (captures && captures->port) {
    std::uint16_t port = 0;
    switch (parse_u16(*captures->port, port)) {
      case NumberError::none: return port;
      case NumberError::invalid_digit: return PathError::invalid_digit;
      case NumberError::too_large: return PathError::too_large;
    }
  }
  if (captures && captures->svc && !brelmark::folder_rest(*captures)) return brelmark::service_port(*captures->svc);
  return PathError::no_port;
}

std::optional<std::uint16_t> ltmpath_impl_get_route_domain(std::string_view path) {
  auto captures = match_path(path);
  std::uint16_t rd = 0;
  if (!captures || !captures->rd || parse_u16(*captures->rd, rd) != NumberError::none) return std::nullopt;
  return rd;
}

PathResult<std::string> ltmpath_impl_get_full_path(std::string_view path,
                                                   std::optional<std::string_view> default_partition) {
  auto captures = match_path(path);
  std::optional<std::string_view> partition = captures && captures->partition ? captures->partition : default_partition;
  if (!partition) return PathError::no_partition;
  if (!captures) return PathError::invalid_path;
  std::string_view name = *captures->name;
  std::string_view folder_rest = brelmark::folder_rest(*captures).value_or(std::string_view{});
  std::string full;
  full.reserve(partition->size() + name.size() + folder_rest.size() + 2);
  full += '/';
  full += *partition;
  full += '/';
  full += name;
  full += folder_rest;
  return full;
}

}  // namespace qv::ltm
