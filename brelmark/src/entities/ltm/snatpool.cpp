// The "ltm snatpool" grammar. Its keyword and braces are streaming literals: text that
// ends inside them is Incomplete rather than a mismatch.
#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

// One body item: a "members" list or a "partition" line; nothing is skipped.
ParseResult<Unit> snatpool_property(Text in, ParsedSnatPool& s) {
  auto members = keyword_list(in, "members");
  if (members) {
    s.members = std::move(members).value();
    return {members.rest(), Unit{}};
  }
  auto partition = key_value_line(in, "partition");
  if (!partition) return partition.error();
  s.partition = partition.value();
  return {partition.rest(), Unit{}};
}

}  // namespace

ParseResult<ParsedSnatPool> parse_snatpool(std::string_view text) {
  ScanScope scope(text);
  auto key = streaming_literal(opt_ws(text), "ltm snatpool");
  if (!key) return key.error();
  auto name = run_outside(opt_ws(key.rest()), kWhiteSpace);
  if (!name) return name.error();
  auto open = streaming_literal(opt_ws(name.rest()), "{");
  if (!open) return open.error();

  ParsedSnatPool s;
  s.name = ObjectPath(name.value());
  auto items = repeat(open.rest(), false, [&](Text at) { return snatpool_property(at, s); });
  if (!items) return items.error();
  auto close = streaming_literal(opt_ws(items.rest()), "}");
  if (!close) return close.error();
  return {opt_ws(close.rest()), std::move(s)};
}

std::optional<std::string_view> ParsedSnatPool::partition_or(std::optional<std::string_view> dflt) const {
  if (name.partition(dflt) && !partition.empty()) return partition;
  return dflt;
}

}  // namespace brelmark
