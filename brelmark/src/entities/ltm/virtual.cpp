// The "ltm virtual" grammar.
#include "body.hpp"
#include "brelmark/grammar.hpp"

namespace brelmark {
namespace {

using namespace lex;
using body::flag;
using body::Property;
using VirtualReading = body::Reading<ParsedVirtual>;
using body::text_line;
using body::word_list;

// name [ws] "{" [ws] ("context" lines)* [ws] "}" [ws]
ParseResult<ParsedProfile> profile_entry(Text in) {
  auto name = run_outside(opt_ws(in), kWhiteSpace);
  if (!name) return name.error();
  auto open = literal(opt_ws(name.rest()), "{");
  if (!open) return open.error();
  ParsedProfile profile{name.value(), std::nullopt};
  auto contexts = repeat(opt_ws(open.rest()), false, [&](Text at) {
    auto context = key_value_line(at, "context");
    if (context) profile.context = context.value();
    return context;
  });
  if (!contexts) return contexts.error();
  auto close = spaced_literal(contexts.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), profile};
}

std::optional<Text> read_profiles(Text in, Text keyword, VirtualReading& v) {
  auto open = block_open(in, keyword);
  if (!open) return std::nullopt;
  std::vector<ParsedProfile> profiles;
  auto entries = repeat(open.rest(), false, [&](Text at) {
    auto entry = profile_entry(at);
    if (entry) profiles.push_back(std::move(entry).value());
    return entry;
  });
  if (!entries) return std::nullopt;
  auto close = spaced_literal(entries.rest(), "}");
  if (!close) return std::nullopt;
  v.record.profiles = std::move(profiles);
  return close.rest();
}

constexpr Text kSourceTranslation = "source-address-translation";

// The last "type" and "pool" of the block at `at`; the block gives both settings anew.
ParsedSourceTranslation source_translation(const std::vector<std::pair<Text, Text>>& pairs) {
  ParsedSourceTranslation snat;
  for (auto [key, value] : pairs) {
    if (key == "type") snat.type = value;
    else if (key == "pool") snat.pool = value;
  }
  return snat;
}

void collect_source_translation(Text at, std::size_t, ParsedVirtual& v) {
  v.source_address_translation = source_translation(key_value_block(at, kSourceTranslation).value());
}

std::optional<Text> read_source_translation(Text in, Text keyword, VirtualReading& v) {
  Text at = opt_ws(in);
  auto block = short_key_value_block(at, keyword, body::kShortList);
  if (!block) return std::nullopt;
  if (const auto& pairs = block.value()) {
    v.record.source_address_translation = source_translation(*pairs);
    v.collected(collect_source_translation);
  } else {
    v.defer(collect_source_translation, at);
  }
  return block.rest();
}

// The policies at `at` (after the "{" and its white space).
void collect_policies(Text at, std::size_t, ParsedVirtual& v) {
  v.policies.clear();
  (void)separated_list(at, named_block, required_ws, [&](NamedBlock block) {
    v.policies.push_back({block.word, std::move(block.lines)});
  });
}

// [ws] "policies" [ws] "{" [ws] named blocks separated by white space [ws] "}"
std::optional<Text> read_policies(Text in, Text keyword, VirtualReading& v) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return std::nullopt;
  auto open = literal(opt_ws(key.rest()), "{");
  if (!open) return std::nullopt;
  Text first = opt_ws(open.rest());
  auto close = literal(opt_ws(named_block_list_end(first)), "}");
  if (!close) return std::nullopt;
  v.defer(collect_policies, first);
  return close.rest();
}

constexpr body::PropertyTable<ParsedVirtual, 20> kProperties{std::array<Property<ParsedVirtual>, 20>{{
    {"profiles", read_profiles},
    {kSourceTranslation, read_source_translation},
    {"security-log-profiles", word_list<&ParsedVirtual::security_log_profiles>},
    {"fw-enforced-policy", text_line<&ParsedVirtual::fw_enforced_policy>},
    {"policies", read_policies},
    {"partition", text_line<&ParsedVirtual::partition>},
    {"vlans", word_list<&ParsedVirtual::vlans>},
    {"vlans-enabled", flag<&ParsedVirtual::vlans_enabled>},
    {"translate-address", text_line<&ParsedVirtual::translate_address>},
    {"translate-port", text_line<&ParsedVirtual::translate_port>},
    {"destination", text_line<&ParsedVirtual::destination>},
    {"mask", text_line<&ParsedVirtual::mask>},
    {"description", text_line<&ParsedVirtual::description>},
    {"creation-time", text_line<&ParsedVirtual::creation_time>},
    {"last-modified-time", text_line<&ParsedVirtual::last_modified_time>},
    {"ip-protocol", text_line<&ParsedVirtual::ip_protocol>},
    {"pool", text_line<&ParsedVirtual::pool>},
    {"source", text_line<&ParsedVirtual::source>},
    {"rules", word_list<&ParsedVirtual::rules>},
    {"disabled", flag<&ParsedVirtual::disabled>},
}}};

}  // namespace

ParseResult<ParsedVirtual> parse_virtual(std::string_view text) {
  ScanScope scope(text);
  auto key = literal(opt_ws(text), "ltm virtual");
  if (!key) return key.error();
  auto gap = required_ws(key.rest());
  if (!gap) return gap.error();
  auto name = run_outside(gap.rest(), kWhiteSpace);
  if (!name) return name.error();
  auto open = literal(opt_ws(name.rest()), "{");
  if (!open) return open.error();

  VirtualReading v;
  v.record.name = ObjectPath(name.value());
  auto items = body::items(open.rest(), true, kProperties, v, true);
  if (!items) return items.error();
  auto close = spaced_literal(items.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), std::move(v).finish()};
}

}  // namespace brelmark
