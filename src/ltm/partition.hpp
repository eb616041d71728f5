#pragma once
// Administrative partitions: the record Partition (Python class `partition`), its document keys,
// its conversion from parsed "auth partition" objects and its string forms. The Python class is in
// ltm_py.cpp, beside SnatPool and LTM.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <brelmark/records.hpp>

#include "record/record.hpp"

namespace qv::ltm {


// One partition: its name, its default route domain and a free description.
struct Partition {
  record::Text name;
  std::uint16_t rd = 0;
  record::Text description;
  friend bool operator==(const Partition&, const Partition&) = default;
};

// An owned copy of a parsed partition; nothing is trimmed.
Partition partition_from_parsed(const brelmark::ParsedPartition& parsed);

// "name=<name>, rd=<rd>".
std::string partition_str(const Partition& value);
// "Partition: 0x<address> , " + the string form + ")" (one closing parenthesis, no opening one).
std::string partition_repr(const Partition& value);

}  // namespace qv::ltm

template <>
struct qv::record::RecordTable<qv::ltm::Partition> {
  using R = qv::ltm::Partition;
  static constexpr std::string_view name = "Partition";
  static constexpr FieldDef fields[] = {
      field<&R::name>("name").required(),
      field<&R::rd>("default-route-domain"),
      field<&R::description>("description").when(WrittenWhen::NotBlank),
  };
};
