#pragma once
// The object grammars and the whole-configuration parser. Each reads from the start of
// the text it is given and returns the unparsed rest with its record, or a ParseError.
// The records view the text, which must outlive them.
#include <string_view>

#include "brelmark/parse.hpp"
#include "brelmark/records.hpp"

namespace brelmark {

// A whole configuration: every "auth partition", "ltm virtual", "ltm pool" and
// "ltm snatpool" object that parses, in text order; everything else is skipped.
ParseResult<ParsedConfig> parse_config(std::string_view text);

// One object at the start of the text (white space before it allowed).
ParseResult<ParsedVirtual> parse_virtual(std::string_view text);
ParseResult<ParsedPool> parse_pool(std::string_view text);
ParseResult<ParsedPartition> parse_partition(std::string_view text);
ParseResult<ParsedSnatPool> parse_snatpool(std::string_view text);

// A pool member's destination: [partition/]a.b.c.d[%rd][:port-or-service].
ParseResult<MemberAddress> parse_member_address(std::string_view text);

}  // namespace brelmark
