// The "ltm virtual" grammar.
#include "body.hpp"
#include "brelmark/grammar.hpp"

namespace brelmark {
namespace {

using namespace lex;
using body::flag;
using VirtualReading = body::Reading<ParsedVirtual>;
using body::text_line;
using body::word_list;

constexpr auto kProfileProperties = body::property_table<ParsedProfile>({
    {"context", text_line<&ParsedProfile::context>},
});

constexpr Text kContext = "context";

// name [ws] "{" [ws] items [ws] "}" [ws], into `profile`: the rest, or nothing. A profile
// knows its "context"; what else its body holds is skipped.
std::optional<Text> profile_entry(Text in, ParsedProfile& profile) {
  auto head = block_head(in);
  if (!head) return std::nullopt;
  profile = {head->word, std::nullopt};
  Text contexts = opt_ws(head->body);
  if (contexts.starts_with('}')) return opt_ws(drop(contexts, 1));  // the usual "{ }"
  if (!words_follow(head->body)) {
    // "context" lines, read here; any other body goes the general way.
    for (;;) {
      Text key = opt_ws(contexts);
      if (!has_prefix(key, kContext)) break;
      auto context = line_value(drop(key, kContext.size()));
      if (!context) break;
      profile.context = context->value;
      contexts = context->rest;
    }
    Text close = opt_ws(contexts);
    if (close.starts_with('}')) return opt_ws(drop(close, 1));
  }
  body::Reading<ParsedProfile> reading;
  reading.record.name = head->word;
  auto items = body::closed_items(head->body, false, kProfileProperties, reading, false);
  if (!items) return std::nullopt;
  profile = reading.record;
  return items.rest();
}

// [ws] "{" [ws] profile entries [ws] "}" [ws] after the keyword.
std::optional<Text> read_profiles(const body::Key& key, VirtualReading& v) {
  std::vector<ParsedProfile> profiles;
  ParsedProfile profile;
  auto rest = body::braced_entries(key.after(), [&](Text at) {
    auto next = profile_entry(at, profile);
    if (next) {
      if (profiles.empty()) profiles.reserve(4);  // the usual few, in one allocation
      profiles.push_back(profile);
    }
    return next;
  });
  if (!rest) return std::nullopt;
  v.record.profiles = std::move(profiles);
  return rest;
}

constexpr Text kSourceTranslation = "source-address-translation";

// The last "type" and "pool" of a block win; the block gives both settings anew.
void set_source_translation(ParsedSourceTranslation& snat, Text key, Text value) {
  if (key == "type") snat.type = value;
  else if (key == "pool") snat.pool = value;
}

// The policies at `at` (after the "{" and its white space).
void collect_policies(Text at, std::size_t, ParsedVirtual& v) {
  v.policies.clear();
  (void)separated_list(at, named_block, required_ws, [&](NamedBlock block) {
    v.policies.push_back({block.word, std::move(block.lines)});
  });
}

// [ws] "policies" [ws] "{" [ws] named blocks separated by white space [ws] "}"
std::optional<Text> read_policies(const body::Key& key, VirtualReading& v) {
  auto open = literal(opt_ws_to_brace(key.after()), "{");
  if (!open) return std::nullopt;
  Text first = opt_ws(open.rest());
  auto close = literal(opt_ws(named_block_list_end(first)), "}");
  if (!close) return std::nullopt;
  v.defer(collect_policies, first);
  return close.rest();
}

constexpr auto kProperties = body::property_table<ParsedVirtual>({
    {"profiles", read_profiles},
    {kSourceTranslation,
     body::settings_block<&ParsedVirtual::source_address_translation, &kSourceTranslation, set_source_translation>},
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
});

}  // namespace

ParseResult<ParsedVirtual> parse_virtual(std::string_view text) {
  ScanScope scope(text);
  auto key = literal(opt_ws(text), "ltm virtual");
  if (!key) return key.error();
  auto gap = required_ws(key.rest());
  if (!gap) return gap.error();
  auto name = run_outside(gap.rest(), kWhiteSpace);
  if (!name) return name.error();
  auto open = literal(opt_ws_to_brace(name.rest()), "{");
  if (!open) return open.error();

  VirtualReading v;
  v.record.name = ObjectPath(name.value());
  auto items = body::closed_items(open.rest(), true, kProperties, v, true);
  if (!items) return items.error();
  return {items.rest(), std::move(v).finish()};
}

}  // namespace brelmark
