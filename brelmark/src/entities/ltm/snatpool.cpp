// The "ltm snatpool" grammar. Its keyword and braces are streaming literals: text that
// ends inside them is Incomplete rather than a mismatch.
#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

// Lists whose elements end within this many bytes of the list's start are collected at once.
constexpr std::size_t kShortList = 512;

// One body item: a "members" list or a "partition" line (one word or quoted text in a body read
// as words); nothing is skipped. A longer list
// is only checked here: `members_at` keeps where it begins (after its keyword), to collect
// it once the pool has parsed, as a list that closes far away would otherwise be collected
// again at every line the configuration retries.
ParseResult<Unit> snatpool_property(Text in, ParsedSnatPool& s, std::optional<Text>& members_at, bool words) {
  auto key = literal(opt_ws(in), "members");
  if (key) {
    if (auto members = short_braced_list(key.rest(), kShortList)) {
      if (auto& elements = members.value()) {
        s.members = std::move(*elements);
        members_at.reset();
      } else {
        members_at = key.rest();
      }
      return {members.rest(), Unit{}};
    }
  }
  auto partition = words ? key_value_word(in, "partition") : key_value_line(in, "partition");
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
  std::optional<Text> members_at;
  const bool words = words_follow(open.rest());
  auto items = repeat(open.rest(), false, [&](Text at) { return snatpool_property(at, s, members_at, words); });
  if (!items) return items.error();
  auto close = streaming_literal(opt_ws(items.rest()), "}");
  if (!close) return close.error();
  if (members_at) s.members = std::move(braced_list(*members_at)).value();
  return {opt_ws(close.rest()), std::move(s)};
}

std::optional<std::string_view> ParsedSnatPool::partition_or(std::optional<std::string_view> dflt) const {
  if (name.partition(dflt) && !partition.empty()) return partition;
  return dflt;
}

}  // namespace brelmark
