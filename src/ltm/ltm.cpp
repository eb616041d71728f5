// The whole configuration (LTM) and the Python classes LTM, partition and SnatPool; their document
// members are the shared record members of py_record.hpp.
#include "ltm/ltm.hpp"

#include <utility>

#include <brelmark/grammar.hpp>

#include "ltm/ltm_path.hpp"
#include "ltm/vs_forms.hpp"
#include "py_record.hpp"

namespace qv::ltm {

// ---- Construction from a whole configuration --------------------------------------------------

namespace {

// Converts each object as soon as it is parsed and appends it to its list, so that no parsed
// record outlives its conversion: the conversion reads the record while it is still in cache, and
// the memory of its lists is reused by the next object.
class ConvertingSink final : public brelmark::ConfigSink {
 public:
  explicit ConvertingSink(LTM& ltm) : ltm_(ltm) {}
  void on_partition(brelmark::ParsedPartition&& parsed) override {
    ltm_.partitions.push_back(partition_from_parsed(parsed));
  }
  void on_virtual(brelmark::ParsedVirtual&& parsed) override {
    ltm_.virtual_servers.push_back(virtual_from_parsed(std::move(parsed)));
  }
  void on_pool(brelmark::ParsedPool&& parsed) override { ltm_.pools.push_back(pool_from_parser(parsed)); }
  void on_snatpool(brelmark::ParsedSnatPool&& parsed) override {
    ltm_.snat_pools.push_back(snatpool_from_parsed(parsed));
  }

 private:
  LTM& ltm_;
};

}  // namespace

LTM ltm_impl_new_from_text(std::string_view text) {
  LTM ltm;
  ConvertingSink sink(ltm);
  // The whole-text parser skips what it cannot read and ends its item list without error; an
  // error here is a fault of the parser.
  auto result = brelmark::parse_config_into(text, sink);
  if (!result) py::fault_err(result.error().to_string());
  return ltm;
}

std::string ltm_str(const LTM& value) {
  std::string out = "partitions: ";
  out += std::to_string(value.partitions.size());
  out += ", virtual_servers: ";
  out += std::to_string(value.virtual_servers.size());
  out += ", pools: ";
  out += std::to_string(value.pools.size());
  out += ", snat_pools: ";
  out += std::to_string(value.snat_pools.size());
  return out;
}

std::string ltm_repr(const LTM& value) {
  std::string out = "LTM at ";
  py::append_address(out, &value);
  out += ", ";
  out += ltm_str(value);
  return out;
}

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

Partition body_partition_new(const Arguments& args) {
  return partition_impl_new_from_text(args.get<std::string_view>(0));
}

std::vector<Item> partition_items() {
  std::vector<Item> items = {
      py::field<&Partition::name>("name"),
      py::field<&Partition::rd>("rd"),
      py::field<&Partition::description>("description"),
  };
  add_record_readers<Partition>(items);
  add_record_writers<Partition>(items);
  items.push_back(py::slot_new<kPartitionNew, &body_partition_new>());
  items.push_back(py::slot_repr<&partition_repr>());
  items.push_back(py::slot_str<&partition_str>());
  return items;
}

// ---- SnatPool -----------------------------------------------------------------------------------

constexpr ArgumentSpec kSnatPoolNew{"SnatPool", "__new__", {"input"}, 1};

SnatPool body_snatpool_new(const Arguments& args) {
  return snatpool_impl_new_from_text(args.get<std::string_view>(0));
}

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
  items.push_back(py::slot_new<kSnatPoolNew, &body_snatpool_new>());
  items.push_back(py::slot_str<&snatpool_str>());
  items.push_back(py::slot_repr<&snatpool_repr>());
  return items;
}

// ---- LTM ----------------------------------------------------------------------------------------

constexpr ArgumentSpec kLtmNew{"LTM", "__new__", {"val"}, 1};

LTM body_ltm_new(const Arguments& args) { return ltm_impl_new_from_text(args.get<std::string_view>(0)); }

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
