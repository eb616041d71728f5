#pragma once
// Virtual servers: the values Virtual, Profile and Snat, their document field tables, their
// conversion from parsed "ltm virtual" objects and their string forms. The Python classes over
// these values are in vs_py.cpp.
#include <brelmark/records.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "record/record.hpp"

namespace qv::ltm {


// One profile reference of a virtual server: a profile name and an optional context ("clientside",
// "serverside", ...). An empty context is a set value.
struct Profile {
  record::Text name;
  std::optional<record::Text> context;
  friend bool operator==(const Profile&, const Profile&) = default;
};

// A virtual server's source-address translation: its type ("automap", "snat", ...) and pool.
struct Snat {
  record::Text type_;
  record::Text pool;
  friend bool operator==(const Snat&, const Snat&) = default;
};

// A policy: its name and the lines of its block.
using Policy = record::TextPair;

// One virtual server. `name`, `destination` and `pool` are object-path texts: plain texts in
// documents, LtmPath objects toward Python. The field order is the key order of every writer and
// the element order of the positional document form.
struct Virtual {
  record::Text name;
  record::Text destination;
  record::Text description;
  record::Text partition;
  record::Text ip_protocol;
  std::optional<record::Text> creation_time;
  std::optional<record::Text> last_modified_time;
  record::List<Profile> profiles;
  record::Text mask;
  record::Text pool;
  Snat snat;
  record::Text translate_address;
  record::Text translate_port;
  record::TextList vlans;
  bool vlans_enabled = false;
  record::Text source;
  bool disabled = false;
  record::TextList rules;
  record::List<Policy> policies;
  std::optional<record::Text> fw_enforced_policy;
  record::TextList security_log_profiles;
  friend bool operator==(const Virtual&, const Virtual&) = default;
};

// True when both the type and the pool are blank (empty once Unicode white space is trimmed): a
// translation that is no translation, left out of every document.
bool snat_is_empty(const Snat& snat) noexcept;

// ---- Conversion of parsed "ltm virtual" objects -------------------------------------------------

// A profile and a translation are filled in a value-initialised record, so that each is built
// where it stays.
void profile_from_parsed_into(const brelmark::ParsedProfile& parsed, Profile& out);
void snat_from_parsed_into(const brelmark::ParsedSourceTranslation& parsed, Snat& out);
// Appends one (name, lines) pair per parsed policy, in order.
void virtual_policies_from_parsed(std::span<const brelmark::ParsedPolicy> parsed, record::List<Policy>& out);
// An owned value that shares nothing with the configuration text. Only the name is changed: it is
// trimmed of white space; the partition is the object's own "partition" line, never the name's.
Virtual virtual_from_parsed(const brelmark::ParsedVirtual& parsed);
// The same into a value-initialised record, so that a list builds its element where it stays.
void virtual_from_parsed_into(const brelmark::ParsedVirtual& parsed, Virtual& out);

// ---- Path setters -------------------------------------------------------------------------------

// Stores the trimmed text as the name, and the name's partition part (or "") as the partition.
void virtual_impl_set_name(Virtual& value, std::string_view text);
void virtual_impl_set_destination(Virtual& value, std::string_view text);
void virtual_impl_set_pool(Virtual& value, std::string_view text);

// ---- String forms -------------------------------------------------------------------------------

// "name: tcp, context: None" / "name: tcp, context: Some(\"clientside\")".
std::string profile_str(const Profile& value);
// "Profile: 0x<address>, " + the string form.
std::string profile_repr(const Profile& value);
// "type: automap, pool: ".
std::string snat_str(const Snat& value);
// "Snat 0x<address>, " + the string form.
std::string snat_repr(const Snat& value);
// "VS: <name> , destination: <destination>".
std::string virtual_str(const Virtual& value);
// "VS: 0x<address>, name: <name> , destination: <destination>".
std::string virtual_repr(const Virtual& value);

}  // namespace qv::ltm

// ---- Field tables -------------------------------------------------------------------------------

template <>
struct qv::record::RecordTable<qv::ltm::Profile> {
  static constexpr std::string_view name = "Profile";
  static constexpr FieldDef fields[] = {
      field<&qv::ltm::Profile::name>("name").required(),
      field<&qv::ltm::Profile::context>("context").when(WrittenWhen::Set),
  };
};

template <>
struct qv::record::RecordTable<qv::ltm::Snat> {
  static constexpr std::string_view name = "Snat";
  static constexpr FieldDef fields[] = {
      field<&qv::ltm::Snat::type_>("type").required(),
      field<&qv::ltm::Snat::pool>("pool").when(WrittenWhen::NotBlank),
  };
};

namespace qv::ltm::detail {
inline bool snat_is_written(const Snat& snat) noexcept { return !snat_is_empty(snat); }
}  // namespace qv::ltm::detail

template <>
struct qv::record::RecordTable<qv::ltm::Virtual> {
  using V = qv::ltm::Virtual;
  static constexpr std::string_view name = "Virtual";
  static constexpr FieldDef fields[] = {
      field<&V::name>("name").required(),
      field<&V::destination>("destination").required(),
      field<&V::description>("description").when(WrittenWhen::NotBlank),
      field<&V::partition>("partition").when(WrittenWhen::NotBlank),
      field<&V::ip_protocol>("ip-protocol").required(),
      field<&V::creation_time>("creation-time").when(WrittenWhen::Set),
      field<&V::last_modified_time>("last-modified-time").when(WrittenWhen::Set),
      field<&V::profiles>("profiles").when(WrittenWhen::NotEmpty),
      field<&V::mask>("mask").required(),
      field<&V::pool>("pool").when(WrittenWhen::NotBlank),
      field<&V::snat>("source-address-translation").written_if<&qv::ltm::detail::snat_is_written>(),
      field<&V::translate_address>("translate_address"),
      field<&V::translate_port>("translate_port"),
      field<&V::vlans>("vlans").when(WrittenWhen::NotEmpty),
      field<&V::vlans_enabled>("vlans_enabled").when(WrittenWhen::True),
      field<&V::source>("source"),
      field<&V::disabled>("disabled").when(WrittenWhen::True),
      field<&V::rules>("rules").when(WrittenWhen::NotEmpty),
      field<&V::policies>("policies").when(WrittenWhen::NotEmpty),
      field<&V::fw_enforced_policy>("fw_enforced_policy").when(WrittenWhen::Set),
      field<&V::security_log_profiles>("security_log_profiles").when(WrittenWhen::NotEmpty),
  };
};
