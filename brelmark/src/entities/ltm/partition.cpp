// The "auth partition" grammar.
#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

constexpr CharSet kNameStop{" \t\r\n{"};

// One body line: "default-route-domain" with a 16-bit number, or "description". A
// route domain that is not a number is no property line, so the body ends there.
ParseResult<Unit> partition_property(Text in, ParsedPartition& p) {
  auto domain = key_value_line(in, "default-route-domain");
  if (domain) {
    if (auto number = u16_value(domain.value())) {
      p.default_route_domain = *number;
      return {domain.rest(), Unit{}};
    }
  }
  auto description = key_value_line(in, "description");
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
  auto items = repeat(opt_ws(open.rest()), false, [&](Text at) { return partition_property(at, p); });
  if (!items) return items.error();
  auto close = spaced_literal(items.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), p};
}

}  // namespace brelmark
