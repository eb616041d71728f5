#include "ltm/vs.hpp"

#include <brelmark/unicode.hpp>

#include "ltm/address.hpp"
#include "ltm/ltm_path.hpp"

namespace qv::ltm {

bool snat_is_empty(const Snat& snat) noexcept {
  return brelmark::is_blank(snat.type_) && brelmark::is_blank(snat.pool);
}

// ---- Conversion of parsed "ltm virtual" objects -------------------------------------------------

namespace {

// The owned copies of parsed texts, made in the record's own fields.
void assign_owned(std::optional<record::Text>& out, const std::optional<std::string_view>& text) {
  if (text) {
    out.emplace(*text);
  } else {
    out.reset();
  }
}

void assign_owned(record::TextList& out, const std::vector<std::string_view>& texts) {
  out.assign(texts.begin(), texts.end());
}

}  // namespace

void profile_from_parsed_into(const brelmark::ParsedProfile& parsed, Profile& out) {
  out.name = parsed.name;
  assign_owned(out.context, parsed.context);
}

void snat_from_parsed_into(const brelmark::ParsedSourceTranslation& parsed, Snat& out) {
  out.type_ = parsed.type;
  out.pool = parsed.pool;
}

void virtual_policies_from_parsed(std::span<const brelmark::ParsedPolicy> parsed, record::List<Policy>& out) {
  for (const brelmark::ParsedPolicy& policy : parsed) {
    Policy& pair = out.emplace_back();
    pair.first = policy.name;
    assign_owned(pair.second, policy.entries);
  }
}

Virtual virtual_from_parsed(const brelmark::ParsedVirtual& parsed) {
  Virtual value;
  virtual_from_parsed_into(parsed, value);
  return value;
}

void virtual_from_parsed_into(const brelmark::ParsedVirtual& parsed, Virtual& value) {
  value.name = normalize_object_path(parsed.name.text());
  value.destination = parsed.destination.text();
  value.description = parsed.description;
  value.partition = parsed.partition;
  value.ip_protocol = parsed.ip_protocol;
  assign_owned(value.creation_time, parsed.creation_time);
  assign_owned(value.last_modified_time, parsed.last_modified_time);
  value.profiles.reserve(parsed.profiles.size());
  for (const brelmark::ParsedProfile& profile : parsed.profiles) {
    profile_from_parsed_into(profile, value.profiles.emplace_back());
  }
  value.mask = parsed.mask;
  value.pool = parsed.pool.text();
  snat_from_parsed_into(parsed.source_address_translation, value.snat);
  value.translate_address = parsed.translate_address;
  value.translate_port = parsed.translate_port;
  assign_owned(value.vlans, parsed.vlans);
  value.vlans_enabled = parsed.vlans_enabled;
  value.source = parsed.source;
  value.disabled = parsed.disabled;
  assign_owned(value.rules, parsed.rules);
  value.policies.reserve(parsed.policies.size());
  virtual_policies_from_parsed(parsed.policies, value.policies);
  assign_owned(value.fw_enforced_policy, parsed.fw_enforced_policy);
  assign_owned(value.security_log_profiles, parsed.security_log_profiles);
}

// ---- Path setters -------------------------------------------------------------------------------

void virtual_impl_set_name(Virtual& value, std::string_view text) {
  value.name = normalize_object_path(text);
  std::optional<std::string_view> partition = ltmpath_impl_get_partition(value.name, std::nullopt);
  value.partition = partition.value_or(std::string_view{});
}

void virtual_impl_set_destination(Virtual& value, std::string_view text) {
  value.destination = normalize_object_path(text);
}

void virtual_impl_set_pool(Virtual& value, std::string_view text) { value.pool = normalize_object_path(text); }

// ---- String forms -------------------------------------------------------------------------------

std::string profile_str(const Profile& value) {
  std::string out = "name: ";
  out += value.name;
  out += ", context: ";
  if (value.context) {
    out += "Some(";
    brelmark::append_debug_quoted(out, *value.context);
    out += ')';
  } else {
    out += "None";
  }
  return out;
}

std::string profile_repr(const Profile& value) {
  std::string out = "Profile: ";
  append_address(out, &value);
  out += ", ";
  out += profile_str(value);
  return out;
}

std::string snat_str(const Snat& value) {
  std::string out = "type: ";
  out += value.type_;
  out += ", pool: ";
  out += value.pool;
  return out;
}

std::string snat_repr(const Snat& value) {
  std::string out = "Snat ";
  append_address(out, &value);
  out += ", ";
  out += snat_str(value);
  return out;
}

namespace {

void append_name_and_destination(std::string& out, const Virtual& value) {
  out += value.name;
  out += " , destination: ";
  out += value.destination;
}

}  // namespace

std::string virtual_str(const Virtual& value) {
  std::string out = "VS: ";
  append_name_and_destination(out, value);
  return out;
}

std::string virtual_repr(const Virtual& value) {
  std::string out = "VS: ";
  append_address(out, &value);
  out += ", name: ";
  append_name_and_destination(out, value);
  return out;
}

}  // namespace qv::ltm
