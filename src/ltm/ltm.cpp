// The whole configuration (LTM) and the Python classes LTM, partition and SnatPool, whose document
// members share one set of bodies.
#include "ltm/ltm.hpp"

#include <cinttypes>
#include <cstdio>
#include <utility>

#include <brelmark/grammar.hpp>

#include "formats/csv.hpp"
#include "formats/json.hpp"
#include "formats/toml.hpp"
#include "formats/yaml.hpp"
#include "ltm/ltm_path.hpp"
#include "ltm/vs_forms.hpp"
#include "py_dict.hpp"

namespace qv::ltm {

namespace formats = quilvarn::formats;

// ---- Construction from a whole configuration --------------------------------------------------

namespace {

// Converts each parsed record of a list, in order, into a list reserved at the parsed length.
template <class Out, class Parsed, class Convert>
std::vector<Out> convert_all(std::vector<Parsed>& parsed, Convert&& convert) {
  std::vector<Out> out;
  out.reserve(parsed.size());
  for (Parsed& record : parsed) out.push_back(convert(record));
  return out;
}

}  // namespace

LTM ltm_impl_new_from_text(std::string_view text) {
  brelmark::ParseResult<brelmark::ParsedConfig> result = brelmark::parse_config(text);
  // The whole-text parser skips what it cannot read and ends its item list without error; an
  // error here is a fault of the parser.
  if (!result) py::fault_err(result.error().to_string());
  brelmark::ParsedConfig& parsed = result.value();
  LTM ltm;
  ltm.partitions = convert_all<Partition>(parsed.partitions, [](auto& p) { return partition_from_parsed(p); });
  ltm.virtual_servers =
      convert_all<Virtual>(parsed.virtuals, [](auto& v) { return virtual_from_parsed(std::move(v)); });
  ltm.pools = convert_all<Pool>(parsed.pools, [](auto& p) { return pool_from_parser(p); });
  ltm.snat_pools = convert_all<SnatPool>(parsed.snat_pools, [](auto& s) { return snatpool_from_parsed(s); });
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
  char address[2 + 2 * sizeof(std::uintptr_t) + 1];
  std::snprintf(address, sizeof address, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(&value));
  std::string out = "LTM at ";
  out += address;
  out += ", ";
  out += ltm_str(value);
  return out;
}

// ---- Python member bodies shared by the three classes ----------------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;
using py::Item;

template <class T>
constexpr ArgumentSpec kFromJson{py::ClassInfo<T>::name, "from_json", {"json"}, 1};
template <class T>
constexpr ArgumentSpec kFromYaml{py::ClassInfo<T>::name, "from_yaml", {"yaml"}, 1};
template <class T>
constexpr ArgumentSpec kFromToml{py::ClassInfo<T>::name, "from_toml", {"toml"}, 1};

template <class T>
T body_new_default() {
  return T{};
}

template <class T>
T take_read(formats::ReadResult<T>&& result) {
  if (!result) py::raise(PyExc_RuntimeError, result.error());
  return std::move(result).value();
}

template <class T>
T body_from_json(const Arguments& args) {
  return take_read(quilvarn::json::read_json<T>(args.get<std::string_view>(0)));
}

template <class T>
T body_from_yaml(const Arguments& args) {
  return take_read(quilvarn::yaml::read_yaml<T>(args.get<std::string_view>(0)));
}

template <class T>
T body_from_toml(const Arguments& args) {
  return take_read(quilvarn::toml::read_toml<T>(args.get<std::string_view>(0)));
}

template <class T>
std::string body_to_json(const T& value) {
  return quilvarn::json::to_json(value);
}

// The writers below cannot fail for these records: a failure is a fault of the module.
template <class T>
std::string body_to_yaml(const T& value) {
  std::string out;
  std::string error;
  if (!quilvarn::yaml::write_yaml(out, value, error)) py::fault_err(error);
  return out;
}

template <class T>
std::string body_to_toml(const T& value) {
  DocumentText document = toml_write_record(formats::record_def<T>, &value);
  if (!document.ok) py::fault_err(document.text);
  return std::move(document.text);
}

// A header row cannot hold a list: SnatPool and LTM always fail here with ValueError.
template <class T>
std::string body_try_to_csv(const T& value) {
  std::string out;
  if (quilvarn::csv::Status error = quilvarn::csv::write_csv(out, value)) py::raise(PyExc_ValueError, error->text());
  return out;
}

template <class T>
py::Ref body_to_dict(const T& value) {
  try {
    return py::to_dict(value);
  } catch (const py::ErrorAlreadySet&) {
    py::fault_err(py::take_error_description());
  }
}

template <class T>
void add_readers(std::vector<Item>& items) {
  items.push_back(py::static_method<kFromJson<T>, &body_from_json<T>>("from_json"));
  items.push_back(py::static_method<kFromYaml<T>, &body_from_yaml<T>>("from_yaml"));
  items.push_back(py::static_method<kFromToml<T>, &body_from_toml<T>>("from_toml"));
}

template <class T>
void add_writers(std::vector<Item>& items) {
  items.push_back(py::method<&body_to_json<T>>("to_json"));
  items.push_back(py::method<&body_to_yaml<T>>("to_yaml"));
  items.push_back(py::method<&body_to_toml<T>>("to_toml"));
  items.push_back(py::method<&body_try_to_csv<T>>("try_to_csv"));
  items.push_back(py::method<&body_to_dict<T>>("to_dict"));
}

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
  add_readers<Partition>(items);
  add_writers<Partition>(items);
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
  items.push_back(py::static_method<&body_new_default<SnatPool>>("new_default"));
  add_readers<SnatPool>(items);
  add_writers<SnatPool>(items);
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
  items.push_back(py::static_method<&body_new_default<LTM>>("new_default"));
  add_readers<LTM>(items);
  add_writers<LTM>(items);
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
