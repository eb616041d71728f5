#pragma once
// Administrative partitions: the record Partition (Python class `partition`), its document keys,
// its conversion from parsed "auth partition" objects and its string forms. The Python member
// table of the class is in ltm.cpp, beside those of SnatPool and LTM, which share its bodies.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <brelmark/records.hpp>

#include "formats/record.hpp"
#include "py_class.hpp"

namespace qv::ltm {

// One partition: its name, its default route domain and a free description.
struct Partition {
  std::string name;
  std::uint16_t rd = 0;
  std::string description;
};

// An owned copy of a parsed partition; nothing is trimmed.
Partition partition_from_parsed(const brelmark::ParsedPartition& parsed);

// The partition of one "auth partition" object at the start of the text (the rest is ignored).
// Python error: RuntimeError with the parser's error text, also for a "default-route-domain"
// value that is not an unsigned 16-bit number.
Partition partition_impl_new_from_text(std::string_view text);

// "name=<name>, rd=<rd>".
std::string partition_str(const Partition& value);
// "Partition: 0x<address> , " + the string form + ")" (one closing parenthesis, no opening one).
std::string partition_repr(const Partition& value);

}  // namespace qv::ltm

template <>
struct quilvarn::formats::RecordTable<qv::ltm::Partition> {
  using R = qv::ltm::Partition;
  static constexpr std::string_view name = "Partition";
  static constexpr FieldDef fields[] = {
      field<&R::name>("name").required(),
      field<&R::rd>("default-route-domain"),
      field<&R::description>("description").when(WrittenWhen::NotBlank),
  };
};

template <>
struct qv::py::ClassInfo<qv::ltm::Partition> {
  static constexpr const char* name = "partition";
  static std::span<const Item> items();
};
