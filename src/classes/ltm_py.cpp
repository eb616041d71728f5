// The Python classes LTM, partition and SnatPool; their document members are the shared record
// members of py/members.hpp.
#include "classes/classes.hpp"
#include "py/members.hpp"
#include "py/unlocked.hpp"

namespace qv::ltm {

// ---- Python members -----------------------------------------------------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;
using py::Item;
using py::add_record_readers;
using py::add_record_writers;
using py::record_new_default;

// ---- partition ----------------------------------------------------------------------------------

constexpr ArgumentSpec kPartitionNew{"partition", "__new__", {"input"}, 1};

std::vector<Item> partition_items() {
  std::vector<Item> items = {
      py::field<&Partition::name>("name"),
      py::field<&Partition::rd>("rd"),
      py::field<&Partition::description>("description"),
  };
  add_record_readers<Partition>(items);
  add_record_writers<Partition>(items);
  items.push_back(py::slot_new<kPartitionNew, &new_from_text<&brelmark::parse_partition, &partition_from_parsed>>());
  items.push_back(py::slot_repr<&partition_repr>());
  items.push_back(py::slot_str<&partition_str>());
  return items;
}

// ---- SnatPool -----------------------------------------------------------------------------------

constexpr ArgumentSpec kSnatPoolNew{"SnatPool", "__new__", {"input"}, 1};

// The name is an LtmPath toward Python: a new object out, a copy of an LtmPath's text in.
LtmPath body_snatpool_get_name(const SnatPool& pool) { return LtmPath{pool.name}; }
void body_snatpool_set_name(SnatPool& pool, PyObject* path) { pool.name = extract_ltmpath(path); }

std::vector<Item> snatpool_items() {
  std::vector<Item> items = {
      py::getter_of<&body_snatpool_get_name>("name"),
      py::setter_of<&body_snatpool_set_name>("name"),
      py::field<&SnatPool::members>("members"),
      py::field<&SnatPool::partition>("partition"),
  };
  items.push_back(py::static_method<&record_new_default<SnatPool>>("new_default"));
  add_record_readers<SnatPool>(items);
  add_record_writers<SnatPool>(items);
  items.push_back(py::slot_new<kSnatPoolNew, &new_from_text<&brelmark::parse_snatpool, &snatpool_from_parsed>>());
  items.push_back(py::slot_str<&snatpool_str>());
  items.push_back(py::slot_repr<&snatpool_repr>());
  return items;
}

// ---- LTM ----------------------------------------------------------------------------------------

constexpr ArgumentSpec kLtmNew{"LTM", "__new__", {"val"}, 1};

// A large text is parsed and converted without the interpreter lock: the text is the argument's
// own buffer, which the caller holds, and the new value is nobody else's until it is returned.
LTM body_ltm_new(const Arguments& args) {
  std::string_view text = args.get<std::string_view>(0);
  return py::unlocked_for(text.size(), [&] { return ltm_from_text(text); });
}

// The list attributes hand out new lists of new objects and take any sequence (not a str) of
// objects of the element class, copied; the first bad item leaves the list as it was.
std::vector<Item> ltm_items() {
  std::vector<Item> items = {
      py::field<&LTM::partitions>("partitions"),
      py::field<&LTM::virtual_servers>("virtual_servers"),
      py::field<&LTM::pools>("pools"),
      py::field<&LTM::snat_pools>("snat_pools"),
  };
  items.push_back(py::static_method<&record_new_default<LTM>>("new_default"));
  add_record_readers<LTM>(items);
  add_record_writers<LTM>(items);
  items.push_back(py::slot_new<kLtmNew, &body_ltm_new>());
  items.push_back(py::slot_str<&ltm_str>());
  items.push_back(py::slot_repr<&ltm_repr>());
  return items;
}

}  // namespace
}  // namespace qv::ltm

namespace qv::py {

std::span<const Item> ClassInfo<ltm::Partition>::items() {
  static const std::vector<Item> table = ltm::partition_items();
  return table;
}

std::span<const Item> ClassInfo<ltm::SnatPool>::items() {
  static const std::vector<Item> table = ltm::snatpool_items();
  return table;
}

std::span<const Item> ClassInfo<ltm::LTM>::items() {
  static const std::vector<Item> table = ltm::ltm_items();
  return table;
}

}  // namespace qv::py
