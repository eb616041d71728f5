#pragma once
// The object grammars and the whole-configuration parser. Each reads from the start of
// the text it is given and returns the unparsed rest with its record, or a ParseError.
// The records view the text, which must outlive them.
#include <string_view>
#include <variant>

#include "brelmark/parse.hpp"
#include "brelmark/records.hpp"

namespace brelmark {

// A whole configuration: every "auth partition", "ltm virtual", "ltm pool" and
// "ltm snatpool" object that parses, in text order; everything else is skipped.
ParseResult<ParsedConfig> parse_config(std::string_view text);

// Receives the objects of a whole configuration one at a time, each as soon as it is
// parsed, so that a caller can convert it while it is still in cache and keep no
// parsed record longer than that.
class ConfigSink {
 public:
  virtual void on_partition(ParsedPartition&& partition) = 0;
  virtual void on_virtual(ParsedVirtual&& virtual_server) = 0;
  virtual void on_pool(ParsedPool&& pool) = 0;
  virtual void on_snatpool(ParsedSnatPool&& pool) = 0;

 protected:
  ~ConfigSink() = default;
};

// The parser of parse_config, handing every object to `sink` instead of collecting it:
// the same objects in text order, and last, when no partition was named exactly
// "Common", the partition { "Common", "", 0 }. The result holds the unparsed rest. An
// exception from the sink ends the parse and passes on.
ParseResult<std::monostate> parse_config_into(std::string_view text, ConfigSink& sink);

// One object at the start of the text (white space before it allowed).
ParseResult<ParsedVirtual> parse_virtual(std::string_view text);
ParseResult<ParsedPool> parse_pool(std::string_view text);
ParseResult<ParsedPartition> parse_partition(std::string_view text);
ParseResult<ParsedSnatPool> parse_snatpool(std::string_view text);

// A pool member's destination: [partition/]a.b.c.d[%rd][:port-or-service].
ParseResult<MemberAddress> parse_member_address(std::string_view text);

}  // namespace brelmark
