#include "brelmark/lexer.hpp"

#include <algorithm>

namespace brelmark::lex {
namespace {

constexpr CharSet kWordStop{" \t\r\n}"};       // list elements, key-value pairs
constexpr CharSet kQuotedStop{"\"\r\n"};       // inside a quoted list element
constexpr CharSet kBlockLineStop{"\t\r\n}"};   // a line of a named block keeps its spaces
constexpr CharSet kSkipLineStop{"{}\r\n"};

// A separated list whose separator is optional white space.
template <class Elem, class Push>
ParseResult<Unit> ws_separated(Text in, Elem&& elem, Push&& push) {
  auto sep = [](Text at) -> ParseResult<Text> { return {opt_ws(at), Text{}}; };
  return separated_list(in, elem, sep, push);
}

// [ws] "{" [ws] elements [ws] "}" [ws], each element handed to `push`.
template <class Push>
ParseResult<Unit> braced_list_into(Text in, Push&& push) {
  auto open = literal(opt_ws(in), "{");
  if (!open) return open.error();
  auto list = ws_separated(opt_ws(open.rest()), list_element, push);
  if (!list) return list.error();
  auto close = literal(opt_ws(list.rest()), "}");
  if (!close) return close.error();
  return {opt_ws(close.rest()), Unit{}};
}

// [ws] word [ws] "{": the word and the text after the brace.
ParseResult<Text> block_header(Text in) {
  auto word = run_outside(opt_ws(in), kWhiteSpace);
  if (!word) return word.error();
  auto open = literal(opt_ws(word.rest()), "{");
  if (!open) return open.error();
  return {open.rest(), word.value()};
}

// The lines of a named block after its "{", up to and including its "}".
template <class Push>
ParseResult<Unit> block_lines(Text in, Push&& push) {
  auto line = [](Text at) { return run_outside(at, kBlockLineStop); };
  auto lines = ws_separated(opt_ws(in), line, push);
  if (!lines) return lines.error();
  auto close = literal(opt_ws(lines.rest()), "}");
  if (!close) return close.error();
  return {close.rest(), Unit{}};
}

}  // namespace

ParseResult<Text> streaming_literal(Text in, Text lit) {
  std::size_t n = std::min(in.size(), lit.size());
  if (in.substr(0, n) != lit.substr(0, n)) return ParseError::error(ParseErrorKind::Tag, in);
  if (n < lit.size()) return ParseError::incomplete(lit.size() - n);
  return {drop(in, n), in.substr(0, n)};
}

ParseResult<Text> key_value_line(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  auto gap = blanks(key.rest());
  if (!gap) return gap.error();
  return run_to_line_end(gap.rest());
}

ParseResult<bool> flag_line(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  return {opt_ws(key.rest()), true};
}

ParseResult<Unit> spaced_literal(Text in, Text lit) {
  auto l = literal(opt_ws(in), lit);
  if (!l) return l.error();
  return {opt_ws(l.rest()), Unit{}};
}

ParseResult<Unit> block_open(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  auto open = literal(opt_ws(key.rest()), "{");
  if (!open) return open.error();
  return {opt_ws(open.rest()), Unit{}};
}

ParseResult<Text> list_element(Text in) {
  if (!in.empty() && in[0] == '"') {
    auto inner = run_outside(drop(in, 1), kQuotedStop);
    if (inner && inner.rest().starts_with('"')) return {drop(inner.rest(), 1), inner.value()};
  }
  return run_outside(in, kWordStop);
}

ParseResult<std::vector<Text>> braced_list(Text in) {
  std::vector<Text> elements;
  auto r = braced_list_into(in, [&](Text e) { elements.push_back(e); });
  if (!r) return r.error();
  return {r.rest(), std::move(elements)};
}

ParseResult<Unit> skip_braced_list(Text in) {
  return braced_list_into(in, [](Text) {});
}

ParseResult<std::vector<Text>> keyword_list(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  return braced_list(key.rest());
}

ParseResult<NamedBlock> named_block(Text in) {
  auto header = block_header(in);
  if (!header) return header.error();
  NamedBlock block{header.value(), {}};
  auto lines = block_lines(header.rest(), [&](Text line) { block.lines.push_back(line); });
  if (!lines) return lines.error();
  return {lines.rest(), std::move(block)};
}

ParseResult<Unit> skip_block(Text in) {
  auto header = block_header(in);
  if (!header) return header.error();
  return block_lines(header.rest(), [](Text) {});
}

ParseResult<Unit> skip_body_block(Text in, std::span<const Text> properties) {
  auto header = block_header(in);
  if (!header) return header.error();
  if (std::find(properties.begin(), properties.end(), header.value()) != properties.end())
    return block_lines(header.rest(), [](Text) {});
  // An unknown block: find the brace that closes it.
  Text body = header.rest();
  std::size_t depth = 1;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '{') {
      ++depth;
    } else if (body[i] == '}' && --depth == 0) {
      return {drop(body, i + 1), Unit{}};
    }
  }
  return ParseError::error(ParseErrorKind::Tag, drop(body, body.size()));
}

ParseResult<Unit> skip_line(Text in) {
  if (auto rest = skip_line_rest(in)) return {*rest, Unit{}};
  return ParseError::error(ParseErrorKind::IsNot, opt_ws(in));
}

ParseResult<Unit> rest_of_line(Text in) {
  if (auto rest = rest_of_line_rest(in)) return {*rest, Unit{}};
  return ParseError::error(ParseErrorKind::IsNot, opt_ws(in));
}

ParseResult<std::pair<Text, Text>> key_value_pair(Text in) {
  auto key = run_outside(in, kWordStop);
  if (!key) return key.error();
  auto gap = blanks(key.rest());
  if (!gap) return gap.error();
  auto value = run_outside(gap.rest(), kWordStop);
  if (!value) return value.error();
  return {value.rest(), {key.value(), value.value()}};
}

ParseResult<std::vector<std::pair<Text, Text>>> key_value_block(Text in, Text keyword) {
  auto key = literal(in, keyword);
  if (!key) return key.error();
  auto open = literal(opt_ws(key.rest()), "{");
  if (!open) return open.error();
  std::vector<std::pair<Text, Text>> pairs;
  auto list = separated_list(
      opt_ws(open.rest()), key_value_pair, required_ws,
      [&](std::pair<Text, Text> p) { pairs.push_back(p); });
  if (!list) return list.error();
  auto close = literal(opt_ws(list.rest()), "}");
  if (!close) return close.error();
  return {close.rest(), std::move(pairs)};
}

std::optional<std::uint16_t> u16_value(Text value) noexcept {
  if (value.starts_with('+')) value.remove_prefix(1);
  if (value.empty()) return std::nullopt;
  std::uint32_t n = 0;
  for (char c : value) {
    if (!is_digit(c)) return std::nullopt;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
    if (n > 0xFFFF) return std::nullopt;
  }
  return static_cast<std::uint16_t>(n);
}

}  // namespace brelmark::lex
