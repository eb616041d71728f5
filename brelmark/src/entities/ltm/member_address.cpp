// A pool member's destination: [partition/]a.b.c.d[%rd][:port-or-service].
#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

constexpr CharSet kPartitionStop{"/:%"};

std::size_t digit_count(Text in) noexcept {
  std::size_t i = 0;
  while (i < in.size() && is_digit(in[i])) ++i;
  return i;
}

// One or more ASCII digits, else "Digit".
ParseResult<Text> digits(Text in) {
  std::size_t n = digit_count(in);
  if (n == 0) return ParseError::error(ParseErrorKind::Digit, in);
  return {drop(in, n), in.substr(0, n)};
}

// Four digit runs separated by three dots, nothing between them; no range check.
ParseResult<Text> ipv4_text(Text in) {
  Text at = in;
  for (int run = 0; run < 4; ++run) {
    if (run > 0) {
      if (!at.starts_with('.')) return ParseError::error(ParseErrorKind::Char, at);
      at = drop(at, 1);
    }
    auto d = digits(at);
    if (!d) return d.error();
    at = d.rest();
  }
  return {at, in.substr(0, in.size() - at.size())};
}

// Zero or more "/", a run outside "/", ":" and "%", then "/"; nothing when it does not match.
std::optional<Text> partition_prefix(Text in, Text& rest) {
  std::size_t i = 0;
  while (i < in.size() && in[i] == '/') ++i;
  Text at = drop(in, i);
  std::size_t n = span_outside(at, kPartitionStop);
  if (n == 0 || n == at.size() || at[n] != '/') return std::nullopt;
  rest = drop(at, n + 1);
  return at.substr(0, n);
}

}  // namespace

ParseResult<MemberAddress> parse_member_address(std::string_view text) {
  MemberAddress out;
  Text in = opt_ws(text);
  out.partition = partition_prefix(in, in);

  auto address = ipv4_text(opt_ws(in));
  if (!address) return address.error();
  out.address = std::string(address.value());
  in = opt_ws(address.rest());

  if (in.starts_with('%')) {
    if (std::size_t n = digit_count(drop(in, 1)); n > 0) {
      std::uint32_t rd = 0;
      for (char c : in.substr(1, n)) rd = std::min<std::uint32_t>(rd * 10 + (c - '0'), 0xFFFF);
      out.route_domain = static_cast<std::uint16_t>(rd);
      in = drop(in, n + 1);
    }
  }

  if (in.starts_with(':')) {
    auto port = run_outside(drop(in, 1), kWhiteSpace);
    if (!port) return port.error();
    out.port = port.value();
    return {opt_ws(port.rest()), std::move(out)};
  }
  // No port: only white space may follow.
  Text end = opt_ws(in);
  if (!end.empty()) return ParseError::error(ParseErrorKind::Tag, in);
  return {end, std::move(out)};
}

}  // namespace brelmark
