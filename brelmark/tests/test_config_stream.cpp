// The whole-configuration parser handing each object to a sink as it is parsed, against
// parse_config: the same objects, in text order, with the same "Common" rule and rest.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "brelmark/grammar.hpp"
#include "grammar_test_util.hpp"

namespace brelmark {
namespace {

using test::is_tail_of;
using test::read_listing;

// One received object: its kind, where its name starts in the text and a summary of its
// fields (views are compared by content and by place).
struct Event {
  char kind;  // 'a' partition, 'v' virtual server, 'p' pool, 's' SNAT pool, 'x' skipped object
  const char* at;
  std::string summary;
  bool operator==(const Event&) const = default;
};

std::string join(const std::vector<std::string_view>& texts) {
  std::string out;
  for (std::string_view t : texts) (out += t) += ',';
  return out;
}

Event event_of(const ParsedPartition& p) {
  return {'a', p.name.data(), std::string(p.name) + "|" + std::string(p.description) + "|" +
                                  std::to_string(p.default_route_domain)};
}

Event event_of(const ParsedVirtual& v) {
  std::string s = std::string(v.name.text()) + "|" + std::string(v.destination.text()) + "|" +
                  std::string(v.pool.text()) + "|" + std::string(v.mask) + "|" + std::string(v.ip_protocol) + "|" +
                  std::string(v.source_address_translation.type) + "|" + join(v.vlans) + "|" + join(v.rules) +
                  "|" + (v.disabled ? "d" : "") + (v.vlans_enabled ? "e" : "");
  for (const ParsedProfile& p : v.profiles) (s += "|") += p.name;
  for (const ParsedPolicy& p : v.policies) ((s += "|") += p.name) += join(p.entries);
  return {'v', v.name.text().data(), s};
}

Event event_of(const ParsedPool& p) {
  std::string s = std::string(p.name.text()) + "|" + std::string(p.monitor) + "|" + std::string(p.description) +
                  "|" + std::string(p.load_balancing_mode) + "|" + std::to_string(p.min_active_members);
  for (const ParsedPoolMember& m : p.members) {
    s += "|" + std::string(m.name.text()) + "=" + std::string(m.destination()) + "/" + std::string(m.state) + "/" +
         std::to_string(m.ratio) + "/" + std::to_string(m.priority_group);
  }
  return {'p', p.name.text().data(), s};
}

Event event_of(const ParsedSnatPool& p) {
  return {'s', p.name.text().data(), std::string(p.name.text()) + "|" + join(p.members) + "|" + std::string(p.partition)};
}

// A skipped object: its keyword, and its grammar's error with the text where it failed (up to
// 24 characters; "(end)" for Incomplete).
Event event_of(const SkippedObject& s) {
  std::string error = s.type == ParseError::Type::Incomplete
                          ? std::string("(end)")
                          : std::string(kind_name(s.error)) + "@" + std::string(s.error_at, strnlen(s.error_at, 24));
  return {'x', s.at, std::string(object_keyword(s.kind)) + "|" + error};
}

// Records every object it is handed, skipped ones too, in the order it is handed them.
class RecordingSink final : public ConfigSink {
 public:
  std::vector<Event> events;
  void on_partition(ParsedPartition&& p) override { events.push_back(event_of(p)); }
  void on_virtual(ParsedVirtual&& v) override { events.push_back(event_of(v)); }
  void on_pool(ParsedPool&& p) override { events.push_back(event_of(p)); }
  void on_snatpool(ParsedSnatPool&& p) override { events.push_back(event_of(p)); }
  void on_skipped(const SkippedObject& s) override { events.push_back(event_of(s)); }
};

template <class Record>
std::vector<Event> events_of(const std::vector<Record>& list) {
  std::vector<Event> out;
  for (const Record& r : list) out.push_back(event_of(r));
  return out;
}

std::vector<Event> of_kind(const std::vector<Event>& events, char kind) {
  std::vector<Event> out;
  for (const Event& e : events)
    if (e.kind == kind) out.push_back(e);
  return out;
}

// Streams the text and checks the events against parse_config's lists, their order
// against the text and the rest; returns the events.
std::vector<Event> expect_agreement(std::string_view text) {
  RecordingSink sink;
  auto streamed = parse_config_into(text, sink);
  auto collected = parse_config(text);
  EXPECT_TRUE(streamed.ok()) << streamed.error().to_string();
  EXPECT_TRUE(collected.ok()) << collected.error().to_string();
  if (!streamed || !collected) return {};
  EXPECT_EQ(streamed.rest(), collected.rest());
  EXPECT_TRUE(is_tail_of(streamed.rest(), text));

  const ParsedConfig& config = collected.value();
  EXPECT_EQ(of_kind(sink.events, 'a'), events_of(config.partitions));
  EXPECT_EQ(of_kind(sink.events, 'v'), events_of(config.virtuals));
  EXPECT_EQ(of_kind(sink.events, 'p'), events_of(config.pools));
  EXPECT_EQ(of_kind(sink.events, 's'), events_of(config.snat_pools));

  // Every object views the text and comes after the one before it; only the appended
  // "Common" partition, which is the last event, views a text of its own.
  EXPECT_FALSE(sink.events.empty());
  const char* previous = text.data();
  for (std::size_t i = 0; i < sink.events.size(); ++i) {
    const Event& e = sink.events[i];
    bool in_text = e.at >= text.data() && e.at < text.data() + text.size();
    if (!in_text) {
      EXPECT_EQ(i + 1, sink.events.size()) << "only the appended partition is outside the text";
      EXPECT_EQ(e.summary, "Common||0");
      continue;
    }
    EXPECT_GE(e.at, previous) << "event " << i << " out of text order";
    previous = e.at;
  }
  return sink.events;
}

TEST(ConfigStream, AgreesOnTheTestListings) {
  for (const char* name : {"dns-dos.conf", "mcp-proxy.conf", "proxy-map-rules.conf", "lab-full.conf"}) {
    SCOPED_TRACE(name);
    std::string text = read_listing(name);
    std::vector<Event> events = expect_agreement(text);
    ASSERT_FALSE(events.empty());
    EXPECT_GT(events.size(), 1u) << "each listing has objects besides the appended partition";
  }
}

// A listing of every object kind, unknown objects, objects that fail and a partition
// "Common" part way through (or none), repeated; with an unfinished SNAT pool at the end.
std::string generated_listing(int apps, bool with_common) {
  std::string out = "sys global-settings {\n    hostname lb.example.com\n}\n";
  for (int i = 0; i < apps; ++i) {
    std::string n = std::to_string(i);
    out += "auth partition T" + n + " {\n    default-route-domain " + n + "\n    description \"Tenant " + n + "\"\n}\n";
    if (with_common && i == apps / 2) out += "auth partition Common {\n    description \"shared\"\n}\n";
    if (i % 7 == 3) out += "auth partition Bad" + n + " {\n    default-route-domain x\n}\n";
    out += "ltm node /Common/10.0.0." + n + " {\n    address 10.0.0." + n + "\n}\n";
    out += "ltm pool /T" + n + "/pool_" + n + " {\n    load-balancing-mode least-connections-member\n    members {\n" +
           "        /Common/10.0.0." + n + ":80 {\n            address 10.0.0." + n + "\n            ratio " +
           std::to_string(i % 4 + 1) + "\n            state up\n        }\n" +
           "        /Common/web" + n + ":443 {\n            fqdn {\n                name web" + n +
           ".example.com\n            }\n        }\n    }\n    monitor /Common/http\n}\n";
    out += "ltm virtual /T" + n + "/vs_" + n + " {\n    destination /T" + n + "/10.1.0." + n +
           ":443\n    ip-protocol tcp\n    mask 255.255.255.255\n    pool /T" + n + "/pool_" + n +
           "\n    profiles {\n        /Common/tcp { }\n        /Common/http {\n            context clientside\n"
           "        }\n    }\n    rules {\n        /Common/irule_" + n + "\n    }\n" +
           "    source-address-translation {\n        type automap\n    }\n    vlans {\n        /Common/external\n"
           "    }\n    vlans-enabled\n}\n";
    if (i % 5 == 1) out += "ltm virtual broken" + n + " {\n}\n";  // an empty body
    out += "ltm snatpool /T" + n + "/snat_" + n + " {\n    members {\n        /Common/10.2.0." + n +
           "\n        /Common/10.2.1." + n + "\n    }\n    partition T" + n + "\n}\n";
    out += "ltm profile tcp /T" + n + "/tcp_" + n + " {\n    options { a b }\n}\n";
  }
  out += "ltm snatpool tail {\n    members {\n        a\n";
  return out;
}

TEST(ConfigStream, AgreesOnGeneratedListings) {
  for (bool with_common : {false, true}) {
    SCOPED_TRACE(with_common ? "with a partition Common" : "without a partition Common");
    std::string text = generated_listing(60, with_common);
    std::vector<Event> events = expect_agreement(text);
    // 60 partitions (the bad ones skipped), 60 of each other kind (the broken virtual
    // servers skipped), and "Common" once: read, or appended.
    EXPECT_EQ(of_kind(events, 'a').size(), 61u);
    EXPECT_EQ(of_kind(events, 'v').size(), 60u);
    EXPECT_EQ(of_kind(events, 'p').size(), 60u);
    EXPECT_EQ(of_kind(events, 's').size(), 60u);
    // The skipped: the 9 bad partitions, the 12 broken virtual servers and the SNAT pool at the end.
    EXPECT_EQ(of_kind(events, 'x').size(), 9u + 12u + 1u);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, with_common ? 'x' : 'a');
  }
}

TEST(ConfigStream, AgreesOnSmallCases) {
  const char* cases[] = {
      "",
      "auth partition Common {\n}\n",
      "auth partition common {\n}\nltm pool p {\n}\n",
      "ltm virtual v {\n mask m\n}\nltm snatpool s {\n members {\n a\n }\n",
      "ltm pool p {\n}\nltm snat",
      "ltm snatpool s {\n members {\n a\n }\nltm pool p {\n}\n",
      "\xEF\xBB\xBF" "ltm pool p {\n}\n",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    expect_agreement(text);
  }
}

// Each item that begins with an object's keyword as a word and does not parse is handed on as
// skipped, in its place among the objects; a longer word, a keyword inside a skipped block and
// the beginning of a keyword at the end are not.
TEST(ConfigStream, HandsOnTheObjectsSkipped) {
  struct Case {
    std::string text;
    std::vector<std::string> handed;  // the events' kinds, and the skipped ones' summaries
  };
  const Case cases[] = {
      {"auth partition Bad {\n    default-route-domain x\n}\nauth partition Q {\n}\n",
       {"auth partition|Tag@default-route-domain x\n}", "a", "a"}},
      {"ltm pool p {\n}\nltm virtual v {\n}\nltm pool q {\n}\n",
       {"p", "ltm virtual|IsNot@}\nltm pool q {\n}\n", "p", "a"}},
      {"ltm pool\n", {"ltm pool|IsNot@", "a"}},
      {"ltm virtual{\n}\n", {"ltm virtual|MultiSpace@{\n}\n", "a"}},
      {"ltm snatpool s {\n    members {\n        a\n", {"ltm snatpool|Tag@members {\n        a\n", "a"}},
      {"ltm snatpool s {\n    partition T\n", {"ltm snatpool|(end)", "a"}},
      {"ltm snatpool s {\n    bad\n}\nltm snatpool t {\n}\n",
       {"ltm snatpool|Tag@bad\n}\nltm snatpool t {\n}", "s", "a"}},
      {"ltm virtual-address /Common/10.0.0.1 {\n    address 10.0.0.1\n}\n", {"a"}},
      {"sys-x {\nltm pool\n}\nltm snat", {"a"}},
      // A header of two words is no block: its lines are items.
      {"sys x {\nltm pool\n}\n", {"ltm pool|Tag@", "a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> handed;
    for (const Event& e : expect_agreement(c.text)) {
      handed.push_back(e.kind == 'x' ? e.summary : std::string(1, e.kind));
    }
    EXPECT_EQ(handed, c.handed);
  }
}

// A sink that throws ends the parse; the exception passes on and a later parse on this
// thread works as before.
TEST(ConfigStream, ExceptionFromTheSinkPassesOn) {
  struct Throwing final : ConfigSink {
    void on_partition(ParsedPartition&&) override {}
    void on_virtual(ParsedVirtual&&) override {}
    void on_pool(ParsedPool&&) override { throw std::runtime_error("stop"); }
    void on_snatpool(ParsedSnatPool&&) override {}
  } throwing;
  std::string text = generated_listing(3, false);
  EXPECT_THROW((void)parse_config_into(text, throwing), std::runtime_error);
  std::vector<Event> events = expect_agreement(text);
  EXPECT_EQ(of_kind(events, 'p').size(), 3u);
}


// ---- Pieces parsed at the same time ---------------------------------------------------

// The first event index where the events before it count `counts`.
std::size_t index_at(const std::vector<Event>& events, const ConfigCounts& counts) {
  ConfigCounts seen;
  for (std::size_t i = 0;; ++i) {
    if (seen == counts) return i;
    if (i == events.size()) {
      ADD_FAILURE() << "a stretch counts more objects than its sink was handed";
      return i;
    }
    switch (events[i].kind) {
      case 'a': ++seen.partitions; break;
      case 'v': ++seen.virtuals; break;
      case 'p': ++seen.pools; break;
      case 's': ++seen.snat_pools; break;
      case 'x': ++seen.skipped; break;
    }
  }
}

// The events of a parse in pieces cut at `cuts`, stretch by stretch.
std::vector<Event> events_in_pieces(std::string_view text, const std::vector<std::size_t>& cuts) {
  std::vector<RecordingSink> sinks(cuts.size() + 1);
  std::vector<ConfigSink*> pointers;
  for (RecordingSink& s : sinks) pointers.push_back(&s);
  std::vector<Event> out;
  for (const ConfigStretch& stretch : parse_config_in_pieces(text, cuts, pointers)) {
    const std::vector<Event>& events = sinks[stretch.sink].events;
    std::size_t from = index_at(events, stretch.from), to = index_at(events, stretch.to);
    out.insert(out.end(), events.begin() + from, events.begin() + to);
  }
  return out;
}

// Cut sets for a text: at every object line (as config_cuts would cut, but closer); at
// every line start, a few apart; and at arbitrary bytes, inside words and objects.
std::vector<std::vector<std::size_t>> cut_sets(std::string_view text) {
  std::vector<std::vector<std::size_t>> sets;
  std::vector<std::size_t> objects{0}, lines{0}, bytes{0};
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i - 1] != '\n') continue;
    std::string_view rest = text.substr(i);
    if (rest.starts_with("ltm ") || rest.starts_with("auth ")) objects.push_back(i);
    if (i % 3 == 0) lines.push_back(i);
  }
  for (std::size_t i = 37; i < text.size(); i += 37 + i % 11) bytes.push_back(i);
  sets.push_back(objects);
  sets.push_back(lines);
  sets.push_back(bytes);
  if (!text.empty()) sets.push_back({0, text.size()});  // a last piece that is empty
  return sets;
}

void expect_pieces_agree(std::string_view text) {
  RecordingSink whole;
  ASSERT_TRUE(parse_config_into(text, whole).ok());
  for (const std::vector<std::size_t>& cuts : cut_sets(text)) {
    SCOPED_TRACE(testing::Message() << cuts.size() << " cuts");
    EXPECT_EQ(events_in_pieces(text, cuts), whole.events);
  }
}

TEST(ConfigPieces, AgreeWithTheWholeParse) {
  for (const char* name : {"dns-dos.conf", "mcp-proxy.conf", "proxy-map-rules.conf", "lab-full.conf"}) {
    SCOPED_TRACE(name);
    expect_pieces_agree(read_listing(name));
  }
  for (bool with_common : {false, true}) {
    SCOPED_TRACE(with_common ? "generated with Common" : "generated without Common");
    expect_pieces_agree(generated_listing(40, with_common));
  }
  // Texts whose objects run into one another: unclosed braces, an object split by a cut
  // far from where its item began, a SNAT pool that runs to the end.
  const char* cases[] = {
      "",
      "  \n",
      "ltm pool p {\n members {\n a:80 {\n }\n",
      "ltm virtual v {\n mask m\nltm pool p {\n}\nltm pool q {\n}\nauth partition Common {\n}\n",
      "ltm snatpool s {\n members {\n a\n }\nltm pool p {\n}\nltm snatpool t {\n members {\n b\n",
      "{ { {\nltm pool p {\n}\n} }\nltm pool q {\n}\n",
      // A line of a skipped block that begins an object which does not parse: a piece cut there
      // skips it, the whole parse does not.
      "security {\nltm virtual hidden x {\n}\nltm pool p {\n}\nsecurity {\nltm pool hidden x {\n}\n",
      "\xEF\xBB\xBF" "ltm pool p {\n members {\n a:80 {\n }\n }\n}\nltm pool q {\n}\n",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    expect_pieces_agree(text);
  }
}

// A piece cut at a line of a skipped block that begins an object which does not parse is handed
// that object as skipped; the stitched sequence, as the whole parse, holds no such item.
TEST(ConfigPieces, HoldOnlyTheSkippedObjectsOfTheWholeParse) {
  const std::string text = "security {\nltm virtual hidden x {\n}\nltm pool p {\n}\n";
  const std::vector<std::size_t> cuts{0, text.find("ltm virtual")};
  std::vector<RecordingSink> sinks(cuts.size() + 1);
  std::vector<ConfigSink*> pointers;
  for (RecordingSink& s : sinks) pointers.push_back(&s);
  std::size_t stitched_skips = 0;
  for (const ConfigStretch& stretch : parse_config_in_pieces(text, cuts, pointers)) {
    stitched_skips += stretch.to.skipped - stretch.from.skipped;
  }
  EXPECT_EQ(stitched_skips, 0u);
  EXPECT_EQ(of_kind(sinks[1].events, 'x').size(), 1u);
  EXPECT_EQ(events_in_pieces(text, cuts), expect_agreement(text));
}

TEST(ConfigPieces, CutsAtObjectLinesOfLargeTexts) {
  std::string text = generated_listing(4000, false);
  ASSERT_GT(text.size(), 4 * kMinPiece);
  std::vector<std::size_t> cuts = config_cuts(text, 4);
  ASSERT_EQ(cuts.size(), 4u);
  EXPECT_EQ(cuts[0], 0u);
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    EXPECT_GT(cuts[k], cuts[k - 1]);
    EXPECT_EQ(text[cuts[k] - 1], '\n');
    std::string_view line = std::string_view(text).substr(cuts[k]);
    EXPECT_TRUE(line.starts_with("ltm ") || line.starts_with("auth ")) << line.substr(0, 20);
  }
  EXPECT_EQ(events_in_pieces(text, cuts), [&] {
    RecordingSink whole;
    parse_config_into(text, whole);
    return whole.events;
  }());
  // Small texts, or one piece asked for: one cut.
  EXPECT_EQ(config_cuts(text, 1), std::vector<std::size_t>{0});
  EXPECT_EQ(config_cuts(std::string_view(text).substr(0, kMinPiece), 8), std::vector<std::size_t>{0});
}

// The kinds and fields of events, without their places: those of two texts compared.
std::vector<std::pair<char, std::string>> contents(const std::vector<Event>& events) {
  std::vector<std::pair<char, std::string>> out;
  for (const Event& e : events) out.emplace_back(e.kind, e.summary);
  return out;
}

// A large text read in pieces skips one leading byte-order mark as the whole parse does: the
// object right after the mark is read, and the objects are those of the text without it.
TEST(ConfigPieces, SkipOneLeadingByteOrderMark) {
  std::string text = generated_listing(2500, false);
  text.erase(0, text.find("auth partition T0 "));  // an object right at the start
  ASSERT_GT(text.size(), 2 * kMinPiece);
  const std::string marked = "\xEF\xBB\xBF" + text;
  std::vector<std::size_t> cuts = config_cuts(marked, 4);
  ASSERT_GT(cuts.size(), 1u);
  RecordingSink plain, whole;
  ASSERT_TRUE(parse_config_into(text, plain).ok());
  ASSERT_TRUE(parse_config_into(marked, whole).ok());
  ASSERT_FALSE(plain.events.empty());
  EXPECT_EQ(plain.events.front().summary, "T0|\"Tenant 0\"|0");
  EXPECT_EQ(contents(whole.events), contents(plain.events));
  EXPECT_EQ(events_in_pieces(marked, cuts), whole.events);
}

TEST(ConfigPieces, RefusesCutsThatDoNotRise) {
  RecordingSink a, b, c;
  std::vector<ConfigSink*> sinks{&a, &b, &c};
  std::string text = "ltm pool p {\n}\n";
  for (std::vector<std::size_t> cuts : {std::vector<std::size_t>{0, 0}, {1, 2}, {0, 99}}) {
    EXPECT_THROW(parse_config_in_pieces(text, cuts, sinks), std::invalid_argument);
  }
  EXPECT_THROW(parse_config_in_pieces(text, std::vector<std::size_t>{0}, sinks), std::invalid_argument);
}

// A sink's exception passes on once every piece has stopped.
TEST(ConfigPieces, SinkExceptionsPassOn) {
  class Throwing final : public ConfigSink {
   public:
    void on_partition(ParsedPartition&&) override {}
    void on_virtual(ParsedVirtual&&) override {}
    void on_pool(ParsedPool&&) override { throw std::runtime_error("full"); }
    void on_snatpool(ParsedSnatPool&&) override {}
  };
  std::string text = generated_listing(20, false);
  std::vector<Throwing> sinks(4);
  std::vector<ConfigSink*> pointers;
  for (Throwing& s : sinks) pointers.push_back(&s);
  std::vector<std::size_t> cuts{0, text.size() / 3, text.size() / 2};
  EXPECT_THROW(parse_config_in_pieces(text, cuts, pointers), std::runtime_error);
}

// The kinds of objects parse_config_into handed, counted.
ConfigCounts counts_of(const std::vector<Event>& events) {
  ConfigCounts counts;
  for (const Event& e : events) {
    ++(e.kind == 'a'   ? counts.partitions
       : e.kind == 'v' ? counts.virtuals
       : e.kind == 'p' ? counts.pools
       : e.kind == 's' ? counts.snat_pools
                       : counts.skipped);
  }
  return counts;
}

// The estimate counts the lines that begin an object's keyword and a space, anywhere in the text
// (the first line and the last sixteen characters included), and one partition for "Common".
TEST(ConfigCountsEstimate, CountsObjectLines) {
  const std::string tail_padding(40, '#');
  struct Case {
    std::string text;
    ConfigCounts expected;
  };
  const Case cases[] = {
      {"", {1, 0, 0, 0}},
      {"ltm pool p { }", {1, 0, 1, 0}},
      {"\xEF\xBB\xBFltm pool p { }\n", {1, 0, 1, 0}},
      {"auth partition a { }\nltm virtual v {\n}\nltm snatpool s { members { 10.0.0.1 } }\n", {2, 1, 0, 1}},
      // Neither keyword and a space, nor at the start of a line: not counted.
      {"ltm virtual-address x { }\nltm pool\tp { }\n  ltm pool q { }\nx ltm pool r { }\n", {1, 0, 0, 0}},
      // A line inside a skipped block that begins a keyword is counted though no object starts there.
      {"sys x {\nltm pool p\n}\n", {1, 0, 1, 0}},
      {tail_padding + "\nltm pool p {}", {1, 0, 1, 0}},
      {tail_padding + "\nltm virtual v {}\nltm pool p {}\nauth partition a {}\n" + tail_padding, {2, 1, 1, 0}},
      // Lines whose first character is only like "l" or "a" in some bits.
      {tail_padding + "\nmtm pool p {}\n`uth partition a {}\ndltm virtual v {}\nitm snatpool s {}\n" + tail_padding,
       {1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(config_counts_estimate(c.text), c.expected);
  }
}

// On listings whose objects start at line starts, the estimate is at least what the parse hands.
TEST(ConfigCountsEstimate, AtLeastTheObjectsOfListings) {
  for (const std::string& text : {generated_listing(40, true), generated_listing(40, false), read_listing("lab-full.conf")}) {
    RecordingSink sink;
    ASSERT_TRUE(parse_config_into(text, sink).ok());
    const ConfigCounts handed = counts_of(sink.events), estimate = config_counts_estimate(text);
    EXPECT_GE(estimate.partitions, handed.partitions);
    EXPECT_GE(estimate.virtuals, handed.virtuals);
    EXPECT_GE(estimate.pools, handed.pools);
    EXPECT_GE(estimate.snat_pools, handed.snat_pools);
    EXPECT_GT(handed.virtuals + handed.pools, 0u);
  }
}

}  // namespace
}  // namespace brelmark
