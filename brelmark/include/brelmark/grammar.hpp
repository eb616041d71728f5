#pragma once
// The object grammars and the whole-configuration parser. Each reads from the start of
// the text it is given and returns the unparsed rest with its record, or a ParseError.
// The records view the text, which must outlive them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "brelmark/parse.hpp"
#include "brelmark/records.hpp"

namespace brelmark {

// The text after one leading byte-order mark (U+FEFF, as UTF-8), or the whole text when it
// has none. Listings saved by some editors begin with one; the whole-configuration parsers
// skip it, and so should every caller that reads an object from the start of a text.
constexpr std::string_view skip_byte_order_mark(std::string_view text) noexcept {
  return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

// A whole configuration (after a leading byte-order mark): every "auth partition", "ltm virtual", "ltm pool" and
// "ltm snatpool" object that parses, in text order; everything else is skipped.
ParseResult<ParsedConfig> parse_config(std::string_view text);

// The four kinds of object of a whole configuration.
enum class ObjectKind : std::uint8_t { partition, virtual_server, pool, snatpool };

// The keyword that begins an object of the kind: "auth partition", "ltm virtual", "ltm pool",
// "ltm snatpool".
std::string_view object_keyword(ObjectKind kind) noexcept;

// An item of a whole configuration that the parser skipped although it begins with an object's
// keyword, followed by white space, "{" or the end of the text: the grammar of that kind failed
// on it. (A longer word that begins with a keyword, such as "ltm virtual-address", names another
// kind and is no skipped object.) Both places are in the parsed text.
struct SkippedObject {
  const char* at;         // its keyword
  const char* error_at;   // where the grammar failed; null for Incomplete (the text ended)
  ObjectKind kind;
  ParseError::Type type;  // Error (or Failure), or Incomplete
  ParseErrorKind error;   // Error and Failure only
};

// Receives the objects of a whole configuration one at a time, each as soon as it is
// parsed, so that a caller can convert it while it is still in cache and keep no
// parsed record longer than that.
class ConfigSink {
 public:
  virtual void on_partition(ParsedPartition&& partition) = 0;
  virtual void on_virtual(ParsedVirtual&& virtual_server) = 0;
  virtual void on_pool(ParsedPool&& pool) = 0;
  virtual void on_snatpool(ParsedSnatPool&& pool) = 0;
  // Each object skipped, in its place among the objects; ignored unless a sink wants them.
  virtual void on_skipped(const SkippedObject&) {}

 protected:
  ~ConfigSink() = default;
};

// The parser of parse_config, handing every object to `sink` instead of collecting it:
// the same objects in text order (each skipped object in its place, to on_skipped), and
// last, when no partition was named exactly "Common", the partition { "Common", "", 0 }.
// The result holds the unparsed rest. An
// exception from the sink ends the parse and passes on.
ParseResult<std::monostate> parse_config_into(std::string_view text, ConfigSink& sink);

// How many objects of each kind a sink has been handed, and how many skipped objects.
struct ConfigCounts {
  std::size_t partitions = 0;
  std::size_t virtuals = 0;
  std::size_t pools = 0;
  std::size_t snat_pools = 0;
  std::size_t skipped = 0;
  bool operator==(const ConfigCounts&) const = default;
};

// How many objects of each kind parse_config_into is likely to hand its sink, from a scan
// for the lines (after a leading byte-order mark) that begin "ltm virtual ", "ltm pool ",
// "ltm snatpool " or "auth partition ", and one partition more for "Common": exact for a
// listing whose objects start at the start of a line, with a space after the keyword, and
// all parse; more where such a line does not begin an object that parses; fewer where an
// object starts elsewhere. For reserving lists before the parse.
ConfigCounts config_counts_estimate(std::string_view text) noexcept;

// ---- The whole configuration in pieces, parsed at the same time -------------------------

// The objects sinks[sink] was handed after its first `from` objects and up to `to` (by
// kind: the objects of each kind between the two counts, skipped objects included).
struct ConfigStretch {
  std::size_t sink;
  ConfigCounts from;
  ConfigCounts to;
};

// Where to cut a text of this size into pieces for parse_config_in_pieces: at most
// `pieces` cuts, the first at 0, each further one at the start of a line that begins a
// top-level "ltm " or "auth " object near an even share of the text. A text under
// kMinPiece bytes a piece gets one cut.
inline constexpr std::size_t kMinPiece = 1 << 20;
std::vector<std::size_t> config_cuts(std::string_view text, std::size_t pieces);

// parse_config_into, with the text cut at `cuts` (increasing offsets, the first 0) and the
// pieces parsed at the same time, piece k on a thread of its own into sinks[k] (piece 0 on
// the calling thread); sinks[cuts.size()] takes what the calling thread parses itself.
// Each piece is parsed as part of the whole text, from the first item at its cut until
// an item would start at the next cut; where the item before a piece does not end where
// the piece began, the calling thread parses on from where it ended until the two meet.
// The objects of the stretches, in order, are the objects parse_config_into hands its
// sink, "Common" partition and skipped objects included (the partition handed to the last
// sink); a piece's sink may also be handed objects, skipped ones too, that no stretch holds. The sinks must not share
// state. An exception from a sink passes on once every piece has stopped.
std::vector<ConfigStretch> parse_config_in_pieces(std::string_view text, std::span<const std::size_t> cuts,
                                                  std::span<ConfigSink* const> sinks);

// One object at the start of the text (white space before it allowed).
ParseResult<ParsedVirtual> parse_virtual(std::string_view text);
ParseResult<ParsedPool> parse_pool(std::string_view text);
ParseResult<ParsedPartition> parse_partition(std::string_view text);
ParseResult<ParsedSnatPool> parse_snatpool(std::string_view text);

// A pool member's destination: [partition/]a.b.c.d[%rd][:port-or-service].
ParseResult<MemberAddress> parse_member_address(std::string_view text);

}  // namespace brelmark
