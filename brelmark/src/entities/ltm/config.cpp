// The whole-configuration parser.
#include <algorithm>

#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

constexpr std::string_view kCommon = "Common";
constexpr std::string_view kSnatPoolKeyword = "ltm snatpool";

// Appends a parsed object to its list and gives the rest; nothing when it did not parse.
template <class Record>
std::optional<Text> take(ParseResult<Record> r, std::vector<Record>& list) {
  if (!r) return std::nullopt;
  Text rest = r.rest();
  list.push_back(std::move(r).value());
  return rest;
}

// True when the text agrees with the SNAT-pool keyword as far as both go.
bool may_be_snatpool(Text at) noexcept {
  std::size_t n = std::min(at.size(), kSnatPoolKeyword.size());
  return at.substr(0, n) == kSnatPoolKeyword.substr(0, n);
}

// One top-level item at `at` (white space already passed): one of the four objects,
// else a skipped block, braced list or line. The rest after it, or nothing where the
// item list ends.
//
// The object grammars are tried in the order virtual server, pool, SNAT pool,
// partition; each fails at once where the text does not begin with its keyword, so it
// is called only where it does. Only the SNAT-pool grammar can answer other than with a
// recoverable error: Incomplete, at the end of the text or in an unfinished SNAT pool
// that runs to it, which ends the list. Where nothing else matches, `rest_of_line` takes
// any text that remains, so the list runs to the end of the text.
std::optional<Text> config_item(Text at, ParsedConfig& config) {
  if (has_prefix(at, "ltm virtual")) {
    if (auto rest = take(parse_virtual(at), config.virtuals)) return rest;
  }
  if (has_prefix(at, "ltm pool")) {
    if (auto rest = take(parse_pool(at), config.pools)) return rest;
  }
  if (may_be_snatpool(at)) {
    auto snat = parse_snatpool(at);
    if (!snat && !snat.error().recoverable()) return std::nullopt;
    if (auto rest = take(std::move(snat), config.snat_pools)) return rest;
  }
  if (has_prefix(at, "auth partition")) {
    if (auto rest = take(parse_partition(at), config.partitions)) return rest;
  }
  if (at_block_header(at)) {
    if (auto block = skip_block(at)) return block.rest();
  }
  if (at.starts_with('{')) {
    if (auto list = skip_braced_list(at)) return list.rest();
  }
  return rest_of_line_rest(at);
}

}  // namespace

ParseResult<ParsedConfig> parse_config(std::string_view text) {
  ScanScope scope(text);
  ParsedConfig config;
  Text in = opt_ws(text);
  while (auto rest = config_item(opt_ws(in), config)) in = *rest;

  bool has_common = std::any_of(config.partitions.begin(), config.partitions.end(),
                                [](const ParsedPartition& p) { return p.name == kCommon; });
  if (!has_common) config.partitions.push_back(ParsedPartition{kCommon, "", 0});
  return {opt_ws(in), std::move(config)};
}

}  // namespace brelmark
