// The "auth partition" grammar.
#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

constexpr CharSet kNameStop{" \t\r\n{"};

// One body item: "default-route-domain" with a 16-bit number, or "description"; their
// values run to the end of the line, or are one word or quoted text in a body read as words.
// A route domain that is not a number is no property, so the body ends there.
ParseResult<Unit> partition_property(Text in, ParsedPartition& p, bool words) {
  auto value = [words](Text at, Text keyword) { return words ? key_value_word(at, keyword) : key_value_line(at, keyword); };
  auto domain = value(in, "default-route-domain");
  if (domain) {
    if (auto number = u16_value(domain.value())) {
      p.default_route_domain = *number;
      return {domain.rest(), Unit{}};
    }
  }
  auto description = value(in, "description");
  if (!description) return description.error();
  p.description = description.value();
  return {description.rest(), Unit{}};
}

}  // namespace

ParseResult<ParsedPartition> parse_partition(std::string_view text) {
  auto key = literal(opt_ws(text), "auth partition");
  if (!key) return key.error();
  auto gap = required_ws(key.rest());
  if (!gap) return gap.error();
  auto name = run_outside(gap.rest(), kNameStop);
  if (!name) return name.error();
  auto open = literal(opt_ws(name.rest()), "{");
  if (!open) return open.error();

  ParsedPartition p;
  p.name = name.value();
  const bool words = words_follow(open.rest());
  auto items = repeat(opt_ws(open.rest()), false, [&](Text at) { return partition_property(at, p, words); });
  if (!items) return items.error();
  auto close = spaced_literal(items.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), p};
}

}  // namespace brelmark
