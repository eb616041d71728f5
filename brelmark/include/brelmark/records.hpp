#pragma once
// The records the grammars fill. Every text and path is a view into the parsed
// configuration text and is valid only while that text is; the lists belong to the
// records. The field defaults are those a record has when no line of its object sets
// the field.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brelmark/path.hpp"

namespace brelmark {

// ---- "auth partition" -------------------------------------------------------------

struct ParsedPartition {
  std::string_view name;         // as written, not trimmed
  std::string_view description;  // last "description" line
  std::uint16_t default_route_domain = 0;
};

// ---- "ltm snatpool" ---------------------------------------------------------------

struct ParsedSnatPool {
  ObjectPath name;
  std::vector<std::string_view> members;  // last "members" list, without quotes
  std::string_view partition;             // last "partition" line, untrimmed

  std::vector<std::string_view> members_copy() const { return members; }

  // The pool's own partition text when its name carries a partition (or `dflt` is
  // given) and the text is not empty; otherwise `dflt`.
  std::optional<std::string_view> partition_or(std::optional<std::string_view> dflt) const;
};

// ---- "ltm pool" -------------------------------------------------------------------

struct ParsedMemberFqdn {
  std::string_view autopopulate = "disabled";
  std::string_view name = "none";
};

struct ParsedPoolMember {
  ObjectPath name;
  std::string_view address;
  std::string_view session;
  std::string_view state;
  ParsedMemberFqdn fqdn;
  std::string_view monitor = "default";
  std::uint16_t priority_group = 0;
  std::uint16_t ratio = 1;

  // The `name` group of the member's name, or nothing when the path pattern does not match.
  std::optional<std::string_view> name_part() const { return name.name(); }
  // The address when it is not empty, else the FQDN name ("none" without an fqdn block).
  std::string_view destination() const noexcept { return address.empty() ? fqdn.name : address; }
};

struct ParsedPool {
  ObjectPath name;
  std::vector<ParsedPoolMember> members;
  std::string_view monitor;
  std::string_view description;
  std::string_view load_balancing_mode = "round-robin";
  std::string_view partition = "Common";
  std::uint16_t min_active_members = 0;

  // The `name` group of the pool's name, or nothing when the path pattern does not match.
  std::optional<std::string_view> name_part() const { return name.name(); }
  // The partition part of the pool's name, else `dflt`.
  std::optional<std::string_view> path_partition(std::optional<std::string_view> dflt) const {
    return name.partition(dflt);
  }
  std::vector<ParsedPoolMember> members_copy() const { return members; }
};

// ---- "ltm virtual" ----------------------------------------------------------------

struct ParsedProfile {
  std::string_view name;                    // as written
  std::optional<std::string_view> context;  // last "context" line
};

struct ParsedPolicy {
  std::string_view name;
  std::vector<std::string_view> entries;  // the lines between the entry's braces
};

struct ParsedSourceTranslation {
  std::string_view type;
  std::string_view pool;
};

struct ParsedVirtual {
  ObjectPath name;
  ObjectPath destination;
  ObjectPath pool;
  std::string_view description;
  std::string_view partition;  // the object's own "partition" line
  std::string_view ip_protocol;
  std::optional<std::string_view> creation_time;
  std::optional<std::string_view> last_modified_time;
  std::vector<ParsedProfile> profiles;
  std::string_view mask;
  ParsedSourceTranslation source_address_translation;
  std::string_view translate_address;
  std::string_view translate_port;
  std::vector<std::string_view> vlans;
  std::string_view source;
  std::vector<std::string_view> rules;
  std::vector<ParsedPolicy> policies;
  std::optional<std::string_view> fw_enforced_policy;
  std::vector<std::string_view> security_log_profiles;
  bool vlans_enabled = false;
  bool disabled = false;
};

// ---- whole configuration -----------------------------------------------------------

struct ParsedConfig {
  std::vector<ParsedPartition> partitions;  // text order, then "Common" when none has that name
  std::vector<ParsedVirtual> virtuals;
  std::vector<ParsedPool> pools;
  std::vector<ParsedSnatPool> snat_pools;
};

// ---- pool-member destination --------------------------------------------------------

struct MemberAddress {
  std::optional<std::string_view> partition;
  std::string address;  // the four digit runs joined by "." (owned)
  std::optional<std::uint16_t> route_domain;
  std::optional<std::string_view> port;  // port digits or service name; absent without ":"
};

}  // namespace brelmark
