#pragma once
// SNAT pools: the record SnatPool, its document keys, its conversion from parsed "ltm snatpool"
// objects and its string forms. The Python class is in ltm_py.cpp.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <brelmark/records.hpp>

#include "record/record.hpp"

namespace qv::ltm {


// One SNAT pool. `name` is an object-path text (an LtmPath in Python); `members` are the member
// texts as the configuration writes them; `partition` is empty when the pool has none.
struct SnatPool {
  record::Text name;
  record::TextList members;
  record::Text partition;
  friend bool operator==(const SnatPool&, const SnatPool&) = default;
};

// An owned copy of a parsed SNAT pool: the name trimmed of Unicode white space, the members in
// text order, and the pool's own "partition" line whenever that line is not empty (untrimmed).
SnatPool snatpool_from_parsed(const brelmark::ParsedSnatPool& parsed);

// The name text.
std::string_view snatpool_str(const SnatPool& value);
// "SnatPool 0x<address>, <name>".
std::string snatpool_repr(const SnatPool& value);

}  // namespace qv::ltm

template <>
struct qv::record::RecordTable<qv::ltm::SnatPool> {
  using R = qv::ltm::SnatPool;
  static constexpr std::string_view name = "SnatPool";
  static constexpr FieldDef fields[] = {
      field<&R::name>("name").required(),
      field<&R::members>("members"),
      field<&R::partition>("partition").when(WrittenWhen::NotEmpty),
  };
};
