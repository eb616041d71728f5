// The whole-configuration parser.
#include <algorithm>
#include <utility>

#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

constexpr std::string_view kCommon = "Common";
constexpr std::string_view kSnatPoolKeyword = "ltm snatpool";

// Hands a parsed object to the sink and gives the rest; nothing when it did not parse.
template <class Record, class Deliver>
std::optional<Text> take(ParseResult<Record> r, Deliver&& deliver) {
  if (!r) return std::nullopt;
  Text rest = r.rest();
  deliver(std::move(r).value());
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
//
// The "Common" test reads a partition's name before the record goes to the sink, which
// takes it.
std::optional<Text> config_item(Text at, ConfigSink& sink, bool& has_common) {
  if (has_prefix(at, "ltm virtual")) {
    if (auto rest = take(parse_virtual(at), [&](ParsedVirtual&& v) { sink.on_virtual(std::move(v)); })) return rest;
  }
  if (has_prefix(at, "ltm pool")) {
    if (auto rest = take(parse_pool(at), [&](ParsedPool&& p) { sink.on_pool(std::move(p)); })) return rest;
  }
  if (may_be_snatpool(at)) {
    auto snat = parse_snatpool(at);
    if (!snat && !snat.error().recoverable()) return std::nullopt;
    if (auto rest = take(std::move(snat), [&](ParsedSnatPool&& s) { sink.on_snatpool(std::move(s)); })) return rest;
  }
  if (has_prefix(at, "auth partition")) {
    auto deliver = [&](ParsedPartition&& p) {
      if (p.name == kCommon) has_common = true;
      sink.on_partition(std::move(p));
    };
    if (auto rest = take(parse_partition(at), deliver)) return rest;
  }
  if (at_block_header(at)) {
    if (auto block = skip_block(at)) return block.rest();
  }
  if (at.starts_with('{')) {
    if (auto list = skip_braced_list(at)) return list.rest();
  }
  return rest_of_line_rest(at);
}

// Fills the four lists of a ParsedConfig.
class CollectingSink final : public ConfigSink {
 public:
  explicit CollectingSink(ParsedConfig& config) : config_(config) {}
  void on_partition(ParsedPartition&& partition) override { config_.partitions.push_back(std::move(partition)); }
  void on_virtual(ParsedVirtual&& virtual_server) override { config_.virtuals.push_back(std::move(virtual_server)); }
  void on_pool(ParsedPool&& pool) override { config_.pools.push_back(std::move(pool)); }
  void on_snatpool(ParsedSnatPool&& pool) override { config_.snat_pools.push_back(std::move(pool)); }

 private:
  ParsedConfig& config_;
};

}  // namespace

ParseResult<std::monostate> parse_config_into(std::string_view text, ConfigSink& sink) {
  ScanScope scope(text);
  bool has_common = false;
  Text in = opt_ws(text);
  while (auto rest = config_item(opt_ws(in), sink, has_common)) in = *rest;
  if (!has_common) sink.on_partition(ParsedPartition{kCommon, "", 0});
  return {opt_ws(in), std::monostate{}};
}

ParseResult<ParsedConfig> parse_config(std::string_view text) {
  ParsedConfig config;
  CollectingSink sink(config);
  auto r = parse_config_into(text, sink);
  if (!r) return r.error();
  return {r.rest(), std::move(config)};
}

}  // namespace brelmark
